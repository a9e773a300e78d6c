#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/Paths.h"

namespace pictrim {
namespace {

TEST(Paths, onlyTheFileSystemRootIsARootFolder) {
  EXPECT_TRUE(IsRootFolder("/"));
  EXPECT_TRUE(IsRootFolder("//"));
  EXPECT_FALSE(IsRootFolder(""));
  EXPECT_FALSE(IsRootFolder("/a/"));
  EXPECT_FALSE(IsRootFolder("/a"));
  EXPECT_FALSE(IsRootFolder("a/"));
}

TEST(Paths, theDelimiterIsAddedOnlyWhereItIsMissing) {
  EXPECT_EQ(IncludeTrailingDelimiter("/home/anna"), "/home/anna/");
  EXPECT_EQ(IncludeTrailingDelimiter("/home/anna/"), "/home/anna/");
  EXPECT_EQ(IncludeTrailingDelimiter("/"), "/");
  EXPECT_EQ(IncludeTrailingDelimiter("Bilder"), "Bilder/");
}

TEST(Paths, aPathSplitsAtItsLastDelimiter) {
  EXPECT_EQ(ExtractFileName("/home/anna/Bild.1.jpg"), "Bild.1.jpg");
  EXPECT_EQ(ExtractFilePath("/home/anna/Bild.1.jpg"), "/home/anna/");
  EXPECT_EQ(ExtractFileName("/home/anna/"), "");
  EXPECT_EQ(ExtractFilePath("/home/anna/"), "/home/anna/");
  EXPECT_EQ(ExtractFileName("Bild.jpg"), "Bild.jpg");
  EXPECT_EQ(ExtractFilePath("Bild.jpg"), "");
  EXPECT_EQ(ExtractFileName("/Bild.jpg"), "Bild.jpg");
  EXPECT_EQ(ExtractFilePath("/Bild.jpg"), "/");
  EXPECT_EQ(ExtractFileName(""), "");
  EXPECT_EQ(ExtractFilePath(""), "");
}

// Names of up to 255 bytes fit wherever they stand, the first name of a
// relative path included; one byte more is a name too long. The whole path
// may hold 4095 bytes.
TEST(Paths, theLongestNameAndPathFitAndOneByteMoreDoesNot) {
  const std::string longest(MaxNameBytes, 'n');
  const std::string tooLong(MaxNameBytes + 1, 'n');
  for (const std::string& path : {longest, longest + "/a", "/" + longest, "/a/" + longest + "/"})
    EXPECT_EQ(PathLengthOf(path), TPathLength::Fits) << path.size();
  for (const std::string& path : {tooLong, tooLong + "/a", "/" + tooLong, "/a/" + tooLong + "/"})
    EXPECT_EQ(PathLengthOf(path), TPathLength::NameTooLong) << path.size();
  std::string full;
  while (full.size() + 101 <= MaxPathBytes) full += "/" + std::string(100, 'p');
  full += "/" + std::string(MaxPathBytes - full.size() - 1, 'p');
  ASSERT_EQ(full.size(), MaxPathBytes);
  EXPECT_EQ(PathLengthOf(full), TPathLength::Fits);
  EXPECT_EQ(PathLengthOf(full + "p"), TPathLength::PathTooLong);
}

TEST(Paths, theExecutableFolderHoldsTheRunningProgram) {
  const std::filesystem::path self = std::filesystem::canonical("/proc/self/exe");
  EXPECT_EQ(ExecutableFolder(), self.parent_path().string() + "/");
}

TEST(Paths, theHomeFolderIsHomeOrElseTheAccountsOwn) {
  const char* home = std::getenv("HOME");
  const std::optional<std::string> saved = home ? std::optional<std::string>(home) : std::nullopt;
  const passwd* entry = ::getpwuid(::getuid());
  ASSERT_NE(entry, nullptr);
  const std::string own = entry->pw_dir;
  const std::string elsewhere = own + "/elsewhere";
  ::setenv("HOME", elsewhere.c_str(), 1);
  EXPECT_EQ(HomeFolder(), elsewhere);
  ::setenv("HOME", "", 1);
  EXPECT_EQ(HomeFolder(), own);
  ::unsetenv("HOME");
  EXPECT_EQ(HomeFolder(), own);
  if (saved) ::setenv("HOME", saved->c_str(), 1);
}

}  // namespace
}  // namespace pictrim
