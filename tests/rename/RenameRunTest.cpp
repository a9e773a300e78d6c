// Renaming folders as phones and cameras fill them: a photo with the files
// that belong to it, raw files beside their JPEGs, bursts of one second,
// reruns, the journal and the undo of a run, whole or partial.
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
#include "rename/PhotoGroups.h"
#include "rename/RenameJournal.h"
#include "rename/RenamePlan.h"
#include "tests/common/HeifPictures.h"
#include "tests/common/Languages.h"
#include "tests/common/TempDir.h"
#include "tests/metadata/CameraFileBytes.h"
#include "util/MoreDialogs.h"

namespace fs = std::filesystem;

namespace pictrim {
namespace {

using test::DatedBlock;

// 2006-02-03 04:27:22 local time, the time stamp of every file made here.
TFileTime Stamp() {
  std::tm t{};
  t.tm_year = 106;
  t.tm_mon = 1;
  t.tm_mday = 3;
  t.tm_hour = 4;
  t.tm_min = 27;
  t.tm_sec = 22;
  t.tm_isdst = -1;
  return TFileTime{std::mktime(&t), 0};
}

class RenamingGroups : public ::testing::Test {
 protected:
  void SetUp() override {
    OldMessage_ = SetMessageHandler([this](const std::string& Text) { Messages.push_back(Text); });
  }
  void TearDown() override { SetMessageHandler(OldMessage_); }

  std::string Put(const std::string& Relative, const test::TBytes& Bytes) {
    const std::string path = Dir / Relative;
    fs::create_directories(fs::path(path).parent_path());
    test::WriteBytes(path, Bytes);
    EXPECT_TRUE(SetFileModTime(path, Stamp()));
    return path;
  }
  std::string Put(const std::string& Relative) { return Put(Relative, test::Bytes(Relative)); }
  // A JPEG taken at Taken (EXIF form).
  std::string PutJpeg(const std::string& Relative, const std::string& Taken) {
    return Put(Relative, test::JpegFile({DatedBlock(true, Taken).App1()}));
  }

  std::vector<std::string> Files() const { return test::FilesBelow(Dir.Path()); }

  // A run over the folder; Lines gets the listener's "old -> new" of each
  // file renamed, Log the error lines.
  TRenameAccount Run(uint8_t Mode, bool ExifDate, bool DryRun = false) {
    TRenameOptions options;
    options.Mode = Mode;
    options.ExifDate = ExifDate;
    options.DryRun = DryRun;
    Log.clear();
    Lines.clear();
    return RenameCameraFiles(Dir.Path(), options, Recorder(), Log);
  }
  TRenameListener Recorder() {
    return [this](const TRenameResult& Result) {
      if (Result.Outcome == TRenameOutcome::Renamed)
        Lines.push_back(Result.OldPath.substr(Dir.Path().size()) + " -> " +
                        Result.NewPath.substr(Dir.Path().size()));
    };
  }
  std::optional<TRenameAccount> Undo(bool DryRun = false) {
    Log.clear();
    Lines.clear();
    return UndoRenames(Dir.Path(), DryRun, Recorder(), Log);
  }

  const test::TBuiltInTexts English{TLanguage::English};
  test::TTempDir Dir;
  std::vector<std::string> Messages;
  std::vector<std::string> Lines;
  TErrorLog Log;

 private:
  TMessageHandler OldMessage_;
};

TEST(PhotoGroups, theExtensionTellsTheRoleOfAFile) {
  for (const char* jpeg : {".jpg", ".JPG", ".jpeg", ".Jpeg"})
    EXPECT_EQ(FileRoleOf(jpeg), TFileRole::Jpeg) << jpeg;
  for (const char* heif : {".heic", ".HEIF", ".hif", ".AVIF"})
    EXPECT_EQ(FileRoleOf(heif), TFileRole::Heif) << heif;
  for (const char* raw :
       {".cr2", ".CR3", ".nef", ".NRW", ".arw", ".DNG", ".orf", ".RW2", ".raf", ".PEF", ".srw"})
    EXPECT_EQ(FileRoleOf(raw), TFileRole::Raw) << raw;
  for (const char* companion :
       {".mov", ".MP4", ".aae", ".XMP", ".thm", ".WAV", ".CR2.xmp", ".jpg.XMP", ".HEIC.aae"})
    EXPECT_EQ(FileRoleOf(companion), TFileRole::Companion) << companion;
  for (const char* other : {"", ".", ".jpg.bak", ".txt", ".xmp.jpg", ".mov.xmp", ".jpgx", ".jp",
                            ".jpg.", ".cr2.xmp.xmp"})
    EXPECT_EQ(FileRoleOf(other), TFileRole::None) << other;
  EXPECT_TRUE(IsPhotoRole(TFileRole::Raw));
  EXPECT_FALSE(IsPhotoRole(TFileRole::Companion));
  EXPECT_FALSE(IsPhotoRole(TFileRole::None));
}

TEST(PhotoGroups, filesOfOneStemAndFolderGoTogetherInTheOrderOfTheListing) {
  const std::vector<TPhotoGroup> groups =
      GroupPhotoFiles({"/a/IMG_0001.CR2", "/a/IMG_0001.HEIC", "/a/IMG_0001.JPG", "/a/IMG_0001.MOV",
                       "/a/IMG_0001.jpg", "/a/IMG_0002.mov", "/a/img_0001.xmp", "/a/IMG_0001.txt",
                       "/b/IMG_0001.JPG", "/a/README", "nofolder.jpg"});
  ASSERT_EQ(groups.size(), 8u);
  const auto names = [](const TPhotoGroup& Group) {
    std::string text = Group.Folder + Group.Stem + ":";
    for (const TGroupMember& member : Group.Members) text += " " + member.Name;
    return text;
  };
  EXPECT_EQ(names(groups[0]), "/a/IMG_0001: IMG_0001.CR2 IMG_0001.HEIC IMG_0001.JPG IMG_0001.MOV");
  // The twin in another letter case starts a group of its own.
  EXPECT_EQ(names(groups[1]), "/a/IMG_0001: IMG_0001.jpg");
  EXPECT_EQ(names(groups[2]), "/a/IMG_0002: IMG_0002.mov");
  EXPECT_EQ(names(groups[3]), "/a/img_0001: img_0001.xmp");
  EXPECT_EQ(names(groups[4]), "/a/IMG_0001: IMG_0001.txt");
  EXPECT_EQ(names(groups[5]), "/b/IMG_0001: IMG_0001.JPG");
  EXPECT_EQ(names(groups[6]), "/a/: README");
  EXPECT_EQ(names(groups[7]), ": nofolder.jpg");
  // The date comes from the JPEG first, then the HEIF file, then the raw.
  EXPECT_EQ(groups[0].Photos(), (std::vector<size_t>{2, 1, 0}));
  EXPECT_TRUE(groups[2].Photos().empty());
  EXPECT_EQ(groups[0].Members[3].Role, TFileRole::Companion);
  // Photos of one kind keep the order of the listing.
  const std::vector<TPhotoGroup> raws =
      GroupPhotoFiles({"/a/IMG_0001.NEF", "/a/IMG_0001.CR2", "/a/IMG_0001.DNG"});
  ASSERT_EQ(raws.size(), 1u);
  EXPECT_EQ(raws[0].Photos(), (std::vector<size_t>{0, 1, 2}));
}

TEST_F(RenamingGroups, aPhonesPhotoMovesWithItsVideoAndItsEditsAllUnderOneName) {
  test::WritePhoneHeic(Dir / "IMG_7001.HEIC", "2023:06:15 10:20:30");
  ASSERT_TRUE(SetFileModTime(Dir / "IMG_7001.HEIC", Stamp()));
  Put("IMG_7001.MOV");
  Put("IMG_7001.AAE");
  Put("IMG_7001.txt");  // no companion: it stays, unlisted
  Put("IMG_7002.MOV");  // a video without its photo stays too
  EXPECT_EQ(Run(2, true), (TRenameAccount{3, 1, 0}));
  EXPECT_EQ(Files(),
            (std::vector<std::string>{"20230615102030.AAE", "20230615102030.HEIC",
                                      "20230615102030.MOV", "IMG_7001.txt", "IMG_7002.MOV"}));
  // With its JPEG beside it, the JPEG's date names the group, and the three
  // lines of the group come one after another.
  Put("b/IMG_7001.AAE");
  Put("b/IMG_7001.HEIC", test::ReadBytes(Dir / "20230615102030.HEIC"));
  PutJpeg("b/IMG_7001.JPG", "2023:06:15 10:20:31");
  Put("b/IMG_7001.MOV");
  EXPECT_EQ(Run(6, true), (TRenameAccount{4, 4, 0}));
  EXPECT_EQ(Lines, (std::vector<std::string>{"b/IMG_7001.AAE -> b/20230615102031 IMG_7001.AAE",
                                             "b/IMG_7001.HEIC -> b/20230615102031 IMG_7001.HEIC",
                                             "b/IMG_7001.JPG -> b/20230615102031 IMG_7001.JPG",
                                             "b/IMG_7001.MOV -> b/20230615102031 IMG_7001.MOV"}));
  EXPECT_TRUE(Log.empty());
}

TEST_F(RenamingGroups, aRawBesideItsJpegIsOneGroupDatedByWhicheverHasADate) {
  // Both dated: the JPEG's date. Only the raw dated: the raw's. A DNG alone,
  // with its sidecar. Raws of Olympus and Panasonic, by their own numbers.
  Put("IMG_0001.CR2", test::RawTiff(DatedBlock(false, "2019:01:01 01:01:01").Tiff()));
  PutJpeg("IMG_0001.JPG", "2019:02:02 02:02:02");
  Put("DSC_0002.NEF", test::RawTiff(DatedBlock(true, "2019:03:03 03:03:03").Tiff()));
  Put("DSC_0002.JPG");
  Put("DSC_0003.DNG", test::SmallDng("Test", "2019:04:04 04:04:04"));
  Put("DSC_0003.DNG.xmp");
  Put("P4040005.ORF", test::RawTiff(DatedBlock(false, "2019:05:05 05:05:05").Tiff(), 0x4F52));
  Put("P4040006.RW2", test::RawTiff(DatedBlock(false, "2019:06:06 06:06:06").Tiff(), 0x55));
  EXPECT_EQ(Run(2, true), (TRenameAccount{8, 0, 0}));
  EXPECT_EQ(Files(), (std::vector<std::string>{"20190202020202.CR2", "20190202020202.JPG",
                                               "20190303030303.JPG", "20190303030303.NEF",
                                               "20190404040404.DNG", "20190404040404.DNG.xmp",
                                               "20190505050505.ORF", "20190606060606.RW2"}));
  // Without the time taken the names and the time stamps rule, for the raws too.
  Put("x/P1280001.ORF");
  Put("x/P1280001.JPG");
  Put("x/DSC_0001.NEF");  // no convention
  EXPECT_EQ(Run(1, false), (TRenameAccount{2, 9, 0}));
  EXPECT_TRUE(fs::exists(Dir / "x/2006-01-28 0001.ORF"));
  EXPECT_TRUE(fs::exists(Dir / "x/2006-01-28 0001.JPG"));
}

TEST_F(RenamingGroups, fiveShotsOfOneSecondAreNumberedAndARerunRenamesNothing) {
  for (const char* name :
       {"P1280001.JPG", "P1280002.JPG", "P1280003.JPG", "P1280004.JPG", "P1280005.JPG"})
    Put(name);
  Put("P1280005.ORF");          // the group of the fifth shot is numbered alike
  Put("20060128042722-2.jpg");  // a name taken in another letter case
  Put("20060128042722-5.orf");  // taken for one member of a group only
  EXPECT_EQ(Run(2, false), (TRenameAccount{6, 2, 0}));
  EXPECT_EQ(Lines,
            (std::vector<std::string>{
                "P1280001.JPG -> 20060128042722.JPG", "P1280002.JPG -> 20060128042722-1.JPG",
                "P1280003.JPG -> 20060128042722-3.JPG", "P1280004.JPG -> 20060128042722-4.JPG",
                "P1280005.JPG -> 20060128042722-6.JPG", "P1280005.ORF -> 20060128042722-6.ORF"}));
  EXPECT_TRUE(Log.empty());
  // A dry run and a real run after it: nothing left to rename.
  const std::vector<std::string> before = Files();
  EXPECT_EQ(Run(2, false, true), (TRenameAccount{0, 8, 0}));
  EXPECT_EQ(Run(2, true), (TRenameAccount{0, 8, 0}));
  EXPECT_EQ(Run(1, false), (TRenameAccount{0, 8, 0}));
  EXPECT_EQ(Files(), before);
  EXPECT_TRUE(Log.empty());
}

TEST_F(RenamingGroups, burstNumbersEndAt9999) {
  Put("P1280001.JPG");
  const std::string base = Dir / "20060128042722";
  for (int i = 0; i <= 9999; ++i) {
    const std::string path = i == 0 ? base + ".JPG" : base + "-" + std::to_string(i) + ".JPG";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
  }
  // A dry run foresees the failure and its line.
  const TErrorLog failure{"File " + Dir / "P1280001.JPG" + " was not renamed: " + base +
                          ".JPG exists\r\n"};
  EXPECT_EQ(Run(2, false, true), (TRenameAccount{0, 10000, 1}));
  EXPECT_EQ(Log, failure);
  EXPECT_EQ(Run(2, false), (TRenameAccount{0, 10000, 1}));
  EXPECT_EQ(Log, failure);
  fs::remove(base + "-9999.JPG");
  EXPECT_EQ(Run(2, false), (TRenameAccount{1, 9999, 0}));
  EXPECT_TRUE(fs::exists(base + "-9999.JPG"));
}

TEST_F(RenamingGroups, aGroupIsRenamedWholeOrNotAtAll) {
  Put("P1280001.JPG");
  Put("P1280001.MOV");
  Put("P1280001.XMP");
  Put("P1280002.JPG");
  TRenameOptions options;
  options.Mode = 2;
  const TRenamePlan plan = PlanRenames(Dir.Path(), options);
  EXPECT_EQ(plan.Account(), (TRenameAccount{4, 0, 0}));
  // Between the plan and the run another program takes the video's new name.
  Put("20060128042722.MOV", test::Bytes("another video"));
  const TRenameAccount account = CarryOutRenames(plan, Recorder(), Log);
  EXPECT_EQ(account, (TRenameAccount{1, 0, 3}));
  EXPECT_EQ(Log, (TErrorLog{"File " + Dir / "P1280001.JPG" + " was not renamed: it goes with " +
                                Dir / "P1280001.MOV" + ", which could not be renamed\r\n",
                            "File " + Dir / "P1280001.MOV" +
                                " was not renamed: " + Dir / "20060128042722.MOV exists\r\n",
                            "File " + Dir / "P1280001.XMP" + " was not renamed: it goes with " +
                                Dir / "P1280001.MOV" + ", which could not be renamed\r\n"}));
  EXPECT_EQ(Files(), (std::vector<std::string>{"20060128042722-1.JPG", "20060128042722.MOV",
                                               "P1280001.JPG", "P1280001.MOV", "P1280001.XMP"}));
  EXPECT_EQ(test::ReadWholeFile(Dir / "20060128042722.MOV"), "another video");
  // The journal holds the one rename done.
  EXPECT_EQ(ReadRenameJournal(Dir.Path()),
            (std::vector<TJournalEntry>{{Dir / "P1280002.JPG", Dir / "20060128042722-1.JPG"}}));

  // A member gone before the plan failed on its own and gets no second line.
  Put("y/P1280003.JPG");
  const TRenamePlan partial = PlanListedRenames(
      Dir / "y", {Dir / "y/P1280003.JPG", Dir / "y/P1280003.MOV"}, options);
  EXPECT_EQ(partial.Account(), (TRenameAccount{1, 0, 1}));
  Put("y/20060128042722.JPG", test::Bytes("another photo"));
  Log.clear();
  EXPECT_EQ(CarryOutRenames(partial, nullptr, Log), (TRenameAccount{0, 0, 2}));
  ASSERT_EQ(Log.size(), 2u);
  EXPECT_EQ(Log[0], partial.Lines.at(0));
  EXPECT_EQ(Log[1], "File " + Dir / "y/P1280003.JPG" + " was not renamed: " +
                        Dir / "y/20060128042722.JPG exists\r\n");
}

TEST_F(RenamingGroups, theJournalIsWrittenBeforeTheFirstRenameInTheStateFolder) {
  const char* state = std::getenv("XDG_STATE_HOME");
  ASSERT_NE(state, nullptr);
  EXPECT_EQ(JournalPathOf(Dir.Path()).rfind(std::string(state) + "pictrim/rename-", 0), 0u)
      << JournalPathOf(Dir.Path());
  Put("P1280001.JPG");
  Put("P1280002.JPG");
  Put("P1280002.THM");
  std::vector<std::optional<std::vector<TJournalEntry>>> seen;
  TRenameOptions options;
  options.Mode = 1;
  RenameCameraFiles(
      Dir.Path(), options,
      [&](const TRenameResult&) { seen.push_back(ReadRenameJournal(Dir.Path())); }, Log);
  const std::vector<TJournalEntry> all = {{Dir / "P1280001.JPG", Dir / "2006-01-28 0001.JPG"},
                                          {Dir / "P1280002.JPG", Dir / "2006-01-28 0002.JPG"},
                                          {Dir / "P1280002.THM", Dir / "2006-01-28 0002.THM"}};
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0], all);  // already whole when the first file was renamed
  EXPECT_EQ(ReadRenameJournal(Dir.Path()), all);
  // A dry run and a run that renames nothing leave the journal as it is.
  options.DryRun = true;
  Put("P1280003.JPG");
  RenameCameraFiles(Dir.Path(), options, nullptr, Log);
  options.DryRun = false;
  fs::remove(Dir / "P1280003.JPG");
  RenameCameraFiles(Dir.Path(), options, nullptr, Log);
  EXPECT_EQ(ReadRenameJournal(Dir.Path()), all);
  EXPECT_TRUE(CanUndoRenames(Dir.Path()));
}

TEST_F(RenamingGroups, anUndoPutsEveryNameBackAndThenThereIsNothingToUndo) {
  EXPECT_EQ(Undo(), std::nullopt);
  Put("P1280001.JPG");
  Put("P1280001.MOV");
  Put("P1280002.JPG");
  Put("sub/P1280003.JPG");
  const std::vector<std::string> before = Files();
  EXPECT_EQ(Run(2, false), (TRenameAccount{4, 0, 0}));
  // A dry undo changes nothing.
  EXPECT_EQ(Undo(true), (TRenameAccount{4, 0, 0}));
  EXPECT_NE(Files(), before);
  EXPECT_EQ(Undo(), (TRenameAccount{4, 0, 0}));
  EXPECT_EQ(Lines, (std::vector<std::string>{"sub/20060128042722.JPG -> sub/P1280003.JPG",
                                             "20060128042722-1.JPG -> P1280002.JPG",
                                             "20060128042722.MOV -> P1280001.MOV",
                                             "20060128042722.JPG -> P1280001.JPG"}));
  EXPECT_EQ(Files(), before);
  EXPECT_TRUE(Log.empty());
  EXPECT_FALSE(CanUndoRenames(Dir.Path()));
  EXPECT_EQ(Undo(), std::nullopt);
}

TEST_F(RenamingGroups, anUndoAfterARunCutShortPutsBackWhatItRenamed) {
  for (const char* name : {"P1280001.JPG", "P1280002.JPG", "P1280003.JPG"}) Put(name);
  TRenameOptions options;
  options.Mode = 1;
  const TRenamePlan plan = PlanRenames(Dir.Path(), options);
  // A run that ended after its first rename: the journal of the whole plan.
  WriteRenameJournal(Dir.Path(), {{Dir / "P1280001.JPG", Dir / "2006-01-28 0001.JPG"},
                                  {Dir / "P1280002.JPG", Dir / "2006-01-28 0002.JPG"},
                                  {Dir / "P1280003.JPG", Dir / "2006-01-28 0003.JPG"}});
  ASSERT_TRUE(RenameFileNoReplace(Dir / "P1280001.JPG", Dir / "2006-01-28 0001.JPG"));
  EXPECT_EQ(Undo(), (TRenameAccount{1, 2, 0}));
  EXPECT_TRUE(Log.empty());
  EXPECT_EQ(Files(), (std::vector<std::string>{"P1280001.JPG", "P1280002.JPG", "P1280003.JPG"}));
  EXPECT_FALSE(CanUndoRenames(Dir.Path()));
  EXPECT_EQ(plan.Account(), (TRenameAccount{3, 0, 0}));
}

TEST_F(RenamingGroups, anUndoLeavesANameTakenSinceAndAFileMovedOnAndSaysSo) {
  Put("P1280001.JPG");
  Put("P1280002.JPG");
  Put("P1280003.JPG");
  EXPECT_EQ(Run(1, false), (TRenameAccount{3, 0, 0}));
  // Since the run: a new file took an old name (in another letter case), and
  // a renamed file was moved on by the user.
  Put("p1280001.jpg", test::Bytes("a new picture"));
  fs::rename(Dir / "2006-01-28 0003.JPG", Dir / "Holiday.JPG");
  EXPECT_EQ(Undo(), (TRenameAccount{1, 0, 2}));
  EXPECT_EQ(
      Log, (TErrorLog{"File " + Dir / "2006-01-28 0003.JPG" + " was not given back its old name " +
                          Dir / "P1280003.JPG" + ": it is no longer there\r\n",
                      "File " + Dir / "2006-01-28 0001.JPG" + " was not given back its old name: " +
                          Dir / "p1280001.jpg" + " exists\r\n"}));
  EXPECT_EQ(Files(), (std::vector<std::string>{"2006-01-28 0001.JPG", "Holiday.JPG", "P1280002.JPG",
                                               "p1280001.jpg"}));
  EXPECT_EQ(test::ReadWholeFile(Dir / "p1280001.jpg"), "a new picture");
  // The journal keeps what could not be undone; once the way is free it is.
  EXPECT_EQ(ReadRenameJournal(Dir.Path()),
            (std::vector<TJournalEntry>{{Dir / "P1280001.JPG", Dir / "2006-01-28 0001.JPG"},
                                        {Dir / "P1280003.JPG", Dir / "2006-01-28 0003.JPG"}}));
  fs::remove(Dir / "p1280001.jpg");
  EXPECT_EQ(Undo(), (TRenameAccount{1, 0, 1}));
  EXPECT_TRUE(fs::exists(Dir / "P1280001.JPG"));
}

TEST_F(RenamingGroups, aJournalThatCannotBeWrittenOrReadStopsTheRunOrTheUndo) {
  Put("P1280001.JPG");
  Put("P1280002.JPG");
  const std::string state = std::getenv("XDG_STATE_HOME");
  // The state folder is a file: no journal, and then no rename.
  const test::TTempDir other;
  test::WriteTextFile(other / "state", "not a folder");
  ::setenv("XDG_STATE_HOME", (other / "state").c_str(), 1);
  std::vector<TRenameResult> results;
  TRenameOptions options;
  options.Mode = 1;
  const TRenameAccount account = RenameCameraFiles(
      Dir.Path(), options, [&](const TRenameResult& Result) { results.push_back(Result); }, Log);
  ::setenv("XDG_STATE_HOME", state.c_str(), 1);
  EXPECT_EQ(account, (TRenameAccount{0, 0, 2}));
  ASSERT_EQ(results.size(), 2u);
  for (const TRenameResult& result : results) EXPECT_EQ(result.NewPath, result.OldPath);
  ASSERT_EQ(Log.size(), 1u);
  EXPECT_EQ(Log[0].rfind("File " + other / "state/pictrim/rename-", 0), 0u) << Log[0];
  EXPECT_NE(Log[0].find(".journal (the journal) could not be written: nothing was renamed (" +
                        std::string(std::strerror(ENOTDIR)) + ")"),
            std::string::npos)
      << Log[0];
  EXPECT_EQ(Files(), (std::vector<std::string>{"P1280001.JPG", "P1280002.JPG"}));

  // A damaged journal undoes nothing and says why.
  EXPECT_EQ(Run(1, false), (TRenameAccount{2, 0, 0}));
  const std::string journal = JournalPathOf(Dir.Path());
  const std::string written = test::ReadWholeFile(journal);
  for (const char* damage : {"one name only\n", "/a/x.JPG\t\t/a/y.JPG\n", "/a/x.JPG\t\n"}) {
    test::WriteTextFile(journal, written + damage);
    EXPECT_EQ(Undo(), (TRenameAccount{})) << damage;
    ASSERT_EQ(Log.size(), 1u);
    EXPECT_EQ(Log[0], "File " + journal +
                          " (the journal) cannot be read: nothing was undone (it is damaged)\r\n");
  }
  test::WriteTextFile(journal, "pictrim rename journal\nfolder\t/elsewhere/\n");
  EXPECT_EQ(Undo(), (TRenameAccount{}));
  EXPECT_EQ(Log,
            (TErrorLog{"File " + journal +
                       " (the journal) cannot be read: nothing was undone (it belongs to another "
                       "folder)\r\n"}));
  EXPECT_EQ(Files(), (std::vector<std::string>{"2006-01-28 0001.JPG", "2006-01-28 0002.JPG"}));
}

TEST_F(RenamingGroups, namesWithTabsLineBreaksAndBackslashesComeBackAsTheyWere) {
  EXPECT_EQ(EscapeJournalText("a\tb\nc\rd\\e"), "a\\tb\\nc\\rd\\\\e");
  EXPECT_EQ(UnescapeJournalText("a\\tb\\nc\\rd\\\\e"), "a\tb\nc\rd\\e");
  EXPECT_EQ(UnescapeJournalText("end\\"), std::nullopt);
  EXPECT_EQ(UnescapeJournalText("\\x"), std::nullopt);
  Put("a\tb\nc\\d/P1280001.JPG");
  EXPECT_EQ(Run(1, false), (TRenameAccount{1, 0, 0}));
  EXPECT_EQ(Undo(), (TRenameAccount{1, 0, 0}));
  EXPECT_TRUE(fs::exists(Dir / "a\tb\nc\\d/P1280001.JPG"));
}

TEST_F(RenamingGroups, aJournalIsRemovedOrSaysWhyNot) {
  Put("P1280001.JPG");
  EXPECT_EQ(Run(1, false), (TRenameAccount{1, 0, 0}));
  const std::string journal = JournalPathOf(Dir.Path());
  ASSERT_TRUE(fs::exists(journal));
  EXPECT_TRUE(RemoveRenameJournal(Dir.Path()));
  EXPECT_FALSE(fs::exists(journal));
  EXPECT_TRUE(RemoveRenameJournal(Dir.Path()));  // none is there
  fs::create_directories(journal + "/in the way");
  EXPECT_FALSE(RemoveRenameJournal(Dir.Path()));
  fs::remove_all(journal);
}

TEST(RenameJournal, theStateFolderFollowsTheBaseDirectoryRules) {
  EXPECT_EQ(ChooseJournalFolder("/state", "/home/u"), "/state/pictrim/");
  EXPECT_EQ(ChooseJournalFolder("/state/", "/home/u"), "/state/pictrim/");
  EXPECT_EQ(ChooseJournalFolder("relative", "/home/u"), "/home/u/.local/state/pictrim/");
  EXPECT_EQ(ChooseJournalFolder("", "/home/u/"), "/home/u/.local/state/pictrim/");
  EXPECT_EQ(ChooseJournalFolder("", ""), "");
  // The journal's name is a hash of its folder that stays the same from one
  // version to the next, or an undo would not find what an older one wrote.
  const char* state = std::getenv("XDG_STATE_HOME");
  const std::string saved = state != nullptr ? state : "";
  ::setenv("XDG_STATE_HOME", "/state", 1);
  EXPECT_EQ(JournalPathOf("/"), "/state/pictrim/rename-af63a24c860189fe.journal");
  ::setenv("XDG_STATE_HOME", saved.c_str(), 1);
  // A folder has one journal, whichever way it is written.
  test::TTempDir dir;
  fs::create_directories(dir / "f");
  fs::create_directory_symlink(dir / "f", dir / "link");
  EXPECT_EQ(JournalPathOf(dir / "f"), JournalPathOf(dir / "f/"));
  EXPECT_EQ(JournalPathOf(dir / "f/"), JournalPathOf(dir / "f/../f/./"));
  EXPECT_EQ(JournalPathOf(dir / "f/"), JournalPathOf(dir / "link/"));
  EXPECT_NE(JournalPathOf(dir / "f/"), JournalPathOf(dir.Path()));
}

}  // namespace
}  // namespace pictrim
