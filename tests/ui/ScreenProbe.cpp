// Shows the windows on the screen Qt was started with (the offscreen platform
// with a screen of a given size, a scale factor, a font resolution) and tells
// what does not fit: a frame beyond the screen's available area, a control no
// scrolling brings into sight, a strip or status bar outside the window, an
// error window that does not wrap its lines or is not centred over the main
// window. One line per problem on stdout; exit status 1 when there is one.
// Run by ScreenFitTest.cpp, which starts it for each screen.
//
//   pictrim_screen_probe SETTINGS_FOLDER
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "settings/SettingsFolder.h"
#include "tests/ui/CaptionCheck.h"
#include "ui/FolderAndOptions.h"
#include "ui/JobResultBar.h"
#include "ui/Main.h"
#include "ui/Progress.h"
#include "ui/ProgressPanel.h"
#include "ui/SelectPathWindow.h"
#include "ui/WindowHandlers.h"
#include "util/ErrorLog.h"

namespace {

using namespace pictrim;

std::vector<std::string> Problems;

void Problem(const std::string& What) {
  Problems.push_back(What);
}

std::string Text(const QRect& Rect) {
  return std::to_string(Rect.x()) + "," + std::to_string(Rect.y()) + " " +
         std::to_string(Rect.width()) + "x" + std::to_string(Rect.height());
}

std::string Name(const QWidget* Widget) {
  return Widget->objectName().isEmpty() ? Widget->metaObject()->className()
                                        : Widget->objectName().toStdString();
}

void ExpectOnScreen(const QWidget& Window, const char* What) {
  const QRect area = Window.screen()->availableGeometry();
  if (!area.contains(Window.frameGeometry()))
    Problem(std::string(What) + ": frame " + Text(Window.frameGeometry()) + " beyond the area " +
            Text(area));
}

// Whole inside Window's client area.
void ExpectInsideWindow(const QWidget* Widget, const QWidget& Window) {
  const QRect rect(Widget->mapTo(&Window, QPoint(0, 0)), Widget->size());
  if (!Window.rect().contains(rect))
    Problem(Name(Widget) + " at " + Text(rect) + " outside its window " + Text(Window.rect()));
}

// Every control of a scrolling page can be scrolled into sight whole.
void ExpectReachable(QScrollArea* Page) {
  for (QWidget* control : Page->widget()->findChildren<QWidget*>()) {
    const bool operable = qobject_cast<QAbstractButton*>(control) ||
                          qobject_cast<QLineEdit*>(control) || qobject_cast<QComboBox*>(control);
    if (!operable || !control->isVisibleTo(Page->widget()) ||
        control->parentWidget()->inherits("QAbstractSpinBox") ||
        control->parentWidget()->inherits("QComboBox"))
      continue;
    const QRect place(control->mapTo(Page->widget(), QPoint(0, 0)), control->size());
    Page->ensureVisible(place.center().x(), place.center().y(), place.width() / 2 + 1,
                        place.height() / 2 + 1);
    const QRect shown(control->mapTo(Page->viewport(), QPoint(0, 0)), control->size());
    if (!Page->viewport()->rect().contains(shown))
      Problem(Name(control) + " cannot be scrolled into sight on " + Name(Page->widget()) + ": " +
              Text(shown) + " in " + Text(Page->viewport()->rect()));
  }
  Page->ensureVisible(0, 0, 0, 0);
}

// No caption of Window is cut.
void ExpectWhole(QWidget* Window, const std::string& Where) {
  for (const std::string& cut : test::CutCaptions(Window)) Problem(Where + ": " + cut);
}

void CheckMainWindow(TMainForm& Form) {
  ExpectOnScreen(Form, "main window");
  ExpectInsideWindow(Form.ResultBar, Form);
  ExpectInsideWindow(Form.statusBar(), Form);
  for (int tab = 0; tab < Form.PageControl1->count(); ++tab) {
    Form.PageControl1->setCurrentIndex(tab);
    QApplication::processEvents();
    ExpectInsideWindow(Form.PageControl1->tabBar(), Form);
    ExpectWhole(&Form, "tab " + std::to_string(tab + 1));
    if (auto* page = qobject_cast<QScrollArea*>(Form.PageControl1->currentWidget()))
      ExpectReachable(page);
    else
      Problem("tab " + std::to_string(tab + 1) + " does not scroll");
  }
  Form.PageControl1->setCurrentIndex(0);
  Form.MainStack->setCurrentWidget(Form.ProgressPanel);
  QApplication::processEvents();
  if (auto* page = Form.ProgressPanel->findChild<QScrollArea*>()) ExpectReachable(page);
  Form.MainStack->setCurrentWidget(Form.PageControl1);
}

// Window stands centred over Parent where the screen leaves room for that.
void ExpectCentredOver(const QWidget& Window, const QWidget& Parent, const char* What) {
  const QRect area = Window.screen()->availableGeometry();
  const QPoint offset = Window.frameGeometry().center() - Parent.frameGeometry().center();
  const bool roomToCentre = Window.frameGeometry().width() < area.width() &&
                            Window.frameGeometry().height() < area.height();
  if (roomToCentre && area.contains(Parent.frameGeometry()) &&
      (std::abs(offset.x()) > 2 || std::abs(offset.y()) > 2)) {
    const QRect centred(Window.frameGeometry().translated(-offset));
    if (area.contains(centred))
      Problem(std::string(What) + " is not centred over the main window: " +
              Text(Window.frameGeometry()) + " over " + Text(Parent.frameGeometry()));
  }
}

// An error window over the main window, with lines far longer than it is
// wide: they wrap, the window fits the screen and stands centred over the
// main window.
void CheckErrorWindow(TMainForm& Form) {
  const std::string folder = "/photos/" + std::string(180, 'x') + "/";
  TErrorLog log;
  AddErrorLogEntry(
      "File " + folder + "IMG_0001.JPG was not renamed: " + folder + "2019-06-15 0001.JPG exists",
      log);
  TProgressWin errors(log, &Form);
  TProgressWin* window = &errors;
  window->ShowErrorLayout(TProgressWin::MainErrorWidth);
  if (!QTest::qWaitForWindowExposed(window)) Problem("the error window never showed");
  QApplication::processEvents();
  ExpectOnScreen(*window, "error window");
  if (window->ErrorLogMemo->horizontalScrollBar()->isVisible())
    Problem("the error window scrolls sideways");
  const QTextBlock line = window->ErrorLogMemo->document()->firstBlock();
  if (line.layout() == nullptr || line.layout()->lineCount() < 2)
    Problem("the error window's long line does not wrap");
  ExpectInsideWindow(window->OKbutton, *window);
  ExpectInsideWindow(window->CopyButton, *window);
  ExpectCentredOver(*window, Form, "error window");
  window->OKbuttonClick();
}

// A message naming a long folder, and a question: each box fits the screen
// and stands centred over the main window.
void CheckMessageBoxes(TMainForm& Form) {
  const std::string path = "/photos/" + std::string(180, 'x') + "/" + std::string(60, 'y') + "/";
  const auto check = [&Form](const char* What) {
    QTimer::singleShot(0, &Form, [&Form, What] {
      QWidget* box = QApplication::activeModalWidget();
      if (box == nullptr) {
        Problem(std::string(What) + " never showed");
        return;
      }
      ExpectOnScreen(*box, What);
      ExpectCentredOver(*box, Form, What);
      box->close();
    });
  };
  check("message box");
  ShowMessageBox(&Form, "The folder " + path + " does not exist any more");
  check("question box");
  AskQuestionBox(&Form, "Rename 3 files in " + path + "?");
}

void CheckPathWindow(TMainForm& Form) {
  TPathWindow paths(Form.SharedArea->PathComboBox, &Form);
  paths.show();
  if (!QTest::qWaitForWindowExposed(&paths)) Problem("the path list window never showed");
  ExpectOnScreen(paths, "path list window");
  ExpectInsideWindow(paths.Button1, paths);
  paths.accept();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: pictrim_screen_probe SETTINGS_FOLDER\n");
    return 2;
  }
  QApplication app(argc, argv);
  UseWindowFont();
  SetSettingsFolder(argv[1]);
  TMainForm form;
  form.FormCreate();
  form.show();
  if (!QTest::qWaitForWindowExposed(&form)) Problem("the main window never showed");
  QApplication::processEvents();
  const QRect area = form.screen()->availableGeometry();
  std::printf("screen %s, window %s\n", Text(area).c_str(), Text(form.frameGeometry()).c_str());
  // In each built-in language, as its captions differ in length.
  QComboBox* languages = form.SharedArea->LanguageComboBox1;
  for (const char* language : {"German", "English"}) {
    const int index = languages->findText(QString::fromLatin1(language));
    if (index < 0) {
      Problem(std::string("no language ") + language);
      continue;
    }
    languages->setCurrentIndex(index);
    emit languages->activated(index);
    QApplication::processEvents();
    const std::size_t before = Problems.size();
    CheckMainWindow(form);
    CheckErrorWindow(form);
    CheckPathWindow(form);
    CheckMessageBoxes(form);
    for (std::size_t i = before; i < Problems.size(); ++i)
      Problems[i] = std::string(language) + ": " + Problems[i];
  }
  for (const std::string& problem : Problems) std::printf("%s\n", problem.c_str());
  return Problems.empty() ? 0 : 1;
}
