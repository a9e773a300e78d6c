// HEIC, HEIF and AVIF files through the decoder process: told by their
// first bytes, shown as the container turns them, their metadata blocks
// handed over, damaged files and bombs refused within the limits.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <QColor>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "image/HeifFormat.h"
#include "image/ImageBitmap.h"
#include "image/IsolatedDecode.h"
#include "tests/common/HeifPictures.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPictures.h"

namespace pictrim {
namespace {

namespace fs = std::filesystem;
using test::THeifOptions;

bool NoChildLeft() {
  return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

std::vector<uint8_t> Bytes(const std::string& Text) {
  return std::vector<uint8_t>(Text.begin(), Text.end());
}

// A file-type box of the given size with these brands (major first).
std::vector<uint8_t> FileTypeBox(uint32_t Size, const std::vector<std::string>& Brands) {
  std::vector<uint8_t> box = {uint8_t(Size >> 24),
                              uint8_t(Size >> 16),
                              uint8_t(Size >> 8),
                              uint8_t(Size),
                              'f',
                              't',
                              'y',
                              'p'};
  for (size_t i = 0; i < Brands.size(); ++i) {
    const std::vector<uint8_t> brand = Bytes(Brands[i]);
    box.insert(box.end(), brand.begin(), brand.end());
    if (i == 0) box.insert(box.end(), {0, 0, 0, 0});  // minor version
  }
  return box;
}

TEST(HeifHeader, isToldByTheBrandsOfTheFileTypeBox) {
  const auto says = [](const std::vector<uint8_t>& Box) {
    return IsHeifHeader(Box.data(), Box.size());
  };
  EXPECT_TRUE(says(FileTypeBox(24, {"heic", "mif1", "heic"})));
  EXPECT_TRUE(says(FileTypeBox(20, {"avif", "avif"})));
  EXPECT_TRUE(says(FileTypeBox(28, {"isom", "mp41", "mif1"})));  // a compatible brand
  EXPECT_TRUE(says(FileTypeBox(20, {"isom", "hevc"})));  // the first and only compatible one
  EXPECT_FALSE(says(FileTypeBox(24, {"isom", "isom", "mp41"})));  // a film
  EXPECT_FALSE(says(FileTypeBox(24, {"qt  ", "qt  ", "mp41"})));
  // A brand behind the box's end is no brand of it; the box must hold its head.
  EXPECT_FALSE(says(FileTypeBox(20, {"isom", "mp41", "heic"})));
  EXPECT_FALSE(says(FileTypeBox(15, {"heic", "heic"})));
  std::vector<uint8_t> cut = FileTypeBox(24, {"isom", "mp41", "mif1"});
  cut.resize(22);  // the holder has fewer bytes than the box
  EXPECT_FALSE(says(cut));
  EXPECT_FALSE(IsHeifHeader(nullptr, 0));
  std::vector<uint8_t> notBox = FileTypeBox(24, {"heic", "mif1", "heic"});
  notBox[4] = 'F';
  EXPECT_FALSE(says(notBox));

  for (const char* name : {"a.heic", "B.HEIF", "c.Hif", "d.avif", "/x.avif/e.heic"})
    EXPECT_TRUE(HasHeifExtension(name)) << name;
  for (const char* name : {"a.jpg", "heic", "a.heic.png", "/x.heic/e", "a.avi"})
    EXPECT_FALSE(HasHeifExtension(name)) << name;
}

// A stored picture with a red block in its top-left corner and a green one
// in its top-right corner, on grey.
QImage Marked(int Width, int Height) {
  QImage image(Width, Height, QImage::Format_RGB888);
  image.fill(QColor(128, 128, 128));
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      image.setPixelColor(x, y, QColor(230, 20, 20));
      image.setPixelColor(Width - 1 - x, y, QColor(20, 200, 20));
    }
  }
  return image;
}

// Where the stored pixel (X, Y) of a Width x Height picture is shown under
// an EXIF orientation.
QPoint Shown(int Orientation, int X, int Y, int Width, int Height) {
  switch (Orientation) {
    case 2:
      return {Width - 1 - X, Y};
    case 3:
      return {Width - 1 - X, Height - 1 - Y};
    case 4:
      return {X, Height - 1 - Y};
    case 5:
      return {Y, X};
    case 6:
      return {Height - 1 - Y, X};
    case 7:
      return {Height - 1 - Y, Width - 1 - X};
    case 8:
      return {Y, Width - 1 - X};
    default:
      return {X, Y};
  }
}

QColor ColourAt(TDisplayBitmap& Picture, QPoint At) {
  QImage shown;
  Picture.CopyToBitmap(&shown);
  return shown.pixelColor(At);
}

bool IsRed(QColor C) {
  return C.red() > 180 && C.green() < 80 && C.blue() < 80;
}
bool IsGreen(QColor C) {
  return C.green() > 150 && C.red() < 80 && C.blue() < 80;
}

class HeifLoad : public ::testing::Test {
 protected:
  test::TTempDir Dir;
};

TEST_F(HeifLoad, heicAndAvifComeBackAsShownWithEveryOrientation) {
  constexpr int W = 64, H = 48;
  for (const bool avif : {false, true}) {
    for (int orientation = 1; orientation <= 8; ++orientation) {
      THeifOptions options;
      options.Avif = avif;
      options.Orientation = orientation;
      const std::string path =
          Dir / ("o" + std::to_string(orientation) + (avif ? ".avif" : ".heic"));
      test::WriteHeif(path, Marked(W, H), options);
      TDisplayBitmap picture;
      ASSERT_TRUE(picture.Load(path)) << path << ": " << picture.DecodeFailure();
      const bool turned = orientation >= 5;
      EXPECT_EQ(picture.GetWidth(), uint32_t(turned ? H : W)) << path;
      EXPECT_EQ(picture.GetHeight(), uint32_t(turned ? W : H)) << path;
      EXPECT_EQ(picture.GetBitsPerPixel(), 24u) << path;
      EXPECT_TRUE(IsRed(ColourAt(picture, Shown(orientation, 7, 7, W, H)))) << path;
      EXPECT_TRUE(IsGreen(ColourAt(picture, Shown(orientation, W - 8, 7, W, H)))) << path;
    }
  }
  EXPECT_TRUE(NoChildLeft());
}

TEST_F(HeifLoad, theMetadataBlocksComeWithThePictureAndAloneForTheListing) {
  THeifOptions options;
  options.Exif = test::PhoneExifBlock({6, "2021:07:04 09:08:07", 64, 48});
  options.ColourProfile = test::SmallColourProfile("Pictrim P3");
  options.Xmp = test::SmallXmpPacket(64, 48);
  options.Orientation = 6;
  test::WriteHeif(Dir / "phone.heic", Marked(64, 48), options);
  auto decoding = std::make_unique<TDisplayBitmap>();
  TDisplayBitmap& picture = *decoding;
  ASSERT_TRUE(picture.Load(Dir / "phone.heic")) << picture.DecodeFailure();
  EXPECT_EQ(picture.DecodedMetadata().Exif, options.Exif);
  EXPECT_EQ(picture.DecodedMetadata().ColourProfile, options.ColourProfile);
  EXPECT_EQ(picture.DecodedMetadata().Xmp, Bytes(options.Xmp));
  // A later file without metadata brings none of the earlier one's.
  test::WriteHeif(Dir / "plain.heic", Marked(64, 48));
  ASSERT_TRUE(picture.Load(Dir / "plain.heic"));
  EXPECT_TRUE(picture.DecodedMetadata().Empty());
  test::WritePicture(Dir / "plain.png", 30, 20, FIF_PNG);
  ASSERT_TRUE(picture.Load(Dir / "phone.heic"));
  picture.Clear();
  EXPECT_TRUE(picture.DecodedMetadata().Empty());

  // A phone's way: the block behind "Exif" and two zero bytes, the item's
  // offset pointing past them. The block comes from its TIFF header on.
  test::THeifOptions phone;
  phone.Exif = Bytes(std::string("Exif\0\0", 6));
  phone.Exif.insert(phone.Exif.end(), options.Exif.begin(), options.Exif.end());
  test::WriteHeif(Dir / "prefixed.heic", Marked(64, 48), phone);
  ASSERT_TRUE(picture.Load(Dir / "prefixed.heic"));
  EXPECT_EQ(picture.DecodedMetadata().Exif, options.Exif);
  decoding.reset();

  TPictureMetadata alone;
  std::string failure;
  ASSERT_TRUE(ReadHeifMetadata(Dir / "phone.heic", alone, failure)) << failure;
  EXPECT_EQ(alone.Exif, options.Exif);
  EXPECT_EQ(alone.ColourProfile, options.ColourProfile);
  EXPECT_FALSE(ReadHeifMetadata(Dir / "plain.png", alone, failure));
  EXPECT_FALSE(failure.empty());
  EXPECT_TRUE(NoChildLeft());
}

TEST_F(HeifLoad, isToldByItsBytesWhateverItsNameAndByItsNameWhenTheBytesSayNothing) {
  test::WriteHeif(Dir / "a.heic", Marked(40, 30));
  fs::copy_file(Dir / "a.heic", Dir / "renamed.jpg");
  fs::copy_file(Dir / "a.heic", Dir / "noextension");
  TDisplayBitmap picture;
  for (const char* name : {"renamed.jpg", "noextension"}) {
    EXPECT_TRUE(picture.Load(Dir / name)) << name << ": " << picture.DecodeFailure();
    EXPECT_EQ(picture.GetWidth(), 40u) << name;
  }
  // From bytes already read, too.
  const std::string bytes = test::ReadWholeFile(Dir / "a.heic");
  EXPECT_TRUE(picture.LoadFromBytes(Bytes(bytes), Dir / "whatever.bin"));
  EXPECT_EQ(picture.GetHeight(), 30u);
  // A HEIF name with other contents: the decoder tries and fails.
  test::WriteTextFile(Dir / "text.heic", "this is no picture");
  EXPECT_FALSE(picture.Load(Dir / "text.heic"));
  EXPECT_TRUE(picture.DecodeFailed());
  // A film in the same container is no picture: passed over, not decoded.
  const std::vector<uint8_t> film = FileTypeBox(20, {"isom", "mp41"});
  test::WriteTextFile(Dir / "film.mp4", std::string(film.begin(), film.end()));
  ASSERT_TRUE(picture.Load(Dir / "a.heic"));
  EXPECT_FALSE(picture.Load(Dir / "film.mp4"));
  EXPECT_FALSE(picture.DecodeFailed());
  EXPECT_TRUE(picture.IsValid());
}

TEST_F(HeifLoad, tenBitsComeAsEightBitColour) {
  test::THeifOptions options;
  options.BitDepth = 10;
  options.Orientation = 8;
  test::WriteHeif(Dir / "deep.heic", Marked(64, 48), options);
  TDisplayBitmap picture;
  ASSERT_TRUE(picture.Load(Dir / "deep.heic")) << picture.DecodeFailure();
  EXPECT_EQ(picture.GetBitsPerPixel(), 24u);
  EXPECT_EQ(picture.GetWidth(), 48u);
  EXPECT_TRUE(IsRed(ColourAt(picture, Shown(8, 7, 7, 64, 48))));
  EXPECT_EQ(ColourAt(picture, {24, 32}).red() / 8, 128 / 8);  // the grey, not a fifth of it
}

TEST_F(HeifLoad, anAlphaChannelComesAsThirtyTwoBits) {
  QImage stored(32, 24, QImage::Format_RGBA8888);
  stored.fill(QColor(10, 120, 240, 255));
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 16; ++x) stored.setPixelColor(x, y, QColor(0, 0, 0, 0));
  test::WriteHeif(Dir / "alpha.heic", stored);
  TDisplayBitmap picture;
  ASSERT_TRUE(picture.Load(Dir / "alpha.heic")) << picture.DecodeFailure();
  EXPECT_EQ(picture.GetBitsPerPixel(), 32u);
  ASSERT_TRUE(picture.ConvertForJpeg());  // laid onto white
  EXPECT_EQ(picture.GetBitsPerPixel(), 24u);
  EXPECT_GT(ColourAt(picture, {4, 4}).lightness(), 230);
  EXPECT_GT(ColourAt(picture, {28, 20}).blue(), 200);
}

TEST_F(HeifLoad, aPhonesPhotoComesWholeFromItsTilesTurnedAndWithItsExif) {
  // Four tiles of 64 x 48, the grid cropped to 120 x 90, turned to portrait.
  constexpr int W = 120, H = 90;
  THeifOptions options;
  options.Orientation = 6;
  options.Exif = test::PhoneExifBlock({6, "2024:01:02 03:04:05", W, H});
  test::WriteHeifGrid(Dir / "IMG_0001.HEIC", Marked(W, H), 2, 2, options);
  auto decoding = std::make_unique<TDisplayBitmap>();
  TDisplayBitmap& picture = *decoding;
  ASSERT_TRUE(picture.Load(Dir / "IMG_0001.HEIC")) << picture.DecodeFailure();
  EXPECT_EQ(picture.GetWidth(), uint32_t(H));
  EXPECT_EQ(picture.GetHeight(), uint32_t(W));
  // Both marks sit where the picture is shown: the right column cropped,
  // not stretched or shifted.
  EXPECT_TRUE(IsRed(ColourAt(picture, Shown(6, 7, 7, W, H))));
  EXPECT_TRUE(IsGreen(ColourAt(picture, Shown(6, W - 8, 7, W, H))));
  EXPECT_EQ(ColourAt(picture, Shown(6, W - 30, H - 4, W, H)).green() / 16, 128 / 16);
  EXPECT_EQ(picture.DecodedMetadata().Exif, options.Exif);
  // The grid's size counts against the pixel limit, not a tile's.
  TDecodeLimits limits;
  limits.MaxPixels = W * H - 1;
  SetDecodeLimits(limits);
  EXPECT_FALSE(picture.Load(Dir / "IMG_0001.HEIC"));
  EXPECT_EQ(picture.DecodeFailure(), "the picture has more pixels than allowed");
  SetDecodeLimits(TDecodeLimits());

  // A size the coder pads, cropped by a grid of one tile; and a file with a
  // thumbnail: the primary picture is the one taken, at its own size.
  THeifOptions odd;
  odd.CropByGrid = true;
  odd.ThumbnailSide = 24;
  odd.Orientation = 3;
  test::WriteHeif(Dir / "odd.heic", Marked(61, 45), odd);
  const std::string oddFile = test::ReadWholeFile(Dir / "odd.heic");
  ASSERT_NE(oddFile.find("grid"), std::string::npos);
  ASSERT_NE(oddFile.find("thmb"), std::string::npos);
  ASSERT_TRUE(picture.Load(Dir / "odd.heic")) << picture.DecodeFailure();
  EXPECT_EQ(picture.GetWidth(), 61u);
  EXPECT_EQ(picture.GetHeight(), 45u);
  EXPECT_TRUE(IsRed(ColourAt(picture, Shown(3, 7, 7, 61, 45))));
  EXPECT_TRUE(IsGreen(ColourAt(picture, Shown(3, 61 - 8, 7, 61, 45))));
  decoding.reset();
  EXPECT_TRUE(NoChildLeft());
}

TEST_F(HeifLoad, aPhonesTiledPhotoComesOutTheSameEveryTime) {
  // Twelve tiles: decoded side by side, libheif's threads now and then put
  // wrong pixels into the picture.
  test::WriteHeifGrid(Dir / "tiles.heic", test::MakeNaturalImage(160, 120, 11), 4, 3);
  TDisplayBitmap first, again;
  ASSERT_TRUE(first.Load(Dir / "tiles.heic")) << first.DecodeFailure();
  const uint32_t line = FreeImage_GetLine(first.Handle());
  for (int i = 0; i < 30; ++i) {
    ASSERT_TRUE(again.Load(Dir / "tiles.heic")) << again.DecodeFailure();
    ASSERT_EQ(FreeImage_GetLine(again.Handle()), line);
    for (uint32_t y = 0; y < first.GetHeight(); ++y) {
      ASSERT_EQ(std::memcmp(FreeImage_GetScanLine(first.Handle(), int(y)),
                            FreeImage_GetScanLine(again.Handle(), int(y)), line),
                0)
          << "load " << i << ", row " << y;
    }
  }
}

// The file with every 'ispe' box (the coded size of the picture and of its
// tiles, when it has them) saying Width x Height.
std::string WithCodedSize(std::string File, uint32_t Width, uint32_t Height) {
  for (size_t ispe = File.find("ispe"); ispe != std::string::npos;
       ispe = File.find("ispe", ispe + 1)) {
    for (int i = 0; i < 4; ++i) {
      File[ispe + 8 + i] = static_cast<char>(Width >> (24 - 8 * i));
      File[ispe + 12 + i] = static_cast<char>(Height >> (24 - 8 * i));
    }
  }
  return File;
}

TEST_F(HeifLoad, damagedFilesAndBombsAreFailedDecodesWithinTheLimits) {
  test::WriteHeif(Dir / "good.heic", test::MakeNaturalImage(96, 64));
  const std::string good = test::ReadWholeFile(Dir / "good.heic");
  // A busy machine never stops the decodes that must succeed.
  TDecodeLimits limits;
  limits.Seconds = 120;
  SetDecodeLimits(limits);
  auto decoding = std::make_unique<TDisplayBitmap>();
  TDisplayBitmap& picture = *decoding;
  // Cut at many lengths, and a stretch of the coded data overwritten.
  for (const size_t cut :
       {size_t{12}, size_t{40}, good.size() / 4, good.size() / 2, good.size() - 9}) {
    test::WriteTextFile(Dir / "cut.heic", good.substr(0, cut));
    EXPECT_FALSE(picture.Load(Dir / "cut.heic")) << cut;
    EXPECT_TRUE(picture.DecodeFailed()) << cut;
  }
  std::string scrambled = good;
  for (size_t i = scrambled.size() - 200; i < scrambled.size() - 100; ++i) scrambled[i] = '\xFF';
  test::WriteTextFile(Dir / "scrambled.heic", scrambled);
  // Decoded at its size (what the damaged stretch holds may be anything),
  // or refused as damaged: never a picture of another size, never a crash.
  if (picture.Load(Dir / "scrambled.heic")) {
    EXPECT_EQ(picture.GetWidth(), 96u);
    EXPECT_EQ(picture.GetHeight(), 64u);
  } else {
    EXPECT_TRUE(picture.DecodeFailed());
    EXPECT_NE(picture.DecodeFailure(), "");
    EXPECT_EQ(picture.DecodeFailure().find("crashed"), std::string::npos)
        << picture.DecodeFailure();
  }
  // A coded size far beyond the pixel limit: refused from the header.
  test::WriteTextFile(Dir / "bomb.heic", WithCodedSize(good, 60000, 60000));
  EXPECT_FALSE(picture.Load(Dir / "bomb.heic"));
  EXPECT_EQ(picture.DecodeFailure(), "the picture has more pixels than allowed");
  // The same behind a crop to a small size.
  test::WriteHeif(Dir / "cropped.heic", test::MakeNaturalImage(61, 45));
  const std::string cropped = test::ReadWholeFile(Dir / "cropped.heic");
  ASSERT_NE(cropped.find("clap"), std::string::npos);
  test::WriteTextFile(Dir / "bomb2.heic", WithCodedSize(cropped, 60000, 60000));
  EXPECT_FALSE(picture.Load(Dir / "bomb2.heic"));
  EXPECT_EQ(picture.DecodeFailure(), "the picture has more pixels than allowed");
  // And a true size just above a lowered limit.
  limits.MaxPixels = 96 * 64 - 1;
  SetDecodeLimits(limits);
  EXPECT_FALSE(picture.Load(Dir / "good.heic"));
  EXPECT_EQ(picture.DecodeFailure(), "the picture has more pixels than allowed");
  limits.MaxPixels = 96 * 64;
  SetDecodeLimits(limits);
  EXPECT_TRUE(picture.Load(Dir / "good.heic")) << picture.DecodeFailure();
  SetDecodeLimits(TDecodeLimits());
  decoding.reset();
  EXPECT_TRUE(NoChildLeft());
}

}  // namespace
}  // namespace pictrim
