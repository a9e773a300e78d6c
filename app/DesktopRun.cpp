#include "app/DesktopRun.h"

#include <QApplication>
#include <QTimer>

#include <cstdlib>
#include <functional>
#include <ostream>
#include <string>

#include "app/HeadlessReport.h"
#include "app/Jobs.h"
#include "ui/JobThread.h"
#include "ui/Progress.h"
#include "ui/WindowHandlers.h"
#include "util/MoreDialogs.h"
#include "util/Texts.h"

namespace pictrim {
namespace {

// How long the window stays after the run, in milliseconds: 0 unless
// PICTRIM_SCREENSHOT_HOLD_MS asks for time to take a picture of it.
int HoldAfterRun() {
  const char* value = std::getenv("PICTRIM_SCREENSHOT_HOLD_MS");
  if (value == nullptr) return 0;
  const long ms = std::strtol(value, nullptr, 10);
  return ms > 0 && ms <= 60000 ? static_cast<int>(ms) : 0;
}

// One batch of the run on the job thread, writing its lines into a log of
// its own; the window's log receives them on the GUI thread once the batch
// has returned, before its final notification is handled.
class TDesktopRun {
 public:
  TDesktopRun(const TCommandLine& Command)
      : Command_(Command),
        Progress_(WindowLog_),
        Target_([this](const TBatchMessage& Message) { Progress_.HandleNotification(Message); }) {}

  int Run(std::ostream& Out, std::ostream& Err) {
    InstallWindowHandlers(&Progress_);
    CancelRequested = false;
    RunBatch([this] { return RunBmpBatch(Command_, Target_, JobLog_, Account_); }, BmpResult_);
    RunBatch([this] { return RunJpegBatch(Command_, Target_, JobLog_, Account_); }, JpegResult_);
    if (const int hold = HoldAfterRun(); hold > 0) {
      // exit, not quit: a quit would close the window first, as its user might.
      QTimer::singleShot(hold, [] { QApplication::exit(0); });
      QApplication::exec();
    }
    SetMessageHandler(nullptr);
    SetFolderHandler(nullptr);
    return Report(Out, Err);
  }

 private:
  // Runs Batch on the job thread and waits, handling the window's events,
  // until it has returned and its notifications have been handled.
  void RunBatch(std::function<int()> Batch, int& Result) {
    Jobs_.Start([&Result, Batch = std::move(Batch)] { Result = Batch(); },
                [this] { HandOverJobEnd(JobLog_, WindowLog_, Target_); });
    Jobs_.WaitWhileHandlingEvents();
  }

  int Report(std::ostream& Out, std::ostream& Err) {
    for (const std::string& line : WindowLog_) Err << OneLine(line) << '\n';
    return FinishUnattended(Command_, BmpResult_, JpegResult_, WindowLog_, Account_, Out, Err);
  }

  const TCommandLine& Command_;
  TErrorLog WindowLog_;
  TErrorLog JobLog_;
  TJobAccount Account_;  // written by the batches on the job thread, read once they are done
  TProgressWin Progress_;
  TWindowBatchTarget Target_;
  TJobThread Jobs_;
  int BmpResult_ = 0;
  int JpegResult_ = 0;
};

}  // namespace

int RunUnattendedOnDesktop(const TCommandLine& Command, std::ostream& Out, std::ostream& Err) {
  // Qt's own buttons speak the language the run speaks.
  UseQtTranslations(LanguageOfEnvironment() == TLanguage::German ? "de" : "en");
  if (!CheckFolder(Command.SourceFolder, Err)) return 2;
  TDesktopRun run(Command);
  return run.Run(Out, Err);
}

}  // namespace pictrim
