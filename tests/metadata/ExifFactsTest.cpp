// The orientation and the time taken as the jobs read them from EXIF blocks,
// well-formed and hostile.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fcntl.h>

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
  if (!Time) return "none";
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", Time->tm_year + 1900,
                Time->tm_mon + 1, Time->tm_mday, Time->tm_hour, Time->tm_min, Time->tm_sec);
  return text;
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

TEST_F(ExifFacts, theTimeTakenIsTheFirstRealOfOriginalDigitizedAndDateTime) {
  const auto block = [](const std::string& DateTime, const std::string& Original,
                        const std::string& Digitized) {
    TExifBlock b(false);
    if (!DateTime.empty()) b.AddAscii(0, 306, DateTime + '\0');
    const int exif = b.AddDirectory();
    b.AddPointer(0, 34665, exif);
    if (!Original.empty()) b.AddAscii(exif, 36867, Original + '\0');
    if (!Digitized.empty()) b.AddAscii(exif, 36868, Digitized + '\0');
    return b;
  };
  const std::string a = "2001:01:01 01:01:01";
  const std::string b = "2002:02:02 02:02:02";
  const std::string c = "2003:03:03 03:03:03";
  EXPECT_EQ(Text(ExifTimeTaken(Walk(block(a, b, c)))), "2002-02-02 02:02:02");
  EXPECT_EQ(Text(ExifTimeTaken(Walk(block(a, "", c)))), "2003-03-03 03:03:03");
  EXPECT_EQ(Text(ExifTimeTaken(Walk(block(a, "", "")))), "2001-01-01 01:01:01");
  EXPECT_EQ(Text(ExifTimeTaken(Walk(block("", "", "")))), "none");
  // A date that is no date counts as missing.
  EXPECT_EQ(Text(ExifTimeTaken(Walk(block(a, "2002:13:02 02:02:02", c)))), "2003-03-03 03:03:03");
  EXPECT_EQ(Text(ExifTimeTaken(Walk(block(a, "0000:00:00 00:00:00", "junk")))),
            "2001-01-01 01:01:01");
  EXPECT_EQ(Text(ExifTimeTaken(Walk(block("2001:01:00 01:01:01", "x", "")))), "none");

  // A date stored as another type than text is read by its bytes all the same.
  TExifBlock numbers(false);
  numbers.AddUndefined(0, 306, test::Bytes(b));
  EXPECT_EQ(Text(ExifTimeTaken(Walk(numbers))), "2002-02-02 02:02:02");
  TExifBlock shorts(false);
  shorts.AddShort(0, 306, {2019, 6, 15});
  EXPECT_EQ(Text(ExifTimeTaken(Walk(shorts))), "none");
}

TEST_F(ExifFacts, readingTheTimeTakenReadsOnlyTheHeadOfAFile) {
  TExifBlock block(true);
  block.AddAscii(0, 306, "2019:06:15 10:20:30\0"s);
  const std::string path = Dir_ / "huge.jpg";
  test::WriteBytes(path, test::JpegFile({block.App1()}));
  // Behind the picture a sparse terabyte that no whole-file read survives.
  ASSERT_EQ(::truncate(path.c_str(), off_t{1} << 40), 0);
  TMetadata metadata(4);
  EXPECT_EQ(Text(ReadTimeTaken(metadata, path)), "2019-06-15 10:20:30");

  EXPECT_EQ(Text(ReadTimeTaken(metadata, Dir_ / "missing.jpg")), "none");
  test::WriteBytes(Dir_ / "cut.jpg", test::Bytes("\xFF\xD8\xFF\xE1\x01\x00Exif"));
  EXPECT_EQ(Text(ReadTimeTaken(metadata, Dir_ / "cut.jpg")), "none");
}

}  // namespace
}  // namespace pictrim
