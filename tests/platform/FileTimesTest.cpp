// Modification times at full precision: a copy keeps its source's time to
// the nanosecond, and renaming reads the true (odd or even) seconds.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/FileTimes.h"
#include "tests/common/TempDir.h"

namespace pictrim {
namespace {

// Sets TZ for the life of the object, restoring the old value.
class TScopedTimeZone {
 public:
  explicit TScopedTimeZone(const char* Zone) {
    const char* old = std::getenv("TZ");
    if (old != nullptr) Old_ = old;
    ::setenv("TZ", Zone, 1);
    ::tzset();
  }
  ~TScopedTimeZone() {
    if (Old_) {
      ::setenv("TZ", Old_->c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }

 private:
  std::optional<std::string> Old_;
};

TEST(FileTimes, theTimeSetIsReadBackToTheNanosecond) {
  test::TTempDir dir;
  test::WriteTextFile(dir / "a.jpg", "a");
  for (const TFileTime time : {TFileTime{1138930043, 999999999}, TFileTime{1138930042, 1},
                               TFileTime{1138930043, 0}, TFileTime{0, 500000000}}) {
    ASSERT_TRUE(SetFileModTime(dir / "a.jpg", time));
    EXPECT_EQ(GetFileModTime(dir / "a.jpg"), time) << time.Seconds << "." << time.Nanoseconds;
  }
}

TEST(FileTimes, theAccessTimeBecomesTheSame) {
  test::TTempDir dir;
  test::WriteTextFile(dir / "a.jpg", "a");
  ASSERT_TRUE(SetFileModTime(dir / "a.jpg", TFileTime{1138930043, 123456789}));
  struct stat info {};
  ASSERT_EQ(::stat((dir / "a.jpg").c_str(), &info), 0);
  EXPECT_EQ(info.st_atim.tv_sec, 1138930043);
  EXPECT_EQ(info.st_atim.tv_nsec, 123456789);
}

TEST(FileTimes, aMissingFileHasNoTimeAndTakesNone) {
  test::TTempDir dir;
  EXPECT_EQ(GetFileModTime(dir / "missing.jpg"), std::nullopt);
  EXPECT_FALSE(SetFileModTime(dir / "missing.jpg", TFileTime{1138930043, 0}));
  EXPECT_FALSE(SetFileModTime(dir / "no/such/folder/a.jpg", TFileTime{1138930043, 0}));
}

TEST(FileTimes, aFolderHasATimeToo) {
  test::TTempDir dir;
  test::WriteTextFile(dir / "sub/a.jpg", "a");
  ASSERT_TRUE(SetFileModTime(dir / "sub", TFileTime{1138930043, 7}));
  EXPECT_EQ(GetFileModTime(dir / "sub"), (TFileTime{1138930043, 7}));
}

TEST(FileTimes, localTimeKeepsTheOddSecondAndFollowsTheZone) {
  const TFileTime stamp{1138930043, 999999999};  // 2006-02-03 01:27:23 UTC
  {
    TScopedTimeZone utc("UTC0");
    const std::tm t = LocalTimeOf(stamp);
    EXPECT_EQ(t.tm_year + 1900, 2006);
    EXPECT_EQ(t.tm_mon + 1, 2);
    EXPECT_EQ(t.tm_mday, 3);
    EXPECT_EQ(t.tm_hour, 1);
    EXPECT_EQ(t.tm_min, 27);
    EXPECT_EQ(t.tm_sec, 23);
  }
  {
    TScopedTimeZone west("WEST+2");  // two hours behind: the day before
    const std::tm t = LocalTimeOf(stamp);
    EXPECT_EQ(t.tm_mday, 2);
    EXPECT_EQ(t.tm_hour, 23);
    EXPECT_EQ(t.tm_sec, 23);
  }
}

}  // namespace
}  // namespace pictrim
