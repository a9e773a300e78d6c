// The pictrim executable over photographs from a phone (HEIC beside PNG and
// TIFF): every job that loads pictures makes their copies, a decoder that
// crashes between files costs no file, and info lists a HEIC file's EXIF.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/app/PictrimRun.h"
#include "tests/common/HeifPictures.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPictures.h"

namespace pictrim {
namespace {

namespace fs = std::filesystem;

const std::string DateTaken = "2019:06:15 10:20:30";
using test::RunPictrim;
using test::TRun;

QString Q(const std::string& Text) {
  return QString::fromStdString(Text);
}

class HeifJobs : public ::testing::Test {
 protected:
  void SetUp() override {
    test::THeifOptions options;
    options.Orientation = 6;
    options.Exif = test::PhoneExifBlock({6, DateTaken, 120, 80});
    for (int i = 1; i <= 3; ++i) {
      test::WriteHeif(Source + "IMG_000" + std::to_string(i) + ".HEIC",
                      test::MakeNaturalImage(120, 80, i), options);
    }
    test::WritePicture(Source + "plan.png", 100, 50, FIF_PNG);
    test::WritePicture(Source + "scan.tif", 100, 50, FIF_TIFF);
  }
  test::TTempDir Dir;
  const std::string Source = Dir / "Handy/";
};

TEST_F(HeifJobs, resizeAndShrinkCopyEveryPictureEvenWhenTheDecoderCrashesBetweenFiles) {
  // The decoder serving IMG_0001 dies after its answer: no file is lost.
  const TRun resize = RunPictrim({"resize", "--height", "60", Q(Source)},
                                 {{"PICTRIM_DECODER_MISBEHAVE", "crashafter:IMG_0001.HEIC"}});
  EXPECT_EQ(resize.Status, 0) << resize.Err;
  for (const char* name : {"IMG_0001.jpg", "IMG_0002.jpg", "IMG_0003.jpg"})
    EXPECT_EQ(test::PictureSize(Dir / ("Handy_MAXHEIGHT60/" + std::string(name))), QSize(40, 60))
        << name;
  EXPECT_EQ(test::PictureSize(Dir / "Handy_MAXHEIGHT60/plan.jpg"), QSize(120, 60));
  EXPECT_EQ(test::PictureSize(Dir / "Handy_MAXHEIGHT60/scan.jpg"), QSize(120, 60));

  const TRun shrink = RunPictrim({"shrink", "--kb", "50", Q(Source)});
  EXPECT_EQ(shrink.Status, 0) << shrink.Err;
  const std::string sized = Dir / "Handy_SIZE50 kB/";
  for (const char* name : {"IMG_0001.exHEIC.jpg", "IMG_0003.exHEIC.jpg"})
    EXPECT_EQ(test::PictureSize(sized + name), QSize(80, 120)) << name;
  EXPECT_TRUE(fs::exists(sized + "plan.exPNG.jpg"));
  EXPECT_TRUE(fs::exists(sized + "scan.exTIF.jpg"));
}

TEST_F(HeifJobs, aDamagedHeicGetsTheLoadersLineAndTheOthersTheirCopies) {
  const std::string good = test::ReadWholeFile(Source + "IMG_0002.HEIC");
  test::WriteTextFile(Source + "IMG_0009.HEIC", good.substr(0, good.size() / 2));
  const TRun run = RunPictrim({"resize", "--edge", "50", Q(Source)});
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("FBitmap.Load() with  File \"" + Source + "IMG_0009.HEIC\""),
            std::string::npos)
      << run.Err;
  EXPECT_FALSE(fs::exists(Dir / "Handy_MAXSIZE50/IMG_0009.jpg"));
  EXPECT_EQ(test::PictureSize(Dir / "Handy_MAXSIZE50/IMG_0003.jpg"), QSize(33, 50));
}

TEST_F(HeifJobs, infoListsTheExifOfAHeicFile) {
  const TRun run = RunPictrim({"info", Q(Source + "IMG_0001.HEIC")});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_NE(run.Out.find("[EXIF]"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find(DateTaken), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("Test Phone"), std::string::npos) << run.Out;
  // Told by its bytes under another name as well.
  fs::copy_file(Source + "IMG_0001.HEIC", Dir / "photo.bin");
  const TRun renamed = RunPictrim({"info", Q(Dir / "photo.bin")});
  EXPECT_NE(renamed.Out.find(DateTaken), std::string::npos) << renamed.Out;
}

}  // namespace
}  // namespace pictrim
