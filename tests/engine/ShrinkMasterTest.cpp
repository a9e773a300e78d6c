#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/ShrinkMaster.h"
#include "image/JpegImage.h"
#include "tests/common/TestPictures.h"

namespace pictrim {
namespace {

uint8_t PlainMean(uint64_t Sum, uint64_t Count) { return static_cast<uint8_t>((2 * Sum + Count) / (2 * Count)); }

// Every sum a box of Count pixels can have, or, for large counts, the sums
// around each half-way point where the rounding turns.
void ExpectMeansOf(uint32_t Count) {
  const TRoundedMean mean(Count);
  const auto check = [&](uint64_t sum) {
    const uint8_t got = mean.Fast() ? mean(static_cast<uint32_t>(sum)) : mean.Divide(static_cast<uint32_t>(sum));
    ASSERT_EQ(got, PlainMean(sum, Count)) << "count " << Count << " sum " << sum;
  };
  if (Count <= 600) {
    for (uint64_t sum = 0; sum <= 255ull * Count; ++sum) check(sum);
    return;
  }
  for (uint64_t value = 0; value <= 255; ++value) {
    const uint64_t half = value * Count + Count / 2;  // just below, at or above value + 1/2
    for (uint64_t sum = half > 2 ? half - 2 : 0; sum <= std::min<uint64_t>(half + 2, 255ull * Count); ++sum) check(sum);
    check(value * Count);
  }
}

TEST(RoundedMean, agreesWithPlainDivisionForSmallAndLargeBoxes) {
  for (uint32_t count = 1; count <= 600; ++count) ExpectMeansOf(count);
  for (uint32_t count : {601u, 1023u, 1024u, 4095u, 65535u, 65536u, 999999u, (1u << 22) - 1, 1u << 22,
                         (1u << 24) + 3, 16000000u}) {
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
        for (uint64_t sum = half > 1 ? half - 1 : 0; sum <= std::min<uint64_t>(half + 1, 255ull * count); ++sum) {
          ASSERT_EQ(TShortMean::Mean(static_cast<uint32_t>(sum), across, down), PlainMean(sum, count))
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
}

}  // namespace
}  // namespace pictrim
