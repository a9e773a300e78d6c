#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "tests/common/TempDir.h"
#include "util/Errors.h"
#include "util/MoreDialogs.h"
#include "util/SystemUtils.h"

namespace pictrim {
namespace {

using test::TTempDir;
using test::WriteTextFile;

std::vector<std::string> Relative(const TFileList& List, const std::string& Folder) {
  std::vector<std::string> out;
  for (const auto& path : List) out.push_back(path.substr(Folder.size()));
  return out;
}

class FileListing : public ::testing::Test {
 protected:
  void Make(std::initializer_list<const char*> Files) {
    for (const char* f : Files) WriteTextFile(Dir / f, "x");
  }
  std::vector<std::string> List(const std::string& Masks) {
    std::unique_ptr<TFileList> list;
    const int count = GetFileListEx(list, Dir.Path(), "", Masks, true, true);
    EXPECT_EQ(count, static_cast<int>(list->Count()));
    return Relative(*list, Dir.Path());
  }
  TTempDir Dir;
};

TEST_F(FileListing, masksSplitAtDotsWithTheirOddRules) {
  EXPECT_EQ(SplitMasks("jpg"), (std::vector<std::string>{"jpg"}));
  EXPECT_EQ(SplitMasks(".jpg"), (std::vector<std::string>{"jpg"}));
  EXPECT_EQ(SplitMasks("jpg.jpeg"), (std::vector<std::string>{"jpg", "jpeg"}));
  EXPECT_EQ(SplitMasks("jpg.x"), (std::vector<std::string>{"jpg"}));
  EXPECT_EQ(SplitMasks("x.jpg"), (std::vector<std::string>{"x", "jpg"}));
  EXPECT_EQ(SplitMasks("jpg..bmp"), (std::vector<std::string>{"jpg", "", "bmp"}));
  EXPECT_EQ(SplitMasks(""), (std::vector<std::string>{""}));
  EXPECT_EQ(SplitMasks("j"), (std::vector<std::string>{""}));
}

TEST_F(FileListing, aMaskFitsAnyNameWithDotAndMaskSomewhereCaseInsensitively) {
  EXPECT_TRUE(NameFitsMask("a.jpg", "", "jpg"));
  EXPECT_TRUE(NameFitsMask("A.JPG", "", "jpg"));
  EXPECT_TRUE(NameFitsMask("a.jpgx", "", "jpg"));
  EXPECT_TRUE(NameFitsMask("photo.jpg.txt", "", "jpg"));
  EXPECT_FALSE(NameFitsMask("a.jpeg", "", "jpg"));
  EXPECT_FALSE(NameFitsMask("jpg", "", "jpg"));
  EXPECT_TRUE(NameFitsMask("noext", "", "*"));
  EXPECT_TRUE(NameFitsMask("holiday-1.jpg", "day", "jpg"));
  EXPECT_FALSE(NameFitsMask("a.jpg", "day", "jpg"));
  EXPECT_TRUE(NameFitsMask("[1].jpg", "", "jpg"));
}

TEST_F(FileListing, emptyOrOneCharacterMaskListsEveryFileOfTheTree) {
  Make({"a.jpg", "b.png", "noext", "sub/c.txt", "sub/deeper/d.JPG"});
  const std::vector<std::string> all = {"a.jpg", "b.png", "noext", "sub/c.txt", "sub/deeper/d.JPG"};
  EXPECT_EQ(List(""), all);
  EXPECT_EQ(List("j"), all);
  EXPECT_EQ(List("jpg"), (std::vector<std::string>{"a.jpg", "sub/deeper/d.JPG"}));
  EXPECT_EQ(List(".jpg"), (std::vector<std::string>{"a.jpg", "sub/deeper/d.JPG"}));
}

TEST_F(FileListing, dotFoldersAreNotEnteredButDotFilesAreListed) {
  Make({".hidden.jpg", "visible.jpg", ".thumbs/t.jpg", "sub/.x/y.jpg", "sub/z.jpg"});
  EXPECT_EQ(List("jpg"), (std::vector<std::string>{".hidden.jpg", "sub/z.jpg", "visible.jpg"}));
}

TEST_F(FileListing, resultIsSortedByFullPathIgnoringLetterCase) {
  Make({"B/a.jpg", "a/z.jpg", "C.jpg", "b.jpg", "A/y.jpg"});
  const std::vector<std::string> listed = List("jpg");
  EXPECT_EQ(listed, (std::vector<std::string>{"A/y.jpg", "a/z.jpg", "b.jpg", "B/a.jpg", "C.jpg"}));
}

TEST_F(FileListing, namesDifferingOnlyInCaseAreTwoFiles) {
  Make({"a.JPG", "A.jpg"});
  EXPECT_EQ(List("jpg").size(), 2u);
}

TEST_F(FileListing, aFileFittingTwoMasksIsListedTwiceInANewListOnceInASortedOne) {
  Make({"a.jpg"});
  EXPECT_EQ(List("jpg.jp"), (std::vector<std::string>{"a.jpg", "a.jpg"}));

  std::unique_ptr<TFileList> list;
  GetFileListEx(list, Dir.Path(), "", "png", true, true);  // now in sorted mode
  EXPECT_EQ(GetFileListEx(list, Dir.Path(), "", "jpg.jp", true, true), 1);
}

TEST_F(FileListing, withoutClearListEarlierEntriesStayAndCount) {
  Make({"a.jpg", "b.png"});
  std::unique_ptr<TFileList> list;
  GetFileListEx(list, Dir.Path(), "", "png", true, true);
  EXPECT_EQ(GetFileListEx(list, Dir.Path(), "", "jpg", false, true), 2);
  EXPECT_EQ(GetFileListEx(list, Dir.Path(), "", "jpg", true, true), 1);
}

TEST_F(FileListing, aMissingFolderGivesAnEmptyListWithoutError) {
  std::unique_ptr<TFileList> list;
  EXPECT_EQ(GetFileListEx(list, Dir / "missing/", "", "", true, true), 0);
  ASSERT_NE(list, nullptr);
}

TEST_F(FileListing, linksToFoldersAreNotFollowedSoALoopEnds) {
  Make({"sub/a.jpg"});
  std::filesystem::create_directory_symlink(Dir.Path(), Dir / "sub/loop");
  std::filesystem::create_symlink(Dir / "sub/a.jpg", Dir / "link.jpg");
  EXPECT_EQ(List("jpg"), (std::vector<std::string>{"link.jpg", "sub/a.jpg"}));
}

TEST_F(FileListing, anUnreadableSubfolderIsPassedOver) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every folder";
  Make({"open/a.jpg", "closed/b.jpg"});
  std::filesystem::permissions(Dir / "closed", std::filesystem::perms::none);
  EXPECT_EQ(List("jpg"), (std::vector<std::string>{"open/a.jpg"}));
}

TEST_F(FileListing, withoutRecursionOnlyTheFolderIsSearchedAndTheHackIsAnnounced) {
  Make({"a.jpg", "sub/b.jpg", "c.jpeg"});
  std::vector<std::string> shown;
  const TMessageHandler old = SetMessageHandler([&](const std::string& t) { shown.push_back(t); });
  std::unique_ptr<TFileList> list;
  EXPECT_EQ(GetFileListEx(list, Dir.Path(), "", "jpg.jpeg", true, false), 1);
  SetMessageHandler(old);
  EXPECT_EQ(Relative(*list, Dir.Path()), (std::vector<std::string>{"a.jpg"}));
  EXPECT_EQ(shown, (std::vector<std::string>{"DRAGONS:  a workaround HACK in SystemUtils line 598 !!!"}));
}

TEST_F(FileListing, listFilesInFolderGivesBareNamesOfPlainFilesWithThePrefix) {
  Make({"LANGUAGE_English.ini", "LANGUAGE_Deutsch.ini", "pictrim.ini", ".hidden.ini", "x.txt",
        "sub/LANGUAGE_Other.ini"});
  std::unique_ptr<TFileList> list;
  EXPECT_EQ(ListFilesInFolder(list, Dir.Path(), "LANGUAGE_", true, "ini"), 2);
  EXPECT_EQ((std::vector<std::string>(list->begin(), list->end())),
            (std::vector<std::string>{"LANGUAGE_Deutsch.ini", "LANGUAGE_English.ini"}));
  EXPECT_EQ(ListFilesInFolder(list, Dir.Path(), "", true, ""), 4);
  EXPECT_EQ(ListFilesInFolder(list, Dir.Path(), "", true, "bmp"), 0);
  EXPECT_EQ(ListFilesInFolder(list, Dir.Path(), "language_", true, "ini"), 0);
}

TEST_F(FileListing, fileSizeIsMinusOneForAMissingFileAndZeroForAnEmptyOne) {
  WriteTextFile(Dir / "empty", "");
  WriteTextFile(Dir / "five", "12345");
  EXPECT_EQ(GetFileSizeByName(Dir / "missing"), -1);
  EXPECT_EQ(GetFileSizeByName(Dir / "empty"), 0);
  EXPECT_EQ(GetFileSizeByName(Dir / "five"), 5);
}

TEST_F(FileListing, writeFileBytesReplacesAFileWholeAndLeavesNoTemporaryFile) {
  const std::string path = Dir / "out.bin";
  WriteTextFile(path, "old contents");
  const std::string data = "new";
  WriteFileBytes(path, reinterpret_cast<const uint8_t*>(data.data()), data.size());
  EXPECT_EQ(test::ReadWholeFile(path), "new");
  EXPECT_EQ(List(""), (std::vector<std::string>{"out.bin"}));
  EXPECT_THROW(WriteFileBytes(Dir / "missing/x.bin", nullptr, 0), EInOutError);
  EXPECT_EQ(ReadFileBytes(path).size(), 3u);
  EXPECT_THROW(ReadFileBytes(Dir / "missing.bin"), EInOutError);
}

}  // namespace
}  // namespace pictrim
