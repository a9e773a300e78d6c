#include <gtest/gtest.h>

#include <filesystem>

#include "tests/common/TempDir.h"
#include "util/MoreDialogs.h"

namespace pictrim {
namespace {

TEST(FolderChecks, makeFolderPathCreatesTheWholeChain) {
  test::TTempDir dir;
  const std::string deep = dir / "a/b/c/";
  EXPECT_FALSE(FolderExists(deep));
  EXPECT_TRUE(MakeFolderPath(deep));
  EXPECT_TRUE(FolderExists(deep));
  EXPECT_TRUE(MakeFolderPath(deep));  // already there
}

TEST(FolderChecks, aFileIsNotAFolderAndCannotBecomeOne) {
  test::TTempDir dir;
  test::WriteTextFile(dir / "file", "x");
  EXPECT_FALSE(FolderExists(dir / "file"));
  EXPECT_FALSE(MakeFolderPath(dir / "file/sub/"));
  EXPECT_FALSE(FolderExists(""));
}

TEST(FolderChooser, theChosenFolderEndsWithTheDelimiterAndCancelKeepsTheResult) {
  std::string askedTitle, askedStart;
  std::optional<std::string> answer = std::string("/photos");
  const TFolderHandler old = SetFolderHandler([&](const std::string& title, const std::string& start) {
    askedTitle = title;
    askedStart = start;
    return answer;
  });
  std::string result;
  SelectFolder(result);
  EXPECT_EQ(result, "/photos/");
  EXPECT_EQ(askedTitle, "Bitte wählen Sie einen Ordner aus:");

  answer = std::string("/");
  SelectFolderFrom("/start/", result);
  EXPECT_EQ(result, "/");
  EXPECT_EQ(askedStart, "/start/");

  answer.reset();
  result = "kept";
  SelectFolder(result);
  EXPECT_EQ(result, "kept");
  SelectFolderFrom("/x/", result);
  EXPECT_EQ(result, "kept/");  // the closing delimiter is added to a text kept from before
  SetFolderHandler(old);
}

}  // namespace
}  // namespace pictrim
