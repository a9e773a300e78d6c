// The orientation as the jobs read it from EXIF blocks, and the form of the
// dates taken, well-formed and hostile.
#include <gtest/gtest.h>

#include <memory>

#include "metadata/Exif.h"
#include "metadata/ExifFacts.h"
#include "tests/common/TempDir.h"
#include "tests/metadata/MetadataBytes.h"

namespace pictrim {
namespace {

using namespace std::string_literals;
using test::TExifBlock;

std::string Text(const std::optional<std::tm>& Time) {
  return test::DateText(Time);
}

TEST(ExifDateTimes, takeTheExifFormWithZeroBytesOrBlanksBehindIt) {
  EXPECT_EQ(Text(ParseExifDateTime("2019:06:15 10:20:30")), "2019-06-15 10:20:30");
  EXPECT_EQ(Text(ParseExifDateTime("2019:06:15 10:20:30\0"s)), "2019-06-15 10:20:30");
  EXPECT_EQ(Text(ParseExifDateTime("2019:06:15 10:20:30\0garbage"s)), "2019-06-15 10:20:30");
  EXPECT_EQ(Text(ParseExifDateTime("2019:06:15 10:20:30  ")), "2019-06-15 10:20:30");
  // The edges of every field.
  EXPECT_EQ(Text(ParseExifDateTime("0001:01:01 00:00:00")), "0001-01-01 00:00:00");
  EXPECT_EQ(Text(ParseExifDateTime("9999:12:31 23:59:59")), "9999-12-31 23:59:59");
  EXPECT_EQ(Text(ParseExifDateTime("2024:02:29 12:00:00")), "2024-02-29 12:00:00");
  EXPECT_EQ(ParseExifDateTime("2019:06:15 10:20:30")->tm_isdst, -1);
}

TEST(ExifDateTimes, refuseEveryTextThatIsNoRealDateAndTime) {
  for (const std::string& text :
       {""s, "2019:06:15"s, "2019:06:15 10:20:3"s, "2019:06:15 10:20:301"s,
        " 2019:06:15 10:20:30"s, "2019-06-15 10:20:30"s, "2019:06:15T10:20:30"s,
        "2019:06:15 10.20.30"s, "2O19:06:15 10:20:30"s, "2019:0a:15 10:20:30"s,
        "2019:06:15 10:2x:30"s, "2019:+6:15 10:20:30"s, "    :  :     :  :  "s,
        "0000:00:00 00:00:00"s, "0000:01:01 00:00:00"s, "2019:13:15 10:20:30"s,
        "2019:00:15 10:20:30"s, "2019:06:00 10:20:30"s, "2019:06:31 10:20:30"s,
        "2023:02:29 10:20:30"s, "2019:06:15 24:00:00"s, "2019:06:15 10:60:00"s,
        "2019:06:15 10:20:60"s, "\0"s "2019:06:15 10:20:30"s}) {
    EXPECT_FALSE(ParseExifDateTime(text)) << text;
  }
}

class ExifFacts : public ::testing::Test {
 protected:
  const TExifInfo& Walk(const TExifBlock& Block) {
    Metadata_ = std::make_unique<TMetadata>(4);
    test::WriteBytes(Dir_ / "a.jpg", test::JpegFile({Block.App1()}));
    Metadata_->ReadMetadata(Dir_ / "a.jpg");
    return *Metadata_->ExifInfo();
  }

  test::TTempDir Dir_;
  std::unique_ptr<TMetadata> Metadata_;
};

TEST_F(ExifFacts, theOrientationIsTheFirstDirectorysAndOneWhenMissingOrUnknown) {
  for (uint16_t orientation = 1; orientation <= 8; ++orientation) {
    TExifBlock block(orientation % 2 == 0);
    block.AddShort(0, 274, {orientation});
    const int exif = block.AddDirectory();
    block.AddPointer(0, 34665, exif);
    block.AddShort(exif, 274, {1});  // a stray one further in does not count
    EXPECT_EQ(ExifOrientation(Walk(block)), orientation);
    EXPECT_EQ(IsQuarterTurn(orientation), orientation >= 5) << orientation;
  }
  for (const uint16_t odd : {0, 9, 255, 65535}) {
    TExifBlock block(false);
    block.AddShort(0, 274, {odd});
    EXPECT_EQ(ExifOrientation(Walk(block)), 1) << odd;
  }
  TExifBlock none(false);
  none.AddAscii(0, 271, "Maker\0"s);
  EXPECT_EQ(ExifOrientation(Walk(none)), 1);
  TExifBlock twoValues(true);  // a count of two is read as one number, which is no orientation
  twoValues.AddShort(0, 274, {0, 6});
  EXPECT_EQ(ExifOrientation(Walk(twoValues)), 1);
}

}  // namespace
}  // namespace pictrim
