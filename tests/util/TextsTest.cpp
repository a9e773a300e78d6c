// The texts in use: placeholders, the built-in columns, texts taken from a
// language with German for what it lacks, and the language of a locale.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/Texts.h"

namespace pictrim {
namespace {

class TextsInUse : public ::testing::Test {
 protected:
  void TearDown() override { UseBuiltInTexts(TLanguage::German); }
};

TEST(FormatText, putsEachArgumentInOnePassAndLeavesWhatHasNone) {
  EXPECT_EQ(FormatText("%1 of %2", {"3", "12"}), "3 of 12");
  EXPECT_EQ(FormatText("%2, %1, %2", {"a", "b"}), "b, a, b");
  // An argument holding a placeholder stays as it is.
  EXPECT_EQ(FormatText("%1 and %2", {"%2", "x"}), "%2 and x");
  EXPECT_EQ(FormatText("folder %1", {"/photos/100%/"}), "folder /photos/100%/");
  EXPECT_EQ(FormatText("%1 %3 %", {"a"}), "a %3 %");
  EXPECT_EQ(FormatText("%0 %a %%1", {"x"}), "%0 %a %x");
  EXPECT_EQ(FormatText("no places", {"x"}), "no places");
  EXPECT_EQ(FormatText("%9", {"1", "2", "3", "4", "5", "6", "7", "8", "nine"}), "nine");
}

TEST_F(TextsInUse, areGermanUntilALanguageIsChosenAndFollowTheBuiltInColumns) {
  EXPECT_EQ(Text(TTextId::CancelledStatus), "Letze Aktion = Prozess abgebrochen");
  UseBuiltInTexts(TLanguage::English);
  EXPECT_EQ(Text(TTextId::CancelledStatus), "Last action = process cancelled");
  EXPECT_EQ(Text(TTextId::ProgressCount, {"2", "7"}), "Progress:  2 of  7  files");
  UseBuiltInTexts(TLanguage::German);
  EXPECT_EQ(Text(TTextId::ProgressCount, {"2", "7"}), "Fortschritt:  2 von  7  Dateien");
  EXPECT_EQ(Text(TTextId::Count), "");
}

TEST_F(TextsInUse, aLanguageThatLacksATextLeavesItGermanAndNoEarlierLanguageShowsThrough) {
  UseBuiltInTexts(TLanguage::English);
  std::map<std::string, std::string> asked;
  UseTexts([&](const char* Section, const char* Key) -> std::optional<std::string> {
    asked[std::string(Section) + "/" + Key] = "";
    if (std::string(Key) == "Cancelled") return "Interrompu";
    if (std::string(Key) == "FolderChosen") return "";
    return std::nullopt;
  });
  EXPECT_EQ(asked.size(), TextTable.size()) << "every text is asked for once";
  EXPECT_EQ(asked.count("Messages/Cancelled"), 1u);
  EXPECT_EQ(Text(TTextId::CancelledStatus), "Interrompu");
  EXPECT_EQ(Text(TTextId::FolderChosenStatus), "");
  EXPECT_EQ(Text(TTextId::PreviewCaption), "Vorschau anzeigen");
}

TEST(LanguageOfLocale, germanWhenTheFirstSetVariableBeginsWithDe) {
  struct TCase {
    const char* LcAll;
    const char* LcMessages;
    const char* Lang;
    TLanguage Expected;
  };
  const TLanguage de = TLanguage::German;
  const TLanguage en = TLanguage::English;
  const TCase cases[] = {
      {nullptr, nullptr, nullptr, en},
      {nullptr, nullptr, "de_DE.UTF-8", de},
      {nullptr, nullptr, "de", de},
      {nullptr, nullptr, "d", en},
      {nullptr, nullptr, "C.UTF-8", en},
      {nullptr, nullptr, "en_US.UTF-8", en},
      {nullptr, nullptr, "fr_DE.UTF-8", en},
      {nullptr, nullptr, "DE_de", en},
      {nullptr, "de_AT.UTF-8", "en_GB.UTF-8", de},
      {nullptr, "en_GB.UTF-8", "de_DE.UTF-8", en},
      {"de_CH.UTF-8", "en_GB.UTF-8", "en_GB.UTF-8", de},
      {"C", "de_DE.UTF-8", "de_DE.UTF-8", en},
      {"", "", "de_DE.UTF-8", de},
      {"", "en", "de_DE.UTF-8", en},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(LanguageOfLocale(c.LcAll, c.LcMessages, c.Lang), c.Expected)
        << (c.LcAll ? c.LcAll : "-") << " " << (c.LcMessages ? c.LcMessages : "-") << " "
        << (c.Lang ? c.Lang : "-");
  }
}

TEST(TextTableRows, haveTheirPlacesKeysAndBothWordings) {
  std::map<std::string, int> keys;
  for (const TTextRow& row : TextTable) {
    EXPECT_NE(std::string(row.German), "") << row.Key;
    EXPECT_NE(std::string(row.English), "") << row.Key;
    // The language files lose blanks at the ends of a text; none may matter.
    for (const std::string text : {row.German, row.English}) {
      if (text.front() == ' ' || (text.back() == ' ' && row.Id != TTextId::EdgeBoth &&
                                  row.Id != TTextId::StatusStart))
        ADD_FAILURE() << row.Key << ": \"" << text << "\"";
    }
    ++keys[std::string(row.Section) + "/" + row.Key];
    // A placeholder one language has, the other has as well.
    for (const char* place : {"%1", "%2", "%3"}) {
      EXPECT_EQ(std::string(row.German).find(place) == std::string::npos,
                std::string(row.English).find(place) == std::string::npos)
          << row.Key << " " << place;
    }
  }
  for (const auto& [key, count] : keys) EXPECT_EQ(count, 1) << key;
}

// The lines of the error log: each names its file (or folder) first and
// then says what happened, in both languages.
TEST(TextTableRows, everyLineOfTheLogNamesItsFileFirst) {
  int lines = 0;
  for (const TTextRow& row : TextTable) {
    if (std::string_view(row.Section) != LogLineTexts ||
        std::string_view(row.Key).starts_with("Reason"))
      continue;
    // The loader's line keeps the wording scripts read: the file comes second.
    if (std::string_view(row.English).starts_with("EXCEPTION in ")) continue;
    ++lines;
    for (const std::string text : {row.German, row.English}) {
      const size_t file = text.find("%1");
      ASSERT_NE(file, std::string::npos) << row.Key;
      EXPECT_EQ(text.find('%'), file) << row.Key << ": " << text;
      EXPECT_LE(file, std::string("Ordner ").size()) << row.Key << ": " << text;
      // What happened follows the name, in words.
      EXPECT_NE(text.find(':', file), std::string::npos) << row.Key << ": " << text;
    }
  }
  EXPECT_GE(lines, 10);
}

TEST(TextArguments, areReadBackFromTheTextAPatternMade) {
  using TArgs = std::vector<std::string>;
  EXPECT_EQ(TextArguments("File %1 was not renamed: %2", "File /a b/c.jpg was not renamed: x"),
            (TArgs{"/a b/c.jpg", "x"}));
  // Placeholders in another order than their numbers.
  EXPECT_EQ(TextArguments("%2 <- %1.", "b <- a."), (TArgs{"a", "b"}));
  EXPECT_EQ(TextArguments("(%1)", "()"), TArgs{""});
  EXPECT_EQ(TextArguments("no places", "no places"), TArgs{});
  // The fixed words must all be there, at both ends too.
  EXPECT_EQ(TextArguments("File %1 was not renamed: %2", "File a was renamed: x"), std::nullopt);
  EXPECT_EQ(TextArguments("File %1 exists", "File a exists!"), std::nullopt);
  EXPECT_EQ(TextArguments("File %1 exists", "Datei a exists"), std::nullopt);
  EXPECT_EQ(TextArguments("%1 exists", "s"), std::nullopt);
}

TEST_F(TextsInUse, linesAndStatusTextsAreMadeAnewInTheLanguageChosen) {
  const std::vector<std::string> german = TextsNow();
  const std::string taken =
      Text(TTextId::LogNotRenamed, {"/p/P1.JPG", Text(TTextId::ReasonExists, {"/p/2006.JPG"})});
  const std::string status = Text(TTextId::AllResizedStatus, {"/p/"});
  const std::string longer = Text(TTextId::LogCopyPathTooLong, {"/p/a.jpg", "/q/a.jpg", "x"});
  UseBuiltInTexts(TLanguage::English);
  EXPECT_EQ(Retranslated(taken, german), "File /p/P1.JPG was not renamed: /p/2006.JPG exists");
  EXPECT_EQ(Retranslated(status, german), "Last action = all files in folder /p/ resized");
  // The line with the most fixed words is the one it was made from.
  EXPECT_EQ(Retranslated(longer, german),
            "File /p/a.jpg was skipped: its copy /q/a.jpg cannot be made, x");
  // Lines of the program's fixed wording and a system's reason stay as they are.
  EXPECT_EQ(Retranslated("File /p/a.jpg was empty", german), "File /p/a.jpg was empty");
  EXPECT_EQ(Retranslated(Text(TTextId::LogNotRenamed, {"/p/a", "Permission denied"}), TextsNow()),
            "File /p/a was not renamed: Permission denied");
  // And back again.
  const std::vector<std::string> english = TextsNow();
  UseBuiltInTexts(TLanguage::German);
  EXPECT_EQ(Retranslated(Retranslated(taken, german), english), taken);
}

}  // namespace
}  // namespace pictrim
