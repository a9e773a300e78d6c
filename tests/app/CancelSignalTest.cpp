// Ctrl-C and SIGTERM sent to the pictrim executable during a run: the run
// ends as a cancel does, with whole files only, without waiting for a stuck
// decoder, and a second signal ends it at once, taking its decoder process
// with it. Each run holds a decoder that hangs, so that it cannot end before
// the signal, however fast or busy the machine.
#include <gtest/gtest.h>

#include <QProcess>

#include <signal.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/common/TempDir.h"
#include "tests/common/TestPictures.h"
#include "tests/common/WaitFor.h"

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

// The state letter of process Pid ("R", "S", "T", ...), "" when it is gone.
std::string StateOf(qint64 Pid) {
  std::ifstream stat("/proc/" + std::to_string(Pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) return "";
  return line.substr(line.rfind(')') + 2, 1);
}

// Whether Folder holds a .jpg (copies are written under a temporary name and
// renamed when whole).
bool HoldsACopy(const fs::path& Folder) {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(Folder, error))
    if (entry.path().extension() == ".jpg") return true;
  return false;
}

TEST(CancelSignal, ctrlCAndSigtermEndTheRunAsACancelWithWholeFiles) {
  for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
    test::TTempDir dir;
    const std::string source = dir / "src/";
    test::WriteTextFile(source + "0empty.png", "");
    for (int i = 1; i <= 20; ++i)
      test::WritePicture(source + std::to_string(1000 + i) + ".png", 300, 200, FIF_PNG);
    // The last file hangs its decoder: the run cannot end before the signal.
    QProcess process;
    StartPictrim(process, source, "hang:1020.png", dir.Path());
    std::string err;
    ASSERT_TRUE(test::WaitUntil([&] {
      process.waitForReadyRead(10);
      err += process.readAllStandardError().toStdString();
      return HoldsACopy(dir / "src_MAXSIZE40");
    }));
    ASSERT_GT(process.processId(), 0);
    ::kill(static_cast<pid_t>(process.processId()), signal);
    ASSERT_TRUE(process.waitForFinished(-1));
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
    EXPECT_LT(copies, 20);
  }
}

// One Ctrl-C ends the wait on the decoder that hangs on a.png as a cancel,
// long before the decoder's time limit would (that would name a.png).
TEST(CancelSignal, aCtrlCEndsAWaitOnAStuckDecoderAndNoDecoderStays) {
  test::TTempDir dir;
  const std::string source = dir / "src/";
  test::WritePicture(source + "a.png", 300, 200, FIF_PNG);
  test::WritePicture(source + "b.png", 300, 200, FIF_PNG);
  QProcess process;
  StartPictrim(process, source, "hang:a.png", dir.Path());
  // pictrim and the decoder that hangs on a.png.
  ASSERT_TRUE(test::WaitUntil([&] { return ProcessesMarked(dir.Path()) == 2; }));
  ASSERT_GT(process.processId(), 0);  // 0 would signal this test's own group
  ::kill(static_cast<pid_t>(process.processId()), SIGINT);
  ASSERT_TRUE(process.waitForFinished(-1));
  EXPECT_EQ(process.exitCode(), 130);
  const std::string err = process.readAllStandardError().toStdString();
  EXPECT_NE(err.find("Letze Aktion = Prozess abgebrochen"), std::string::npos) << err;
  EXPECT_EQ(err.find("a.png"), std::string::npos) << err;  // a cancel, no damaged file
  EXPECT_TRUE(test::WaitUntil([&] { return ProcessesMarked(dir.Path()) == 0; }));
}

// A second signal before the run has acted on the first ends it at once: no
// account of the run is written, and its decoder goes with it. Both signals
// wait while the process is stopped, so they arrive together.
TEST(CancelSignal, aSecondSignalEndsTheRunAtOnceAndTakesItsDecoder) {
  test::TTempDir dir;
  const std::string source = dir / "src/";
  test::WritePicture(source + "a.png", 300, 200, FIF_PNG);
  QProcess process;
  StartPictrim(process, source, "hang:a.png", dir.Path());
  ASSERT_TRUE(test::WaitUntil([&] { return ProcessesMarked(dir.Path()) == 2; }));
  const qint64 pid = process.processId();
  ASSERT_GT(pid, 0);
  ASSERT_EQ(::kill(static_cast<pid_t>(pid), SIGSTOP), 0);
  ASSERT_TRUE(test::WaitUntil([&] { return StateOf(pid) == "T"; }));
  ::kill(static_cast<pid_t>(pid), SIGINT);
  ::kill(static_cast<pid_t>(pid), SIGTERM);
  ::kill(static_cast<pid_t>(pid), SIGCONT);
  ASSERT_TRUE(process.waitForFinished(-1));
  EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
  EXPECT_TRUE(process.exitCode() == 130 || process.exitCode() == 143) << process.exitCode();
  const std::string err = process.readAllStandardError().toStdString();
  EXPECT_EQ(err.find("Letze Aktion"), std::string::npos) << err;
  EXPECT_TRUE(test::WaitUntil([&] { return ProcessesMarked(dir.Path()) == 0; }));
}

}  // namespace
}  // namespace pictrim
