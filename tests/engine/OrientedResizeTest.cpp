// The width and height modes of the resize batch measure a picture as it is
// shown: a copy that carries an EXIF Orientation of 5..8 keeps the stored
// pixels and the tag, and has the asked width or height as shown.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/Resize.h"
#include "metadata/Exif.h"
#include "metadata/ExifFacts.h"
#include "tests/common/TestPictures.h"
#include "tests/engine/BatchFixture.h"
#include "tests/metadata/MetadataBytes.h"

namespace pictrim {
namespace {

namespace fs = std::filesystem;
using test::PictureSize;

TEST(CalcNewSizeAsShown, swapsTheModesOfQuarterTurnedPicturesOnly) {
  for (int orientation = 0; orientation <= 9; ++orientation) {
    SCOPED_TRACE(orientation);
    const bool turned = orientation >= 5 && orientation <= 8;
    // 4000 x 3000 stored; shown 3000 x 4000 when turned.
    EXPECT_EQ(CalcNewSizeAsShown(1000, 0, 4000, 3000, orientation),
              turned ? (TPictureSize{1333, 1000}) : (TPictureSize{1000, 750}));
    EXPECT_EQ(CalcNewSizeAsShown(0, 600, 4000, 3000, orientation),
              turned ? (TPictureSize{600, 450}) : (TPictureSize{800, 600}));
    // The edge mode does not care how the picture is shown.
    EXPECT_EQ(CalcNewSizeAsShown(1000, 1000, 4000, 3000, orientation), (TPictureSize{1000, 750}));
    EXPECT_EQ(CalcNewSizeAsShown(1000, 1000, 3000, 4000, orientation), (TPictureSize{750, 1000}));
    // Not enlarging judges the picture as shown as well: 1000 x 600 shown
    // turned is 600 wide, less than 800.
    EXPECT_EQ(FitNewSize(800, 0, 1000, 600, true, orientation),
              turned ? (TPictureSize{1000, 600}) : (TPictureSize{800, 480}));
  }
}

class OrientedResize : public test::BatchTest {
 protected:
  // A JPEG of Width x Height stored pixels whose EXIF block says Orientation.
  void WriteOriented(const std::string& Name, int Width, int Height, uint16_t Orientation) {
    test::TExifBlock block(Orientation % 2 == 0);
    block.AddShort(0, 274, {Orientation});
    test::WriteBytes(Source + Name,
                     test::WithHeader(test::EncodedPicture(Width, Height), {block.App1()}));
  }
  void Run(uint32_t MaxWidth, uint32_t MaxHeight) {
    ASSERT_EQ(ConvertPICsWholeTree(&Window, Source, "", MaxWidth, MaxHeight, "", TextAtTop,
                                   WM_BATCH_PROGRESS, WM_BATCH_FILE, false, ErrorLog),
              0);
    Window.pump();
  }
  // The Orientation a file carries; 0 when it has no EXIF block.
  static int OrientationOf(const std::string& Path) {
    TMetadata metadata(4);
    metadata.ReadMetadata(Path);
    return metadata.ExifInfo() != nullptr ? ExifOrientation(*metadata.ExifInfo()) : 0;
  }
};

TEST_F(OrientedResize, widthAndHeightAreThoseOfThePictureAsShownInEveryOrientation) {
  for (uint16_t orientation = 1; orientation <= 8; ++orientation) {
    WriteOriented("o" + std::to_string(orientation) + ".jpg", 400, 300, orientation);
  }
  FreezeSource();
  Run(200, 0);
  Run(0, 150);
  Run(200, 200);
  EXPECT_TRUE(Log().empty());
  for (int orientation = 1; orientation <= 8; ++orientation) {
    SCOPED_TRACE(orientation);
    const std::string name = "o" + std::to_string(orientation) + ".jpg";
    const bool turned = orientation >= 5;
    // Shown 300 x 400 when turned: 200 wide as shown is 200 high as stored.
    EXPECT_EQ(PictureSize(Dir / "src_MAXWIDTH200/" + name),
              turned ? QSize(266, 200) : QSize(200, 150));
    EXPECT_EQ(PictureSize(Dir / "src_MAXHEIGHT150/" + name),
              turned ? QSize(150, 112) : QSize(200, 150));
    EXPECT_EQ(PictureSize(Dir / "src_MAXSIZE200/" + name), QSize(200, 150));
    for (const char* folder : {"src_MAXWIDTH200/", "src_MAXHEIGHT150/", "src_MAXSIZE200/"}) {
      EXPECT_EQ(OrientationOf(Dir / folder + name), orientation) << folder;
    }
  }
}

TEST_F(OrientedResize, aJpegTheLibraryResizesIsMeasuredAsShownToo) {
  // 700 x 2 stored: 100 wide as stored would be 0 high, and 100 wide as shown
  // is 35000 x 100 stored, beyond the quick road's bitmaps. Both go through
  // the image library.
  WriteOriented("flat.jpg", 700, 2, 1);
  WriteOriented("tall.jpg", 700, 2, 6);
  FreezeSource();
  Run(100, 0);
  EXPECT_EQ(Log(), (std::vector<std::string>{"File src/flat.jpg couldn't be resized properly:  new "
                                             "Width is 700 Pixel new Height is 2 Pixel"}));
  EXPECT_EQ(PictureSize(Dir / "src_MAXWIDTH100/tall.jpg"), QSize(35000, 100));
  EXPECT_EQ(OrientationOf(Dir / "src_MAXWIDTH100/tall.jpg"), 6);
}

TEST_F(OrientedResize, realPhotosOfEitherShapeAreMeasuredAsShown) {
  PICTRIM_REQUIRE_TESTDATA();
  // Stored 450 x 600 and 600 x 450, both Orientation 6.
  fs::copy_file(test::TestDataDir() + "landscape_6.jpg", Source + "landscape_6.jpg");
  fs::copy_file(test::TestDataDir() + "portrait_6.jpg", Source + "portrait_6.jpg");
  FreezeSource();
  Run(300, 0);
  EXPECT_EQ(PictureSize(Dir / "src_MAXWIDTH300/landscape_6.jpg"), QSize(225, 300));
  EXPECT_EQ(PictureSize(Dir / "src_MAXWIDTH300/portrait_6.jpg"), QSize(400, 300));
  EXPECT_EQ(OrientationOf(Dir / "src_MAXWIDTH300/portrait_6.jpg"), 6);
}

// An uncompressed RGB TIFF of Width x Height stored pixels whose first
// directory says Orientation.
test::TBytes OrientedTiff(uint16_t Width, uint16_t Height, uint16_t Orientation) {
  const auto block = [&](uint32_t StripOffset) {
    test::TExifBlock tiff(false);
    tiff.AddShort(0, 256, {Width});
    tiff.AddShort(0, 257, {Height});
    tiff.AddShort(0, 258, {8, 8, 8});
    tiff.AddShort(0, 259, {1});
    tiff.AddShort(0, 262, {2});
    tiff.AddLong(0, 273, StripOffset);
    tiff.AddShort(0, 274, {Orientation});
    tiff.AddShort(0, 277, {3});
    tiff.AddShort(0, 278, {Height});
    tiff.AddLong(0, 279, uint32_t{Width} * Height * 3);
    return tiff.Tiff();
  };
  // The strip lies behind the block, whose size does not depend on the offset.
  test::TBytes bytes = block(static_cast<uint32_t>(block(0).size()));
  for (uint32_t i = 0; i < uint32_t{Width} * Height * 3; ++i) {
    bytes.push_back(static_cast<uint8_t>(i * 7));
  }
  return bytes;
}

TEST_F(OrientedResize, copiesThatCarryNoTagAreMeasuredAsStored) {
  // A JPEG under another name than .jpg or .jpeg, and a TIFF: their copies
  // get no metadata and are shown as stored.
  WriteOriented("named.jpe", 400, 300, 6);
  test::WriteBytes(Source + "scan.tif", OrientedTiff(40, 30, 6));
  FreezeSource();
  Run(20, 0);
  EXPECT_TRUE(Log().empty());
  for (const char* name : {"named.jpg", "scan.jpg"}) {
    EXPECT_EQ(PictureSize(Dir / "src_MAXWIDTH20/" + name), QSize(20, 15)) << name;
    EXPECT_EQ(OrientationOf(Dir / "src_MAXWIDTH20/" + name), 0) << name;
  }
}

}  // namespace
}  // namespace pictrim
