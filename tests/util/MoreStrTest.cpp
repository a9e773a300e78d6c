#include <gtest/gtest.h>

#include "util/ErrorLog.h"
#include "util/Errors.h"
#include "util/MoreStr.h"

namespace pictrim {
namespace {

TEST(MoreStr, rightCharsIsEmptyOnceTheCountReachesTheLength) {
  EXPECT_EQ(RightChars("abcde", 5), "");
  EXPECT_EQ(RightChars("abcde", 9), "");
  EXPECT_EQ(RightChars("abcde", 4), "bcde");
  EXPECT_EQ(RightChars("abcde", 0), "");
  EXPECT_EQ(RightChars("", 0), "");
}

TEST(MoreStr, rightCharsWorksOnTextsLongerThan255Characters) {
  const std::string longText(300, 'x');
  EXPECT_EQ(RightChars(longText + "tail", 4), "tail");
}

TEST(MoreStr, leftCharsGivesTheWholeTextOnceTheCountReachesTheLength) {
  EXPECT_EQ(LeftChars("abcde", 0), "");
  EXPECT_EQ(LeftChars("", 0), "");
  EXPECT_EQ(LeftChars("abcde", 2), "ab");
  EXPECT_EQ(LeftChars("abcde", 5), "abcde");
  EXPECT_EQ(LeftChars("abcde", 200), "abcde");
}

TEST(MoreStr, lastCharPosCountsFromOneAndGivesZeroWhenAbsent) {
  EXPECT_EQ(LastCharPos('/', "/photos/2006/"), 13u);
  EXPECT_EQ(LastCharPos('.', "a.b.c"), 4u);
  EXPECT_EQ(LastCharPos('x', "abc"), 0u);
  EXPECT_EQ(LastCharPos('x', ""), 0u);
}

TEST(MoreStr, hexDigitValueReadsBothLetterCases) {
  EXPECT_EQ(HexDigitValue('0'), 0);
  EXPECT_EQ(HexDigitValue('9'), 9);
  EXPECT_EQ(HexDigitValue('A'), 10);
  EXPECT_EQ(HexDigitValue('c'), 12);
  EXPECT_EQ(HexDigitValue('F'), 15);
  EXPECT_EQ(HexDigitValue('G'), -1);
  EXPECT_EQ(HexDigitValue('I'), -1);
  EXPECT_EQ(HexDigitValue(' '), -1);
}

TEST(MoreStr, extensionIsWhatFollowsTheLastDotOfTheWholeText) {
  EXPECT_EQ(ExtractExtension("photo.JPG"), "JPG");
  EXPECT_EQ(ExtractExtension("photo"), "");
  EXPECT_EQ(ExtractExtension("photo."), "");
  EXPECT_EQ(ExtractExtension("archive.tar.gz"), "gz");
  EXPECT_EQ(ExtractExtension("/fotos/a.b/file"), "b/file");
}

TEST(MoreStr, replaceExtensionAppendsWhenThereIsNoDot) {
  EXPECT_EQ(ReplaceExtension("photo.PNG", "jpg"), "photo.jpg");
  EXPECT_EQ(ReplaceExtension("photo", "jpg"), "photo.jpg");
  EXPECT_EQ(ReplaceExtension("a.b/file", "jpg"), "a.jpg");
  EXPECT_EQ(ReplaceExtension("photo.", "jpg"), "photo.jpg");
  EXPECT_THROW(ReplaceExtension("", "jpg"), ERangeError);
}

TEST(MoreStr, checkDigitsAcceptsOnlyDigitsAndTheEmptyText) {
  EXPECT_EQ(CheckDigits(""), 0);
  EXPECT_EQ(CheckDigits("0123456789"), 0);
  EXPECT_EQ(CheckDigits("12 3"), -1);
  EXPECT_EQ(CheckDigits("1a"), -1);
}

TEST(MoreStr, caseHelpersChangeOnlyAsciiLetters) {
  EXPECT_EQ(LowerCase("JPG.Größe"), "jpg.größe");
  EXPECT_EQ(UpperCase("png"), "PNG");
}

TEST(ErrorLog, eachMessageBecomesOneEntryEndingWithCarriageReturnAndLineFeed) {
  TErrorLog log;
  AddErrorLogEntry("first", log);
  AddErrorLogEntry("second", log);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], "first\r\n");
  EXPECT_EQ(log[1], "second\r\n");
  std::string shown;
  for (const auto& line : log) shown += line;
  EXPECT_EQ(shown, "first\r\nsecond\r\n");
}

// Text read from files is shown whole: UTF-8 as it is, everything else and
// every control character (terminal commands among them) as \xNN.
TEST(PrintableText, keepsUtf8AndEscapesEverythingElse) {
  EXPECT_EQ(PrintableText("Größe 100 % – 東京 🙂\tok"),
            "Größe 100 % – 東京 🙂\tok");
  EXPECT_EQ(PrintableText(std::string("Canon\0\xFF", 7)), "Canon\\x00\\xFF");
  EXPECT_EQ(PrintableText("\x1B[31mred\r\n\x7F"), "\\x1B[31mred\\x0D\\x0A\\x7F");
  EXPECT_EQ(PrintableText("\xC2\x9B"
                          "2J"),
            "\\xC2\\x9B2J");  // C1 control
  EXPECT_EQ(PrintableText("\xC2\xA0"
                          "x"),
            "\xC2\xA0"
            "x");                                                                 // no-break space
  EXPECT_EQ(PrintableText("\xC3"), "\\xC3");                                      // cut at the end
  EXPECT_EQ(PrintableText("\xC3(\xA9"), "\\xC3(\\xA9");                           // stray bytes
  EXPECT_EQ(PrintableText("\xC0\xAF\xE0\x80\xAF"), "\\xC0\\xAF\\xE0\\x80\\xAF");  // overlong
  EXPECT_EQ(PrintableText("\xED\xA0\x80"), "\\xED\\xA0\\x80");                    // a surrogate
  EXPECT_EQ(PrintableText("\xF4\x8F\xBF\xBF"), "\xF4\x8F\xBF\xBF");               // U+10FFFF
  EXPECT_EQ(PrintableText("\xF4\x90\x80\x80"), "\\xF4\\x90\\x80\\x80");           // beyond it
  EXPECT_EQ(PrintableText("\xE2\x82"), "\\xE2\\x82");
  EXPECT_EQ(PrintableText(""), "");
}

}  // namespace
}  // namespace pictrim
