// Copies of HEIC and AVIF photographs made by the resize and file-size jobs:
// the picture as it is shown, at the asked size, with the file's EXIF block
// (Orientation 1, the copy's size, the date taken unchanged), its colour
// profile and its XMP packet; the decoder's blocks taken as segments.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/Resize.h"
#include "image/JpegImage.h"
#include "metadata/Exif.h"
#include "platform/BatchTarget.h"
#include "tests/common/HeifPictures.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPictures.h"
#include "util/ErrorLog.h"

namespace pictrim {
namespace {

namespace fs = std::filesystem;

constexpr int StoredWidth = 400, StoredHeight = 300;
const std::string DateTaken = "2022:08:14 18:30:05";

// A phone's portrait photo: stored as landscape pixels, shown turned (6).
test::THeifOptions PhoneOptions(bool Avif) {
  test::THeifOptions options;
  options.Avif = Avif;
  options.Orientation = 6;
  options.Exif = test::PhoneExifBlock({6, DateTaken, StoredWidth, StoredHeight});
  options.ColourProfile = test::SmallColourProfile("Pictrim Display P3");
  options.Xmp = test::SmallXmpPacket(StoredWidth, StoredHeight);
  return options;
}

class HeifCopies : public ::testing::Test {
 protected:
  void SetUp() override {
    CancelRequested = false;
    test::WriteHeif(Source + "Bild.heic", test::MakeNaturalImage(StoredWidth, StoredHeight, 3),
                    PhoneOptions(false));
    test::WriteHeif(Source + "sub/Flug.avif", test::MakeNaturalImage(StoredWidth, StoredHeight, 4),
                    PhoneOptions(true));
  }

  // What a copy carries, read back as the program reads any JPEG.
  void ExpectCarried(const std::string& Copy, int Width, int Height) {
    SCOPED_TRACE(Copy);
    TJpegImage picture;
    ASSERT_NO_THROW(picture.LoadFromFile(Copy));
    EXPECT_EQ(int(picture.Width()), Width);
    EXPECT_EQ(int(picture.Height()), Height);
    TMetadata metadata(255);
    ASSERT_TRUE(metadata.ReadMetadata(Copy)) << metadata.ErrorText();
    ASSERT_NE(metadata.ExifInfo(), nullptr);
    const TExifInfo& exif = *metadata.ExifInfo();
    EXPECT_EQ(exif.IntegerTagValue("Orientation"), 1);
    EXPECT_EQ(exif.StoredWidth(), Width);
    EXPECT_EQ(exif.StoredHeight(), Height);
    EXPECT_EQ(exif.DateText(), DateTaken);
    EXPECT_EQ(exif.MakeText(), "Pictrim");
    EXPECT_EQ(metadata.ColourProfileDescription(), "Pictrim Display P3");
    ASSERT_TRUE(metadata.HasXmp());
    const TBytes& xmp = metadata.XmpSection()->Data;
    const std::string packet(xmp.begin(), xmp.end());
    EXPECT_NE(packet.find("exif:PixelXDimension=\"" + std::to_string(Width) + "\""),
              std::string::npos);
  }

  test::TTempDir Dir;
  const std::string Source = Dir / "Handy/";
  TErrorLog Log;
};

TEST_F(HeifCopies, theResizeJobWritesThePictureAsShownWithItsMetadata) {
  for (const auto& [width, height] : {std::pair{90u, 0u}, std::pair{0u, 100u}}) {
    Log.clear();
    const std::string out = Dir / ("out" + std::to_string(width) + "/");
    ASSERT_EQ(ConvertPICsWholeTree(nullptr, Source, out, width, height, "", 0, WM_BATCH_PROGRESS,
                                   WM_BATCH_FILE, false, Log),
              0);
    EXPECT_TRUE(Log.empty()) << Log.front();
    // Shown 300 x 400: 90 wide is 120 high, 100 high is 75 wide.
    const int w = width > 0 ? 90 : 75, h = width > 0 ? 120 : 100;
    ExpectCarried(out + "Bild.jpg", w, h);
    ExpectCarried(out + "sub/Flug.jpg", w, h);
  }
  // A stamped copy carries the same.
  Log.clear();
  ASSERT_EQ(ConvertPICsWholeTree(nullptr, Source, Dir / "stamped/", 60, 60, "(c) Pictrim", 1,
                                 WM_BATCH_PROGRESS, WM_BATCH_FILE, false, Log),
            0);
  ExpectCarried(Dir / "stamped/Bild.jpg", 45, 60);
  EXPECT_GT(test::DarkPixelsOfTopStamp(QImage(QString::fromStdString(Dir / "stamped/Bild.jpg"))),
            0);
}

TEST_F(HeifCopies, theFileSizeJobNamesItsCopiesAfterTheSourceAndCarriesTheMetadata) {
  // A target the full-size save fits, and one that needs the search.
  for (const uint32_t kb : {200u, 12u}) {
    Log.clear();
    const std::string out = Dir / ("kb" + std::to_string(kb) + "/");
    ASSERT_EQ(ConvertPICsWholeTree2(nullptr, Source, out, "", kb, "", 0, WM_BATCH_PROGRESS,
                                    WM_BATCH_FILE, false, true, Log),
              0);
    EXPECT_TRUE(Log.empty()) << Log.front();
    for (const std::string name : {"Bild.exHEIC.jpg", "sub/Flug.exAVIF.jpg"}) {
      TJpegImage picture;
      ASSERT_NO_THROW(picture.LoadFromFile(out + name)) << name;
      // As shown: portrait, the sides in the stored ratio.
      EXPECT_EQ(picture.Width() * StoredWidth / StoredHeight / 10, picture.Height() / 10) << name;
      if (kb == 200) {
        EXPECT_EQ(picture.Width(), uint32_t(StoredHeight)) << name;
      } else {  // found by the search, the metadata measured with it
        EXPECT_LT(picture.Width(), uint32_t(StoredHeight)) << name;
        EXPECT_LE(fs::file_size(out + name), kb * 1024u + 1023) << name;
      }
      ExpectCarried(out + name, int(picture.Width()), int(picture.Height()));
    }
  }
}

TEST(DecodedBlocks, anOrientationIsSetUprightOnlyWhereItCanBeAndOversizedBlocksStayOut) {
  // Big-endian, with the Orientation as a LONG (not the TIFF type): the
  // pixels are turned all the same, so the copy says 1 (as one SHORT).
  TBytes bigEndian = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0,
                      4,   0,   0, 0,  1, 0, 0, 0, 6, 0, 0,    0,    0};
  TMetadata metadata(255);
  TPictureMetadata blocks;
  blocks.Exif = bigEndian;
  ASSERT_TRUE(metadata.ReadDecodedBlocks("x.heic", blocks, false));
  EXPECT_EQ(metadata.ExifInfo()->IntegerTagValue("Orientation"), 6);
  ASSERT_TRUE(metadata.ReadDecodedBlocks("x.heic", blocks, true));
  EXPECT_EQ(metadata.ExifInfo()->IntegerTagValue("Orientation"), 1);
  // Little-endian, a LONG: the same.
  const TBytes littleEndian = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 4,
                               0,   1,   0,  0, 0, 6, 0, 0, 0, 0, 0, 0,    0};
  blocks.Exif = littleEndian;
  ASSERT_TRUE(metadata.ReadDecodedBlocks("x.heic", blocks, false));
  EXPECT_EQ(metadata.ExifInfo()->IntegerTagValue("Orientation"), 6);
  ASSERT_TRUE(metadata.ReadDecodedBlocks("x.heic", blocks, true));
  EXPECT_EQ(metadata.ExifInfo()->IntegerTagValue("Orientation"), 1);
  bigEndian[13] = 3;  // a SHORT, its value in the field's first two bytes: set to 1
  bigEndian[19] = 6;
  bigEndian[21] = 0;
  blocks.Exif = bigEndian;
  ASSERT_TRUE(metadata.ReadDecodedBlocks("x.heic", blocks, true));
  EXPECT_EQ(metadata.ExifInfo()->IntegerTagValue("Orientation"), 1);
  ASSERT_TRUE(metadata.ReadDecodedBlocks("x.heic", blocks, false));
  EXPECT_EQ(metadata.ExifInfo()->IntegerTagValue("Orientation"), 6);
  // A directory that claims more entries than the block holds.
  bigEndian[9] = 200;
  blocks.Exif = bigEndian;
  EXPECT_NO_THROW(metadata.ReadDecodedBlocks("x.heic", blocks, true));
  // No TIFF block, an EXIF block and an XMP packet each too large for one
  // segment: none taken; a profile of three segments' worth is split in three.
  blocks.Exif = TBytes(100, 'x');
  blocks.Xmp = TBytes(0xFFFF - 30, ' ');
  EXPECT_FALSE(metadata.ReadDecodedBlocks("x.heic", blocks, true));
  blocks.Exif = test::PhoneExifBlock({});
  blocks.Exif.resize(0xFFFF - 7);
  EXPECT_FALSE(metadata.ReadDecodedBlocks("x.heic", blocks, true));
  blocks.Exif.resize(0xFFFF - 8);
  blocks.Xmp.resize(0xFFFF - 31);
  EXPECT_TRUE(metadata.ReadDecodedBlocks("x.heic", blocks, true));
  EXPECT_TRUE(metadata.HasExif());
  EXPECT_TRUE(metadata.HasXmp());
  blocks.ColourProfile = test::SmallColourProfile("Three");
  blocks.ColourProfile.resize(2 * 65519 + 1, 0x5A);
  ASSERT_TRUE(metadata.ReadDecodedBlocks("x.heic", blocks, true));
  EXPECT_EQ(metadata.IccSegments().size(), 3u);
  EXPECT_EQ(metadata.ColourProfile(), blocks.ColourProfile);
  EXPECT_EQ(metadata.ColourProfileDescription(), "Three");
}

}  // namespace
}  // namespace pictrim
