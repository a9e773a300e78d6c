// The program entry: reads the command line and runs what it asks for. Every
// run reports on the terminal: progress and error lines on stderr, results on
// stdout.
#include <QGuiApplication>

#include <sys/ioctl.h>
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "app/CancelSignals.h"
#include "app/CommandLine.h"
#include "app/HeadlessReport.h"
#include "app/Jobs.h"
#include "image/ImageBitmap.h"
#include "util/MoreDialogs.h"

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

}  // namespace

int main(int argc, char** argv) {
  using namespace pictrim;
  const std::vector<std::string> args(argv + 1, argv + argc);
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
      std::cerr << UsageText();
      return 2;
    default:
      break;
  }

  // Qt gets no arguments of ours to interpret; the text stamp needs its fonts.
  UseOffscreenWithoutDisplay();
  qInstallMessageHandler(PassOnQtErrors);
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QGuiApplication app(qtArgc, qtArgv);
  QGuiApplication::setApplicationName("Pictrim");
  InitImageLibrary();

  TConsoleReport report(std::cerr, ::isatty(STDERR_FILENO) == 1, TerminalColumns());
  SetMessageHandler([&report](const std::string& Text) { report.Message(Text); });
  InstallCancelSignals();
  const int status = RunJob(command, report, std::cout, std::cerr);
  SetMessageHandler(nullptr);
  return ExitStatusAfterSignal(status);
}
