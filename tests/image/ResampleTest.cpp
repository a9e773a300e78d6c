// Resampling by area and by the Lanczos filter: values worked out by hand,
// the geometry of shrunk pictures, linear light, and the vector loops
// against the plain ones.
#include "image/Resample.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

namespace pictrim::resampling {
namespace {

TSide Whole(uint32_t Pixels) {
  return TSide{Pixels, 1, 0};
}

// One row of grey samples resampled to Width.
std::vector<uint8_t> Row(const std::vector<uint8_t>& In, uint32_t Width, TFilter Filter,
                         bool Linear = false, TSide Across = {}) {
  if (Across.Pixels == 0) Across = Whole(uint32_t(In.size()));
  std::vector<uint8_t> out(Width);
  EXPECT_TRUE(Resample(In.data(), std::ptrdiff_t(In.size()), Across, Whole(1), {1, -1}, out.data(),
                       std::ptrdiff_t(Width), Width, 1, Filter, Linear));
  return out;
}

struct TVectorsAs {
  explicit TVectorsAs(TResampler::TVectors Vectors) { TResampler::SetVectors(Vectors); }
  ~TVectorsAs() { TResampler::SetVectors(TResampler::TVectors::Widest); }
};

TEST(Resample, lanczosHalvesABrightPixelOnGreyWithItsLobes) {
  // Eight pixels of 128, the fourth 255, to four. New pixel u covers old
  // pixels 2u and 2u + 1; the kernel is L(x) = 3 sin(pi x) sin(pi x / 3) /
  // (pi x)^2 at x = (old centre - new centre) / 2, so the old pixels lie at
  // x = +-0.25, +-0.75, +-1.25, ... with L = 0.89007, 0.27019, -0.13287,
  // -0.06779, 0.03002, 0.00736. Pixels beyond the row are left out and the
  // rest weighed to a sum of 1: the sums are 1.88704 for the first and last
  // new pixels and 2.01700 for the middle ones. The bright pixel adds 127
  // times its weight to 128:
  //   u = 0: x = 1.25, 128 + 127 * -0.13287 / 1.88704 = 119.06
  //   u = 1: x = 0.25, 128 + 127 *  0.89007 / 2.01700 = 184.04
  //   u = 2: x = 0.75, 128 + 127 *  0.27019 / 2.01700 = 145.01
  //   u = 3: x = 1.75, 128 + 127 * -0.06779 / 1.88704 = 123.44
  const std::vector<uint8_t> in{128, 128, 128, 255, 128, 128, 128, 128};
  EXPECT_EQ(Row(in, 4, TFilter::Lanczos3), (std::vector<uint8_t>{119, 184, 145, 123}));
  // The area average knows no lobes: (128 + 255) / 2 = 191.5 for u = 1.
  EXPECT_EQ(Row(in, 4, TFilter::Area), (std::vector<uint8_t>{128, 192, 128, 128}));
}

TEST(Resample, areaWeighsPartlyCoveredPixelsByTheirPart) {
  // Three pixels to two: the first new one takes the first old pixel and
  // half the second, (0 + 45) / 1.5 = 30; the second the rest,
  // (45 + 180) / 1.5 = 150.
  EXPECT_EQ(Row({0, 90, 180}, 2, TFilter::Area), (std::vector<uint8_t>{30, 150}));
}

TEST(Resample, aShrunkPictureIsTakenAsThePartOfTheWholeEachPixelStandsFor) {
  // Five pixels shrunk by 2 into three: the last stands for one pixel only.
  // All to one pixel: (2 * 10 + 2 * 20 + 1 * 40) / 5 = 20, where taking
  // the three as equals would give 23.3.
  const TSide shrunk = TSide::Shrunk(5, 2);
  EXPECT_EQ(shrunk.Pixels, 3u);
  EXPECT_EQ(Row({10, 20, 40}, 1, TFilter::Area, false, shrunk), (std::vector<uint8_t>{20}));
  // A ramp over 1001 pixels, block-averaged by 4 and resampled, is the ramp
  // resampled whole: no shift at either end.
  std::vector<uint8_t> ramp(1001), blocks;
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = uint8_t(i / 4);
  for (size_t i = 0; i < ramp.size(); i += 4) {
    unsigned sum = 0, n = 0;
    for (size_t j = i; j < std::min(ramp.size(), i + 4); ++j, ++n) sum += ramp[j];
    blocks.push_back(uint8_t((sum + n / 2) / n));
  }
  for (const TFilter filter : {TFilter::Area, TFilter::Lanczos3}) {
    const std::vector<uint8_t> direct = Row(ramp, 77, filter);
    const std::vector<uint8_t> twoSteps = Row(blocks, 77, filter, false, TSide::Shrunk(1001, 4));
    for (size_t u = 0; u < direct.size(); ++u) EXPECT_NEAR(twoSteps[u], direct[u], 1) << u;
  }
}

TEST(Resample, linearLightAveragesBlackAndWhiteToTheGreyThatLooksAlike) {
  // Half of full light is sRGB 0.7354, 187.5 in 8 bits.
  EXPECT_EQ(Row({0, 255}, 1, TFilter::Area, true), (std::vector<uint8_t>{188}));
  EXPECT_EQ(Row({0, 255}, 1, TFilter::Area, false), (std::vector<uint8_t>{128}));
}

TEST(Resample, evenColoursStayTheSameWhateverTheFilterAndLight) {
  for (int value = 0; value < 256; ++value) {
    const std::vector<uint8_t> in(37, uint8_t(value));
    for (const bool linear : {false, true}) {
      for (const TFilter filter : {TFilter::Area, TFilter::Lanczos3}) {
        for (const uint32_t width : {1u, 10u, 36u, 50u}) {
          EXPECT_EQ(Row(in, width, filter, linear), std::vector<uint8_t>(width, uint8_t(value)))
              << value << " " << linear << " " << width;
        }
      }
    }
  }
}

TEST(Resample, alphaAndThePaddingByteAreNeverTakenAsLight) {
  // Two pixels of four channels, the fourth (alpha) 0 and 255.
  const std::vector<uint8_t> in{0, 0, 0, 0, 255, 255, 255, 255};
  std::vector<uint8_t> out(4);
  ASSERT_TRUE(
      Resample(in.data(), 8, Whole(2), Whole(1), {4, 3}, out.data(), 4, 1, 1, TFilter::Area, true));
  EXPECT_EQ(out, (std::vector<uint8_t>{188, 188, 188, 128}));
}

// Random pictures of every kind, made larger and smaller with either
// filter: the vector loops give what the plain loops give.
TEST(Resample, theVectorLoopsGiveWhatThePlainLoopsGive) {
  std::mt19937 random(7);
  for (const uint32_t channels : {1u, 3u, 4u}) {
    for (const auto& [w, h, tw, th, factor] :
         std::vector<std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, uint32_t>>{
             {97, 61, 40, 25, 1},
             {64, 64, 64, 64, 1},
             {31, 17, 70, 40, 1},
             {300, 7, 13, 3, 1},
             {83, 59, 20, 14, 3},
             {5, 5, 1, 1, 1}}) {
      std::vector<uint8_t> in(size_t{w} * h * channels);
      for (uint8_t& sample : in) sample = uint8_t(random());
      const TSide across = factor > 1 ? TSide::Shrunk(w * factor - 1, factor) : Whole(w);
      const TSide down = factor > 1 ? TSide::Shrunk(h * factor - 2, factor) : Whole(h);
      for (const TFilter filter : {TFilter::Area, TFilter::Lanczos3}) {
        for (const bool linear : {false, true}) {
          const TPixelKind kind{channels, channels == 4 ? 3 : -1};
          const auto made = [&](TResampler::TVectors Vectors) {
            TVectorsAs as(Vectors);
            std::vector<uint8_t> out(size_t{tw} * th * channels);
            EXPECT_TRUE(Resample(in.data(), std::ptrdiff_t(w * channels), across, down, kind,
                                 out.data(), std::ptrdiff_t(tw * channels), tw, th, filter,
                                 linear));
            return out;
          };
          const std::vector<uint8_t> plain = made(TResampler::TVectors::None);
          EXPECT_EQ(made(TResampler::TVectors::Widest), plain)
              << channels << " " << w << "x" << h << " to " << tw << "x" << th;
          EXPECT_EQ(made(TResampler::TVectors::Narrow), plain)
              << channels << " " << w << "x" << h << " to " << tw << "x" << th;
        }
      }
    }
  }
}

TEST(Resample, rowsThatNeverCameAreBlackAndFinishSaysSo) {
  TResampler resampler;
  std::vector<uint8_t> out(4 * 2 * 3, 99);
  ASSERT_TRUE(resampler.Start(Whole(4), Whole(4), {3, -1}, 2, 2, TFilter::Area, false,
                              [&](uint32_t Y) { return out.data() + Y * 6; }));
  const std::vector<uint8_t> white(12, 255);
  resampler.AddRow(white.data());
  resampler.AddRow(white.data());
  EXPECT_FALSE(resampler.Finish());
  EXPECT_EQ(out[0], 255);
  EXPECT_EQ(out[6], 0);
}

TEST(Resample, refusesWhatItCannotMake) {
  TResampler resampler;
  const auto row = [](uint32_t) { return static_cast<uint8_t*>(nullptr); };
  EXPECT_FALSE(resampler.Start(Whole(4), Whole(4), {2, -1}, 2, 2, TFilter::Area, false, row));
  EXPECT_FALSE(resampler.Start(Whole(0), Whole(4), {3, -1}, 2, 2, TFilter::Area, false, row));
  EXPECT_FALSE(resampler.Start(Whole(4), Whole(4), {3, -1}, 0, 2, TFilter::Area, false, row));
  EXPECT_FALSE(resampler.Finish());
}

}  // namespace
}  // namespace pictrim::resampling
