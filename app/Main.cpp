// The program entry: without arguments and with a display it opens the main
// window; otherwise it reads the command line and runs what it asks for,
// reporting on the terminal: progress and error lines on stderr, results on
// stdout.
#include <QApplication>
#include <QGuiApplication>
#include <QIcon>

#include <sys/ioctl.h>
#include <unistd.h>

#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "app/CancelSignals.h"
#include "app/CommandLine.h"
#include "app/DesktopRun.h"
#include "app/HeadlessReport.h"
#include "app/Jobs.h"
#include "image/ImageBitmap.h"
#include "ui/Main.h"
#include "ui/WindowHandlers.h"
#include "util/MoreDialogs.h"
#include "util/Texts.h"

namespace {

// Qt's own notes (a missing runtime folder, font warnings) are not for the
// user of a command line; only its errors are passed on.
void PassOnQtErrors(QtMsgType Type, const QMessageLogContext&, const QString& Text) {
  if (Type == QtCriticalMsg || Type == QtFatalMsg)
    std::cerr << "pictrim: " << Text.toStdString() << '\n';
}

int TerminalColumns() {
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

// What every run with windows sets up once its QApplication exists: the
// program's name, menu entry and icon, the window font, the image library.
void PrepareWindows() {
  QApplication::setApplicationName(QStringLiteral("Pictrim"));
  QApplication::setDesktopFileName(QStringLiteral("pictrim"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/pictrim.png")));
  pictrim::UseWindowFont();
  pictrim::InitImageLibrary();
}

// The interactive program: the main window until it is closed, opened with
// the first of Folders chosen when a file manager handed some over.
int RunWindow(char* Program, const std::vector<std::string>& Folders) {
  int qtArgc = 1;
  char* qtArgv[] = {Program, nullptr};
  QApplication app(qtArgc, qtArgv);
  PrepareWindows();
  pictrim::TMainForm form;
  pictrim::InstallWindowHandlers(&form);
  form.FormCreate();
  form.OpenHandedFolders(Folders);
  form.show();
  const int status = QApplication::exec();
  pictrim::SetMessageHandler(nullptr);
  pictrim::SetFolderHandler(nullptr);
  pictrim::SetCheckedMessageHandler(nullptr);
  pictrim::SetQuestionHandler(nullptr);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace pictrim;
  const std::vector<std::string> args(argv + 1, argv + argc);
  // A run from the command line speaks the language of the user's locale,
  // its answers to wrong arguments included; the window takes its language
  // from its settings.
  if (!args.empty()) UseBuiltInTexts(LanguageOfEnvironment());
  const TCommandLine command = ParseCommandLine(args);
  switch (command.Kind) {
    case TCommandKind::Help:
      std::cout << UsageText();
      return 0;
    case TCommandKind::Version:
      std::cout << VersionText() << '\n';
      return 0;
    case TCommandKind::Wrong:
      std::cerr << "pictrim: " << command.Error << '\n';
      return 2;
    case TCommandKind::Window:
      if (HasDisplay()) return RunWindow(argv[0], command.OpenFolders);
      std::cerr << UsageText();
      return 2;
    default:
      break;
  }

  // Qt gets no arguments of ours to interpret; the text stamp needs its fonts.
  qInstallMessageHandler(PassOnQtErrors);
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  if (command.Kind == TCommandKind::Unattended && HasDisplay()) {
    QApplication app(qtArgc, qtArgv);
    PrepareWindows();
    return RunUnattendedOnDesktop(command, std::cout, std::cerr);
  }
  UseOffscreenWithoutDisplay();
  QGuiApplication app(qtArgc, qtArgv);
  QGuiApplication::setApplicationName("Pictrim");
  InitImageLibrary();

  TConsoleReport report(std::cerr, ::isatty(STDERR_FILENO) == 1, TerminalColumns());
  std::mutex messageTurn;  // batch threads may raise messages at the same time
  SetMessageHandler([&report, &messageTurn](const std::string& Text) {
    std::lock_guard<std::mutex> turn(messageTurn);
    report.Message(Text);
  });
  InstallCancelSignals();
  const int status = RunJob(command, report, std::cout, std::cerr);
  SetMessageHandler(nullptr);
  return ExitStatusAfterSignal(status);
}
