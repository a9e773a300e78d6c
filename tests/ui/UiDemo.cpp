// Shows one of the small windows in a typical state for a person (or a
// screenshot) to look at, then quits after the given number of seconds:
//   pictrim_ui_demo progress|errors|paths [seconds]
#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/BatchTarget.h"
#include "ui/Progress.h"
#include "ui/SelectPathWindow.h"
#include "ui/WindowHandlers.h"

using namespace pictrim;

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const std::string what = argc > 1 ? argv[1] : "";
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 5;
  UseWindowFont();

  TErrorLog log;
  TProgressWin progress(log);
  QComboBox combo;
  combo.addItems({"/usr/", "/tmp/", "/gibt/es/nicht/"});
  TPathWindow* paths = nullptr;

  if (what == "progress") {
    LastFile = "/home/anna/Bilder/Urlaub/IMG_0001.JPG";
    progress.HandleNotification({WM_BATCH_PROGRESS, 1, 12, ""});
  } else if (what == "errors") {
    progress.HandleNotification({WM_BATCH_PROGRESS, 1, 3, ""});
    AddErrorLogEntry("Fehler beim Laden von /home/anna/Bilder/kaputt.jpg", log);
    AddErrorLogEntry("/home/anna/Bilder/leer.bmp ist kein Bild", log);
    AddErrorLogEntry("Zieldatei /home/anna/Bilder_SIZE800/a.jpg existiert bereits", log);
    progress.HandleNotification({WM_BATCH_PROGRESS, 3, 0, ""});
  } else if (what == "paths") {
    paths = new TPathWindow(&combo);
    paths->PathListBox->setCurrentRow(1);
    paths->show();
  } else {
    std::fprintf(stderr, "usage: pictrim_ui_demo progress|errors|paths [seconds]\n");
    return 2;
  }
  QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
  const int status = app.exec();
  delete paths;
  return status;
}
