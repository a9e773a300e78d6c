// Ctrl-C and SIGTERM sent to the pictrim executable during a run: the run
// ends as a cancel does, with whole files only, without waiting for a stuck
// decoder, and a second Ctrl-C ends it at once, taking its decoder process
// with it.
#include <gtest/gtest.h>

#include <QProcess>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "tests/common/TempDir.h"
#include "tests/common/TestPictures.h"

namespace pictrim {
namespace {

namespace fs = std::filesystem;

void StartPictrim(QProcess& Process, const std::string& Folder, const std::string& Misbehave,
                  const std::string& Mark) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove("DISPLAY");
  // German status texts, whatever the locale of the machine.
  environment.remove("LC_ALL");
  environment.remove("LC_MESSAGES");
  environment.insert("LANG", "de_DE.UTF-8");
  environment.insert("PICTRIM_DECODER_MISBEHAVE", QString::fromStdString(Misbehave));
  environment.insert("PICTRIM_TEST_MARK", QString::fromStdString(Mark));
  Process.setProcessEnvironment(environment);
  Process.start(PICTRIM_EXE, {"resize", "--edge", "40", QString::fromStdString(Folder)});
  ASSERT_TRUE(Process.waitForStarted());
}

// Processes whose environment carries Mark (pictrim and its decoders).
int ProcessesMarked(const std::string& Mark) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::ifstream environ(entry.path() / "environ", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(environ)),
                           std::istreambuf_iterator<char>());
    count += text.find("PICTRIM_TEST_MARK=" + Mark) != std::string::npos;
  }
  return count;
}

bool WaitFor(const std::function<bool()>& Condition) {
  for (int i = 0; i < 500; ++i) {
    if (Condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST(CancelSignal, ctrlCAndSigtermEndTheRunAsACancelWithWholeFiles) {
  for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
    test::TTempDir dir;
    const std::string source = dir / "src/";
    test::WriteTextFile(source + "0empty.png", "");
    for (int i = 1; i <= 80; ++i)
      test::WritePicture(source + std::to_string(1000 + i) + ".png", 300, 200, FIF_PNG);
    QProcess process;
    StartPictrim(process, source, "", dir.Path());
    std::string err;
    ASSERT_TRUE(WaitFor([&] {
      process.waitForReadyRead(10);
      err += process.readAllStandardError().toStdString();
      return err.find("[2/") != std::string::npos;
    }));
    ASSERT_GT(process.processId(), 0);
    ::kill(static_cast<pid_t>(process.processId()), signal);
    ASSERT_TRUE(process.waitForFinished(30000));
    err += process.readAllStandardError().toStdString();
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), status) << err;
    EXPECT_NE(err.find("Letze Aktion = Prozess abgebrochen"), std::string::npos) << err;
    EXPECT_NE(err.find("FBitmap.Load() with  File \"" + source + "0empty.png\""), std::string::npos)
        << err;
    // Fewer copies than pictures, each one whole, nothing else in the folder.
    int copies = 0;
    for (const auto& entry : fs::directory_iterator(dir / "src_MAXSIZE40")) {
      ++copies;
      EXPECT_EQ(entry.path().extension(), ".jpg") << entry.path();
      EXPECT_EQ(test::PictureSize(entry.path().string()), QSize(40, 26)) << entry.path();
    }
    EXPECT_GT(copies, 0);
    EXPECT_LT(copies, 80);
  }
}

TEST(CancelSignal, aCtrlCEndsAWaitOnAStuckDecoderAndNoDecoderStays) {
  // One Ctrl-C: the wait on the decoder that hangs on a.png ends within
  // about a second, as a cancel. Two at once: the run ends at once.
  for (const int ctrlCs : {1, 2}) {
    test::TTempDir dir;
    const std::string source = dir / "src/";
    test::WritePicture(source + "a.png", 300, 200, FIF_PNG);
    test::WritePicture(source + "b.png", 300, 200, FIF_PNG);
    QProcess process;
    StartPictrim(process, source, "hang:a.png", dir.Path());
    // pictrim and the decoder that hangs on a.png.
    ASSERT_TRUE(WaitFor([&] { return ProcessesMarked(dir.Path()) == 2; }));
    ASSERT_GT(process.processId(), 0);  // 0 would signal this test's own group
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < ctrlCs; ++i) ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(5000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_EQ(process.exitCode(), 130);
    if (ctrlCs == 1) {
      const std::string err = process.readAllStandardError().toStdString();
      EXPECT_NE(err.find("Letze Aktion = Prozess abgebrochen"), std::string::npos) << err;
      EXPECT_EQ(err.find("a.png"), std::string::npos) << err;  // a cancel, no damaged file
    }
    EXPECT_TRUE(WaitFor([&] { return ProcessesMarked(dir.Path()) == 0; }));
  }
}

}  // namespace
}  // namespace pictrim
