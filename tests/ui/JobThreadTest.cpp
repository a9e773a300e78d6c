#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/WaitFor.h"
#include "ui/JobThread.h"
#include "ui/WindowHandlers.h"
#include "util/MoreDialogs.h"

namespace pictrim {
namespace {

TBatchMessage Progress(int64_t Done, int64_t Total) {
  return {WM_BATCH_PROGRESS, Done, Total, {}};
}

// Runs the GUI's events until Job and its Finished are through.
void RunJob(TJobThread& Thread, std::function<void()> Job, std::function<void()> Finished) {
  ASSERT_TRUE(Thread.Start(std::move(Job), std::move(Finished)));
  Thread.WaitWhileHandlingEvents();
}

TEST(WindowBatchTarget, aPumpingJobWaitsUntilTheWindowHasHandledItsNotificationsInOrder) {
  const std::thread::id gui = std::this_thread::get_id();
  std::vector<int64_t> handled;
  bool allOnGuiThread = true;
  TWindowBatchTarget target([&](const TBatchMessage& Message) {
    allOnGuiThread = allOnGuiThread && std::this_thread::get_id() == gui;
    handled.push_back(Message.WParam);
  });
  std::vector<size_t> seenAfterPump;
  TJobThread thread;
  RunJob(
      thread,
      [&] {
        for (int64_t n = 1; n <= 20; ++n) {
          target.post({WM_BATCH_FILE, 0, 0, "file"});
          target.post(Progress(n, 20));
          target.pump();
          seenAfterPump.push_back(handled.size());  // safe: the window is done with it
        }
        target.post(Progress(21, 0));  // the final one, posted without a pump
      },
      [&] {
        EXPECT_EQ(handled.size(), 40u);  // the final notification still waits
        target.deliver();
      });
  ASSERT_EQ(handled.size(), 41u);
  EXPECT_TRUE(allOnGuiThread);
  for (size_t i = 0; i < seenAfterPump.size(); ++i) EXPECT_EQ(seenAfterPump[i], 2 * (i + 1));
  for (size_t i = 0; i < 20; ++i) EXPECT_EQ(handled[2 * i + 1], static_cast<int64_t>(i + 1));
  EXPECT_EQ(handled.back(), 21);
}

TEST(WindowBatchTarget, pumpOnTheGuiThreadHandlesAtOnce) {
  int count = 0;
  TWindowBatchTarget target([&](const TBatchMessage&) { ++count; });
  target.post(Progress(1, 1));
  target.post(Progress(1, 0));
  EXPECT_EQ(count, 0);
  target.pump();
  EXPECT_EQ(count, 2);
}

// The cancel button posts and pumps on the GUI thread while the job may
// already have posted its final notification: only the window's own post is
// handled then; the final one waits for the job to return.
TEST(WindowBatchTarget, theWindowsOwnPumpLeavesWhatTheJobHasNotPumpedYet) {
  std::vector<uint32_t> handled;
  TWindowBatchTarget target(
      [&](const TBatchMessage& Message) { handled.push_back(Message.Message); });
  std::atomic<bool> finalPosted{false}, windowPumped{false};
  std::vector<uint32_t> seenByWindowPump;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!finalPosted || windowPumped) return;
    target.post({WM_BATCH_CANCEL, 0, 0, {}});
    target.pump();
    seenByWindowPump = handled;
    windowPumped = true;
  });
  poll.start(1);
  TJobThread thread;
  RunJob(
      thread,
      [&] {
        target.post(Progress(1, 1));
        target.pump();
        target.post(Progress(2, 0));
        finalPosted = true;
        while (!windowPumped) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      },
      [&] { target.deliver(); });
  EXPECT_EQ(seenByWindowPump, (std::vector<uint32_t>{WM_BATCH_PROGRESS, WM_BATCH_CANCEL}));
  EXPECT_EQ(handled,
            (std::vector<uint32_t>{WM_BATCH_PROGRESS, WM_BATCH_CANCEL, WM_BATCH_PROGRESS}));
}

TEST(JobThread, oneJobAtATimeAndTheWindowStaysResponsiveMeanwhile) {
  TJobThread thread;
  std::atomic<int> ticks{0};
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
  ticker.start(1);
  bool finished = false;
  bool ticksSeenByTheJob = false;
  // The timer ticks only while the window handles events: the job sees
  // them only when the window stays responsive while it works.
  ASSERT_TRUE(thread.Start([&] { ticksSeenByTheJob = test::WaitUntil([&] { return ticks >= 5; }); },
                           [&] { finished = true; }));
  EXPECT_TRUE(thread.Running());
  EXPECT_FALSE(thread.Start([] {}, [] {}));  // refused while the first one runs
  thread.WaitWhileHandlingEvents();
  EXPECT_TRUE(ticksSeenByTheJob);
  EXPECT_TRUE(finished);
  EXPECT_FALSE(thread.Running());
  EXPECT_TRUE(thread.Start([] {}, [] {}));
  thread.WaitWhileHandlingEvents();
}

// A click handled inside Finished (behind a message box) cannot start the
// next job before this one is wound up.
TEST(JobThread, isStillRunningWhileItsFinishedRuns) {
  TJobThread thread;
  bool runningInFinished = false;
  bool startedFromFinished = false;
  RunJob(
      thread, [] {},
      [&] {
        runningInFinished = thread.Running();
        startedFromFinished = thread.Start([] {}, [] {});
      });
  EXPECT_TRUE(runningInFinished);
  EXPECT_FALSE(startedFromFinished);
  EXPECT_FALSE(thread.Running());
  thread.WaitWhileHandlingEvents();  // nothing runs: returns at once
}

// The job's error lines join the window's log before its final
// notification is handled, so that the notification finds them all.
TEST(JobThread, theJobsLinesJoinTheWindowsLogBeforeItsLastNotification) {
  TErrorLog windowLog{"earlier\r\n"};
  TErrorLog jobLog;
  std::vector<size_t> linesSeen;
  TWindowBatchTarget target([&](const TBatchMessage&) { linesSeen.push_back(windowLog.size()); });
  TJobThread thread;
  RunJob(
      thread,
      [&] {
        AddErrorLogEntry("first", jobLog);
        AddErrorLogEntry("second", jobLog);
        target.post(Progress(2, 0));
      },
      [&] { HandOverJobEnd(jobLog, windowLog, target); });
  EXPECT_EQ(windowLog, (TErrorLog{"earlier\r\n", "first\r\n", "second\r\n"}));
  EXPECT_TRUE(jobLog.empty());
  EXPECT_EQ(linesSeen, std::vector<size_t>{3});
}

// The message box in front, if one is open.
QMessageBox* ActiveMessageBox() {
  return qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
}

TEST(WindowMessages, aJobsMessageAndOneOfTheWindowsOwnBothShowWithoutDeadlock) {
  QWidget window;
  const TMessageHandler oldMessage = SetMessageHandler(nullptr);
  const TFolderHandler oldFolder = SetFolderHandler(nullptr);
  InstallWindowHandlers(&window);
  const QString fromJob = QStringLiteral("from the job\nsecond line");
  const QString fromWindow = QStringLiteral("from the window");
  bool windowRaised = false;
  std::vector<QString> closed;
  // While the job's box is open the window raises one of its own; that one
  // is closed first, then the job's.
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    QMessageBox* box = ActiveMessageBox();
    if (box == nullptr) return;
    if (box->text() == fromJob && !windowRaised) {
      windowRaised = true;
      QTimer::singleShot(0, &window, [] { ShowMessage("from the window"); });
      return;
    }
    if (box->text() == fromWindow || (box->text() == fromJob && !closed.empty())) {
      closed.push_back(box->text());
      box->close();
    }
  });
  watch.start(1);
  TJobThread thread;
  bool jobReturned = false;
  RunJob(
      thread,
      [&] {
        ShowMessage("from the job\r\nsecond line");
        jobReturned = true;
      },
      [] {});
  EXPECT_TRUE(jobReturned);
  EXPECT_TRUE(windowRaised);
  EXPECT_EQ(closed, (std::vector<QString>{fromWindow, fromJob}));
  SetMessageHandler(oldMessage);
  SetFolderHandler(oldFolder);
}

TEST(WindowMessages, lineBreaksOfEveryKindBecomeNewLines) {
  EXPECT_EQ(MessageLines("a\r\nb\rc\nd"), "a\nb\nc\nd");
  EXPECT_EQ(MessageLines("end\r"), "end\n");
}

}  // namespace
}  // namespace pictrim
