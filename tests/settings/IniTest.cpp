#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "settings/Ini.h"
#include "settings/IniFile.h"
#include "settings/Localize.h"
#include "tests/common/TempDir.h"
#include "tests/settings/SettingsTestSupport.h"
#include "util/TextTable.h"

namespace fs = std::filesystem;

namespace pictrim {
namespace {

using test::ReadWholeFile;
using test::TTempDir;
using test::WriteTextFile;

class SettingsFile : public ::testing::Test {
 protected:
  TSettings LoadFrom(const std::string& Text) {
    WriteTextFile(Dir / SettingsFileName, Text);
    return LoadSettings(Dir.Path());
  }
  TTempDir Dir;
};

TEST_F(SettingsFile, firstStartWithoutAFileGivesEveryDefault) {
  EXPECT_EQ(LoadSettings(Dir.Path()), TSettings());
  EXPECT_FALSE(fs::exists(Dir / SettingsFileName));  // loading writes nothing
  // The first stamp text is the German example, which the window swaps for
  // the example of the language in use.
  EXPECT_EQ(TSettings().CopyrightText,
            TextTable[static_cast<size_t>(TTextId::StampTextExample)].German);
}

TEST_F(SettingsFile, storedValuesOutsideTheirRangesSelectSomethingSensible) {
  struct TCase {
    const char* Line;
    std::function<int(const TSettings&)> Field;
    int Expected;
  };
  const TCase cases[] = {
      {"SizeSelected1=-1", &TSettings::SizeSelected1, 4},
      {"SizeSelected1=99", &TSettings::SizeSelected1, 7},
      {"SizeSelected1=3", &TSettings::SizeSelected1, 3},
      {"SizeSelected2=-5", &TSettings::SizeSelected2, -1},
      {"SizeSelected2=8", &TSettings::SizeSelected2, 7},
      {"SizeSelected3=5", &TSettings::SizeSelected3, 2},
      {"SizeSelected3=-1", &TSettings::SizeSelected3, -1},
      {"Path=0", &TSettings::PathMode, 1},
      {"Path=2", &TSettings::PathMode, 2},
      {"Path=3", &TSettings::PathMode, 1},
      {"Path=-1", &TSettings::PathMode, 1},
      {"ActivePageIndex=2", &TSettings::ActivePageIndex, 2},
      {"ActivePageIndex=3", &TSettings::ActivePageIndex, 0},
      {"ActivePageIndex=-1", &TSettings::ActivePageIndex, 0},
      {"Overwrite=true", &TSettings::Overwrite, 0},
      {"Overwrite=7", &TSettings::Overwrite, 1},
      {"CopyrigthTextCheckbox=1", &TSettings::TextCheckBox, 1},
      {"CopyrightTextCheckbox=1", &TSettings::TextCheckBox, 0},  // only the misspelt key counts
      {"PreView=-2", &TSettings::PreView, 1},
      {"Quality=1", &TSettings::Quality, 1},
      {"Quality=100", &TSettings::Quality, 100},
      {"Quality=101", &TSettings::Quality, 0},
      {"Quality=-5", &TSettings::Quality, 0},
      {"Quality=high", &TSettings::Quality, 0},
      {"NoEnlarge=1", &TSettings::NoEnlarge, 1},
      {"StrictSize=yes", &TSettings::StrictSize, 0},
      {"ExifDateCheckBox=1", &TSettings::ExifDateCheckBox, 1},
      {"ExifDateCheckBox=yes", &TSettings::ExifDateCheckBox, 0},
      {"SharpDownsizing=1", &TSettings::Sharp, 1},
      {"SharpDownsizing=on", &TSettings::Sharp, 0},
      {"Sharp=1", &TSettings::Sharp, 0},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(c.Field(LoadFrom(std::string("[Settings]\n") + c.Line + "\n")), c.Expected) << c.Line;
  }
  // A language position beyond the list is kept as stored; the list decides.
  EXPECT_EQ(LoadFrom("[Settings]\nLanguageCode=9\n").LanguageCode, 9);
  EXPECT_EQ(LanguageIndexOrDefault(9, 2), 0);
  EXPECT_EQ(LanguageIndexOrDefault(-1, 2), 0);
  EXPECT_EQ(LanguageIndexOrDefault(1, 2), 1);
}

TEST_F(SettingsFile, savingWritesEveryKeyInOrderAndNeverReopensTheRenamingTab) {
  TSettings s;
  s.CopyrightText = "© Anna";
  s.SizeEdit1 = "abc";  // stored as typed
  s.SizeSelected2 = -1;
  s.PathMode = 2;
  s.LanguageCode = 1;
  s.ActivePageIndex = 2;
  s.TextCheckBox = true;
  s.PreView = true;
  s.Quality = 85;
  s.StrictSize = true;
  s.LastFolder = "/photos/2024/";
  s.ExifDateCheckBox = true;
  s.OutputFolder = "/web/copies/";
  s.Sharp = true;
  s.Paths = {"/a/", "/b/", "/c/", "/d/"};
  ASSERT_TRUE(SaveSettings(Dir.Path(), s));
  // The keys added later stand after those of the original list.
  EXPECT_EQ(ReadWholeFile(Dir / SettingsFileName),
            "[Settings]\nExtensions=\nCopyrightText=© Anna\nSizeEdit1=abc\nSizeEdit2=30\n"
            "SizeSelected1=4\nSizeSelected2=-1\nSizeSelected3=0\nPath=2\nLanguageCode=1\n"
            "ActivePageIndex=1\nOverwrite=0\nCopyrigthTextCheckbox=1\nPreViewCheckBox=0\n"
            "PreView=1\nQuality=85\nNoEnlarge=0\nStrictSize=1\nLastFolder=/photos/2024/\n"
            "ExifDateCheckBox=1\nOutputFolder=/web/copies/\nSharpDownsizing=1\n\n\n[Path]\n"
            "Path1=/a/\nPath2=/b/\nPath3=/c/\n");
  const TSettings loaded = LoadSettings(Dir.Path());
  EXPECT_EQ(loaded.OutputFolder, "/web/copies/");
  EXPECT_TRUE(loaded.Sharp);
  EXPECT_EQ(loaded.ActivePageIndex, 1);  // opens on the file-size tab
  EXPECT_EQ(loaded.Quality, 85);
  EXPECT_FALSE(loaded.NoEnlarge);
  EXPECT_TRUE(loaded.StrictSize);
  EXPECT_EQ(loaded.LastFolder, "/photos/2024/");
  EXPECT_TRUE(loaded.ExifDateCheckBox);
}

TEST_F(SettingsFile, aFileWrittenBeforeTheJpegChoicesKeepsTheEarlierBehaviour) {
  const TSettings s = LoadFrom(
      "[Settings]\nExtensions=\nCopyrightText=x\nSizeEdit1=720\nSizeEdit2=30\n"
      "SizeSelected1=4\nSizeSelected2=1\nSizeSelected3=0\nPath=1\nLanguageCode=0\n"
      "ActivePageIndex=0\nOverwrite=1\nCopyrigthTextCheckbox=0\nPreViewCheckBox=0\nPreView=0\n");
  EXPECT_TRUE(s.Overwrite);
  EXPECT_EQ(s.Quality, 0);
  EXPECT_FALSE(s.NoEnlarge);
  EXPECT_FALSE(s.StrictSize);
  EXPECT_EQ(s.LastFolder, "");
  EXPECT_FALSE(s.ExifDateCheckBox);
  EXPECT_FALSE(s.Sharp);
}

TEST_F(SettingsFile, aDeletedFavouriteIsDroppedAndTheRestRenumberedOnSaving) {
  fs::create_directory(Dir / "one");
  fs::create_directory(Dir / "three");
  TSettings s = LoadFrom("[Path]\nPath1=" + Dir / "one/" + "\nPath2=" + Dir / "gone/" +
                         "\nPath3=" + Dir / "three/" + "\n");
  EXPECT_EQ(s.Paths, (std::vector<std::string>{Dir / "one/", Dir / "three/"}));
  ASSERT_TRUE(SaveSettings(Dir.Path(), s));
  const TIniFile ini(Dir / SettingsFileName);
  EXPECT_EQ(ini.ReadString("Path", "Path1", ""), Dir / "one/");
  EXPECT_EQ(ini.ReadString("Path", "Path2", ""), Dir / "three/");
  EXPECT_FALSE(ini.KeyExists("Path", "Path3"));

  s.Paths = {"", Dir / "one/"};  // an empty entry leaves a gap
  ASSERT_TRUE(SaveSettings(Dir.Path(), s));
  const TIniFile gap(Dir / SettingsFileName);
  EXPECT_FALSE(gap.KeyExists("Path", "Path1"));
  EXPECT_EQ(gap.ReadString("Path", "Path2", ""), Dir / "one/");
}

TEST_F(SettingsFile, aUserKeyInTheSettingsIsLostAndAUserSectionKept) {
  WriteTextFile(Dir / SettingsFileName,
                "[Mine]\nkeep=yes\n[Settings]\nMyOwnKey=1\nSizeEdit1=99\n[Path]\nPath7=/x/\n");
  TSettings s = LoadSettings(Dir.Path());
  EXPECT_EQ(s.SizeEdit1, "99");
  ASSERT_TRUE(SaveSettings(Dir.Path(), s));
  const TIniFile ini(Dir / SettingsFileName);
  EXPECT_EQ(ini.ReadString("Mine", "keep", ""), "yes");
  EXPECT_FALSE(ini.KeyExists("Settings", "MyOwnKey"));
  EXPECT_FALSE(ini.KeyExists("Path", "Path7"));
  EXPECT_EQ(ini.ReadString("Settings", "SizeEdit1", ""), "99");
}

TEST_F(SettingsFile, aFailedSaveKeepsTheOldFileAndTellsTheUser) {
  const std::string old = "[Mine]\nkeep=yes\n[Settings]\nSizeEdit1=99\n";
  WriteTextFile(Dir / SettingsFileName, old);
  test::TMessageRecorder recorder;
  {
    test::TDiskFullAbove full(16);  // the new file is far larger
    EXPECT_FALSE(SaveSettings(Dir.Path(), TSettings()));
  }
  EXPECT_EQ(ReadWholeFile(Dir / SettingsFileName), old);
  EXPECT_EQ(recorder.Messages,
            std::vector<std::string>{"Unable to write to " + Dir / SettingsFileName});
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir.Path()), fs::directory_iterator()), 1)
      << "no partial file is left beside it";

  // A file that exists but cannot be read is not replaced by one without its sections.
  const std::string blocked = Dir / "folder/" + SettingsFileName;
  fs::create_directories(blocked);
  EXPECT_FALSE(SaveSettings(Dir / "folder", TSettings()));
  EXPECT_TRUE(fs::is_directory(blocked));
  EXPECT_EQ(recorder.Messages.size(), 2u);
}

}  // namespace
}  // namespace pictrim
