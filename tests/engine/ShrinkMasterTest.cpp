#include <gtest/gtest.h>

#include <cstdint>

#include "engine/ShrinkMaster.h"

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

TEST(RoundedMean, inSinglePrecisionAgreesUpToItsLargestCount) {
  for (uint32_t count = 1; count <= TShortMean::MaxCount; ++count) {
    const TShortMean mean(count);
    for (uint64_t value = 0; value <= 255; ++value) {
      const uint64_t half = value * count + count / 2;
      for (uint64_t sum = half > 1 ? half - 1 : 0; sum <= std::min<uint64_t>(half + 1, 255ull * count); ++sum) {
        ASSERT_EQ(mean(static_cast<uint32_t>(sum)), PlainMean(sum, count)) << "count " << count << " sum " << sum;
      }
      ASSERT_EQ(mean(static_cast<uint32_t>(value * count)), value) << "count " << count;
    }
  }
}

}  // namespace
}  // namespace pictrim
