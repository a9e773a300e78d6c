#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <utility>

#include "settings/CreateLanguageINI.h"
#include "settings/IniFile.h"
#include "settings/LanguageTable.h"
#include "settings/Localize.h"
#include "tests/common/Languages.h"
#include "tests/common/TempDir.h"
#include "tests/settings/SettingsTestSupport.h"
#include "util/Texts.h"

namespace fs = std::filesystem;

namespace pictrim {
namespace {

using test::ReadWholeFile;
using test::TTempDir;
using test::WriteTextFile;

// A built-in file as it is written: the label and the locale, the caption
// rows of one column, then the texts of the text table; each section and each
// key stands where it was first written.
std::string ExpectedFile(const std::string& Label, bool German) {
  using TKeys = std::vector<std::pair<std::string, std::string>>;
  std::vector<std::pair<std::string, TKeys>> sections;
  auto put = [&](const std::string& Section, const std::string& Key, const std::string& Value) {
    auto section = std::find_if(sections.begin(), sections.end(),
                                [&](const auto& S) { return S.first == Section; });
    if (section == sections.end()) section = sections.insert(sections.end(), {Section, {}});
    auto key = std::find_if(section->second.begin(), section->second.end(),
                            [&](const auto& K) { return K.first == Key; });
    if (key == section->second.end())
      section->second.push_back({Key, Value});
    else
      key->second = Value;
  };
  put("LocalStrings", "String_CurrentLanguage", Label);
  put("LocalStrings", "Locale", German ? "de" : "en");
  for (const TLanguageRow& row : LanguageTable)
    put(row.Section, German ? row.GermanKey : row.EnglishKey, German ? row.German : row.English);
  for (const TTextRow& row : TextTable) put(row.Section, row.Key, German ? row.German : row.English);
  std::string text;
  for (const auto& [name, keys] : sections) {
    text += (text.empty() ? "[" : "\n\n[") + name + "]\n";
    for (const auto& [key, value] : keys) text += key + "=" + value + "\n";
  }
  return text;
}

std::string Caption(const std::vector<TCaption>& Captions, const std::string& Key) {
  for (const TCaption& c : Captions) {
    if (c.Key == Key) return c.Text;
  }
  ADD_FAILURE() << "no caption " << Key;
  return {};
}

class LanguageFiles : public ::testing::Test {
 protected:
  void TearDown() override { UseBuiltInTexts(TLanguage::German); }
  TTempDir Dir;
  test::TMessageRecorder Recorder;
};

TEST_F(LanguageFiles, theBuiltInFilesHoldEveryRowOfTheirColumnByteForByte) {
  WriteDefaultLanguageFiles(Dir.Path());
  const std::string german = ReadWholeFile(Dir / "LANGUAGE_German.ini");
  const std::string english = ReadWholeFile(Dir / "LANGUAGE_English.ini");
  EXPECT_EQ(german, ExpectedFile("Deutsch", true));
  EXPECT_EQ(english, ExpectedFile("English", false));
  // The rows where the two files differ in more than the text.
  EXPECT_NE(german.find("\nPathButton2.caption=Verzeichnis wählen\n"), std::string::npos);
  EXPECT_EQ(german.find("GroupBox2"), std::string::npos);
  EXPECT_NE(english.find("\nGroupBox2.caption=Options\n"), std::string::npos);
  EXPECT_EQ(english.find("PathButton2"), std::string::npos);
  EXPECT_NE(german.find("\nLabel11.caption=Bitte senden Sie eine Email an " +
                        std::string(SupportAddress) + "!\n"),
            std::string::npos);

  WriteLanguageFile(Dir.Path(), "Other.ini", "Francais");  // an unknown label writes only itself
  EXPECT_EQ(ReadWholeFile(Dir / "LANGUAGE_Other.ini"),
            "[LocalStrings]\nString_CurrentLanguage=Francais\n");
}

TEST_F(LanguageFiles, aCaptionEditedByHandIsRestoredWhileAddedKeysAndSectionsSurvive) {
  WriteDefaultLanguageFiles(Dir.Path());
  std::string text = ReadWholeFile(Dir / "LANGUAGE_German.ini");
  const std::string original = "Pages[0].Caption=Größe ändern\n";
  text.replace(text.find(original), original.size(), "PAGES[0].caption=Verkleinern\nMine=1\n");
  WriteTextFile(Dir / "LANGUAGE_German.ini", text + "\n[Extra]\nnote=hand-made\n");

  WriteDefaultLanguageFiles(Dir.Path());
  const TIniFile ini(Dir / "LANGUAGE_German.ini");
  EXPECT_EQ(ini.ReadString("MainForm", "Pages[0].Caption", ""), "Größe ändern");
  EXPECT_EQ(ini.ReadString("MainForm", "Mine", ""), "1");
  EXPECT_EQ(ini.ReadString("Extra", "note", ""), "hand-made");
}

TEST_F(LanguageFiles, theListHoldsTheNamesBetweenPrefixAndExtensionSortedWithoutRegardToCase) {
  WriteDefaultLanguageFiles(Dir.Path());
  EXPECT_EQ(FillLanguageList(Dir.Path()), (std::vector<std::string>{"English", "German"}));

  WriteTextFile(Dir / "LANGUAGE_Francais.ini", "[MainForm]\n");
  EXPECT_EQ(FillLanguageList(Dir.Path()),
            (std::vector<std::string>{"English", "Francais", "German"}));

  for (const char* other : {"LANGUAGE_.ini", "LANGUAGE_dutch.ini", "language_lower.ini",
                            "LANGUAGE_Text.txt", "pictrim.ini"}) {
    WriteTextFile(Dir / other, "");
  }
  fs::create_directory(Dir / "LANGUAGE_Folder.ini");
  EXPECT_EQ(FillLanguageList(Dir.Path()),
            (std::vector<std::string>{"", "dutch", "English", "Francais", "German"}));
  EXPECT_TRUE(FillLanguageList(Dir / "missing").empty());
}

TEST_F(LanguageFiles, everyAppliedCaptionComesFromTheBuiltInFilesInTheWindowsOrder) {
  WriteDefaultLanguageFiles(Dir.Path());
  const auto german = ApplyLanguage(Dir.Path(), "German");
  const auto english = ApplyLanguage(Dir.Path(), "English");
  ASSERT_TRUE(german && english);
  ASSERT_EQ(german->size(), AppliedCaptionKeys.size());
  for (size_t i = 0; i < german->size(); ++i) {
    EXPECT_EQ((*german)[i].Key, AppliedCaptionKeys[i]);
    EXPECT_FALSE((*german)[i].Text.empty()) << (*german)[i].Key;
    EXPECT_FALSE((*english)[i].Text.empty()) << (*english)[i].Key;
  }
  EXPECT_EQ((*german)[0], (TCaption{"Pages[0].Caption", "Größe ändern"}));
  EXPECT_EQ((*german)[3], (TCaption{"PathButton.Caption1", "Verzeichnis wählen"}));
  EXPECT_EQ((*german)[4], (TCaption{"PathButton.Caption2", "Verzeichnis-Liste bearbeiten"}));
  EXPECT_EQ(Caption(*german, "TextCheckBox.Caption"), "Text ins Bild einkopieren");
  EXPECT_EQ(Caption(*german, "RadioGroup1.Caption"), "Größte Kantenlänge");
  EXPECT_EQ(Caption(*english, "ExifDateCheckBox.caption"), "Use the time taken from EXIF");
  EXPECT_EQ(Caption(*english, "RenameMessages.CheckBox"), "No more messages in this run");
  EXPECT_TRUE(Recorder.Messages.empty());
}

TEST_F(LanguageFiles, aMissingKeyEmptiesItsCaptionAndAWindows1252FileIsReadRight) {
  WriteTextFile(Dir / "LANGUAGE_Francais.ini",
                "[mainform]\r\npages[0].caption=Modifier la taille\r\n"
                "Label11.caption=Envoyez un message \xE0 nous\r\n");
  const auto captions = ApplyLanguage(Dir.Path(), "Francais");
  ASSERT_TRUE(captions);
  EXPECT_EQ(captions->size(), AppliedCaptionKeys.size());
  EXPECT_EQ(Caption(*captions, "Pages[0].Caption"), "Modifier la taille");
  EXPECT_EQ(Caption(*captions, "Label11.caption"), "Envoyez un message à nous");
  EXPECT_EQ(Caption(*captions, "Label12.caption"), "");
  // Captions younger than such files show their German text instead.
  EXPECT_EQ(Caption(*captions, "ExifDateCheckBox.caption"), "Aufnahmezeit aus EXIF verwenden");
  EXPECT_EQ(Caption(*captions, "RenameMessages.CheckBox"),
            "Keine weiteren Meldungen in diesem Lauf");
}

TEST_F(LanguageFiles, onlyAListedNameWithoutADelimiterIsAppliedAndAnUnreadableFileIsReported) {
  WriteDefaultLanguageFiles(Dir.Path());
  EXPECT_FALSE(ApplyLanguage(Dir.Path(), "Klingon"));
  EXPECT_TRUE(Recorder.Messages.empty()) << "a missing file is no error";

  fs::create_directory(Dir / "sub");
  EXPECT_FALSE(ApplyLanguage(Dir / "sub", "../LANGUAGE_German.ini/.."));
  EXPECT_FALSE(ApplyLanguage(Dir / "sub", "/../../German"));
  EXPECT_TRUE(Recorder.Messages.empty());

  const std::vector<std::string> list = FillLanguageList(Dir.Path());
  EXPECT_TRUE(IsSelectableLanguage("German", list));
  EXPECT_FALSE(IsSelectableLanguage("german", list));
  EXPECT_FALSE(IsSelectableLanguage("Klingon", list));
  EXPECT_FALSE(IsSelectableLanguage("../x", {"../x"}));
}

TEST_F(LanguageFiles, anExistingFileThatCannotBeReadIsReported) {
  fs::create_directory(Dir / "LANGUAGE_Broken.ini");
  EXPECT_FALSE(ApplyLanguage(Dir.Path(), "Broken"));
  EXPECT_EQ(Recorder.Messages,
            std::vector<std::string>{"Fatal error: could not load Language INI file(s)"});
}

TEST_F(LanguageFiles, applyingALanguageMakesItsTextsTheOnesInUseAndAMissingTextStaysGerman) {
  WriteDefaultLanguageFiles(Dir.Path());
  ASSERT_TRUE(ApplyLanguage(Dir.Path(), "English"));
  EXPECT_EQ(Text(TTextId::CancelledStatus), "Last action = process cancelled");
  EXPECT_EQ(Text(TTextId::AddPathCaption), "Add new Path");
  EXPECT_EQ(LanguageLocale(Dir.Path(), "English"), "en");
  ASSERT_TRUE(ApplyLanguage(Dir.Path(), "German"));
  EXPECT_EQ(Text(TTextId::CancelledStatus), "Letze Aktion = Prozess abgebrochen");
  EXPECT_EQ(LanguageLocale(Dir.Path(), "German"), "de");

  // A file made by hand before these texts existed: its captions apply, every
  // other text stays German, an empty value is taken as it stands.
  WriteTextFile(Dir / "LANGUAGE_Francais.ini",
                "[MainForm]\nPages[0].Caption=Taille\nCheckBoxTop.Caption=\n"
                "[Messages]\nCancelled=Interrompu\n");
  ASSERT_TRUE(ApplyLanguage(Dir.Path(), "English"));
  const auto captions = ApplyLanguage(Dir.Path(), "Francais");
  ASSERT_TRUE(captions);
  EXPECT_EQ(Caption(*captions, "Pages[0].Caption"), "Taille");
  EXPECT_EQ(Text(TTextId::CancelledStatus), "Interrompu");
  EXPECT_EQ(Text(TTextId::TextAtTop), "");
  EXPECT_EQ(Text(TTextId::PreviewCaption), "Vorschau anzeigen");
  EXPECT_EQ(Text(TTextId::AddPathCaption), "neues Verzeichnis hinzufügen");
  EXPECT_EQ(LanguageLocale(Dir.Path(), "Francais"), "de");

  // A language without a file changes no text.
  EXPECT_FALSE(ApplyLanguage(Dir.Path(), "Klingon"));
  EXPECT_EQ(Text(TTextId::CancelledStatus), "Interrompu");
}

// The English file is read by people who read no German: not one German word
// or letter in it, in the original captions or in the texts added since.
TEST(BuiltInLanguages, theEnglishColumnHoldsNoGermanAndTheGermanOneIsRecognised) {
  for (const TLanguageRow& row : LanguageTable)
    EXPECT_FALSE(test::LooksGerman(row.English)) << row.EnglishKey << ": " << row.English;
  for (const TTextRow& row : TextTable)
    EXPECT_FALSE(test::LooksGerman(row.English)) << row.Key << ": " << row.English;
  // The check itself finds German where there is some.
  int german = 0;
  for (const TTextRow& row : TextTable) german += test::LooksGerman(row.German) ? 1 : 0;
  EXPECT_GT(german, static_cast<int>(TextTable.size()) / 2);
}

}  // namespace
}  // namespace pictrim
