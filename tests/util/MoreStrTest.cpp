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

// Each byte as \xNN.
std::string AllEscaped(const std::string& Bytes) {
  constexpr char digits[] = "0123456789ABCDEF";
  std::string text;
  for (const char c : Bytes) {
    const auto byte = static_cast<unsigned char>(c);
    text += std::string("\\x") + digits[byte >> 4] + digits[byte & 0x0F];
  }
  return text;
}

// The well-formed sequences at the edges of each range of lead bytes, and
// one step beyond each edge: a sequence is kept whole, or every one of its
// bytes is shown as \xNN.
TEST(PrintableText, keepsExactlyTheWellFormedSequencesAtEveryEdge) {
  struct TRange {
    unsigned char FirstLead, LastLead, Low, High;
    int Length;
  };
  const TRange ranges[] = {
      {0xC2, 0xC2, 0xA0, 0xBF, 2},  // C2 80 ... C2 9F are the C1 controls
      {0xC3, 0xDF, 0x80, 0xBF, 2},
      {0xE0, 0xE0, 0xA0, 0xBF, 3}, {0xE1, 0xEC, 0x80, 0xBF, 3}, {0xED, 0xED, 0x80, 0x9F, 3},
      {0xEE, 0xEF, 0x80, 0xBF, 3}, {0xF0, 0xF0, 0x90, 0xBF, 4}, {0xF1, 0xF3, 0x80, 0xBF, 4},
      {0xF4, 0xF4, 0x80, 0x8F, 4},
  };
  const auto sequence = [](unsigned char Lead, unsigned char Second, int Length,
                           unsigned char Rest = 0xBF) {
    std::string bytes{static_cast<char>(Lead), static_cast<char>(Second)};
    bytes.append(Length - 2, static_cast<char>(Rest));
    return bytes;
  };
  for (const TRange& range : ranges) {
    for (const unsigned char lead : {range.FirstLead, range.LastLead}) {
      const std::string where = "lead " + std::to_string(lead);
      for (const unsigned char second : {range.Low, range.High}) {
        const std::string whole = sequence(lead, second, range.Length);
        EXPECT_EQ(PrintableText(whole), whole) << where << ", then " << int(second);
        const std::string lowRest = sequence(lead, second, range.Length, 0x80);
        EXPECT_EQ(PrintableText(lowRest), lowRest) << where;
      }
      const std::string below = sequence(lead, range.Low - 1, range.Length);
      EXPECT_EQ(PrintableText(below), AllEscaped(below)) << where;
      const std::string above = sequence(lead, range.High + 1, range.Length);
      EXPECT_EQ(PrintableText(above), AllEscaped(above)) << where;
      if (range.Length > 2) {
        const std::string lastNotContinuing = sequence(lead, range.Low, range.Length, 0xC0);
        EXPECT_EQ(PrintableText(lastNotContinuing), AllEscaped(lastNotContinuing)) << where;
        const std::string lastDel = sequence(lead, range.Low, range.Length, 0x7F);
        EXPECT_EQ(PrintableText(lastDel), AllEscaped(lastDel)) << where;
        const std::string lastAscii = sequence(lead, range.Low, range.Length, 'A');
        EXPECT_EQ(PrintableText(lastAscii),
                  AllEscaped(lastAscii.substr(0, 2)) + std::string(range.Length - 2, 'A'))
            << where;
      }
    }
  }
  // Leads no sequence starts with, before good continuation bytes.
  for (const unsigned char lead : {0x80, 0xBF, 0xC0, 0xC1, 0xF5, 0xFF}) {
    const std::string bytes = sequence(lead, 0x80, 4);
    EXPECT_EQ(PrintableText(bytes), AllEscaped(bytes)) << int(lead);
  }
  EXPECT_EQ(PrintableText("\xC2\x9F|\xC2\xA0"), "\\xC2\\x9F|\xC2\xA0");  // last C1 control
  EXPECT_EQ(PrintableText("\x1F \x20"), "\\x1F  ");
  EXPECT_EQ(PrintableText("\xF0\x9F\x99"), "\\xF0\\x9F\\x99");  // cut at the end
}

}  // namespace
}  // namespace pictrim
