#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "settings/CreateLanguageINI.h"
#include "settings/Ini.h"
#include "settings/Localize.h"
#include "settings/SettingsFolder.h"
#include "tests/common/TempDir.h"
#include "tests/settings/SettingsTestSupport.h"

namespace fs = std::filesystem;

namespace pictrim {
namespace {

using test::TTempDir;
using test::WriteTextFile;

class SettingsFolderChoice : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directory(Bin); }
  TTempDir Dir;
  const std::string Bin = Dir / "bin/";
};

TEST_F(SettingsFolderChoice, anInstalledProgramUsesTheConfigurationFolderEvenWhenItsOwnIsWritable) {
  ASSERT_EQ(::access(Bin.c_str(), W_OK), 0);
  EXPECT_EQ(ChooseSettingsFolder(Bin, "/cfg", "/home/u"), "/cfg/pictrim/");
  EXPECT_EQ(ChooseSettingsFolder(Bin, "/cfg/", "/home/u"), "/cfg/pictrim/");
  EXPECT_EQ(ChooseSettingsFolder(Bin, "", "/home/u"), "/home/u/.config/pictrim/");
  EXPECT_EQ(ChooseSettingsFolder(Bin, "", "/home/u/"), "/home/u/.config/pictrim/");
  EXPECT_EQ(ChooseSettingsFolder(Bin, "relative", "/home/u"), "/home/u/.config/pictrim/")
      << "a relative configuration home is ignored";
  EXPECT_EQ(ChooseSettingsFolder(Bin, "", ""), Bin) << "nowhere else to go";

  // Language files alone do not make a portable copy.
  WriteLanguageFile(Bin, "German.ini", "Deutsch");
  EXPECT_EQ(ChooseSettingsFolder(Bin, "/cfg", "/home/u"), "/cfg/pictrim/");
}

TEST_F(SettingsFolderChoice, aSettingsFileBesideTheExecutableKeepsEverythingThere) {
  WriteTextFile(Bin + SettingsFileName, "");
  EXPECT_EQ(ChooseSettingsFolder(Bin, "/cfg", "/home/u"), Bin);
  EXPECT_EQ(ChooseSettingsFolder(Dir / "bin", "", "/home/u"), Bin) << "the delimiter is added";

  // Also when the copy stands on a medium it cannot write to: saving then says so.
  if (::geteuid() != 0) {  // root writes into read-only folders
    fs::permissions(Bin, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(ChooseSettingsFolder(Bin, "/cfg", "/home/u"), Bin);
    fs::permissions(Bin, fs::perms::owner_all);
  }
}

TEST_F(SettingsFolderChoice, aFolderNamedLikeTheSettingsFileIsNoPortableCopy) {
  fs::create_directory(Bin + SettingsFileName);
  EXPECT_EQ(ChooseSettingsFolder(Bin, "/cfg", "/home/u"), "/cfg/pictrim/");
}

TEST_F(SettingsFolderChoice, theConfigurationFolderIsCreatedWithItsParents) {
  const std::string home = Dir / "home";
  EXPECT_EQ(OpenSettingsFolder(Bin, "", home), home + "/.config/pictrim/");
  EXPECT_TRUE(fs::is_directory(home + "/.config/pictrim"));

  const std::string config = Dir / "xdg/deeper";
  EXPECT_EQ(OpenSettingsFolder(Bin, config, home), config + "/pictrim/");
  EXPECT_TRUE(fs::is_directory(config + "/pictrim"));
  EXPECT_TRUE(fs::is_empty(config + "/pictrim")) << "choosing a folder writes no file";
}

TEST_F(SettingsFolderChoice, aConfigurationFolderFromEarlierRunsKeepsItsSettingsAndLanguages) {
  const std::string home = Dir / "home";
  const std::string old = home + "/.config/pictrim/";
  TSettings earlier;
  earlier.SizeEdit1 = "1234";
  earlier.Paths = {Dir.Path()};
  fs::create_directories(old);
  ASSERT_TRUE(SaveSettings(old, earlier));
  WriteTextFile(old + "LANGUAGE_Francais.ini", "[MainForm]\nPages[0].Caption=Taille\n");

  const std::string folder = OpenSettingsFolder(Bin, "", home);
  ASSERT_EQ(folder, old);
  EXPECT_EQ(LoadSettings(folder), earlier);
  WriteDefaultLanguageFiles(folder);
  EXPECT_EQ(FillLanguageList(folder), (std::vector<std::string>{"English", "Francais", "German"}));
  EXPECT_FALSE(fs::exists(Bin + SettingsFileName)) << "nothing moves beside the executable";
}

TEST_F(SettingsFolderChoice, anUnwritableConfigurationFolderIsReportedWhenSaving) {
  // Nothing can be created below a file, also as root.
  const std::string blocked = Dir / "not-a-folder";
  WriteTextFile(blocked, "x");
  const std::string folder = OpenSettingsFolder(Bin, blocked, Dir / "home");
  EXPECT_EQ(folder, blocked + "/pictrim/");

  test::TMessageRecorder recorder;
  WriteDefaultLanguageFiles(folder);
  EXPECT_TRUE(FillLanguageList(folder).empty());
  EXPECT_FALSE(SaveSettings(folder, TSettings()));
  EXPECT_EQ(recorder.Messages,
            std::vector<std::string>{"Unable to write to " + folder + SettingsFileName});
  EXPECT_TRUE(fs::is_empty(Bin)) << "the executable's folder is no fallback";
}

TEST(SettingsFolder, aFolderSetByTheProgramIsKeptForTheRun) {
  TTempDir dir;
  SetSettingsFolder(dir / "chosen");
  EXPECT_EQ(SettingsFolder(), dir / "chosen/");
  EXPECT_EQ(SettingsFolder(), dir / "chosen/");
}

}  // namespace
}  // namespace pictrim
