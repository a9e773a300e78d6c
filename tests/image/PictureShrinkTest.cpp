// Shrinking by whole factors in the decoder and the box rescale of the
// container, both checked against plain arithmetic and the image library.
#include "image/PictureShrink.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

#include "image/ImageBitmap.h"
#include "tests/common/HeifPictures.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPictures.h"

namespace pictrim::decoding {
namespace {

struct TUnload {
  void operator()(FIBITMAP* Dib) const { FreeImage_Unload(Dib); }
};
using TPicture = std::unique_ptr<FIBITMAP, TUnload>;

// A picture of smooth gradients with noise on top, as photographs have.
TPicture MakePhoto(uint32_t Width, uint32_t Height, uint32_t Bpp, uint32_t Seed) {
  TPicture dib(FreeImage_Allocate(int(Width), int(Height), int(Bpp)));
  std::mt19937 random(Seed);
  for (uint32_t y = 0; y < Height; ++y) {
    BYTE* row = FreeImage_GetScanLine(dib.get(), int(y));
    for (uint32_t i = 0; i < Width * Bpp / 8; ++i)
      row[i] = BYTE((i * 255 / (Width * Bpp / 8) + y * 97 / Height + random() % 40) & 0xFF);
  }
  return dib;
}

// The largest difference of any sample of two pictures of one size and kind.
int LargestDifference(FIBITMAP* A, FIBITMAP* B) {
  EXPECT_EQ(FreeImage_GetWidth(A), FreeImage_GetWidth(B));
  EXPECT_EQ(FreeImage_GetHeight(A), FreeImage_GetHeight(B));
  EXPECT_EQ(FreeImage_GetBPP(A), FreeImage_GetBPP(B));
  int largest = 0;
  const uint32_t samples = FreeImage_GetWidth(A) * FreeImage_GetBPP(A) / 8;
  for (uint32_t y = 0; y < FreeImage_GetHeight(A); ++y) {
    const BYTE* a = FreeImage_GetScanLine(A, int(y));
    const BYTE* b = FreeImage_GetScanLine(B, int(y));
    for (uint32_t i = 0; i < samples; ++i) largest = std::max(largest, std::abs(a[i] - b[i]));
  }
  return largest;
}

// The rescale after the shrink keeps a ratio of at least 2.
TEST(ShrinkFactor, leavesTheRescaleAfterItTwiceTheTarget) {
  EXPECT_EQ(ShrinkFactorFor(2400, 1600, 1024, 683), 1u);   // 2.34: whole
  EXPECT_EQ(ShrinkFactorFor(4608, 3456, 2048, 1536), 1u);  // 2.25: whole, not by 2
  EXPECT_EQ(ShrinkFactorFor(4032, 3024, 1024, 768), 1u);   // 3.94: whole, not by 3
  EXPECT_EQ(ShrinkFactorFor(4096, 3072, 1024, 768), 2u);   // exactly 4
  EXPECT_EQ(ShrinkFactorFor(4095, 3072, 1024, 768), 1u);   // just under
  EXPECT_EQ(ShrinkFactorFor(6000, 4000, 1024, 682), 2u);   // 5.86: 2.93 left
  EXPECT_EQ(ShrinkFactorFor(6000, 4000, 600, 400), 5u);
  EXPECT_EQ(ShrinkFactorFor(2400, 3600, 400, 600), 3u);    // upright
  EXPECT_EQ(ShrinkFactorFor(60000, 100, 60, 1), 8u);       // never more than 8
  EXPECT_EQ(ShrinkFactorFor(800, 600, 1024, 768), 1u);     // a copy larger than its source
  EXPECT_EQ(ShrinkFactorFor(800, 600, 0, 0), 1u);
}

// The plain arithmetic: each sample the rounded average of its block.
int ReferenceSample(FIBITMAP* Source, uint32_t Factor, uint32_t OutX, uint32_t OutYFromTop,
                    uint32_t Sample) {
  const uint32_t width = FreeImage_GetWidth(Source), height = FreeImage_GetHeight(Source);
  const uint32_t channels = FreeImage_GetBPP(Source) / 8;
  uint32_t sum = 0, count = 0;
  for (uint32_t y = OutYFromTop * Factor; y < std::min(height, (OutYFromTop + 1) * Factor); ++y) {
    const BYTE* row = FreeImage_GetScanLine(Source, int(height - 1 - y));
    for (uint32_t x = OutX * Factor; x < std::min(width, (OutX + 1) * Factor); ++x, ++count)
      sum += row[x * channels + Sample];
  }
  return int((sum + count / 2) / count);
}

TEST(ShrinkPicture, averagesEveryBlockTheRaggedOnesAtTheRightAndBottomToo) {
  // 37 x 23 shrunk by each factor: the last blocks take what is left.
  const std::map<uint32_t, std::pair<uint32_t, uint32_t>> sizes = {
      {2, {19, 12}}, {3, {13, 8}}, {5, {8, 5}}, {8, {5, 3}}};
  for (const uint32_t bpp : {24u, 32u}) {
    for (const auto& [factor, size] : sizes) {
      const TPicture source = MakePhoto(37, 23, bpp, factor);
      FreeImage_SetDotsPerMeterX(source.get(), 2835);
      FreeImage_SetDotsPerMeterY(source.get(), 3000);
      const TPicture shrunk(ShrinkPicture(source.get(), factor));
      ASSERT_TRUE(shrunk);
      ASSERT_EQ(FreeImage_GetWidth(shrunk.get()), size.first);
      ASSERT_EQ(FreeImage_GetHeight(shrunk.get()), size.second);
      EXPECT_EQ(FreeImage_GetBPP(shrunk.get()), bpp);
      EXPECT_EQ(FreeImage_GetDotsPerMeterX(shrunk.get()), 2835u);
      EXPECT_EQ(FreeImage_GetDotsPerMeterY(shrunk.get()), 3000u);
      const uint32_t outHeight = FreeImage_GetHeight(shrunk.get());
      for (uint32_t y = 0; y < outHeight; ++y) {
        const BYTE* row = FreeImage_GetScanLine(shrunk.get(), int(outHeight - 1 - y));
        for (uint32_t x = 0; x < FreeImage_GetWidth(shrunk.get()); ++x)
          for (uint32_t c = 0; c < bpp / 8; ++c)
            ASSERT_EQ(row[x * bpp / 8 + c], ReferenceSample(source.get(), factor, x, y, c))
                << bpp << " bits, factor " << factor << " at " << x << "," << y << "," << c;
      }
    }
  }
}

TEST(ShrinkPicture, takesOnlyEightBitColourAndFactorsItCanDo) {
  const TPicture grey = MakePhoto(40, 40, 8, 1);
  EXPECT_EQ(ShrinkPicture(grey.get(), 2), nullptr);
  const TPicture deep(FreeImage_AllocateT(FIT_RGB16, 40, 40));
  EXPECT_EQ(ShrinkPicture(deep.get(), 2), nullptr);
  const TPicture colour = MakePhoto(40, 40, 24, 1);
  EXPECT_EQ(ShrinkPicture(colour.get(), 1), nullptr);
  EXPECT_EQ(ShrinkPicture(colour.get(), MaxShrinkFactor + 1), nullptr);
  EXPECT_EQ(ShrinkPicture(nullptr, 2), nullptr);
  // A profile goes with the picture.
  BYTE profile[40] = {7, 7, 7};
  FreeImage_CreateICCProfile(colour.get(), profile, sizeof profile);
  const TPicture shrunk(ShrinkPicture(colour.get(), 2));
  ASSERT_TRUE(shrunk);
  ASSERT_NE(FreeImage_GetICCProfile(shrunk.get()), nullptr);
  EXPECT_EQ(FreeImage_GetICCProfile(shrunk.get())->size, long(sizeof profile));
}

TEST(ShrinkRgbRows, givesTheLibrarysPictureTheRightWayUpAndInItsOrder) {
  // Rows from the top, red first, as libheif gives them; each pixel knows
  // where it is and which colour it holds.
  for (const uint32_t channels : {3u, 4u}) {
    const uint32_t width = 9, height = 7, stride = width * channels + 5;
    std::vector<uint8_t> pixels(size_t{stride} * height);
    const TPicture library(FreeImage_Allocate(int(width), int(height), int(8 * channels)));
    for (uint32_t y = 0; y < height; ++y) {
      BYTE* row = FreeImage_GetScanLine(library.get(), int(height - 1 - y));
      for (uint32_t x = 0; x < width; ++x) {
        const uint8_t red = uint8_t(20 * x + 1), green = uint8_t(30 * y + 2), blue = uint8_t(x * y);
        uint8_t* in = &pixels[size_t{y} * stride + x * channels];
        in[0] = red, in[1] = green, in[2] = blue;
        BYTE* out = row + x * channels;
        out[FI_RGBA_RED] = red, out[FI_RGBA_GREEN] = green, out[FI_RGBA_BLUE] = blue;
        if (channels == 4) in[3] = out[FI_RGBA_ALPHA] = uint8_t(255 - x);
      }
    }
    const TPicture fromRows(ShrinkRgbRows(pixels.data(), stride, width, height, channels, 2));
    const TPicture fromLibrary(ShrinkPicture(library.get(), 2));
    ASSERT_TRUE(fromRows && fromLibrary);
    EXPECT_EQ(LargestDifference(fromRows.get(), fromLibrary.get()), 0) << channels;
    EXPECT_EQ(ShrinkRgbRows(pixels.data(), width * channels - 1, width, height, channels, 2),
              nullptr);
  }
}

TEST(BoxRescale, isTheLibrarysBoxFilterToWithinOneStep) {
  std::mt19937 random(42);
  const uint32_t sizes[][4] = {{1200, 800, 1024, 683}, {1201, 799, 1024, 682}, {640, 480, 639, 479},
                               {500, 300, 37, 23},     {97, 61, 96, 13},       {300, 200, 1, 1},
                               {64, 64, 64, 64},       {1000, 3, 7, 3},        {2, 900, 1, 31}};
  for (const uint32_t bpp : {24u, 32u}) {
    for (const auto& size : sizes) {
      const TPicture source = MakePhoto(size[0], size[1], bpp, random());
      FreeImage_SetDotsPerMeterX(source.get(), 3780);
      const TPicture ours(BoxRescale(source.get(), size[2], size[3]));
      const TPicture library(
          FreeImage_Rescale(source.get(), int(size[2]), int(size[3]), FILTER_BOX));
      ASSERT_TRUE(ours && library);
      EXPECT_LE(LargestDifference(ours.get(), library.get()), 1)
          << bpp << " bits, " << size[0] << "x" << size[1] << " to " << size[2] << "x" << size[3];
      EXPECT_EQ(FreeImage_GetDotsPerMeterX(ours.get()), 3780u);
    }
  }
}

TEST(BoxRescale, leavesEnlargingAndOtherKindsOfPictureToTheLibrary) {
  const TPicture colour = MakePhoto(100, 80, 24, 3);
  EXPECT_EQ(BoxRescale(colour.get(), 101, 80), nullptr);
  EXPECT_EQ(BoxRescale(colour.get(), 100, 81), nullptr);
  EXPECT_EQ(BoxRescale(colour.get(), 0, 10), nullptr);
  const TPicture grey = MakePhoto(100, 80, 8, 3);
  EXPECT_EQ(BoxRescale(grey.get(), 50, 40), nullptr);
}

// The container's loads with a shrink allowed: the decoder process gives
// the picture shrunk exactly as ShrinkPicture would shrink the whole one,
// and the container knows the whole size.
TEST(ShrinkOnLoad, thePictureArrivesAveragedAndItsWholeSizeIsKnown) {
  test::TTempDir dir;
  test::THeifOptions turned;
  turned.Orientation = 6;  // stored 96 x 64, shown 64 x 96
  test::WriteHeif(dir / "phone.heic", test::MakeNaturalImage(96, 64, 4), turned);
  test::WritePicture(dir / "scan.png", 100, 70, FIF_PNG);
  test::WritePicture(dir / "alpha.png", 50, 41, FIF_PNG, 32);
  for (const auto& [name, width, height] : {std::tuple{"phone.heic", 64u, 96u},
                                            std::tuple{"scan.png", 100u, 70u},
                                            std::tuple{"alpha.png", 50u, 41u}}) {
    TDisplayBitmap whole, shrunk;
    ASSERT_TRUE(whole.Load(dir / name)) << whole.DecodeFailure();
    EXPECT_EQ(whole.LoadedWidth(), width);
    uint32_t askedWidth = 0, askedHeight = 0;
    shrunk.SetLoadShrink([&](uint32_t Width, uint32_t Height) {
      askedWidth = Width;
      askedHeight = Height;
      return 3u;
    });
    ASSERT_TRUE(shrunk.Load(dir / name)) << shrunk.DecodeFailure();
    EXPECT_EQ(askedWidth, width) << name;  // the size as shown
    EXPECT_EQ(askedHeight, height) << name;
    EXPECT_EQ(shrunk.LoadedWidth(), width) << name;
    EXPECT_EQ(shrunk.LoadedHeight(), height) << name;
    EXPECT_EQ(shrunk.GetWidth(), ShrunkSide(width, 3)) << name;
    EXPECT_EQ(shrunk.GetHeight(), ShrunkSide(height, 3)) << name;
    const TPicture expected(ShrinkPicture(whole.Handle(), 3));
    ASSERT_TRUE(expected);
    EXPECT_EQ(LargestDifference(shrunk.Handle(), expected.get()), 0) << name;
  }
  // A picture the decoder cannot shrink (16 bits a sample) comes whole, and
  // its size is the whole one.
  TDisplayBitmap deep;
  deep.SetLoadShrink([](uint32_t, uint32_t) { return 2u; });
  QImage grey(60, 40, QImage::Format_Grayscale16);
  grey.fill(QColor(90, 90, 90));
  ASSERT_TRUE(grey.save(QString::fromStdString(dir / "deep.png")));
  ASSERT_TRUE(deep.Load(dir / "deep.png")) << deep.DecodeFailure();
  EXPECT_EQ(deep.GetWidth(), 60u);
  EXPECT_EQ(deep.LoadedWidth(), 60u);
  EXPECT_EQ(deep.LoadedHeight(), 40u);
}

}  // namespace
}  // namespace pictrim::decoding
