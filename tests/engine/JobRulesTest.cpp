// The rules the jobs follow by list: the extensions each job passes over
// without loading the file. Each file here holds a real picture, so that a
// job that loaded it would make a copy: only the name keeps it out.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/JobAccount.h"
#include "engine/Resize.h"
#include "tests/common/TestPictures.h"
#include "tests/engine/BatchFixture.h"

namespace pictrim {
namespace {

namespace fs = std::filesystem;

class JobRules : public test::BatchTest {
 protected:
  // A PNG under each of Names in the source folder.
  void WritePngsNamed(const std::vector<std::string>& Names) {
    test::WritePicture(Dir / "picture.png", 40, 30, FIF_PNG);
    for (const std::string& name : Names) fs::copy_file(Dir / "picture.png", Source + name);
    FreezeSource();
  }
  // The files in Folder, by name.
  static std::vector<std::string> FilesIn(const std::string& Folder) {
    std::vector<std::string> names;
    if (!fs::exists(Folder)) return names;
    for (const auto& entry : fs::directory_iterator(Folder))
      names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  TJobAccount Account;
};

TEST_F(JobRules, theResizeJobLoadsNoDbTxtOrDocFileButEveryOtherName) {
  WritePngsNamed({"a.db", "b.txt", "c.doc", "D.DOC", "e.wav", "f.mp3", "g.bin", "h.docx"});
  ConvertPICsWholeTree(&Window, Source, "", 20, 20, "", 0, WM_BATCH_PROGRESS, WM_BATCH_FILE, false,
                       ErrorLog, &Account);
  EXPECT_EQ(FilesIn(Dir / "src_MAXSIZE20"),
            (std::vector<std::string>{"e.jpg", "f.jpg", "g.jpg", "h.jpg"}));
  EXPECT_EQ(Account, (TJobAccount{.Written = 4, .NotPictures = 4}));
  EXPECT_TRUE(Log().empty()) << Log().front();
}

TEST_F(JobRules, theFileSizeJobAlsoPassesOverSoundFiles) {
  WritePngsNamed({"a.db", "b.txt", "c.doc", "D.DOC", "e.wav", "f.MP3", "g.bin", "h.docx"});
  ConvertPICsWholeTree2(&Window, Source, "", "", 1, "", 0, WM_BATCH_PROGRESS, WM_BATCH_FILE, false,
                        true, ErrorLog, &Account);
  EXPECT_EQ(FilesIn(Dir / "src_SIZE1 kB"),
            (std::vector<std::string>{"g.exBIN.jpg", "h.exDOCX.jpg"}));
  EXPECT_EQ(Account, (TJobAccount{.Written = 2, .NotPictures = 6}));
  EXPECT_TRUE(Log().empty()) << Log().front();
}

}  // namespace
}  // namespace pictrim
