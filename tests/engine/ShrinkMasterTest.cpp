#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/ShrinkMaster.h"
#include "image/JpegImage.h"
#include "tests/common/TestPictures.h"

namespace pictrim {
namespace {

uint8_t PlainMean(uint64_t Sum, uint64_t Count) {
  return static_cast<uint8_t>((2 * Sum + Count) / (2 * Count));
}

// Every sum a box of Count pixels can have, or, for large counts, the sums
// around each half-way point where the rounding turns.
void ExpectMeansOf(uint32_t Count) {
  const TRoundedMean mean(Count);
  const auto check = [&](uint64_t sum) {
    const uint8_t got =
        mean.Fast() ? mean(static_cast<uint32_t>(sum)) : mean.Divide(static_cast<uint32_t>(sum));
    ASSERT_EQ(got, PlainMean(sum, Count)) << "count " << Count << " sum " << sum;
  };
  if (Count <= 600) {
    for (uint64_t sum = 0; sum <= 255ull * Count; ++sum) check(sum);
    return;
  }
  for (uint64_t value = 0; value <= 255; ++value) {
    const uint64_t half = value * Count + Count / 2;  // just below, at or above value + 1/2
    for (uint64_t sum = half > 2 ? half - 2 : 0;
         sum <= std::min<uint64_t>(half + 2, 255ull * Count); ++sum)
      check(sum);
    check(value * Count);
  }
}

TEST(RoundedMean, agreesWithPlainDivisionForSmallAndLargeBoxes) {
  for (uint32_t count = 1; count <= 600; ++count) ExpectMeansOf(count);
  for (uint32_t count : {601u, 1023u, 1024u, 4095u, 65535u, 65536u, 999999u, (1u << 22) - 1,
                         1u << 22, (1u << 24) + 3, 16000000u}) {
    ExpectMeansOf(count);
  }
  EXPECT_TRUE(TRoundedMean((1u << 22) - 1).Fast());
  EXPECT_FALSE(TRoundedMean(1u << 22).Fast());  // left to plain division
}

TEST(RoundedMean, inSinglePrecisionAgreesForEveryBoxUpToItsLargestCount) {
  for (uint32_t columns = 1; columns <= TShortMean::MaxCount; ++columns) {
    for (uint32_t rows = 1; columns * rows <= TShortMean::MaxCount; ++rows) {
      const uint32_t count = columns * rows;
      const float across = TShortMean::Reciprocal(columns), down = TShortMean::Reciprocal(rows);
      for (uint64_t value = 0; value <= 255; ++value) {
        const uint64_t half = value * count + count / 2;
        for (uint64_t sum = half > 1 ? half - 1 : 0;
             sum <= std::min<uint64_t>(half + 1, 255ull * count); ++sum) {
          ASSERT_EQ(TShortMean::Mean(static_cast<uint32_t>(sum), across, down),
                    PlainMean(sum, count))
              << columns << " x " << rows << " sum " << sum;
        }
        ASSERT_EQ(TShortMean::Mean(static_cast<uint32_t>(value * count), across, down), value);
      }
    }
  }
}

TJpegImage NaturalJpeg(int Width, int Height) {
  TJpegImage jpeg;
  jpeg.SetCompressionQuality(92);
  jpeg.Assign(test::MakeNaturalImage(Width, Height, 5));
  TJpegImage loaded;
  loaded.LoadFromBytes(jpeg.EncodedData());
  return loaded;
}

// The mean of the pixels of Picture's 2 x 2 block at (X, Y) that exist (a
// block of the last row or column of an odd edge holds only those), each
// channel rounded half up.
QRgb BlockMean(const QImage& Picture, int X, int Y) {
  int red = 0, green = 0, blue = 0, count = 0;
  for (int y = 2 * Y; y < std::min(2 * Y + 2, Picture.height()); ++y) {
    for (int x = 2 * X; x < std::min(2 * X + 2, Picture.width()); ++x) {
      const QRgb pixel = Picture.pixel(x, y);
      red += qRed(pixel);
      green += qGreen(pixel);
      blue += qBlue(pixel);
      ++count;
    }
  }
  const auto mean = [count](int Sum) { return (2 * Sum + count) / (2 * count); };
  return qRgb(mean(red), mean(green), mean(blue));
}

// Each pixel of the half-size picture is the mean of its block of the
// decoded source; the last row and column of an odd edge are not darkened
// by the pixels they lack.
TEST(ReducedJpegMaster, theHalfSizePictureIsTheMeanOfEachBlockUpToTheOddEdges) {
  for (const QSize& size : {QSize(37, 23), QSize(36, 24), QSize(35, 1), QSize(1, 9)}) {
    SCOPED_TRACE(size.width() * 1000 + size.height());
    const TJpegImage source = NaturalJpeg(size.width(), size.height());
    QImage half, whole;
    ASSERT_TRUE(FullSizeJpegSave(source, half, &whole));
    ASSERT_EQ(whole.size(), size);
    ASSERT_EQ(half.size(), QSize((size.width() + 1) / 2, (size.height() + 1) / 2));
    for (int y = 0; y < half.height(); ++y) {
      for (int x = 0; x < half.width(); ++x) {
        ASSERT_EQ(half.pixel(x, y), BlockMean(whole, x, y)) << x << ", " << y;
      }
    }
  }
}

// A trial of the picture's own size is its full-size save; one pixel less
// in either edge is a trial of its own.
TEST(ReducedJpegMaster, onlyTheFullSizeItselfIsTheFullSizeSave) {
  TJpegImage source = NaturalJpeg(64, 48);
  QImage half, whole;
  const std::optional<std::vector<uint8_t>> fullSave = FullSizeJpegSave(source, half, &whole);
  ASSERT_TRUE(fullSave);
  TReducedJpegMaster master(std::move(source), *fullSave, half, whole);
  EXPECT_EQ(master.Make(64, 48).Bytes, *fullSave);
  for (const QSize& size : {QSize(64, 47), QSize(63, 48)}) {
    const TTrialPicture trial = master.Make(size.width(), size.height());
    ASSERT_TRUE(trial.Saved);
    EXPECT_EQ(QSize(trial.Width, trial.Height), size);
    EXPECT_NE(trial.Bytes, *fullSave);
  }
}

// The header segments that open a JPEG: APP0 to APP15 after the SOI; the
// first other segment, or a length that does not fit, ends them.
TEST(LeadingSegments, areTheApplicationSegmentsBehindTheStartOfImage) {
  const std::vector<uint8_t> jpeg = {0xFF, 0xD8,                        // SOI
                                     0xFF, 0xE0, 0x00, 0x04, 'J', 'F',  // APP0
                                     0xFF, 0xEF, 0x00, 0x03, 'x',       // APP15
                                     0xFF, 0xFE, 0x00, 0x03, 'c',       // COM
                                     0xFF, 0xD9};
  EXPECT_EQ(LeadingSegmentsEnd(jpeg), 13u);
  std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + 12);  // APP15 cut short
  EXPECT_EQ(LeadingSegmentsEnd(cut), 8u);
  std::vector<uint8_t> tooShort = jpeg;
  tooShort[11] = 1;  // a length below 2 counts not even itself
  EXPECT_EQ(LeadingSegmentsEnd(tooShort), 8u);
  EXPECT_EQ(LeadingSegmentsEnd({0xFF, 0xD8}), 2u);
  EXPECT_EQ(LeadingSegmentsEnd({0x89, 'P', 'N', 'G'}), 0u);
  EXPECT_EQ(LeadingSegmentsEnd({}), 0u);
}

// Trials wider than the half-size picture come from the source's pixels,
// decoded again for each trial or from the whole picture kept in memory;
// both give the same bytes.
TEST(ReducedJpegMaster, makesTheSameWideTrialsStreamedOrFromTheWholePicture) {
  const TJpegImage source = NaturalJpeg(1203, 901);
  QImage half, whole;
  const std::optional<std::vector<uint8_t>> fullSave = FullSizeJpegSave(source, half, &whole);
  ASSERT_TRUE(fullSave);
  EXPECT_EQ(half.size(), QSize(602, 451));
  ASSERT_EQ(whole.size(), QSize(1203, 901));
  TReducedJpegMaster streamed(source, *fullSave, half);
  TReducedJpegMaster kept(source, *fullSave, half, whole);
  for (const QSize& size : {QSize(1100, 824), QSize(900, 674), QSize(603, 451)}) {
    const TTrialPicture want = streamed.Make(size.width(), size.height());
    const TTrialPicture fromWhole = kept.Make(size.width(), size.height());
    ASSERT_TRUE(want.Saved);
    EXPECT_EQ(QSize(want.Width, want.Height), size);
    EXPECT_EQ(fromWhole.Bytes, want.Bytes) << size.width();
  }
  EXPECT_EQ(streamed.Decodes(), 3);
  EXPECT_EQ(kept.Decodes(), 0);
  // Up to half the half size, trials come from the half-size picture;
  // above it, from the whole one.
  ASSERT_TRUE(streamed.Make(301, 225).Saved);
  ASSERT_TRUE(streamed.Make(200, 150).Saved);
  EXPECT_EQ(streamed.Decodes(), 3);
  ASSERT_TRUE(streamed.Make(302, 226).Saved);
  EXPECT_EQ(streamed.Decodes(), 4);
}

}  // namespace
}  // namespace pictrim
