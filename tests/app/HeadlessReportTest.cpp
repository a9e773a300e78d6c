#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>

#include "app/HeadlessReport.h"

namespace pictrim {
namespace {

void Post(TConsoleReport& Report, uint32_t Message, int64_t W, int64_t L,
          const std::string& Text = "") {
  Report.post({Message, W, L, Text});
  Report.pump();
}

TEST(HeadlessReport, withoutATerminalEachFileIsOnePlainLine) {
  std::ostringstream err;
  TConsoleReport report(err, false);
  Post(report, WM_BATCH_STATUS, 0, 0, "a.jpg");
  Post(report, WM_BATCH_FILE, 0, 0, "/out/a.jpg");
  EXPECT_EQ(LastFile, "/out/a.jpg");
  Post(report, WM_BATCH_PROGRESS, 1, 2);
  Post(report, WM_BATCH_FILE, 7, 0, "/ignored");  // only wParam 0 names a file
  Post(report, WM_BATCH_FILE, 0, 0, "/out/b.jpg");
  Post(report, WM_BATCH_PROGRESS, 2, 2);
  Post(report, WM_BATCH_STATUS, 0, 0, "Letze Aktion = fertig");
  report.post({WM_BATCH_PROGRESS, 3, 0, ""});  // the final notification, not pumped by the batch
  report.Finish({"File /x.bmp was empty\r\n", "Not a valid JPG:   /y.jpg\r\n"});
  EXPECT_EQ(err.str(),
            "[1/2] /out/a.jpg\n"
            "[2/2] /out/b.jpg\n"
            "Letze Aktion = fertig\n"
            "File /x.bmp was empty\n"
            "Not a valid JPG:   /y.jpg\n");
  EXPECT_EQ(err.str().find('\r'), std::string::npos);
}

TEST(HeadlessReport, onATerminalOneLineIsRedrawnAndClearedAroundMessages) {
  std::ostringstream err;
  TConsoleReport report(err, true, 50);
  Post(report, WM_BATCH_FILE, 0, 0, "/src/IMG_0001.jpg");
  Post(report, WM_BATCH_PROGRESS, 1, 4);
  EXPECT_EQ(err.str(), "\r[#####               ] 1/4  IMG_0001.jpg\x1b[K");
  err.str("");
  report.Message("FOUND StartOfScan = $DAFF\r\rat Position = 9");
  EXPECT_EQ(err.str(),
            "\r\x1b[K"
            "FOUND StartOfScan = $DAFF at Position = 9\n"
            "\r[#####               ] 1/4  IMG_0001.jpg\x1b[K");
  err.str("");
  // A long status text is cut to the width of the terminal.
  Post(report, WM_BATCH_STATUS, 0, 0, "IMG_0001.jpg  No 1 - test Size:  1200 x 900");
  EXPECT_EQ(err.str(), "\r[#####               ] 1/4  IMG_0001.jpg  No 1 - \x1b[K");
  err.str("");
  Post(report, WM_BATCH_PROGRESS, 5, 0);
  EXPECT_EQ(err.str(), "\r\x1b[K");
  err.str("");
  report.Finish({});
  EXPECT_EQ(err.str(), "IMG_0001.jpg  No 1 - test Size:  1200 x 900\n");
}

TEST(HeadlessReport, messagesWithoutAProgressLineArePlainLines) {
  std::ostringstream err;
  TConsoleReport report(err, true);
  report.Message("Error with /a.jpg\r/a.jpg");
  report.Message("result:\tNewFileList =\t/b.jpg\r\n");
  EXPECT_EQ(err.str(), "Error with /a.jpg /a.jpg\nresult:\tNewFileList =\t/b.jpg\n");
}

TEST(HeadlessReport, oneLineJoinsLineBreakRunsWithABlank) {
  EXPECT_EQ(OneLine("a\r\rb\r\nc\nd"), "a b c d");
  EXPECT_EQ(OneLine("\r\nlead and trail\r\n"), "lead and trail");
  EXPECT_EQ(OneLine(""), "");
}

TEST(HeadlessReport, theExitStatusSaysRefusedFailedOrDone) {
  EXPECT_EQ(ExitStatus(false, {}), 0);
  EXPECT_EQ(ExitStatus(false, {"File x was empty\r\n"}), 1);
  EXPECT_EQ(ExitStatus(true, {}), 2);
  EXPECT_EQ(ExitStatus(true, {"File x was empty\r\n"}), 2);
}

// Sets an environment variable for one test and restores it afterwards.
class TEnvironmentVariable {
 public:
  TEnvironmentVariable(const char* Name, const char* Value) : Name_(Name) {
    if (const char* old = std::getenv(Name)) Old_ = old;
    if (Value) {
      ::setenv(Name, Value, 1);
    } else {
      ::unsetenv(Name);
    }
  }
  ~TEnvironmentVariable() {
    if (Old_) {
      ::setenv(Name_, Old_->c_str(), 1);
    } else {
      ::unsetenv(Name_);
    }
  }

 private:
  const char* Name_;
  std::optional<std::string> Old_;
};

std::string Platform() {
  const char* value = std::getenv("QT_QPA_PLATFORM");
  return value ? value : "";
}

TEST(HeadlessReport, theOffscreenPlatformIsChosenOnlyWithoutADisplay) {
  {
    TEnvironmentVariable display("DISPLAY", nullptr), wayland("WAYLAND_DISPLAY", ""),
        platform("QT_QPA_PLATFORM", nullptr);
    UseOffscreenWithoutDisplay();
    EXPECT_EQ(Platform(), "offscreen");
  }
  {
    TEnvironmentVariable display("DISPLAY", ":0"), wayland("WAYLAND_DISPLAY", nullptr),
        platform("QT_QPA_PLATFORM", nullptr);
    UseOffscreenWithoutDisplay();
    EXPECT_EQ(Platform(), "");
  }
  {
    TEnvironmentVariable display("DISPLAY", nullptr), wayland("WAYLAND_DISPLAY", "wayland-0"),
        platform("QT_QPA_PLATFORM", nullptr);
    UseOffscreenWithoutDisplay();
    EXPECT_EQ(Platform(), "");
  }
  {
    // A platform the user chose stays.
    TEnvironmentVariable display("DISPLAY", nullptr), wayland("WAYLAND_DISPLAY", nullptr),
        platform("QT_QPA_PLATFORM", "minimal");
    UseOffscreenWithoutDisplay();
    EXPECT_EQ(Platform(), "minimal");
  }
}

}  // namespace
}  // namespace pictrim
