#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileTimes.h"
#include "rename/FileRename.h"
#include "rename/RenamePlan.h"
#include "rename/TakenNames.h"
#include "tests/common/Languages.h"
#include "tests/common/TempDir.h"
#include "tests/metadata/MetadataBytes.h"
#include "util/MoreDialogs.h"

namespace fs = std::filesystem;

namespace pictrim {
namespace {

const std::string Result = "result:\tNewFileList =\t";

// A time stamp given in local time, so that the expected names hold in every
// time zone.
TFileTime LocalStamp(int Year, int Month, int Day, int Hour, int Minute, int Second) {
  std::tm t{};
  t.tm_year = Year - 1900;
  t.tm_mon = Month - 1;
  t.tm_mday = Day;
  t.tm_hour = Hour;
  t.tm_min = Minute;
  t.tm_sec = Second;
  t.tm_isdst = -1;
  return TFileTime{std::mktime(&t), 0};
}

std::tm LocalTm(int Year, int Month, int Day, int Hour, int Minute, int Second) {
  return LocalTimeOf(LocalStamp(Year, Month, Day, Hour, Minute, Second));
}

const TFileTime Feb3 = LocalStamp(2006, 2, 3, 4, 27, 22);

// A temporary tree with the chooser answering its folder and every message
// recorded; the handlers installed before are restored afterwards.
class CameraFileRenaming : public ::testing::Test {
 protected:
  void SetUp() override {
    oldMessage_ = SetMessageHandler([this](const std::string& Text) { Messages.push_back(Text); });
    oldFolder_ = SetFolderHandler([this](const std::string& Title, const std::string&) {
      ++Asked;
      AskedTitle = Title;
      return Answer;
    });
    Answer = Dir.Path();
  }
  void TearDown() override {
    SetMessageHandler(oldMessage_);
    SetFolderHandler(oldFolder_);
  }

  // Writes a file named after its own path, stamped Time.
  std::string Make(const std::string& Relative, const TFileTime& Time = Feb3) {
    const std::string path = Dir / Relative;
    test::WriteTextFile(path, "picture " + Relative);
    EXPECT_TRUE(SetFileModTime(path, Time));
    return path;
  }

  // The relative paths of all files of the tree, sorted.
  std::vector<std::string> Files() const { return test::FilesBelow(Dir.Path()); }

  static TRenameOptions Options(uint8_t Mode) {
    TRenameOptions options;
    options.Mode = Mode;
    return options;
  }

  test::TTempDir Dir;
  std::optional<std::string> Answer;
  std::vector<std::string> Messages;
  int Asked = 0;
  std::string AskedTitle;

 private:
  TMessageHandler oldMessage_;
  TFolderHandler oldFolder_;
};

TEST_F(CameraFileRenaming, anOlympusFileTakesMonthAndDayFromItsNameInAllThreeForms) {
  PICTRIM_REQUIRE_TESTDATA();
  const std::string picture = test::TestDataDir() + "Olympus_C8080WZ.jpg";
  const std::string bytes = test::ReadWholeFile(picture);
  ASSERT_FALSE(bytes.empty());
  const std::pair<uint8_t, std::string> cases[] = {
      {1, "2006-01-28 0001.JPG"},
      {2, "20060128042722.JPG"},
      {6, "20060128042722 P1280001.JPG"},
  };
  for (const auto& [mode, expected] : cases) {
    SCOPED_TRACE(expected);
    test::TTempDir dir;
    Answer = dir.Path();
    Messages.clear();
    fs::copy_file(picture, dir / "P1280001.JPG");
    ASSERT_TRUE(SetFileModTime(dir / "P1280001.JPG", Feb3));

    EXPECT_EQ(TreeRenameCameraFiles(nullptr, mode), 1);
    EXPECT_EQ(Messages, std::vector<std::string>{Result + dir / expected});
    EXPECT_FALSE(fs::exists(dir / "P1280001.JPG"));
    EXPECT_EQ(test::ReadWholeFile(dir / expected), bytes);
    EXPECT_EQ(GetFileModTime(dir / expected), Feb3);
  }
  EXPECT_EQ(AskedTitle, "Bitte wählen Sie einen Ordner aus:");
}

TEST_F(CameraFileRenaming, canonAndCasioNamesFollowTheirConventions) {
  Make("IMG_1234.jpg", LocalStamp(2006, 1, 28, 9, 0, 0));
  Make("IMG_12345.jpg", LocalStamp(2006, 1, 28, 9, 0, 0));
  Make("sub/01280007.jpg", LocalStamp(2007, 5, 6, 13, 14, 15));
  Answer = Dir.Path().substr(0, Dir.Path().size() - 1);  // the chooser adds the delimiter

  EXPECT_EQ(TreeRenameCameraFiles(nullptr, 1), 3);
  EXPECT_EQ(Files(), (std::vector<std::string>{"2006-01-28 12345.jpg", "2006-01-28 _1234.jpg",
                                               "sub/2007-01-28 0007.jpg"}));

  Messages.clear();
  Make("sub2/01280007.jpg", LocalStamp(2007, 5, 6, 13, 14, 15));
  EXPECT_EQ(TreeRenameCameraFiles(nullptr, 2), 1);
  EXPECT_TRUE(fs::exists(Dir / "sub2/20070128131415.jpg"));
  EXPECT_EQ(Messages.size(), 4u);  // the three renamed before are listed again, unchanged
}

TEST_F(CameraFileRenaming, namesOfNoConventionAreListedButKeptAsTheyAre) {
  for (const char* name :
       {"DSC01234.jpg", "PICA00001.jpg", "IMGA12345.jpg", "P128001.jpg", "p1280001.jpg",
        "x.jpg.bak", "P1280001.b.jpg", "x.jpeg", "01280007.png"}) {
    Make(name);
  }
  const std::string before = test::TreeSnapshot(Dir.Path());

  EXPECT_EQ(TreeRenameCameraFiles(nullptr, 2), 0);
  EXPECT_EQ(test::TreeSnapshot(Dir.Path()), before);
  // The png is not listed; every listed file shows its own path.
  EXPECT_EQ(Messages, (std::vector<std::string>{
                          Result + Dir / "DSC01234.jpg", Result + Dir / "IMGA12345.jpg",
                          Result + Dir / "P1280001.b.jpg", Result + Dir / "p1280001.jpg",
                          Result + Dir / "P128001.jpg", Result + Dir / "PICA00001.jpg",
                          Result + Dir / "x.jpeg", Result + Dir / "x.jpg.bak"}));
}

TEST_F(CameraFileRenaming, namesThatOnlyBeginLikeCameraNamesKeepThem) {
  // Olympus-like names whose month or day is none, Casio-like names likewise.
  for (const char* name :
       {"PICT0001.JPG", "P1000123.JPG", "100_0001.JPG", "P0280001.JPG", "PD280001.JPG",
        "P1320001.JPG", "P1a80001.JPG", "P1-10001.JPG", "13280001.JPG", "00280001.JPG",
        "01000001.JPG", "01320001.JPG", "0 280001.JPG", "1_2_0001.JPG"}) {
    Make(name);
  }
  const std::string before = test::TreeSnapshot(Dir.Path());
  TErrorLog log;
  const TRenameAccount account = RenameCameraFiles(Dir.Path(), Options(1), nullptr, log);
  EXPECT_EQ(account, (TRenameAccount{0, 14, 0}));
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(test::TreeSnapshot(Dir.Path()), before);
  EXPECT_TRUE(Messages.empty());
}

TEST_F(CameraFileRenaming, aCancelledChoiceListsAndShowsNothing) {
  Make("P1280001.JPG");
  const std::string before = test::TreeSnapshot(Dir.Path());
  Answer.reset();
  EXPECT_EQ(TreeRenameCameraFiles(nullptr, 1), 0);
  EXPECT_EQ(Asked, 1);
  EXPECT_TRUE(Messages.empty());
  EXPECT_EQ(test::TreeSnapshot(Dir.Path()), before);
}

TEST_F(CameraFileRenaming, aMixedFolderRenamesOneFileAndASecondRunNothing) {
  Make("P1280001.JPG");
  Make("DSC01234.jpg");
  const int count = TreeRenameCameraFiles(nullptr, 1);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(RenameStatusText(count), "Letzte Aktion =  Umbenennen von 1 Dateien");
  EXPECT_EQ(Messages, (std::vector<std::string>{Result + Dir / "DSC01234.jpg",
                                                Result + Dir / "2006-01-28 0001.JPG"}));

  const std::string after = test::TreeSnapshot(Dir.Path());
  EXPECT_EQ(TreeRenameCameraFiles(nullptr, 1), 0);
  EXPECT_EQ(test::TreeSnapshot(Dir.Path()), after);
}

TEST_F(CameraFileRenaming, theTimeIsTheLocalTimeToTheSecond) {
  Make("P1280001.JPG", LocalStamp(2006, 2, 3, 4, 27, 23));  // an odd second stays odd
  EXPECT_EQ(TreeRenameCameraFiles(nullptr, 2), 1);
  EXPECT_TRUE(fs::exists(Dir / "20060128042723.JPG"));

  // 2006-02-03 01:27:23 UTC is 04:27:23 three hours east of Greenwich.
  const char* oldTz = std::getenv("TZ");
  const std::string savedTz = oldTz ? oldTz : "";
  ::setenv("TZ", "EAST-3", 1);
  ::tzset();
  Make("P1290002.JPG", TFileTime{1138930043, 999999999});
  const int count = TreeRenameCameraFiles(nullptr, 2);
  if (oldTz) {
    ::setenv("TZ", savedTz.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
  EXPECT_EQ(count, 1);
  EXPECT_TRUE(fs::exists(Dir / "20060129042723.JPG"));
}

// Hours, minutes and seconds below ten keep their leading zero, and the file
// system gives the true second of the time stamp, odd or even.
TEST_F(CameraFileRenaming, timesBelowTenKeepTwoDigitsAndTheSecondsStayOdd) {
  Make("P1280001.JPG", LocalStamp(2006, 2, 3, 4, 27, 5));
  Make("sub/P1280002.JPG", LocalStamp(2006, 2, 3, 0, 7, 9));
  EXPECT_EQ(TreeRenameCameraFiles(nullptr, 6), 2);
  EXPECT_EQ(Files(), (std::vector<std::string>{"20060128042705 P1280001.JPG",
                                               "sub/20060128000709 P1280002.JPG"}));
}

// The extension from the first dot must be ".jpg" itself: an editor's
// backup or a longer extension that the listing takes in keeps its name.
TEST_F(CameraFileRenaming, aBackupOrALongerExtensionIsNotACandidate) {
  Make("IMG_1234.jpg~");
  Make("P128001.jpgx");
  const std::string before = test::TreeSnapshot(Dir.Path());
  EXPECT_EQ(TreeRenameCameraFiles(nullptr, 1), 0);
  EXPECT_EQ(test::TreeSnapshot(Dir.Path()), before);
  EXPECT_EQ(Messages.size(), 2u);
}

TEST_F(CameraFileRenaming, aNameThatIsTakenIsNeverReplacedButNumbered) {
  // Two pictures of the same second (mode 2), two equal counters of one day
  // (mode 1), and a file that already carries the new name.
  Make("same/P1280001.JPG");
  Make("same/P1280002.JPG");
  Make("day/01280001.JPG");
  Make("day/P1280001.JPG");
  Make("taken/2006-01-28 0007.jpg");
  Make("taken/01280007.jpg");

  Answer = Dir / "same/";
  EXPECT_EQ(TreeRenameCameraFiles(nullptr, 2), 2);
  EXPECT_EQ(Messages, (std::vector<std::string>{Result + Dir / "same/20060128042722.JPG",
                                                Result + Dir / "same/20060128042722-1.JPG"}));
  Answer = Dir / "day/";
  EXPECT_EQ(TreeRenameCameraFiles(nullptr, 1), 2);
  Answer = Dir / "taken/";
  EXPECT_EQ(TreeRenameCameraFiles(nullptr, 1), 1);
  // The renamed file's box, then that of the file whose name it would have had.
  EXPECT_EQ(Messages.end()[-2], Result + Dir / "taken/2006-01-28 0007-1.jpg");
  EXPECT_EQ(Messages.back(), Result + Dir / "taken/2006-01-28 0007.jpg");

  EXPECT_EQ(Files(),
            (std::vector<std::string>{"day/2006-01-28 0001-1.JPG", "day/2006-01-28 0001.JPG",
                                      "same/20060128042722-1.JPG", "same/20060128042722.JPG",
                                      "taken/2006-01-28 0007-1.jpg", "taken/2006-01-28 0007.jpg"}));
  EXPECT_EQ(test::ReadWholeFile(Dir / "same/20060128042722.JPG"), "picture same/P1280001.JPG");
  EXPECT_EQ(test::ReadWholeFile(Dir / "same/20060128042722-1.JPG"), "picture same/P1280002.JPG");
  EXPECT_EQ(test::ReadWholeFile(Dir / "day/2006-01-28 0001.JPG"), "picture day/01280001.JPG");
  EXPECT_EQ(test::ReadWholeFile(Dir / "taken/2006-01-28 0007.jpg"),
            "picture taken/2006-01-28 0007.jpg");
}

TEST_F(CameraFileRenaming, aNameTakenInAnotherLetterCaseIsTakenToo) {
  const test::TBuiltInTexts english(TLanguage::English);  // the lines as compared below
  // An earlier copy under the new name in lower case; two files of one run
  // whose new names differ in letter case only; a folder of the new name.
  Make("a/2006-01-28 0001.jpg");
  Make("a/P1280001.JPG");
  Make("b/P1280001.JPG");
  Make("b/P1280001.jpg");
  Make("c/2006-01-28 0003.JPG/inside.txt");
  Make("c/P1280003.JPG");
  Make("d/P1280004.JPG");  // a file of another folder is no obstacle
  Make("d/2006-01-28 0001.JPG");
  TErrorLog log;
  const TRenameAccount account = RenameCameraFiles(Dir.Path(), Options(1), nullptr, log);
  EXPECT_EQ(account, (TRenameAccount{5, 2, 0}));
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(Files(),
            (std::vector<std::string>{"a/2006-01-28 0001-1.JPG", "a/2006-01-28 0001.jpg",
                                      "b/2006-01-28 0001-1.jpg", "b/2006-01-28 0001.JPG",
                                      "c/2006-01-28 0003-1.JPG", "c/2006-01-28 0003.JPG/inside.txt",
                                      "d/2006-01-28 0001.JPG", "d/2006-01-28 0004.JPG"}));
  EXPECT_EQ(test::ReadWholeFile(Dir / "a/2006-01-28 0001.jpg"), "picture a/2006-01-28 0001.jpg");
  EXPECT_EQ(test::ReadWholeFile(Dir / "b/2006-01-28 0001.JPG"), "picture b/P1280001.JPG");
  EXPECT_EQ(test::ReadWholeFile(Dir / "b/2006-01-28 0001-1.jpg"), "picture b/P1280001.jpg");
}

TEST_F(CameraFileRenaming, aDryRunChangesNothingAndForeseesWhatTheRunDoes) {
  const test::TBuiltInTexts english(TLanguage::English);
  Make("P1280001.JPG");                                      // its new name exists: numbered
  Make("P1280002.JPG", LocalStamp(2006, 1, 28, 5, 0, 0));    // renamed
  Make("20060128042722.JPG");                                // no camera name
  Make("01280003.jpg", LocalStamp(2006, 1, 28, 4, 27, 30));  // renamed
  Make("01280004.jpg", LocalStamp(2006, 1, 28, 4, 27, 30));  // the same second as 0003
  const std::string before = test::TreeSnapshot(Dir.Path());
  const auto run = [this](bool DryRun) {
    TRenameOptions options = Options(2);
    options.DryRun = DryRun;
    std::vector<std::string> lines;
    TErrorLog log;
    const TRenameAccount account = RenameCameraFiles(
        Dir.Path(), options,
        [&](const TRenameResult& Result) {
          lines.push_back(Result.OldPath + " -> " + Result.NewPath + " " +
                          std::to_string(static_cast<int>(Result.Outcome)));
        },
        log);
    lines.push_back(RenameAccountText(account, DryRun));
    lines.insert(lines.end(), log.begin(), log.end());
    return lines;
  };
  const std::vector<std::string> foreseen = run(true);
  EXPECT_EQ(test::TreeSnapshot(Dir.Path()), before);
  EXPECT_EQ(foreseen.size(), 6u);
  EXPECT_EQ(foreseen[5], "4 would be renamed, 1 skipped, 0 would fail");

  std::vector<std::string> done = run(false);
  EXPECT_EQ(done[5], "4 renamed, 1 skipped, 0 failed");
  done[5] = foreseen[5];
  EXPECT_EQ(done, foreseen);

  // The account speaks the language in use, and so does the message per file.
  UseBuiltInTexts(TLanguage::German);
  EXPECT_EQ(RenameAccountText({2, 1, 2}, false), "2 umbenannt, 1 übersprungen, 2 fehlgeschlagen");
  EXPECT_EQ(RenameAccountText({2, 1, 2}, true),
            "Probelauf: 2 umzubenennen, 1 übersprungen, 2 nicht umzubenennen");
  EXPECT_EQ(RenameResultText({"/d/a.jpg", "/d/b.jpg"}), Result + "/d/b.jpg");
  UseBuiltInTexts(TLanguage::English);
  EXPECT_EQ(RenameResultText({"/d/a.jpg", "/d/b.jpg"}), "Result:\tnew file name =\t/d/b.jpg");
  EXPECT_EQ(Files(), (std::vector<std::string>{"20060128042722-1.JPG", "20060128042722.JPG",
                                               "20060128042730-1.jpg", "20060128042730.jpg",
                                               "20060128050000.JPG"}));
}

TEST_F(CameraFileRenaming, aPathLongerThan255CharactersIsRenamed) {
  const std::string deep = std::string(120, 'a') + "/" + std::string(120, 'b') + "/";
  Make(deep + "P1280001.JPG");
  ASSERT_GT((Dir / deep).size(), 255u);
  EXPECT_EQ(TreeRenameCameraFiles(nullptr, 1), 1);
  EXPECT_TRUE(fs::exists(Dir / (deep + "2006-01-28 0001.JPG")));
}

TEST_F(CameraFileRenaming, aFileThatVanishedIsReportedAndTheRunGoesOn) {
  Make("01280007.jpg");
  Make("P1280001.JPG");
  Make("P1280002.JPG");
  // While the first message is shown, another program removes the second file.
  SetMessageHandler([this](const std::string& Text) {
    if (Messages.empty()) fs::remove(Dir / "P1280001.JPG");
    Messages.push_back(Text);
  });
  EXPECT_EQ(TreeRenameCameraFiles(nullptr, 1), 2);
  EXPECT_EQ(Messages, (std::vector<std::string>{
                          Result + Dir / "2006-01-28 0007.jpg", Result + Dir / "P1280001.JPG",
                          Result + Dir / "2006-01-28 0002.JPG",
                          "Datei " + Dir / "P1280001.JPG" +
                              " wurde nicht umbenannt: " + std::strerror(ENOENT)}));
}

TEST_F(CameraFileRenaming, aListedFileThatIsGoneWhenItsTimeIsReadIsReportedAndTheRunGoesOn) {
  Make("P1280001.JPG");
  Make("P1280002.JPG");
  Make("P1280002.MOV");
  // Listed, then gone before the plan reads its time stamp.
  const TRenamePlan plan =
      PlanListedRenames(Dir.Path(),
                        {Dir / "P1280001.JPG", Dir / "P1280002.JPG", Dir / "P1280002.MOV",
                         Dir / "gone.jpg", Dir / "P1280003.JPG"},
                        Options(1));
  EXPECT_EQ(Messages, (std::vector<std::string>{"TreeRenameCameraFiles:  DEBUG\r\rException",
                                                "TreeRenameCameraFiles:  DEBUG\r\rException"}));
  EXPECT_EQ(plan.Account(), (TRenameAccount{3, 0, 2}));
  const std::string gone = std::string(" wurde nicht umbenannt: ") + std::strerror(ENOENT) + "\r\n";
  EXPECT_EQ(plan.Lines, (TErrorLog{"Datei " + Dir / "gone.jpg" + gone,
                                   "Datei " + Dir / "P1280003.JPG" + gone}));
  TErrorLog log;
  EXPECT_EQ(CarryOutRenames(plan, nullptr, log), (TRenameAccount{3, 0, 2}));
  EXPECT_EQ(log, plan.Lines);
  EXPECT_EQ(Files(), (std::vector<std::string>{"2006-01-28 0001.JPG", "2006-01-28 0002.JPG",
                                               "2006-01-28 0002.MOV"}));
}

// Other programs at work in the folder while the run goes on: a file that
// appears under the new name of a later file is left as it is, and that
// file keeps its name; a file removed before its turn is reported. Both
// count as failed.
TEST_F(CameraFileRenaming, namesThatAppearAndFilesThatVanishDuringTheRunCountAsFailed) {
  const test::TBuiltInTexts english(TLanguage::English);  // the lines as compared below
  Make("P1280001.JPG");
  Make("P1280002.JPG");
  Make("P1280003.JPG");
  TErrorLog log;
  bool first = true;
  const TRenameAccount account = RenameCameraFiles(
      Dir.Path(), Options(1),
      [&](const TRenameResult&) {
        if (!first) return;
        first = false;
        test::WriteTextFile(Dir / "2006-01-28 0002.JPG", "another program's");
        fs::remove(Dir / "P1280003.JPG");
      },
      log);
  EXPECT_EQ(account, (TRenameAccount{.Renamed = 1, .Failed = 2}));
  EXPECT_EQ(std::vector<std::string>(log.begin(), log.end()),
            (std::vector<std::string>{"File " + Dir / "P1280002.JPG" + " was not renamed: " +
                                          Dir / "2006-01-28 0002.JPG" + " exists\r\n",
                                      "File " + Dir / "P1280003.JPG" +
                                          " was not renamed: " + std::strerror(ENOENT) + "\r\n"}));
  EXPECT_EQ(test::ReadWholeFile(Dir / "2006-01-28 0002.JPG"), "another program's");
  EXPECT_EQ(Files(), (std::vector<std::string>{"2006-01-28 0001.JPG", "2006-01-28 0002.JPG",
                                               "P1280002.JPG"}));
}

TEST_F(CameraFileRenaming, aRenameTheFolderRefusesLeavesTheFileUncounted) {
  if (::geteuid() == 0) GTEST_SKIP() << "write protection does not hold for root";
  Make("ro/P1280001.JPG");
  fs::permissions(Dir / "ro", fs::perms::owner_write, fs::perm_options::remove);
  Answer = Dir / "ro/";
  EXPECT_EQ(TreeRenameCameraFiles(nullptr, 1), 0);
  EXPECT_EQ(Messages,
            (std::vector<std::string>{Result + Dir / "ro/P1280001.JPG",
                                      "Datei " + Dir / "ro/P1280001.JPG" +
                                          " wurde nicht umbenannt: " + std::strerror(EACCES)}));
  EXPECT_EQ(Files(), std::vector<std::string>{"ro/P1280001.JPG"});
}

TEST(CameraFileNames, modeFlagsAndHexadecimalMonths) {
  const std::tm stamp = LocalTm(2006, 2, 3, 4, 27, 22);
  EXPECT_EQ(NewCameraFileName("PC010001.jpg", stamp, 1), "2006-12-01 0001.jpg");
  EXPECT_EQ(NewCameraFileName("Pa010001.jpg", stamp, 1), "2006-10-01 0001.jpg");
  EXPECT_EQ(NewCameraFileName("P1280001.jpg", stamp, 3), "2006-01-28 0001.jpg");  // flag 1 wins
  EXPECT_EQ(NewCameraFileName("P1280001.jpg", stamp, 7), "2006-01-28 0001.jpg");
  EXPECT_EQ(NewCameraFileName("P1280001.jpg", stamp, 4), "");  // flag 4 alone is no form
  EXPECT_EQ(NewCameraFileName("P1280001.jpg", stamp, 0), "");
  EXPECT_EQ(NewCameraFileName("IMG_1234.Jpg", stamp, 6), "20060203042722 IMG_1234.Jpg");

  std::string stem, extension;
  EXPECT_TRUE(SplitCameraFileName("IMG_0001.JPG", stem, extension));
  EXPECT_EQ(stem, "IMG_0001");
  EXPECT_EQ(extension, ".JPG");
  EXPECT_FALSE(SplitCameraFileName("P1280001", stem, extension));
  EXPECT_FALSE(SplitCameraFileName("P1280001.txt", stem, extension));  // no photo
  EXPECT_FALSE(SplitCameraFileName("DSC_00001.JPG", stem, extension));  // no camera's stem
  EXPECT_EQ(stem + extension, "IMG_0001.JPG");
  EXPECT_EQ(RecogniseCameraName("DSC01234", stamp).Convention, TCameraConvention::None);
}

TEST(CameraFileNames, monthAndDayMustBeARealMonthAndDayAtBothEnds) {
  const std::tm stamp = LocalTm(2006, 2, 3, 4, 27, 22);
  const std::pair<const char*, const char*> cases[] = {
      {"P1010001.jpg", "2006-01-01 0001.jpg"},
      {"PC310001.jpg", "2006-12-31 0001.jpg"},
      {"Pc310001.jpg", "2006-12-31 0001.jpg"},
      {"P9300001.jpg", "2006-09-30 0001.jpg"},
      {"01010001.jpg", "2006-01-01 0001.jpg"},
      {"12310001.jpg", "2006-12-31 0001.jpg"},
      {"P0010001.jpg", ""},  // month 0
      {"PD010001.jpg", ""},  // month 13
      {"PG010001.jpg", ""},  // no hexadecimal digit
      {"P1000001.jpg", ""},  // day 0
      {"P1320001.jpg", ""},  // day 32
      {"P1 10001.jpg", ""},
      {"P11 0001.jpg", ""},
      {"P1+10001.jpg", ""},
      {"00010001.jpg", ""},
      {"13010001.jpg", ""},
      {"01000001.jpg", ""},
      {"01320001.jpg", ""},
      {"0A010001.jpg", ""},
      {"9_010001.jpg", ""}};
  for (const auto& [name, expected] : cases) {
    EXPECT_EQ(NewCameraFileName(name, stamp, 1), expected) << name;
  }
  EXPECT_TRUE(IsMonthAndDay("12", "31"));
  EXPECT_FALSE(IsMonthAndDay("1", "31"));
  EXPECT_FALSE(IsMonthAndDay("12", "311"));
  EXPECT_FALSE(IsMonthAndDay("-1", "CT"));
}

TEST(CameraFileNames, theTimeTakenNamesEveryCandidateWhateverItsConvention) {
  const std::tm stamp = LocalTm(2006, 2, 3, 4, 27, 22);
  const std::tm taken = LocalTm(2019, 6, 15, 10, 20, 30);
  EXPECT_EQ(NewCameraFileName("DSC_0001.JPG", stamp, 2, taken), "20190615102030.JPG");
  EXPECT_EQ(NewCameraFileName("DSC_0001.JPG", stamp, 1, taken), "2019-06-15 0001.JPG");
  EXPECT_EQ(NewCameraFileName("DSC_0001.JPG", stamp, 6, taken), "20190615102030 DSC_0001.JPG");
  EXPECT_EQ(NewCameraFileName("IMG_1234.jpg", stamp, 1, taken), "2019-06-15 _1234.jpg");
  EXPECT_EQ(NewCameraFileName("IMG_12345.jpg", stamp, 1, taken), "2019-06-15 12345.jpg");
  EXPECT_EQ(NewCameraFileName("IMGA12345.jpg", stamp, 1, taken), "2019-06-15 2345.jpg");
  EXPECT_EQ(NewCameraFileName("P1280001.jpg", stamp, 1, taken), "2019-06-15 0001.jpg");
  EXPECT_EQ(NewCameraFileName("PICT0001.jpg", stamp, 1, taken), "2019-06-15 0001.jpg");
  EXPECT_EQ(NewCameraFileName("01280007.jpg", stamp, 2, taken), "20190615102030.jpg");
  // Only candidates: the stem's length and the extension still decide.
  EXPECT_EQ(NewCameraFileName("DSC_00001.JPG", stamp, 2, taken), "");
  EXPECT_EQ(NewCameraFileName("DSC0001.JPG", stamp, 2, taken), "");
  EXPECT_EQ(NewCameraFileName("DSC_0001.JPEG", stamp, 2, taken), "20190615102030.JPEG");
  EXPECT_EQ(NewCameraFileName("DSC_0001.nef", stamp, 2, taken), "20190615102030.nef");
  EXPECT_EQ(NewCameraFileName("DSC_0001.MOV", stamp, 2, taken), "");
  EXPECT_EQ(NewCameraFileName("DSC_0001.JPG", stamp, 4, taken), "");
  // Without it nothing changes.
  EXPECT_EQ(NewCameraFileName("P1280001.jpg", stamp, 2, std::nullopt), "20060128042722.jpg");
}

// Camera files with EXIF blocks: the job reads the time taken from them when
// asked to, and falls back to the name and the file's time otherwise.
class RenamingByTimeTaken : public CameraFileRenaming {
 protected:
  // A JPEG head whose EXIF block holds the given dates (empty: left out).
  std::string MakeTaken(const std::string& Relative, const std::string& Original,
                        const std::string& DateTime = "", const std::string& Digitized = "") {
    test::TExifBlock block(true);
    if (!DateTime.empty()) block.AddAscii(0, 306, DateTime + '\0');
    const int exif = block.AddDirectory();
    block.AddPointer(0, 34665, exif);
    if (!Original.empty()) block.AddAscii(exif, 36867, Original + '\0');
    if (!Digitized.empty()) block.AddAscii(exif, 36868, Digitized + '\0');
    const std::string path = Dir / Relative;
    fs::create_directories(fs::path(path).parent_path());
    test::WriteBytes(path, test::JpegFile({block.App1()}));
    EXPECT_TRUE(SetFileModTime(path, Feb3));
    return path;
  }
  TRenameAccount Rename(uint8_t Mode, bool ExifDate = true) {
    TRenameOptions options = Options(Mode);
    options.ExifDate = ExifDate;
    Log.clear();
    return RenameCameraFiles(Dir.Path(), options, nullptr, Log);
  }
  TErrorLog Log;
};

TEST_F(RenamingByTimeTaken, everyCandidateTakesTheDateAndTimeOfTheFirstUsableTag) {
  MakeTaken("a/DSC_0001.JPG", "2019:06:15 10:20:30");
  MakeTaken("a/P1280002.JPG", "", "2018:01:02 03:04:05", "2017:01:02 03:04:05");
  MakeTaken("a/PICT0003.JPG", "", "2016:01:02 03:04:05");
  MakeTaken("a/IMG_0004.jpg", "2019:06:15 10:20:31");
  MakeTaken("b/DSC_0001.JPG", "2019:06:15 10:20:30");
  EXPECT_EQ(Rename(2), (TRenameAccount{5, 0, 0}));
  EXPECT_EQ(Rename(1), (TRenameAccount{0, 5, 0}));  // the new names are no candidates
  EXPECT_TRUE(Log.empty());
  EXPECT_EQ(Files(), (std::vector<std::string>{"a/20160102030405.JPG", "a/20170102030405.JPG",
                                               "a/20190615102030.JPG", "a/20190615102031.jpg",
                                               "b/20190615102030.JPG"}));
}

TEST_F(RenamingByTimeTaken, theFirstFormTakesTheCounterFromTheName) {
  const test::TBuiltInTexts english(TLanguage::English);  // the lines as compared below
  MakeTaken("DSC_0001.JPG", "2019:06:15 10:20:30");
  MakeTaken("IMG_1234.JPG", "2019:06:15 10:20:30");
  MakeTaken("sub/DSC_0001.JPG", "2019:06:15 10:20:30");
  MakeTaken("sub/XYZ_0001.JPG", "2019:06:15 11:00:00");  // another camera, the same counter
  EXPECT_EQ(Rename(1), (TRenameAccount{4, 0, 0}));
  EXPECT_TRUE(Log.empty());
  EXPECT_EQ(Files(),
            (std::vector<std::string>{"2019-06-15 0001.JPG", "2019-06-15 _1234.JPG",
                                      "sub/2019-06-15 0001-1.JPG", "sub/2019-06-15 0001.JPG"}));
}

TEST_F(RenamingByTimeTaken, aFileWithoutAUsableDateFallsBackToItsNameAndItsTime) {
  Make("P1280001.JPG", LocalStamp(2006, 2, 3, 1, 0, 0));  // no EXIF block at all
  for (const auto& [name, date] :
       std::vector<std::pair<std::string, std::string>>{{"P1280002.JPG", "2019:06:15 10:20"},
                                                        {"P1280003.JPG", "2019:06:15 1O:20:30"},
                                                        {"P1280004.JPG", "2019:13:15 10:20:30"},
                                                        {"P1280005.JPG", "2019:06:00 10:20:30"},
                                                        {"DSC_0006.JPG", "2019:02:30 10:20:30"}}) {
    MakeTaken(name, date, date, date);
  }
  // A block whose directory claims more entries than it holds.
  test::WriteBytes(Dir / "P1280007.JPG",
                   test::JpegFile({test::Segment(
                       0xE1, test::Bytes(std::string("Exif\0\0MM\0*\0\0\0\x08\xff\xff", 16)))}));
  int hour = 2;
  for (const char* name : {"P1280002.JPG", "P1280003.JPG", "P1280004.JPG", "P1280005.JPG",
                           "DSC_0006.JPG", "P1280007.JPG"}) {
    ASSERT_TRUE(SetFileModTime(Dir / name, LocalStamp(2006, 2, 3, hour++, 0, 0)));
  }
  EXPECT_EQ(Rename(2), (TRenameAccount{6, 1, 0}));
  EXPECT_EQ(Files(),
            (std::vector<std::string>{"20060128010000.JPG", "20060128020000.JPG",
                                      "20060128030000.JPG", "20060128040000.JPG",
                                      "20060128050000.JPG", "20060128070000.JPG", "DSC_0006.JPG"}));
}

TEST_F(RenamingByTimeTaken, withTheChoiceOffTheTimeTakenIsNotUsed) {
  MakeTaken("P1280001.JPG", "2019:06:15 10:20:30");
  MakeTaken("DSC_0001.JPG", "2019:06:15 10:20:30");
  EXPECT_EQ(Rename(2, false), (TRenameAccount{1, 1, 0}));
  EXPECT_EQ(Files(), (std::vector<std::string>{"20060128042722.JPG", "DSC_0001.JPG"}));
}

TEST_F(RenamingByTimeTaken, realCameraFilesAreNamedByTheirDateTimeOriginal) {
  PICTRIM_REQUIRE_TESTDATA();
  fs::copy_file(test::TestDataDir() + "Canon_40D.jpg", Dir / "DSC_0040.JPG");
  fs::copy_file(test::TestDataDir() + "Olympus_C8080WZ.jpg", Dir / "P1280001.JPG");
  fs::copy_file(test::TestDataDir() + "image01137.jpg", Dir / "P1280002.JPG");  // no EXIF block
  ASSERT_TRUE(SetFileModTime(Dir / "P1280002.JPG", Feb3));
  const std::string canon = test::ReadWholeFile(Dir / "DSC_0040.JPG");
  EXPECT_EQ(Rename(6), (TRenameAccount{3, 0, 0}));
  EXPECT_EQ(Files(),
            (std::vector<std::string>{"20060128042722 P1280002.JPG", "20061022154429 P1280001.JPG",
                                      "20080530155601 DSC_0040.JPG"}));
  EXPECT_EQ(test::ReadWholeFile(Dir / "20080530155601 DSC_0040.JPG"), canon);
}

TEST(TakenNames, holdEveryEntryOfAFolderInAnyLetterCaseAndFollowTheRenames) {
  test::TTempDir dir;
  test::WriteTextFile(dir / "a.JPG", "");
  test::WriteTextFile(dir / "A.jpg", "");
  test::WriteTextFile(dir / "Sub/inner.jpg", "");
  TTakenNames taken;
  EXPECT_EQ(taken.Holder(dir.Path(), "sub"), dir / "Sub");
  EXPECT_EQ(taken.Holder(dir.Path(), "inner.jpg"), "");  // only the folder's own entries
  EXPECT_FALSE(taken.Holder(dir.Path(), "a.jpg").empty());

  taken.Rename(dir.Path(), "a.JPG", "b.JPG");
  EXPECT_EQ(taken.Holder(dir.Path(), "B.jpg"), dir / "b.JPG");
  EXPECT_EQ(taken.Holder(dir.Path(), "a.jpg"), dir / "A.jpg");  // its twin still holds it
  taken.Rename(dir.Path(), "A.jpg", "c.jpg");
  EXPECT_EQ(taken.Holder(dir.Path(), "a.jpg"), "");
  TTakenNames other;  // the twins the other way round
  other.Rename(dir.Path(), "A.jpg", "c.jpg");
  EXPECT_EQ(other.Holder(dir.Path(), "a.jpg"), dir / "a.JPG");
  EXPECT_EQ(taken.Holder(dir / "missing/", "x.jpg"), "");
}

TEST(CameraFileNames, everyNumberOfTheNameHasItsFullWidth) {
  EXPECT_EQ(NewCameraFileName("P1280001.jpg", LocalTm(2006, 2, 3, 4, 27, 5), 2),
            "20060128042705.jpg");
  EXPECT_EQ(NewCameraFileName("IMG_0001.jpg", LocalTm(2006, 1, 2, 3, 4, 5), 2),
            "20060102030405.jpg");
  EXPECT_EQ(NewCameraFileName("IMG_0001.jpg", LocalTm(2006, 11, 12, 13, 14, 15), 2),
            "20061112131415.jpg");
  EXPECT_EQ(NewCameraFileName("IMG_0001.jpg", LocalTm(2006, 1, 2, 0, 0, 0), 1),
            "2006-01-02 _0001.jpg");
  EXPECT_EQ(NewCameraFileName("P9010001.jpg", LocalTm(2006, 1, 2, 0, 0, 0), 1),
            "2006-09-01 0001.jpg");
}

TEST(RenamingWithoutReplacing, bothWaysRefuseAnExistingTargetAndMoveOtherwise) {
  test::TTempDir dir;
  for (auto rename : {&RenameFileNoReplace, &RenameFileByLink}) {
    test::WriteTextFile(dir / "old", "old");
    test::WriteTextFile(dir / "taken", "taken");
    EXPECT_FALSE(rename(dir / "old", dir / "taken"));
    EXPECT_EQ(test::ReadWholeFile(dir / "old"), "old");
    EXPECT_EQ(test::ReadWholeFile(dir / "taken"), "taken");

    EXPECT_TRUE(rename(dir / "old", dir / "new"));
    EXPECT_FALSE(fs::exists(dir / "old"));
    EXPECT_EQ(test::ReadWholeFile(dir / "new"), "old");
    EXPECT_FALSE(rename(dir / "missing", dir / "other"));
    fs::remove(dir / "new");
  }
}

}  // namespace
}  // namespace pictrim
