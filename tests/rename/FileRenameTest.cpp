#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileTimes.h"
#include "rename/FileRename.h"
#include "tests/common/TempDir.h"
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
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(Dir.Path())) {
      if (e.is_regular_file()) names.push_back(e.path().string().substr(Dir.Path().size()));
    }
    std::sort(names.begin(), names.end());
    return names;
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
  // x.jpeg and the png are not listed; every listed file shows its own path.
  EXPECT_EQ(Messages,
            (std::vector<std::string>{Result + Dir / "DSC01234.jpg", Result + Dir / "IMGA12345.jpg",
                                      Result + Dir / "P1280001.b.jpg",
                                      Result + Dir / "p1280001.jpg", Result + Dir / "P128001.jpg",
                                      Result + Dir / "PICA00001.jpg", Result + Dir / "x.jpg.bak"}));
}

TEST_F(CameraFileRenaming, pictIsTakenForOlympusWithAMonthOfMinusOne) {
  Make("a/PICT0001.jpg");
  Make("b/PICT0001.jpg");
  Answer = Dir / "a/";
  EXPECT_EQ(TreeRenameCameraFiles(nullptr, 1), 1);
  Answer = Dir / "b/";
  EXPECT_EQ(TreeRenameCameraFiles(nullptr, 2), 1);
  EXPECT_EQ(Files(), (std::vector<std::string>{"a/2006--1-CT 0001.jpg", "b/2006-1CT042722.jpg"}));
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

TEST_F(CameraFileRenaming, aNameThatIsTakenIsNeverReplaced) {
  // Two pictures of the same second (mode 2), two equal counters of one day
  // (mode 1), and a file that already carries the new name.
  Make("same/P1280001.JPG");
  Make("same/P1280002.JPG");
  Make("day/01280001.JPG");
  Make("day/P1280001.JPG");
  Make("taken/2006-01-28 0007.jpg");
  Make("taken/01280007.jpg");

  Answer = Dir / "same/";
  EXPECT_EQ(TreeRenameCameraFiles(nullptr, 2), 1);
  EXPECT_EQ(Messages, (std::vector<std::string>{Result + Dir / "same/20060128042722.JPG",
                                                Result + Dir / "same/P1280002.JPG"}));
  Answer = Dir / "day/";
  EXPECT_EQ(TreeRenameCameraFiles(nullptr, 1), 1);
  Answer = Dir / "taken/";
  EXPECT_EQ(TreeRenameCameraFiles(nullptr, 1), 0);

  EXPECT_EQ(Files(), (std::vector<std::string>{"day/2006-01-28 0001.JPG", "day/P1280001.JPG",
                                               "same/20060128042722.JPG", "same/P1280002.JPG",
                                               "taken/01280007.jpg", "taken/2006-01-28 0007.jpg"}));
  EXPECT_EQ(test::ReadWholeFile(Dir / "same/20060128042722.JPG"), "picture same/P1280001.JPG");
  EXPECT_EQ(test::ReadWholeFile(Dir / "day/2006-01-28 0001.JPG"), "picture day/01280001.JPG");
  EXPECT_EQ(test::ReadWholeFile(Dir / "taken/2006-01-28 0007.jpg"),
            "picture taken/2006-01-28 0007.jpg");
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
  EXPECT_EQ(Messages,
            (std::vector<std::string>{
                Result + Dir / "2006-01-28 0007.jpg", "TreeRenameCameraFiles:  DEBUG\r\rException",
                Result + Dir / "P1280001.JPG", Result + Dir / "2006-01-28 0002.JPG"}));
}

TEST_F(CameraFileRenaming, aRenameTheFolderRefusesLeavesTheFileUncounted) {
  if (::geteuid() == 0) GTEST_SKIP() << "write protection does not hold for root";
  Make("ro/P1280001.JPG");
  fs::permissions(Dir / "ro", fs::perms::owner_write, fs::perm_options::remove);
  Answer = Dir / "ro/";
  EXPECT_EQ(TreeRenameCameraFiles(nullptr, 1), 0);
  EXPECT_EQ(Messages, std::vector<std::string>{Result + Dir / "ro/P1280001.JPG"});
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
  EXPECT_EQ(RecogniseCameraName("DSC01234", stamp).Convention, TCameraConvention::None);
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
