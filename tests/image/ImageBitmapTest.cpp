#include <gtest/gtest.h>

#include <filesystem>

#include "image/ImageBitmap.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPictures.h"
#include "util/SystemUtils.h"

namespace pictrim {
namespace {

using test::TTempDir;
using test::WritePicture;

class ImageContainer : public ::testing::Test {
 protected:
  TTempDir Dir;
  TDisplayBitmap Picture;
};

TEST_F(ImageContainer, startsEmptyAndReportsZeroSizes) {
  EXPECT_FALSE(Picture.IsValid());
  EXPECT_EQ(Picture.GetWidth(), 0u);
  EXPECT_EQ(Picture.GetBitsPerPixel(), 0u);
  EXPECT_FALSE(Picture.Rescale(10, 10, FILTER_BOX));
  EXPECT_FALSE(Picture.ConvertTo24Bits());
  EXPECT_FALSE(Picture.Save(Dir / "x.jpg"));
  EXPECT_FALSE(std::filesystem::exists(Dir / "x.jpg"));
}

TEST_F(ImageContainer, loadsByContentsEvenUnderAWrongName) {
  WritePicture(Dir / "really-a-png.jpg", 40, 30, FIF_PNG);
  EXPECT_TRUE(Picture.Load(Dir / "really-a-png.jpg"));
  EXPECT_EQ(Picture.GetWidth(), 40u);
  EXPECT_EQ(Picture.GetHeight(), 30u);
}

TEST_F(ImageContainer, foreignContentsUnderAPictureNameLeaveItEmptyAndSayDecodeFailed) {
  WritePicture(Dir / "good.png", 20, 20, FIF_PNG);
  ASSERT_TRUE(Picture.Load(Dir / "good.png"));
  test::WriteTextFile(Dir / "fake.jpg", "this is not a picture at all");
  EXPECT_FALSE(Picture.Load(Dir / "fake.jpg"));
  EXPECT_FALSE(Picture.IsValid());
  EXPECT_TRUE(Picture.DecodeFailed());
}

TEST_F(ImageContainer, anUnknownFormatKeepsTheEarlierPicture) {
  WritePicture(Dir / "good.png", 20, 10, FIF_PNG);
  ASSERT_TRUE(Picture.Load(Dir / "good.png"));
  test::WriteTextFile(Dir / "song.mp3", "ID3 not a picture");
  EXPECT_FALSE(Picture.Load(Dir / "song.mp3"));
  EXPECT_FALSE(Picture.DecodeFailed());
  ASSERT_TRUE(Picture.IsValid());
  EXPECT_EQ(Picture.GetWidth(), 20u);
}

TEST_F(ImageContainer, lowDepthPicturesAreRescaledAsGreyOrColour) {
  WritePicture(Dir / "one.bmp", 64, 32, FIF_BMP, 1);
  ASSERT_TRUE(Picture.Load(Dir / "one.bmp"));
  ASSERT_EQ(Picture.GetBitsPerPixel(), 1u);
  ASSERT_TRUE(Picture.Rescale(32, 16, FILTER_BOX));
  EXPECT_EQ(Picture.GetBitsPerPixel(), 8u);

  WritePicture(Dir / "sixteen.bmp", 64, 32, FIF_BMP, 16);
  ASSERT_TRUE(Picture.Load(Dir / "sixteen.bmp"));
  ASSERT_EQ(Picture.GetBitsPerPixel(), 16u);
  ASSERT_TRUE(Picture.Rescale(32, 16, FILTER_BOX));
  EXPECT_EQ(Picture.GetBitsPerPixel(), 24u);
  EXPECT_EQ(Picture.GetWidth(), 32u);
}

TEST_F(ImageContainer, aRefusedRescaleKeepsThePicture) {
  WritePicture(Dir / "a.png", 64, 5, FIF_PNG);
  ASSERT_TRUE(Picture.Load(Dir / "a.png"));
  EXPECT_FALSE(Picture.Rescale(64, 0, FILTER_BOX));
  EXPECT_EQ(Picture.GetWidth(), 64u);
  EXPECT_EQ(Picture.GetHeight(), 5u);
}

TEST_F(ImageContainer, aThirtyTwoBitPictureIsNotSavedAsJpegUntilConverted) {
  WritePicture(Dir / "alpha.png", 40, 40, FIF_PNG, 32);
  ASSERT_TRUE(Picture.Load(Dir / "alpha.png"));
  ASSERT_EQ(Picture.GetBitsPerPixel(), 32u);
  EXPECT_FALSE(Picture.Save(Dir / "alpha.jpg"));
  EXPECT_FALSE(std::filesystem::exists(Dir / "alpha.jpg"));

  ASSERT_TRUE(Picture.ConvertForJpeg());
  EXPECT_EQ(Picture.GetBitsPerPixel(), 24u);
  QImage shown;
  ASSERT_EQ(Picture.CopyToBitmap(&shown), 0);
  // The transparent top-left quarter lies on white now.
  EXPECT_EQ(shown.pixelColor(2, 2), QColor(255, 255, 255));
  EXPECT_NE(shown.pixelColor(35, 35), QColor(255, 255, 255));
  EXPECT_TRUE(Picture.Save(Dir / "alpha.jpg"));
  EXPECT_EQ(test::PictureSize(Dir / "alpha.jpg"), QSize(40, 40));
}

TEST_F(ImageContainer, sixteenBitGreyAndFloatColourBecomeSavableAsJpeg) {
  FIBITMAP* grey16 = FreeImage_AllocateT(FIT_UINT16, 8, 4);
  ASSERT_TRUE(Picture.Replace(grey16));
  EXPECT_FALSE(Picture.CanSave(FIF_JPEG));
  EXPECT_TRUE(Picture.ConvertForJpeg());

  FIBITMAP* rgbf = FreeImage_AllocateT(FIT_RGBF, 8, 4);
  auto* pixel = reinterpret_cast<FIRGBF*>(FreeImage_GetScanLine(rgbf, 0));
  pixel[0] = {2.0f, 0.5f, -1.0f};
  ASSERT_TRUE(Picture.Replace(rgbf));
  ASSERT_TRUE(Picture.ConvertForJpeg());
  QImage shown;
  Picture.CopyToBitmap(&shown);
  EXPECT_EQ(shown.pixelColor(0, 3), QColor(255, 128, 0));  // bottom-up rows
}

TEST_F(ImageContainer, assignMakesADeepCopyIgnoresItselfAndEmptiesFromAnEmptyOne) {
  WritePicture(Dir / "a.png", 30, 20, FIF_PNG);
  ASSERT_TRUE(Picture.Load(Dir / "a.png"));
  Picture.Assign(&Picture);
  EXPECT_EQ(Picture.GetWidth(), 30u);

  TDisplayBitmap copy;
  copy.Assign(&Picture);
  ASSERT_TRUE(copy.IsValid());
  EXPECT_NE(copy.Handle(), Picture.Handle());
  copy.Rescale(10, 10, FILTER_BOX);
  EXPECT_EQ(Picture.GetWidth(), 30u);

  TDisplayBitmap empty;
  copy.Assign(&empty);
  EXPECT_FALSE(copy.IsValid());
  copy.Assign(nullptr);
  EXPECT_FALSE(copy.IsValid());
}

TEST_F(ImageContainer, screenBitmapRoundTripKeepsPixelsAndOrientation) {
  QImage source(3, 2, QImage::Format_RGB888);
  source.setPixelColor(0, 0, QColor(255, 0, 0));
  source.setPixelColor(2, 0, QColor(0, 255, 0));
  source.setPixelColor(0, 1, QColor(0, 0, 255));
  source.setPixelColor(1, 1, QColor(10, 20, 30));
  ASSERT_EQ(Picture.CopyFromBitmap(&source), 0);
  EXPECT_EQ(Picture.GetWidth(), 3u);
  EXPECT_EQ(Picture.GetBitsPerPixel(), 24u);
  QImage back;
  ASSERT_EQ(Picture.CopyToBitmap(&back), 0);
  EXPECT_EQ(back.pixelColor(0, 0), QColor(255, 0, 0));
  EXPECT_EQ(back.pixelColor(2, 0), QColor(0, 255, 0));
  EXPECT_EQ(back.pixelColor(0, 1), QColor(0, 0, 255));
  EXPECT_EQ(back.pixelColor(1, 1), QColor(10, 20, 30));

  EXPECT_EQ(Picture.CopyToBitmap(nullptr), -1);
  EXPECT_EQ(Picture.CopyFromBitmap(nullptr), -1);
  const QImage null;
  EXPECT_EQ(Picture.CopyFromBitmap(&null), -1);
  Picture.Clear();
  EXPECT_EQ(Picture.CopyToBitmap(&back), 0);
  EXPECT_TRUE(back.isNull());
}

TEST_F(ImageContainer, saveFollowsTheExtensionAndWritesNoLibraryMetadata) {
  test::WriteJpeg(Dir / "src.jpg", 64, 48);
  ASSERT_TRUE(Picture.Load(Dir / "src.jpg"));
  FreeImage_SetMetadataKeyValue(FIMD_COMMENTS, Picture.Handle(), "Comment", "carried by the library");
  ASSERT_TRUE(Picture.Save(Dir / "out.png"));
  EXPECT_EQ(FreeImage_GetFileType((Dir / "out.png").c_str(), 0), FIF_PNG);
  ASSERT_TRUE(Picture.Save(Dir / "out.jpg"));
  EXPECT_EQ(test::ReadWholeFile(Dir / "out.jpg").find("carried by the library"), std::string::npos);
  EXPECT_FALSE(Picture.Save(Dir / "out.unknownext"));
}

}  // namespace
}  // namespace pictrim

namespace pictrim {
namespace {

TEST(ImageFromBytes, detectsTheFormatLikeLoad) {
  test::TTempDir dir;
  test::WritePicture(dir / "a.png", 30, 20, FIF_PNG);
  TImageBitmap picture;
  EXPECT_TRUE(picture.LoadFromBytes(ReadFileBytes(dir / "a.png"), dir / "a.png"));
  EXPECT_EQ(picture.GetWidth(), 30u);
  const std::string text = "not a picture";
  EXPECT_FALSE(picture.LoadFromBytes(std::vector<uint8_t>(text.begin(), text.end()), dir / "b.jpg"));
  EXPECT_TRUE(picture.DecodeFailed());
  EXPECT_FALSE(picture.LoadFromBytes({}, dir / "c.xyz"));
  EXPECT_FALSE(picture.DecodeFailed());
}

}  // namespace
}  // namespace pictrim
