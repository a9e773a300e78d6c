// Value texts of the EXIF parser: the tables, the text helpers, the value
// decoding and the formatters.
#include <gtest/gtest.h>

#include <vector>

#include "metadata/Exif.h"
#include "util/Errors.h"
#include "util/MoreDialogs.h"

namespace pictrim {
namespace {

using namespace std::string_literals;

TEST(ExifTables, holdTheKnownTagsInOrderWithTheDefaultRowLast) {
  EXPECT_EQ(ExifMainTags.size(), 251u);
  EXPECT_EQ(ExifMainTags[0].TagNumber, 1);
  EXPECT_EQ(ExifMainTags[5].TagName, "ImageWidth");
  EXPECT_EQ(ExifMainTags[249].TagName, "ImageUniqueID");
  EXPECT_EQ(ExifMainTags[250].TagNumber, 0);
  EXPECT_EQ(ExifMainTags[250].TagName, "Unknown");
  for (size_t i = 1; i < 250; ++i) {
    EXPECT_LT(ExifMainTags[i - 1].TagNumber, ExifMainTags[i].TagNumber) << i;
  }
  ASSERT_EQ(ExifGpsTags.size(), 31u);
  for (size_t i = 0; i < ExifGpsTags.size(); ++i) EXPECT_EQ(ExifGpsTags[i].TagNumber, i);
}

TEST(ExifTables, findDefinitionsWithTheirCaptions) {
  const TTagEntry width = FindTagDefinition(256, TDirectoryKind::Main);
  EXPECT_EQ(width.TagName, "ImageWidth");
  EXPECT_EQ(width.Caption, "Image Width");
  EXPECT_EQ(FindTagDefinition(41989, TDirectoryKind::Main).Caption, "Focal Length in 35mm Film");
  EXPECT_EQ(FindTagDefinition(33723, TDirectoryKind::Main).Caption, "IPTC/NAA");
  EXPECT_EQ(FindTagDefinition(2, TDirectoryKind::Gps).Formatter, &GpsPositionFormatter);
  EXPECT_EQ(FindTagDefinition(2, TDirectoryKind::Main).TagName, "InteroperabilityVersion");
  const TTagEntry unknown = FindTagDefinition(0xBEEF, TDirectoryKind::Main);
  EXPECT_EQ(unknown.TagNumber, 0);
  EXPECT_EQ(unknown.Caption, "Unknown");
  EXPECT_EQ(FindTagDefinition(0, TDirectoryKind::Main).TagName, "Unknown");
  EXPECT_EQ(FindTagDefinition(31, TDirectoryKind::Gps).TagName, "Unknown");
  EXPECT_EQ(ExifMainTags[static_cast<size_t>(MainTableIndex("focallengthin35mmfilm"))].TagNumber,
            41989);
  EXPECT_EQ(MainTableIndex("Unknown"), -1);
}

TEST(ExifText, splitsNamesAtTheirCapitals) {
  EXPECT_EQ(SplitCamelCase("ExposureTime"), "Exposure Time");
  EXPECT_EQ(SplitCamelCase("ISOSpeedRatings"), "ISOSpeed Ratings");
  EXPECT_EQ(SplitCamelCase("FocalLengthIn35mmFilm"), "Focal Length In35mm Film");
  EXPECT_EQ(SplitCamelCase("xResolution"), "xResolution");
  EXPECT_EQ(SplitCamelCase(""), "");
}

TEST(ExifText, looksCodesUpWhereTheListSaysSo) {
  EXPECT_EQ(LookupCode("0:Auto,1:Manual", "1"), "Manual");
  EXPECT_EQ(LookupCode("0:Auto,1:Manual", " 0 "), "Auto");
  EXPECT_EQ(LookupCode("0:Auto,1:Manual", "2"), "");
  EXPECT_EQ(LookupCode("10:Flash,1:Daylight", "1"), "Daylight");
  EXPECT_EQ(LookupCode("1:Monochrome, 2:RGB, 6:YCbCr", "1"), "Monochrome");
  EXPECT_EQ(LookupCode("1:Monochrome, 2:RGB, 6:YCbCr", "2"), "");
}

TEST(ExifText, makesTextsPrintableWithoutHalvingCharacters) {
  EXPECT_EQ(MakePrintable("a\tb\0c"s), "a.b.c");
  EXPECT_EQ(MakePrintable(std::string(60, 'x')), std::string(50, 'x'));
  std::string umlauts;
  for (int i = 0; i < 60; ++i) umlauts += "ä";
  EXPECT_EQ(MakePrintable(umlauts).size(), 100u);
  EXPECT_EQ(Utf8Left("ab€d", 3), "ab€");
  // A run of stray continuation bytes makes characters of at most four bytes.
  EXPECT_EQ(Utf8Left("a\x80\x80\x80\x80\x80z", 1), "a\x80\x80\x80");
  EXPECT_EQ(TrimText(" \t x y \0"s), "x y");
}

TEST(ExifText, readsRationalTexts) {
  EXPECT_DOUBLE_EQ(RationalTextToFloat("3/4"), 0.75);
  EXPECT_DOUBLE_EQ(RationalTextToFloat(" 1 1/2 "), 1.5);
  EXPECT_DOUBLE_EQ(RationalTextToFloat("-7/2"), -3.5);
  EXPECT_EQ(RationalTextToFloat("5"), 0);
  EXPECT_EQ(RationalTextToFloat("1/0"), 0);
  EXPECT_EQ(RationalTextToFloat("x/2"), 0);
  EXPECT_EQ(RationalTextToFloat("1/1, 2/1"), 0);
}

TEST(ExifText, appliesPatternsToTextsAndNumbers) {
  EXPECT_EQ(ApplyPattern("%5.2f", 72.0), "72.00");
  EXPECT_EQ(ApplyPattern("%5.2f mm", 7.4), " 7.40 mm");
  EXPECT_EQ(ApplyPattern("F%0.1f", 2.8), "F2.8");
  EXPECT_EQ(ApplyPattern("%s sec", "1/60"), "1/60 sec");
  EXPECT_EQ(ApplyPattern(" (1/%d)", 127.6), " (1/128)");
  EXPECT_EQ(ApplyPattern("100%% %s", "x"), "100% x");
  EXPECT_THROW(ApplyPattern("%d", 1e12), ERangeError);
  EXPECT_THROW(ApplyPattern("%s", 1.0), ERangeError);
  EXPECT_THROW(ApplyPattern("%x", 1.0), ERangeError);
}

TEST(ExifText, formatsWithTheTablesFormatters) {
  EXPECT_EQ(ComponentsFormatter("\"\x01\x02\x03\""), "YCbCr");
  EXPECT_EQ(ComponentsFormatter("\"\x04\x05\x06\x07"), "RGB");
  EXPECT_EQ(ShutterSpeedFormatter("7/1"), "0.0078 sec (1/128)");
  EXPECT_EQ(ShutterSpeedFormatter("1/1"), "0.5000 sec (1/2)");
  EXPECT_EQ(ShutterSpeedFormatter("-1/1"), "2.0000 sec");
  EXPECT_THROW(ShutterSpeedFormatter("100/1"), ERangeError);
  EXPECT_EQ(FlashFormatter("89"), "On, auto mode, red-eye reduction");
  EXPECT_EQ(FlashFormatter("0"), "Off");
  EXPECT_EQ(FlashFormatter("7"), "On, strobe return");
  EXPECT_EQ(FlashFormatter("16"), "Off, surpressed");
  EXPECT_EQ(FlashFormatter("32"), "Off, no flash function");
  EXPECT_ANY_THROW(FlashFormatter("many"));
  EXPECT_EQ(UserCommentFormatter("\"ASCII\0\0\0Hi\""s), "\0Hi\""s);
  EXPECT_EQ(UserCommentFormatter("short"), "");
  EXPECT_EQ(XpTextFormatter("72, 0, 105, 0, 0, 0"), "Hi");
  EXPECT_EQ(XpTextFormatter("228, 0, 172, 32"), "ä€");
  EXPECT_ANY_THROW(XpTextFormatter("?, ?"));
  EXPECT_EQ(GpsTimeFormatter("14/1, 5/1, 3040/100"), "14:5:30");
}

TEST(ExifText, formatsGpsPositionsAndComplainsAboutBrokenOnes) {
  EXPECT_EQ(GpsPositionFormatter("1/1, 30/1, 4500/100"), "1 Degrees 30 Minutes 45 Seconds");
  // Minutes with a fraction and no seconds: the fraction becomes the seconds.
  EXPECT_EQ(GpsPositionFormatter("50/1, 305/10, 0/1"), "50 Degrees 30 Minutes 30 Seconds");
  std::vector<std::string> messages;
  const TMessageHandler previous =
      SetMessageHandler([&messages](const std::string& Text) { messages.push_back(Text); });
  EXPECT_EQ(GpsPositionFormatter("1/1, 2/1"), "1/1, 2/1");
  SetMessageHandler(previous);
  EXPECT_EQ(messages, std::vector<std::string>{"Exception in GpsPosn"});
}

class ExifValues : public ::testing::Test {
 protected:
  TExifInfo& Info(bool BigEndian) {
    Info_.SetBigEndian(BigEndian);
    return Info_;
  }
  TMetadata Owner_{255};
  TExifInfo Info_{Owner_, 255};
};

TEST_F(ExifValues, turnBytesIntoIntegersInTheBlocksOrder) {
  EXPECT_EQ(Info(false).BytesToInt("\x01\x02"s), 0x0201);
  EXPECT_EQ(Info(true).BytesToInt("\x01\x02"s), 0x0102);
  EXPECT_EQ(Info(true).BytesToInt("\xFF\xFF"s), 65535);
  EXPECT_EQ(Info(true).BytesToInt("\xFF"s), 255);
  EXPECT_EQ(Info(true).BytesToInt("\xFF\xFF\xFF\xFE"s), -2);
  EXPECT_EQ(Info(false).BytesToInt(""), 0);
  // Past eight bytes the value reached so far stands.
  EXPECT_EQ(Info(true).BytesToInt("\0\0\0\0\0\0\0\x05\x09"s), 5);
  EXPECT_EQ(Info(false).BytesToInt("\x09\x05\0\0\0\0\0\0\0"s), 5);
}

TEST_F(ExifValues, giveNumericValuesByFieldType) {
  TExifInfo& info = Info(true);
  EXPECT_EQ(info.NumericValue("\0\x48"s, 3), 72);
  EXPECT_EQ(info.NumericValue("\0\0\0\x1C\0\0\0\x0A"s, 5), 2.8);
  EXPECT_EQ(info.NumericValue("\xFF\xFF\xFF\xFF\0\0\0\x02"s, 10), -0.5);
  EXPECT_EQ(info.NumericValue("\0\0\0\x01\0\0\0\0"s, 5), 0);  // zero denominator
  EXPECT_EQ(info.NumericValue("\0\0\0\x01"s, 5), 0);
  EXPECT_EQ(info.NumericValue("abc", 2), 0);
  EXPECT_EQ(info.NumericValue("abc", 7), 0);
  EXPECT_EQ(info.NumericValue("\x40\x49\x0F\xDB"s, 11), static_cast<double>(3.14159274f));
  EXPECT_EQ(info.NumericValue("\x7F\xF0\0\0\0\0\0\0"s, 12), 0);  // infinity
  EXPECT_EQ(info.NumericValue("\x01"s, 13), 0);
}

TEST_F(ExifValues, formatValueListsWithCodesAndPatterns) {
  TExifInfo& info = Info(false);
  EXPECT_EQ(info.FormatValues("\x01\0\x02\0"s, 3, "", ""), "1, 2");
  EXPECT_EQ(info.FormatValues("\x01\0\x05\0"s, 3, "1:One,2:Two", ""), "One, ");
  EXPECT_EQ(info.FormatValues("\x01\0\0\0\x01\0\0\0\x1E\0\0\0\x01\0\0\0\x94\x11\0\0\x64\0\0\0"s, 5,
                              "", ""),
            "1/1, 30/1, 4500/100");
  EXPECT_EQ(info.FormatValues("\x48\0\0\0\x01\0\0\0"s, 5, "", "%5.2f"), "72.00");
  EXPECT_EQ(info.FormatValues("\x1C\0\0\0\x0A\0\0\0"s, 5, "", "F%0.1f"), "F2.8");
  EXPECT_EQ(info.FormatValues("\x01\0\0\0\x3C\0\0\0"s, 5, "", "%s sec"), "1/60 sec");
  EXPECT_EQ(info.FormatValues("ab", 2, "", ""), "?, ?");
  EXPECT_EQ(info.FormatValues("12345678", 12, "", ""), "-9999.99");
  EXPECT_EQ(info.FormatValues("", 0, "", ""), "0");
  EXPECT_EQ(info.FormatValues("\x01\x02\x03"s, 3, "", ""), "513");  // a half value is left out
  EXPECT_EQ(info.FormatValues(std::string(300, '\x01'), 1, "", "").size(), 128u * 3 - 2);
  EXPECT_THROW(info.FormatValues("x", 13, "", ""), ERangeError);
}

}  // namespace
}  // namespace pictrim
