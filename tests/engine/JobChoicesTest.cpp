// The choices beyond the classic job parameters: the JPEG quality of the
// copies, pictures that keep their size, a file-size search that never keeps
// a copy above the target, and an output folder of one's own.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/BatchSupport.h"
#include "engine/JobAccount.h"
#include "engine/Resize.h"
#include "tests/common/TestPictures.h"
#include "tests/engine/BatchFixture.h"

namespace pictrim {
namespace {

namespace fs = std::filesystem;
using test::PictureSize;
using test::WriteJpeg;
using test::WritePicture;

using test::FirstQuantizer;

TEST(FitNewSize, keepsASmallerPictureOnlyWhenAsked) {
  EXPECT_EQ(FitNewSize(1024, 1024, 300, 200, false), (TPictureSize{1024, 682}));
  EXPECT_EQ(FitNewSize(1024, 1024, 300, 200, true), (TPictureSize{300, 200}));
  // The constrained edge at the size, one below, one above.
  EXPECT_EQ(FitNewSize(1024, 1024, 1024, 700, true), (TPictureSize{1024, 700}));
  EXPECT_EQ(FitNewSize(1024, 1024, 1023, 700, true), (TPictureSize{1023, 700}));
  EXPECT_EQ(FitNewSize(1024, 1024, 1025, 700, true), (TPictureSize{1024, 699}));
  EXPECT_EQ(FitNewSize(1024, 1024, 700, 1025, true), (TPictureSize{699, 1024}));
  // Width and height modes look at their own edge only.
  EXPECT_EQ(FitNewSize(800, 0, 640, 2000, true), (TPictureSize{640, 2000}));
  EXPECT_EQ(FitNewSize(0, 800, 2000, 640, true), (TPictureSize{2000, 640}));
  EXPECT_EQ(FitNewSize(800, 0, 1600, 100, true), (TPictureSize{800, 50}));
}

TEST(OutputInsideSource, tellsAFolderBelowTheSourceFromOneBesideIt) {
  test::TTempDir dir;
  fs::create_directories(dir / "a/b/c");
  fs::create_directories(dir / "a/b2");
  fs::create_directory_symlink(dir / "a/b", dir / "link");
  EXPECT_TRUE(batch::OutputInsideSource(dir / "a/b/", dir / "a/b/"));
  EXPECT_TRUE(batch::OutputInsideSource(dir / "a/b", dir / "a/b/"));
  EXPECT_TRUE(batch::OutputInsideSource(dir / "a/b/c/", dir / "a/b/"));
  EXPECT_TRUE(batch::OutputInsideSource(dir / "a/b/new/deeper/", dir / "a/b/"));
  EXPECT_TRUE(batch::OutputInsideSource(dir / "a/b2/../b/c/", dir / "a/b/"));
  EXPECT_TRUE(batch::OutputInsideSource(dir / "link/out/", dir / "a/b/"));
  EXPECT_TRUE(batch::OutputInsideSource(dir / "a/b/out/", dir / "link/"));
  EXPECT_FALSE(batch::OutputInsideSource(dir / "a/b2/", dir / "a/b/"));
  EXPECT_FALSE(batch::OutputInsideSource(dir / "a/", dir / "a/b/"));
  EXPECT_FALSE(batch::OutputInsideSource(dir / "a/b_MAXSIZE800/", dir / "a/b/"));
  EXPECT_TRUE(batch::OutputInsideSource(dir / "x/", "/"));
}

class ChosenResize : public test::BatchTest {
 protected:
  void Run(uint32_t Size, const TJobChoices& Choices, const std::string& Text = "",
           const std::string& Output = "") {
    ErrorLog.clear();
    ASSERT_EQ(ConvertPICsWholeTree(&Window, Source, Output, Size, Size, Text, TextAtTop,
                                   WM_BATCH_PROGRESS, WM_BATCH_FILE, true, ErrorLog, nullptr,
                                   Choices),
              0);
    Window.pump();
  }
  std::string Out(const std::string& Name, uint32_t Size) const {
    return Dir / ("src_MAXSIZE" + std::to_string(Size) + "/" + Name);
  }
};

TEST_F(ChosenResize, theQualityIsTheChosenOneOnEveryRoadAndTheClassicOneWithout) {
  WriteJpeg(Source + "photo.jpg", 640, 480);       // the quick JPEG road
  WritePicture(Source + "plan.png", 640, 480, FIF_PNG);  // through the image library
  FreezeSource();
  Run(320, {});
  EXPECT_EQ(FirstQuantizer(Out("photo.jpg", 320)), 8);  // 75
  EXPECT_EQ(FirstQuantizer(Out("plan.jpg", 320)), 8);
  Run(320, {}, "Stamp");
  EXPECT_EQ(FirstQuantizer(Out("photo.jpg", 320)), 3);  // 90 after a stamp
  EXPECT_EQ(FirstQuantizer(Out("plan.jpg", 320)), 3);
  for (const char* text : {"", "Stamp"}) {
    Run(320, {.Quality = 30}, text);
    EXPECT_EQ(FirstQuantizer(Out("photo.jpg", 320)), 27) << text;
    EXPECT_EQ(FirstQuantizer(Out("plan.jpg", 320)), 27) << text;
  }
  Run(320, {.Quality = 100});
  EXPECT_EQ(FirstQuantizer(Out("photo.jpg", 320)), 1);
  // The lowest quality is a choice too (its quantizers are as coarse as
  // baseline JPEG allows).
  Run(320, {.Quality = 1});
  EXPECT_EQ(FirstQuantizer(Out("photo.jpg", 320)), 255);
  EXPECT_EQ(FirstQuantizer(Out("plan.jpg", 320)), 255);
  EXPECT_TRUE(Log().empty());
}

TEST_F(ChosenResize, noEnlargeKeepsSmallerPicturesAtTheirSizeAndStillShrinksLargerOnes) {
  WriteJpeg(Source + "small.jpg", 300, 200);
  WritePicture(Source + "small.png", 200, 300, FIF_PNG);
  WriteJpeg(Source + "large.jpg", 2000, 1000);
  FreezeSource();
  Run(1024, {});
  EXPECT_EQ(PictureSize(Out("small.jpg", 1024)), QSize(1024, 682));
  Run(1024, {.NoEnlarge = true});
  EXPECT_EQ(PictureSize(Out("small.jpg", 1024)), QSize(300, 200));
  EXPECT_EQ(PictureSize(Out("large.jpg", 1024)), QSize(1024, 512));
  // small.png's copy is named apart from small.jpg's, and keeps its size too.
  EXPECT_EQ(PictureSize(Out("small.exPNG.jpg", 1024)), QSize(200, 300));
  EXPECT_TRUE(Log().empty());
}

TEST_F(ChosenResize, anOutputFolderOfOnesOwnGetsTheTreeMirrored) {
  WriteJpeg(Source + "a.jpg", 200, 100);
  WriteJpeg(Source + "sub/deep/b.jpg", 100, 200);
  FreezeSource();
  Run(50, {}, "", Dir / "elsewhere/copies");
  EXPECT_EQ(PictureSize(Dir / "elsewhere/copies/a.jpg"), QSize(50, 25));
  EXPECT_EQ(PictureSize(Dir / "elsewhere/copies/sub/deep/b.jpg"), QSize(25, 50));
  EXPECT_FALSE(fs::exists(Dir / "src_MAXSIZE50"));
}

class ChosenShrink : public test::BatchTest {
 protected:
  void Run(uint32_t TargetKB, const TJobChoices& Choices, const std::string& Text = "") {
    ErrorLog.clear();
    Account = {};
    ASSERT_EQ(ConvertPICsWholeTree2(&Window, Source, "", "", TargetKB, Text, TextAtTop,
                                    WM_BATCH_PROGRESS, WM_BATCH_FILE, true, false, ErrorLog,
                                    &Account, Choices),
              0);
    Window.pump();
  }
  std::string Out(const std::string& Name, uint32_t TargetKB) const {
    return Dir / ("src_SIZE" + std::to_string(TargetKB) + " kB/" + Name);
  }
  TJobAccount Account;
};

TEST_F(ChosenShrink, aStrictSearchLeavesNoCopyAboveTheTarget) {
  for (unsigned i = 0; i < 6; ++i) {
    WriteJpeg(Source + "p" + std::to_string(i) + ".jpg", 1600 + 80 * static_cast<int>(i),
              1200 - 40 * static_cast<int>(i), 92, i + 3);
  }
  WritePicture(Source + "plan.png", 1200, 900, FIF_PNG, 24, 9);
  FreezeSource();
  Run(60, {.StrictSize = true});
  EXPECT_EQ(Account.Written, 7);
  for (const auto& entry : fs::directory_iterator(Dir / "src_SIZE60 kB/"))
    EXPECT_LE(fs::file_size(entry.path()), 60u * 1024) << entry.path();
  EXPECT_TRUE(Log().empty());
}

TEST_F(ChosenShrink, aCopyThatCannotGetDownToTheTargetIsWrittenSmallAndNamed) {
  // A colour profile of 6000 bytes rides along in every trial.
  WriteJpeg(Source + "profiled.jpg", 800, 600);
  std::string bytes = test::ReadWholeFile(Source + "profiled.jpg");
  const std::string payload = "ICC_PROFILE" + std::string(1, '\0') + "\x01\x01" + std::string(6000, 'p');
  const size_t length = payload.size() + 2;
  bytes.insert(2, "\xff\xe2" + std::string(1, static_cast<char>(length >> 8)) +
                      std::string(1, static_cast<char>(length & 0xFF)) + payload);
  test::WriteTextFile(Source + "profiled.jpg", bytes);
  FreezeSource();

  Run(3, {});
  EXPECT_TRUE(Log().empty());
  Run(3, {.StrictSize = true});
  ASSERT_EQ(Log().size(), 1u);
  const uintmax_t written = fs::file_size(Out("profiled.jpg", 3));
  EXPECT_EQ(Log()[0], AboveTargetLine("src/profiled.jpg", written, 3));
  EXPECT_GT(written, 3u * 1024);
  EXPECT_LT(written, 7000u);  // the smallest trial, not the full-size save
  EXPECT_EQ(Account.Written, 1);
}

TEST_F(ChosenShrink, theTrialsAreEncodedAtTheChosenQuality) {
  WriteJpeg(Source + "photo.jpg", 1600, 1200);
  WritePicture(Source + "plan.png", 300, 200, FIF_PNG);  // fits at full size
  FreezeSource();
  Run(40, {});
  EXPECT_EQ(FirstQuantizer(Out("photo.jpg", 40)), 8);
  EXPECT_EQ(FirstQuantizer(Out("plan.exPNG.jpg", 40)), 8);
  const QSize classic = PictureSize(Out("photo.jpg", 40));
  Run(40, {.Quality = 30});
  EXPECT_EQ(FirstQuantizer(Out("photo.jpg", 40)), 27);
  EXPECT_EQ(FirstQuantizer(Out("plan.exPNG.jpg", 40)), 27);
  // A lower quality buys more pixels for the same kilobytes.
  EXPECT_GT(PictureSize(Out("photo.jpg", 40)).width(), classic.width());
  // Stamped trials: 90 unless chosen.
  Run(40, {}, "Stamp");
  EXPECT_EQ(FirstQuantizer(Out("photo.jpg", 40)), 3);
  Run(40, {.Quality = 30}, "Stamp");
  EXPECT_EQ(FirstQuantizer(Out("photo.jpg", 40)), 27);
}

}  // namespace
}  // namespace pictrim
