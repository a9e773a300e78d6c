// The four picture batches over hostile JPEG files and hostile places: a
// camera photo with a damaged scan, frames that claim more memory than the
// budget, absurd scan counts, the longest legal names, a FIFO swapped in
// for a listed file, output folders that lead back into the source and
// paths too long for the file system. Each bad file gets its line, each
// good file its copy, and the source stays as it was.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/Resize.h"
#include "image/IsolatedDecode.h"
#include "image/JpegImage.h"
#include "platform/Paths.h"
#include "tests/common/HostileJpegs.h"
#include "tests/common/Languages.h"
#include "tests/common/TestPictures.h"
#include "tests/engine/BatchFixture.h"

namespace pictrim {
namespace {

namespace fs = std::filesystem;
using test::ReadWholeFile;
using test::WriteTextFile;

class HostileJpegs : public test::BatchTest {
 protected:
  void TearDown() override {
    BatchThreads = 0;
    BatchTest::TearDown();
  }

  int Resize(uint32_t Size, bool Overwrite = false, const std::string& Output = "") {
    const int result = ConvertPICsWholeTree(&Window, Source, Output, Size, Size, "", 0,
                                            WM_BATCH_PROGRESS, WM_BATCH_FILE, Overwrite, ErrorLog);
    Window.pump();
    return result;
  }
  int Shrink(uint32_t TargetKB, bool Overwrite = false, const std::string& Output = "") {
    const int result =
        ConvertPICsWholeTree2(&Window, Source, Output, "", TargetKB, "", 0, WM_BATCH_PROGRESS,
                              WM_BATCH_FILE, Overwrite, false, ErrorLog);
    Window.pump();
    return result;
  }
  int Bmps(uint32_t Size, bool Overwrite = false, const std::string& Output = "") {
    const int result = ConvertBMPtoJPEGtree(&Window, Source, Output, Size, "", WM_BATCH_PROGRESS,
                                            WM_BATCH_FILE, Overwrite, ErrorLog);
    Window.pump();
    return result;
  }
  int Jpegs(uint32_t Size, bool Overwrite = false, const std::string& Output = "") {
    const int result = SaveJPEGtreeDownSized(&Window, Source, Output, Size, 0, "",
                                             WM_BATCH_PROGRESS, WM_BATCH_FILE, Overwrite, ErrorLog);
    Window.pump();
    return result;
  }

  // True when Line was logged, with or without a reason in brackets behind.
  bool Logged(const std::string& Line) const {
    const std::vector<std::string> log = Log();
    return std::any_of(log.begin(), log.end(), [&](const std::string& Logged) {
      return Logged == Line || Logged.starts_with(Line + " (");
    });
  }
  // True when some line names the source file Name.
  bool Named(const std::string& Name) const {
    for (const std::string& line : Log()) {
      if (line.find("src/" + Name) != std::string::npos) return true;
    }
    return false;
  }
};

std::string ResizeLine(const std::string& Name) {
  return "EXCEPTION in ConvertPICsWholeTree - FBitmap.Load() with  File \"src/" + Name + "\"";
}
std::string ShrinkLine(const std::string& Name) {
  return "EXCEPTION in ConvertPICsWholeTree2 - FBitmap.Load() with  File \"src/" + Name + "\"";
}
std::string UnattendedLine(const std::string& Name) {
  return "EXCEPTION in SaveJPEGtreeDownSized - TB.assign( j) with  File \"src/" + Name + "\"";
}

TEST_F(HostileJpegs, aCameraPhotoWithADamagedScanNeitherAbortsNorStopsAnyBatch) {
  const test::TBuiltInTexts english(TLanguage::English);  // the lines as compared below
  PICTRIM_REQUIRE_TESTDATA();
  WriteTextFile(Source + "a-damaged.jpg",
                test::WithDamagedScan(ReadWholeFile(test::TestDataDir() + "DSCN0010.jpg")));
  test::WriteJpeg(Source + "b-good.jpg", 640, 480);
  FreezeSource();
  Resize(100);
  Shrink(20);
  Jpegs(100);
  for (const std::string folder : {"src_MAXSIZE100/", "src_SIZE20 kB/", "src_SIZE100/"}) {
    EXPECT_TRUE(fs::exists(Dir / (folder + "b-good.jpg"))) << folder;
  }
  // Every batch keeps what the image library can make of the picture, and
  // says that the copy may be incomplete.
  for (const std::string folder : {"src_MAXSIZE100/", "src_SIZE20 kB/", "src_SIZE100/"}) {
    EXPECT_TRUE(fs::exists(Dir / (folder + "a-damaged.jpg"))) << folder;
  }
  const std::string damaged = "File src/a-damaged.jpg is damaged";
  const std::vector<std::string> log = Log();
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [&](const std::string& Line) { return Line.starts_with(damaged); }),
            3)
      << ::testing::PrintToString(log);
}

TEST_F(HostileJpegs, framesBeyondTheBudgetAndAbsurdScanCountsGetTheLoadersLine) {
  // Four 150-byte frames of 15000 x 15000 (their coefficients alone would
  // take 1.35 GB each), a progressive picture with 600 scans, a good one.
  for (const char* name : {"bomb1.jpg", "bomb2.jpg", "bomb3.jpg", "bomb4.jpg"}) {
    WriteTextFile(Source + name, test::ClaimingJpeg(15000, 15000, 1));
  }
  WriteTextFile(Source + "scans.jpg", test::ClaimingJpeg(4000, 4000, 600, true));
  test::WriteJpeg(Source + "good.jpg", 400, 300);
  FreezeSource();
  const std::vector<std::string> bad = {"bomb1.jpg", "bomb2.jpg", "bomb3.jpg", "bomb4.jpg",
                                        "scans.jpg"};
  BatchThreads = 2;
  Resize(100);
  Shrink(20);
  Jpegs(100);
  for (const std::string& name : bad) {
    EXPECT_TRUE(Logged(ResizeLine(name))) << name;
    EXPECT_TRUE(Logged(ShrinkLine(name))) << name;
    EXPECT_TRUE(Logged(UnattendedLine(name))) << name;
  }
  EXPECT_EQ(Log().size(), 3 * bad.size());
  for (const std::string folder : {"src_MAXSIZE100/", "src_SIZE20 kB/", "src_SIZE100/"}) {
    EXPECT_TRUE(fs::exists(Dir / (folder + "good.jpg"))) << folder;
  }
  EXPECT_EQ(PictureBudget().Used(), 0u);
}

// A 15000 x 15000 baseline frame decodes row by row; held whole it would
// take 675 MB. Every batch decodes it at the scale its copy needs, so a
// budget of 64 MB suffices.
TEST_F(HostileJpegs, aLargeBaselineFrameIsDecodedAtTheScaleOfItsCopy) {
  const test::TBuiltInTexts english(TLanguage::English);  // the lines as compared below
  WriteTextFile(Source + "large.jpg", test::ClaimingJpeg(15000, 15000, 1, false, false));
  FreezeSource();
  TDecodeLimits limits;
  limits.BudgetBytes = uint64_t(64) << 20;
  SetDecodeLimits(limits);
  Resize(1024);
  Jpegs(1024);
  SetDecodeLimits(TDecodeLimits());
  // Its data ends early: each copy is made and the source named as damaged.
  const std::string damaged =
      "File src/large.jpg is damaged (premature end or corrupt data): its copy may be incomplete";
  EXPECT_EQ(Log(), (std::vector<std::string>{damaged, damaged}));
  EXPECT_EQ(test::PictureSize(Dir / "src_MAXSIZE1024/large.jpg"), QSize(1024, 1024));
  EXPECT_EQ(test::PictureSize(Dir / "src_SIZE1024/large.jpg"), QSize(1024, 1024));
}

TEST_F(HostileJpegs, namesOfUpTo255BytesAreCopiedByEveryBatch) {
  const test::TBuiltInTexts english(TLanguage::English);    // the lines as compared below
  const std::string jpeg = std::string(251, 'j') + ".jpg";  // 255 bytes
  const std::string bmp = std::string(251, 'b') + ".bmp";
  test::WriteJpeg(Source + jpeg, 200, 150);
  test::WritePicture(Source + bmp, 200, 150, FIF_BMP);
  FreezeSource();
  Resize(100, true);
  Shrink(5, true);
  Bmps(100, true);
  Jpegs(100, true);
  // Only the file-size copy of the BMP, named ".exBMP.jpg", cannot be.
  EXPECT_EQ(Log(),
            std::vector<std::string>{
                "File src/" + bmp + " was skipped: its copy src_SIZE5 kB/" + std::string(251, 'b') +
                ".exBMP.jpg cannot be made, a name in the path is longer than 255 bytes"});
  EXPECT_TRUE(fs::exists(Dir / ("src_MAXSIZE100/" + jpeg)));
  EXPECT_TRUE(fs::exists(Dir / ("src_SIZE5 kB/" + jpeg)));
  EXPECT_TRUE(fs::exists(Dir / ("src_SIZE100/" + jpeg)));
  EXPECT_TRUE(fs::exists(Dir / ("src_SIZE100/" + std::string(251, 'b') + ".jpg")));
  for (const auto& entry : fs::recursive_directory_iterator(Dir.Path())) {
    EXPECT_EQ(entry.path().filename().string().find(".pictrim-"), std::string::npos)
        << entry.path();
  }
}

// Swaps the file Name for a FIFO at the first notification of the given
// kind: after the listing, before any worker can have reached it (the
// workers run at most two entries ahead of the notifications).
void SwapInFifoAtFirst(std::function<void(const TBatchMessage&)>& Hook, uint32_t Message,
                       const std::string& Path) {
  auto swapped = std::make_shared<bool>(false);
  Hook = [swapped, Message, Path](const TBatchMessage& m) {
    if (*swapped || m.Message != Message) return;
    *swapped = true;
    fs::remove(Path);
    ASSERT_EQ(::mkfifo(Path.c_str(), 0644), 0);
  };
}

TEST_F(HostileJpegs, aFifoSwappedInAfterTheListingGetsALineInsteadOfAHang) {
  const test::TBuiltInTexts english(TLanguage::English);  // the lines as compared below
  for (int i = 0; i < 5; ++i) test::WriteJpeg(Source + "a" + std::to_string(i) + ".jpg", 64, 48);
  BatchThreads = 1;
  const std::string fifo = Source + "z.jpg";
  const auto prepare = [&] {
    fs::remove(fifo);
    test::WriteJpeg(fifo, 64, 48);
  };
  prepare();
  SwapInFifoAtFirst(OnMessage, WM_BATCH_STATUS, fifo);
  Resize(32, true);
  EXPECT_EQ(Log(), std::vector<std::string>{ResizeLine("z.jpg") + " (not a regular file)"});
  ErrorLog.clear();
  prepare();
  SwapInFifoAtFirst(OnMessage, WM_BATCH_STATUS, fifo);
  Shrink(5, true);
  EXPECT_EQ(Log(), std::vector<std::string>{ShrinkLine("z.jpg") + " (not a regular file)"});
  ErrorLog.clear();
  prepare();
  SwapInFifoAtFirst(OnMessage, WM_BATCH_FILE, fifo);
  Jpegs(32, true);
  EXPECT_EQ(Log(), std::vector<std::string>{
                       "File src/z.jpg got no copy: it could not be loaded (not a regular file)"});
  EXPECT_TRUE(fs::exists(Dir / "src_SIZE32/a4.jpg"));
}

TEST_F(HostileJpegs, anOutputFolderThatLeadsBackIntoTheSourceIsRefusedByEveryBatch) {
  test::WritePicture(Source + "x.png", 200, 150, FIF_PNG);
  test::WriteJpeg(Source + "x.jpg", 200, 150);
  test::WritePicture(Source + "y.bmp", 200, 150, FIF_BMP);
  WriteTextFile(Source + "y.jpg", "not a picture, and no copy's place");
  fs::create_directory_symlink(Source, Dir / "src_MAXSIZE100");
  fs::create_directory_symlink(Source, Dir / "src_SIZE100 kB");
  fs::create_directory_symlink(Source, Dir / "src_SIZE100");
  fs::create_directories(Dir / "elsewhere");
  FreezeSource();
  // The derived output folders are links to the source; so is a given one
  // reached through "..".
  EXPECT_EQ(Resize(100, true), ResizeRefused);
  EXPECT_EQ(Shrink(100, true), ShrinkRefused);
  EXPECT_EQ(Bmps(100, true), BmpBatchRefused);
  EXPECT_EQ(Jpegs(100, true), JpegBatchOutputInsideSource);
  EXPECT_EQ(Resize(100, true, Dir / "elsewhere/../src_SIZE100/sub/"), ResizeRefused);
  EXPECT_EQ(Messages.size(), 5u);
  for (const std::string& message : Messages) {
    EXPECT_NE(message.find("liegt im Quellordner"), std::string::npos) << message;
  }
  EXPECT_TRUE(Received.empty());
  EXPECT_TRUE(Log().empty());
}

TEST_F(HostileJpegs, aLinkInsideTheOutputTreeNeverLeadsACopyIntoTheSource) {
  const test::TBuiltInTexts english(TLanguage::English);  // the lines as compared below
  test::WriteJpeg(Source + "sub/y.jpg", 200, 150);
  test::WritePicture(Source + "sub/z.bmp", 200, 150, FIF_BMP);
  test::WriteJpeg(Source + "top.jpg", 200, 150);
  for (const std::string output : {"src_MAXSIZE100/", "src_SIZE100 kB/", "src_SIZE100/"}) {
    fs::create_directories(Dir / output);
    fs::create_directory_symlink(Source + "sub", Dir / (output + "sub"));
  }
  FreezeSource();
  Resize(100, true);
  Shrink(100, true);
  Bmps(100, true);
  Jpegs(100, true);
  const auto line = [](const std::string& Name, const std::string& Copy) {
    return "File src/sub/" + Name + " was not written: its copy " + Copy +
           " would land in the source folder";
  };
  EXPECT_EQ(Log(), (std::vector<std::string>{line("y.jpg", "src_MAXSIZE100/sub/y.jpg"),
                                             line("z.bmp", "src_MAXSIZE100/sub/z.jpg"),
                                             line("y.jpg", "src_SIZE100 kB/sub/y.jpg"),
                                             line("z.bmp", "src_SIZE100 kB/sub/z.exBMP.jpg"),
                                             line("z.bmp", "src_SIZE100/sub/z.jpg"),
                                             line("y.jpg", "src_SIZE100/sub/y.jpg")}));
  EXPECT_TRUE(fs::exists(Dir / "src_MAXSIZE100/top.jpg"));
  EXPECT_TRUE(fs::exists(Dir / "src_SIZE100/top.jpg"));
}

// Makes Folder/Name as a folder below a descriptor and returns the new
// folder's descriptor (paths this long cannot be opened whole).
int MakeFolderAt(int Folder, const std::string& Name) {
  EXPECT_EQ(::mkdirat(Folder, Name.c_str(), 0755), 0) << Name.size();
  const int fd = ::openat(Folder, Name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  EXPECT_GE(fd, 0);
  return fd;
}

// Removes the tree below a descriptor, name by name (its paths are too long
// for the temporary folder's own clean-up).
void RemoveTreeAt(int Folder) {
  DIR* dir = ::fdopendir(::dup(Folder));
  ASSERT_NE(dir, nullptr);
  std::vector<std::pair<std::string, bool>> entries;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") entries.emplace_back(name, entry->d_type == DT_DIR);
  }
  ::closedir(dir);
  for (const auto& [name, isFolder] : entries) {
    if (isFolder) {
      const int sub = ::openat(Folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      RemoveTreeAt(sub);
      ::close(sub);
    }
    ::unlinkat(Folder, name.c_str(), isFolder ? AT_REMOVEDIR : 0);
  }
}

void WriteFileAt(int Folder, const std::string& Name, const std::string& Bytes) {
  const int fd = ::openat(Folder, Name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, Bytes.data(), Bytes.size()), static_cast<ssize_t>(Bytes.size()));
  ::close(fd);
}

TEST_F(HostileJpegs, pathsTooLongForTheFileSystemGetALineInEveryBatch) {
  const test::TBuiltInTexts english(TLanguage::English);  // the lines as compared below
  test::WriteJpeg(Source + "short.jpg", 64, 48);
  const std::string picture = ReadWholeFile(Source + "short.jpg");
  // Folders of 200-byte names down to just below the longest path; there a
  // picture whose copy's path is too long, one whose own path is, and a
  // folder that cannot be searched.
  std::string path = Source;
  int fd = ::open(Source.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  while (path.size() + 201 + 20 < MaxPathBytes) {
    const std::string name(200, 'd');
    const int next = MakeFolderAt(fd, name);
    ::close(fd);
    fd = next;
    path += name + "/";
  }
  // Its path is the longest there may be; its copy's path is longer.
  const std::string nearName(MaxPathBytes - path.size() - 4, 'n');
  const std::string overName(MaxPathBytes - path.size() + 5, 'o');
  WriteFileAt(fd, nearName + ".jpg", picture);
  WriteFileAt(fd, overName + ".jpg", picture);
  ::close(MakeFolderAt(fd, std::string(250, 'f')));
  ::close(fd);
  const std::string relative = path.substr(Dir.Path().size());
  const std::string folderLine = "Folder " + relative + std::string(250, 'f') +
                                 "/ was not searched: the path is longer than 4095 bytes";
  const std::string overLine =
      "File " + relative + overName + ".jpg was skipped: the path is longer than 4095 bytes";
  const auto copyLine = [&](const std::string& Output, const std::string& Extension) {
    return "File " + relative + nearName + ".jpg was skipped: its copy " + Output +
           relative.substr(3) + nearName + "." + Extension +
           " cannot be made, the path is longer than 4095 bytes";
  };
  Resize(32);
  EXPECT_EQ(Log(),
            (std::vector<std::string>{folderLine, copyLine("src_MAXSIZE32", "jpg"), overLine}));
  ErrorLog.clear();
  Shrink(5);
  EXPECT_EQ(Log(),
            (std::vector<std::string>{folderLine, copyLine("src_SIZE5 kB", "jpg"), overLine}));
  ErrorLog.clear();
  Jpegs(32);
  EXPECT_EQ(Log(), (std::vector<std::string>{folderLine, copyLine("src_SIZE32", "jpg"), overLine}));
  EXPECT_TRUE(fs::exists(Dir / "src_MAXSIZE32/short.jpg"));
  EXPECT_TRUE(fs::exists(Dir / "src_SIZE5 kB/short.jpg"));
  EXPECT_TRUE(fs::exists(Dir / "src_SIZE32/short.jpg"));
  for (const std::string folder : {"src/", "src_MAXSIZE32/", "src_SIZE5 kB/", "src_SIZE32/"}) {
    const int top = ::open((Dir / folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    RemoveTreeAt(top);
    ::close(top);
  }
}

TEST_F(HostileJpegs, aCopyWhoseFolderCannotBeMadeGetsALineInTheResizeJob) {
  const test::TBuiltInTexts english(TLanguage::English);  // the lines as compared below
  test::WriteJpeg(Source + "sub/a.jpg", 64, 48);
  test::WriteJpeg(Source + "b.jpg", 64, 48);
  WriteTextFile(Dir / "src_MAXSIZE32/sub", "a file where the folder would be");
  FreezeSource();
  Resize(32);
  EXPECT_EQ(Log(),
            std::vector<std::string>{"File src/sub/a.jpg got no copy: the folder "
                                     "src_MAXSIZE32/sub/ could not be created (File exists)"});
  EXPECT_TRUE(fs::exists(Dir / "src_MAXSIZE32/b.jpg"));
}

}  // namespace
}  // namespace pictrim
