// A temporary folder for one test, removed with everything in it afterwards.
#pragma once

#include <string>
#include <vector>

namespace pictrim::test {

class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  // The folder, ending with "/".
  const std::string& Path() const { return Path_; }
  // Path() + Relative.
  std::string operator/(const std::string& Relative) const { return Path_ + Relative; }

 private:
  std::string Path_;
};

// Writes Content to Path, creating missing folders.
void WriteTextFile(const std::string& Path, const std::string& Content);
// The bytes of a file ("" when it cannot be read).
std::string ReadWholeFile(const std::string& Path);
// The files of a tree, as paths relative to Folder, sorted byte by byte.
std::vector<std::string> FilesBelow(const std::string& Folder);
// A snapshot of a tree: every file's relative path with its bytes and
// modification time, to show that a tree was left unchanged.
std::string TreeSnapshot(const std::string& Folder);
// The folder of the real camera files, ending with "/".
std::string TestDataDir();
// True when that folder is there (it lies outside the repository).
bool HasTestData();

}  // namespace pictrim::test

// Skips the running test (or fixture) when the real camera files are not there.
#define PICTRIM_REQUIRE_TESTDATA()                                                   \
  if (!::pictrim::test::HasTestData())                                               \
  GTEST_SKIP() << "the camera files are not in " << ::pictrim::test::TestDataDir()
