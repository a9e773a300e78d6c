#include <gtest/gtest.h>

#include <filesystem>

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

TEST(Paths, theExecutableFolderHoldsTheRunningProgram) {
  const std::filesystem::path self = std::filesystem::canonical("/proc/self/exe");
  EXPECT_EQ(ExecutableFolder(), self.parent_path().string() + "/");
}

}  // namespace
}  // namespace pictrim
