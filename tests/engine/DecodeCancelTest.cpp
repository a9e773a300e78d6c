// A cancel while a decoder hangs on a file: the resize and file-size jobs
// end on it (the decoder's clock stands still, so nothing else can end the
// wait), the file in work counts as not done (no line blames it), and no
// decoder is left.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "engine/JobAccount.h"
#include "engine/Resize.h"
#include "image/IsolatedDecode.h"
#include "tests/common/StillClock.h"
#include "tests/common/TestPictures.h"
#include "tests/common/WaitFor.h"
#include "tests/engine/BatchFixture.h"

namespace pictrim {
namespace {

// True when a child process of this one is running.
bool HasChild() {
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) continue;
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string state;
    int parent = 0;
    fields >> state >> parent;
    if (parent == ::getpid()) return true;
  }
  return false;
}

class DecodeCancel : public test::BatchTest {
 protected:
  void SetUp() override {
    BatchTest::SetUp();
    test::WritePicture(Source + "a.png", 60, 40, FIF_PNG);
    test::WritePicture(Source + "b.png", 60, 40, FIF_PNG);
    FreezeSource();
    TDecodeLimits limits;
    limits.Seconds = 3;
    SetDecodeLimits(limits);
    ::setenv("PICTRIM_DECODER_MISBEHAVE", "hang:a.png", 1);
    BatchThreads = 1;
  }
  void TearDown() override {
    ::unsetenv("PICTRIM_DECODER_MISBEHAVE");
    SetDecodeLimits(TDecodeLimits());
    BatchThreads = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    BatchTest::TearDown();
  }

  // Runs Job while another thread sets the cancel flag once the decoder
  // that hangs on a.png is running. The decoder's clock stands still, so
  // only the cancel can end the wait; false when the job did not end on it.
  bool RunCancelled(const std::function<void()>& Job) {
    test::TStillClock clock;
    std::atomic<bool> done = false;
    bool ended = false;
    std::thread canceller([&] {
      EXPECT_TRUE(test::WaitUntil(HasChild));
      CancelRequested = true;
      ended = test::WaitUntil([&] { return done.load(); });
      if (!ended) clock.Advance(std::chrono::hours(1));
    });
    Job();
    done = true;
    canceller.join();
    return ended;
  }

  TJobAccount Account;
};

TEST_F(DecodeCancel, theResizeJobStopsAtOnceAndCountsTheFileAsNotDone) {
  const bool ended = RunCancelled([&] {
    ConvertPICsWholeTree(&Window, Source, "", 30, 30, "", 0, WM_BATCH_PROGRESS, WM_BATCH_FILE,
                         false, ErrorLog, &Account);
  });
  EXPECT_TRUE(ended);
  EXPECT_TRUE(Log().empty()) << Log().front();
  EXPECT_EQ(Account, (TJobAccount{.NotReached = 2}));
}

TEST_F(DecodeCancel, theFileSizeJobStopsAtOnceAndCountsTheFileAsNotDone) {
  const bool ended = RunCancelled([&] {
    ConvertPICsWholeTree2(&Window, Source, "", "", 20, "", 0, WM_BATCH_PROGRESS, WM_BATCH_FILE,
                          false, true, ErrorLog, &Account);
  });
  EXPECT_TRUE(ended);
  EXPECT_TRUE(Log().empty()) << Log().front();
  EXPECT_EQ(Account, (TJobAccount{.NotReached = 2}));
}

// On the JPEG road the decode waits in the program for memory others hold:
// the cancel ends that wait (its patience is an hour here), the decode stops
// at its first row, and the files count as not done.
TEST_F(DecodeCancel, theResizeJobStopsAJpegWaitingForMemoryAndCountsItAsNotDone) {
  const std::string jpegs = Dir / "jpegs/";
  test::WriteJpeg(jpegs + "c.jpg", 600, 400);
  test::WriteJpeg(jpegs + "d.jpg", 600, 400);
  TDecodeLimits limits;
  limits.Seconds = 3600;
  SetDecodeLimits(limits);
  TMemoryLease held = PictureBudget().Acquire(PictureBudget().Capacity());
  std::atomic<bool> done = false;
  bool ended = false;
  std::thread canceller([&] {
    EXPECT_TRUE(test::WaitUntil([] { return PictureBudget().Waiting() == 1; }));
    CancelRequested = true;
    ended = test::WaitUntil([&] { return done.load(); });
    held.Release();
  });
  ConvertPICsWholeTree(&Window, jpegs, "", 30, 30, "", 0, WM_BATCH_PROGRESS, WM_BATCH_FILE, false,
                       ErrorLog, &Account);
  done = true;
  canceller.join();
  EXPECT_TRUE(ended);
  EXPECT_TRUE(Log().empty()) << Log().front();
  EXPECT_EQ(Account, (TJobAccount{.NotReached = 2}));
}

}  // namespace
}  // namespace pictrim
