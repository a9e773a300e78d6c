#include <gtest/gtest.h>

#include "engine/SizeSearch.h"

namespace pictrim {
namespace {

TEST(SizeSearch, firstTrialComesFromTheSizeRatioOfTheFullSizeSave) {
  TSizeSearch search(200, 4000, 3000, 2000000);
  EXPECT_EQ(search.TrialWidth(), 1200u);
  EXPECT_EQ(search.TrialHeight(), 900u);
  EXPECT_EQ(search.Trial(), 1);
  EXPECT_FALSE(search.Finished());
}

TEST(SizeSearch, roundingGoesToTheEvenNeighbourAtHalves) {
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(3.5), 4);
  EXPECT_EQ(RoundHalfEven(1200.49), 1200);
  // A = round(25 x 60 x 30 / 1800) = 25; B = round(25 x 30 / 60) = 12.5 goes to 12.
  TSizeSearch search(25, 60, 30, 1800);
  ASSERT_EQ(search.TrialWidth(), 25u);
  EXPECT_EQ(search.TrialHeight(), 12u);
}

TEST(SizeSearch, theFirstTrialIsNeverWiderThanThePicture) {
  // Close to the target the ratio formula would ask for an enlargement.
  TSizeSearch search(1900, 4000, 3000, 2000000);
  EXPECT_EQ(search.TrialWidth(), 4000u);
}

TEST(SizeSearch, aTrialWithinTheToleranceFinishesEvenAboveTheTarget) {
  TSizeSearch search(100, 4000, 3000, 2000000);
  search.Next(100 * 1024 + 500, 60, 45);  // 500 bytes above, Tol = 1024
  EXPECT_TRUE(search.Finished());
}

TEST(SizeSearch, aStrictSearchGoesOnBelowATrialWithinTheToleranceAboveTheTarget) {
  TSizeSearch search(100, 4000, 3000, 2000000, /*Strict=*/true);
  ASSERT_EQ(search.TrialWidth(), 600u);
  search.Next(100 * 1024 + 1, 600, 450);  // one byte above
  EXPECT_FALSE(search.Finished());
  EXPECT_LT(search.TrialWidth(), 600u);
  search.Next(100 * 1024, 590, 442);  // at the target exactly
  EXPECT_TRUE(search.Finished());
}

TEST(SizeSearch, aTrialJustBelowTheTargetFinishes) {
  TSizeSearch search(100, 4000, 3000, 2000000);
  search.Next(100 * 1024 - 1023, 60, 45);
  EXPECT_TRUE(search.Finished());
}

TEST(SizeSearch, tooBigTakesTheQuadraticMeanOfTheRange) {
  TSizeSearch first(10, 4000, 3000, 2000000);
  ASSERT_EQ(first.TrialWidth(), 60u);
  first.Next(10 * 1024 + 2047, 60, 45);  // beyond the tolerance of 1024
  // Hi = 60, Lo = 1: sqrt((3600 + 1) / 2) = 42.43 -> 42
  EXPECT_EQ(first.TrialWidth(), 42u);

  TSizeSearch second(100, 4000, 3000, 2000000);
  ASSERT_EQ(second.TrialWidth(), 600u);
  second.Next(100 * 1024 + 1100, 600, 450);  // Tol = 1035
  EXPECT_EQ(second.TrialWidth(), 424u);  // sqrt((600^2 + 1) / 2) = 424.26
}

TEST(SizeSearch, slightlyTooSmallGrowsByATwentyFifth) {
  TSizeSearch search(100, 4000, 3000, 2000000);
  ASSERT_EQ(search.TrialWidth(), 600u);
  search.Next(100 * 1024 - 1500, 600, 450);  // 1500 below: beyond Tol, within 2048
  EXPECT_EQ(search.TrialWidth(), 624u);      // 600 + round(600 / 25)
}

TEST(SizeSearch, tooSmallGrowsByTheSquareRootOfTheRatio) {
  TSizeSearch search(100, 4000, 3000, 2000000);
  ASSERT_EQ(search.TrialWidth(), 600u);
  search.Next(25 * 1024, 600, 450);  // Ratio 25: 600 x 1.01 x 2 = 1212
  EXPECT_EQ(search.TrialWidth(), 1212u);
  EXPECT_EQ(search.Trial(), 2);
}

TEST(SizeSearch, aWidthBeyondTheTooBigOneFallsBackToTheMiddle) {
  TSizeSearch search(100, 4000, 3000, 2000000);
  search.Next(200 * 1024, 600, 450);  // too big: Hi = 600
  const uint32_t second = search.TrialWidth();
  ASSERT_LT(second, 600u);
  search.Next(10 * 1024, second, 300);  // far too small: growth passes Hi
  EXPECT_EQ(search.TrialWidth(), static_cast<uint32_t>(RoundHalfEven((600.0 + second) / 2)));
}

TEST(SizeSearch, aTrialFarBelowTheTargetTakesTheIntegerMiddleInsteadOfDividingByZero) {
  TSizeSearch search(1000, 4000, 3000, 2000000 * 3);  // first width 2000
  ASSERT_EQ(search.TrialWidth(), 2000u);
  search.Next(2000, 2000, 1500);  // Ratio rounds to 0
  // Lo = 2000, Hi = 4000: (2000 + 4000) div 2 = 3000, below Hi
  EXPECT_EQ(search.TrialWidth(), 3000u);
}

TEST(SizeSearch, aOnePixelTrialThatIsStillTooBigEndsTheSearch) {
  TSizeSearch search(1, 4000, 3000, 2000000);
  search.Next(5000, 6, 1);
  EXPECT_TRUE(search.Finished());
}

TEST(SizeSearch, aWidthRepeatedBelowTheTargetIsNudgedPastTheStall) {
  TSizeSearch search(100, 1000, 1000, 990099);  // first width 101
  ASSERT_EQ(search.TrialWidth(), 101u);
  search.Next(110000, 101, 101);  // too big: Hi = 101
  // Half the target each time: the width climbs to 100, where the middle of
  // 100 and 101 rounds back to 100 and the same width comes twice.
  const uint32_t expected[] = {86, 94, 98, 100, 100};
  for (uint32_t width : expected) {
    search.Next(50 * 1024, search.TrialWidth(), search.TrialWidth());
    ASSERT_EQ(search.TrialWidth(), width);
  }
  search.Next(50 * 1024, 100, 100);  // the repeat: A + 1, Hi + 2, then the middle again
  EXPECT_EQ(search.TrialWidth(), 102u);
}

TEST(SizeSearch, stopsAfterTwentyTrials) {
  TSizeSearch search(100, 4000, 3000, 2000000);
  int trials = 0;
  while (!search.Finished() && trials < 100) {
    // Alternate far too big and far too small so that it never settles.
    search.Next(trials % 2 == 0 ? 400 * 1024 : 10 * 1024, search.TrialWidth(), search.TrialHeight());
    ++trials;
  }
  EXPECT_EQ(trials, 20);
}

TEST(SizeSearch, exifIsLeftOutForSmallTargetsAndOnceItGrowsTooBig) {
  TSizeSearch small(9, 4000, 3000, 2000000);
  EXPECT_FALSE(small.ExifFits());
  TSizeSearch large(20, 4000, 3000, 2000000);
  EXPECT_TRUE(large.ExifFits());
  large.ExifExtra = 10 * 1024;  // 10 + 9 < 20
  EXPECT_TRUE(large.ExifFits());
  large.ExifExtra = 11 * 1024;  // 11 + 9 = 20
  EXPECT_FALSE(large.ExifFits());
}

}  // namespace
}  // namespace pictrim
