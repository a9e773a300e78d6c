// Shows one of the small windows in a typical state for a person (or a
// screenshot) to look at, in German (the default) or English, then quits
// after the given number of seconds:
//   pictrim_ui_demo progress|errors|paths [seconds] [German|English]
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
#include "util/Texts.h"

using namespace pictrim;

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const std::string what = argc > 1 ? argv[1] : "";
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 5;
  const bool english = argc > 3 && std::string(argv[3]) == "English";
  UseWindowFont();
  UseBuiltInTexts(english ? TLanguage::English : TLanguage::German);
  UseQtTranslations(english ? "en" : "de");

  TErrorLog log;
  TProgressWin progress(log);
  QComboBox combo;
  combo.addItems({"/usr/", "/tmp/", "/gibt/es/nicht/"});
  TPathWindow* paths = nullptr;

  // A user's photo folder, named in the user's language.
  const std::string photos = english ? "/home/anna/Pictures/" : "/home/anna/Bilder/";
  if (what == "progress") {
    LastFile = photos + "Holiday/IMG_0001.JPG";
    progress.HandleNotification({WM_BATCH_PROGRESS, 1, 12, ""});
  } else if (what == "errors") {
    // Error-log lines read the same in every language.
    progress.HandleNotification({WM_BATCH_PROGRESS, 1, 3, ""});
    AddErrorLogEntry(
        "EXCEPTION in ConvertPICsWholeTree - FBitmap.Load() with  File \"" + photos + "cut.jpg\"",
        log);
    AddErrorLogEntry("Not a valid BMP V3:   " + photos + "empty.bmp", log);
    AddErrorLogEntry("Not a valid JPG:   " + photos + "notes.jpg", log);
    progress.HandleNotification({WM_BATCH_PROGRESS, 3, 0, ""});
  } else if (what == "paths") {
    paths = new TPathWindow(&combo);
    paths->PathListBox->setCurrentRow(1);
    paths->show();
  } else {
    std::fprintf(stderr, "usage: pictrim_ui_demo progress|errors|paths [seconds] [German|English]\n");
    return 2;
  }
  QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
  const int status = app.exec();
  delete paths;
  return status;
}
