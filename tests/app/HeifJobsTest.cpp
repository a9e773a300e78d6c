// The pictrim executable over photographs from a phone (HEIC beside PNG and
// TIFF): a decoder that crashes between files costs no file, and info lists
// a HEIC file's EXIF.
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

TEST_F(HeifJobs, resizeCopiesEveryPictureEvenWhenTheDecoderCrashesBetweenFiles) {
  // The decoder serving IMG_0001 dies after its answer: no file is lost.
  const TRun resize = RunPictrim({"resize", "--height", "60", Q(Source)}, "",
                                 {{"PICTRIM_DECODER_MISBEHAVE", "crashafter:IMG_0001.HEIC"}});
  EXPECT_EQ(resize.Status, 0) << resize.Err;
  for (const char* name : {"IMG_0001.jpg", "IMG_0002.jpg", "IMG_0003.jpg"})
    EXPECT_EQ(test::PictureSize(Dir / ("Handy_MAXHEIGHT60/" + std::string(name))), QSize(40, 60))
        << name;
  EXPECT_EQ(test::PictureSize(Dir / "Handy_MAXHEIGHT60/plan.jpg"), QSize(120, 60));
  EXPECT_EQ(test::PictureSize(Dir / "Handy_MAXHEIGHT60/scan.jpg"), QSize(120, 60));
}

TEST_F(HeifJobs, aHeicUnderAnotherNameIsCopiedAsShownByEveryJob) {
  // A phone photo (stored 120 x 80, shown 80 x 120) named as a JPEG, and one
  // without an extension.
  const std::string folder = Dir / "Umbenannt/";
  fs::create_directories(folder);
  fs::copy_file(Source + "IMG_0001.HEIC", folder + "photo.jpg");
  fs::copy_file(Source + "IMG_0001.HEIC", folder + "photo2");
  const TRun resize = RunPictrim({"resize", "--width", "60", Q(folder)});
  EXPECT_EQ(resize.Status, 0) << resize.Err;
  EXPECT_EQ(test::PictureSize(Dir / "Umbenannt_MAXWIDTH60/photo.jpg"), QSize(60, 90)) << resize.Out;
  EXPECT_EQ(test::PictureSize(Dir / "Umbenannt_MAXWIDTH60/photo2.jpg"), QSize(60, 90))
      << resize.Out;
  const TRun shrink = RunPictrim({"shrink", "--kb", "200", Q(folder)});
  EXPECT_EQ(shrink.Status, 0) << shrink.Err;
  EXPECT_EQ(test::PictureSize(Dir / "Umbenannt_SIZE200 kB/photo.jpg"), QSize(80, 120))
      << shrink.Out;
  EXPECT_EQ(test::PictureSize(Dir / "Umbenannt_SIZE200 kB/photo2.ex.jpg"), QSize(80, 120))
      << shrink.Out;
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
