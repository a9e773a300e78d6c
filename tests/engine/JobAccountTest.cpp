// The account of a job: every listed file counted once, as written, skipped
// or failed, with a line for each file that got no copy or a copy that may be
// incomplete; the same for the resize, file-size and command-line batches.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/JobAccount.h"
#include "engine/Resize.h"
#include "tests/common/Languages.h"
#include "tests/common/TestPictures.h"
#include "tests/engine/BatchFixture.h"
#include "util/Texts.h"

namespace pictrim {

void PrintTo(const TJobAccount& Account, std::ostream* Out) {
  *Out << "{Written " << Account.Written << ", Damaged " << Account.Damaged << ", Existing "
       << Account.Existing << ", NotPictures " << Account.NotPictures << ", Failed "
       << Account.Failed << ", NotReached " << Account.NotReached << "}";
}

namespace {

namespace fs = std::filesystem;
using test::PictureSize;
using test::WriteJpeg;
using test::WritePicture;
using test::WriteTextFile;
using Lines = std::vector<std::string>;

// Cuts a file to Size bytes (a fraction of it when Size is below 1).
void Cut(const std::string& Path, double Size) {
  const auto whole = static_cast<double>(fs::file_size(Path));
  fs::resize_file(Path, static_cast<uintmax_t>(Size < 1 ? whole * Size : Size));
}

// The account in English for the time of a test.
struct TEnglishTexts : test::TBuiltInTexts {
  TEnglishTexts() : TBuiltInTexts(TLanguage::English) {}
};

TEST(JobAccountLines, endWithTheCountsAndExplainWhatIsNotPlainlyWritten) {
  const TEnglishTexts english;
  const TJobAccount mixed{
      .Written = 3, .Damaged = 1, .Existing = 2, .NotPictures = 1, .Failed = 1, .NotReached = 4};
  EXPECT_EQ(AccountLines(mixed, "--overwrite"),
            (Lines{"1 written from a damaged source: the copy may be incomplete",
                   "2 skipped: their copies exist (--overwrite replaces them)", "1 not a picture",
                   "4 not done: the job stopped before them", "3 written, 3 skipped, 1 failed"}));
  EXPECT_EQ(AccountLines(TJobAccount{.Written = 5}, "--overwrite"),
            (Lines{"5 written, 0 skipped, 0 failed"}));
  const TJobAccount plural{
      .Written = 5, .Damaged = 2, .Existing = 1, .NotPictures = 2, .NotReached = 1};
  EXPECT_EQ(AccountLines(plural, ""),
            (Lines{"2 written from damaged sources: the copies may be incomplete",
                   "1 skipped: its copy exists", "2 not pictures",
                   "1 not done: the job stopped before it", "5 written, 3 skipped, 0 failed"}));
  EXPECT_EQ(AccountSummary(TJobAccount{}), "0 written, 0 skipped, 0 failed");
  // The window keeps the copies of damaged sources in sight with the counts.
  EXPECT_EQ(AccountSummaryInSight(mixed),
            "3 written (1 from a damaged source), 3 skipped, 1 failed");
  EXPECT_EQ(AccountSummaryInSight(plural),
            "5 written (2 from damaged sources), 3 skipped, 0 failed");
  EXPECT_EQ(AccountSummaryInSight(TJobAccount{.Written = 5, .Failed = 2}),
            "5 written, 0 skipped, 2 failed");

  TJobAccount both = mixed;
  both += plural;
  EXPECT_EQ(both, (TJobAccount{.Written = 8,
                               .Damaged = 3,
                               .Existing = 3,
                               .NotPictures = 3,
                               .Failed = 1,
                               .NotReached = 5}));
  EXPECT_EQ(both.Total(), mixed.Total() + plural.Total());
}

TEST(JobAccountLines, speakTheLanguageInUse) {
  const TJobAccount mixed{.Written = 1, .Existing = 2, .NotPictures = 1, .Failed = 1};
  EXPECT_EQ(
      AccountLines(mixed, "\"Dateien überschreiben\""),
      (Lines{"2 übersprungen: die Kopien gibt es schon (\"Dateien überschreiben\" ersetzt sie)",
             "1 kein Bild", "1 geschrieben, 3 übersprungen, 1 fehlgeschlagen"}));
}

TEST(JobAccountLines, knowPicturesByTheirExtensionCameraRawsIncluded) {
  for (const char* ext : {"jpg", "jpeg", "png", "gif", "bmp", "tif", "tiff", "heic", "heif", "avif",
                          "webp", "cr2", "nef", "arw", "dng", "orf", "rw2", "raf"})
    EXPECT_TRUE(IsPictureExtension(ext)) << ext;
  for (const char* ext : {"", "mp4", "mov", "xmp", "thm", "pdf", "txt", "JPG", "jpgx"})
    EXPECT_FALSE(IsPictureExtension(ext)) << ext;
}

class AccountedResize : public test::BatchTest {
 protected:
  void Run(bool Overwrite = false) {
    Account = {};
    ErrorLog.clear();
    ASSERT_EQ(ConvertPICsWholeTree(&Window, Source, "", 800, 800, "", TextAtTop, WM_BATCH_PROGRESS,
                                   WM_BATCH_FILE, Overwrite, ErrorLog, &Account),
              0);
    Window.pump();
  }
  std::string Out(const std::string& Name) const { return Dir / ("src_MAXSIZE800/" + Name); }
  // The log lines that name the file, paths relative to the temporary folder.
  Lines LinesOf(const std::string& Name) const {
    Lines found;
    for (const std::string& line : Log())
      if (line.find("src/" + Name) != std::string::npos) found.push_back(line);
    return found;
  }

  TJobAccount Account;
};

TEST_F(AccountedResize, countsEveryListedFileOnceAndNamesEachThatGotNoCopy) {
  const test::TBuiltInTexts english(TLanguage::English);  // the lines as compared below
  WriteJpeg(Source + "a.jpg", 120, 90);
  // a.png's copy, named apart from a.jpg's, would be a.exPNG.jpg, the copy of
  // a JPEG of that name.
  WritePicture(Source + "a.png", 90, 120, FIF_PNG);
  WriteJpeg(Source + "a.exPNG.jpg", 40, 30);
  WritePicture(Source + "sub/b.bmp", 100, 100, FIF_BMP);
  WriteTextFile(Source + "notes.txt", "skipped without a word");
  WriteTextFile(Source + "clip.mp4", "no picture");
  WriteTextFile(Source + "IMG_0001.xmp", "<x:xmpmeta/>");
  WriteTextFile(Source + "photo.jxl", "a picture by its name only, in a format none reads");
  WriteTextFile(Source + "fake.jpg", "a picture by its name only");
  FreezeSource();

  Run();
  EXPECT_EQ(Account, (TJobAccount{.Written = 3, .NotPictures = 3, .Failed = 3}));
  ASSERT_EQ(LinesOf("a.png").size(), 1u);
  EXPECT_EQ(LinesOf("a.png")[0],
            "File src/a.png got no copy: its copy's name src_MAXSIZE800/a.exPNG.jpg is taken by "
            "the copy of src/a.exPNG.jpg");
  EXPECT_EQ(LinesOf("photo.jxl"), (Lines{UnreadablePictureLine("src/photo.jxl")}));
  EXPECT_EQ(LinesOf("fake.jpg").size(), 1u);
  for (const char* quiet : {"notes.txt", "clip.mp4", "IMG_0001.xmp"})
    EXPECT_TRUE(LinesOf(quiet).empty()) << quiet;
  EXPECT_EQ(Log().size(), 3u);

  // Again: the copies are there, the PNG is still named, nothing else.
  Run();
  EXPECT_EQ(Account, (TJobAccount{.Existing = 3, .NotPictures = 3, .Failed = 3}));
  EXPECT_EQ(LinesOf("a.png").size(), 1u);

  // Overwriting replaces a copy with its own source's, never with a sibling's.
  Run(true);
  EXPECT_EQ(Account, (TJobAccount{.Written = 3, .NotPictures = 3, .Failed = 3}));
  EXPECT_EQ(PictureSize(Out("a.jpg")), QSize(800, 600));
  EXPECT_EQ(PictureSize(Out("a.exPNG.jpg")), QSize(800, 600));
}

TEST_F(AccountedResize, aDamagedSourceStillGetsItsCopyAndALineThatSaysItMayBeIncomplete) {
  const test::TBuiltInTexts english(TLanguage::English);  // the lines as compared below
  WriteJpeg(Source + "whole.jpg", 640, 480);
  WriteJpeg(Source + "cutj.jpg", 640, 480);
  Cut(Source + "cutj.jpg", 0.5);
  WritePicture(Source + "cutb.bmp", 300, 200, FIF_BMP);
  Cut(Source + "cutb.bmp", 3000);
  WritePicture(Source + "cutt.tga", 300, 200, FIF_TARGA);
  Cut(Source + "cutt.tga", 0.6);
  WritePicture(Source + "cutp.ppm", 300, 200, FIF_PPMRAW);
  Cut(Source + "cutp.ppm", 0.6);
  WritePicture(Source + "wholebmp.bmp", 30, 20, FIF_BMP);
  FreezeSource();

  Run();
  EXPECT_EQ(Account, (TJobAccount{.Written = 6, .Damaged = 4}));
  for (const char* name : {"cutj.jpg", "cutb.bmp", "cutt.tga", "cutp.ppm"}) {
    const Lines lines = LinesOf(name);
    ASSERT_EQ(lines.size(), 1u) << name;
    EXPECT_EQ(lines[0].rfind("File src/" + std::string(name) + " is damaged (", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("): its copy may be incomplete"), std::string::npos) << lines[0];
  }
  EXPECT_TRUE(LinesOf("whole.jpg").empty());
  EXPECT_TRUE(LinesOf("wholebmp.bmp").empty());
  EXPECT_EQ(PictureSize(Out("cutj.jpg")), QSize(800, 600));
  EXPECT_EQ(PictureSize(Out("cutb.jpg")), QSize(800, 533));
}

TEST_F(AccountedResize, aJpegWithCorruptDataIsNamedAsDamaged) {
  WriteJpeg(Source + "marked.jpg", 640, 480);
  std::string bytes = test::ReadWholeFile(Source + "marked.jpg");
  const size_t middle = bytes.size() / 2;
  bytes[middle] = '\xff';
  bytes[middle + 1] = '\xd5';  // a restart marker where none belongs
  WriteTextFile(Source + "marked.jpg", bytes);
  // One stray byte between two header segments: a single warning is enough.
  WriteJpeg(Source + "stray.jpg", 64, 48);
  std::string stray = test::ReadWholeFile(Source + "stray.jpg");
  ASSERT_EQ(stray.substr(0, 4), "\xff\xd8\xff\xe0");
  const size_t app0End =
      4 + ((size_t{static_cast<uint8_t>(stray[4])} << 8) | static_cast<uint8_t>(stray[5]));
  stray.insert(app0End, 1, '\0');
  WriteTextFile(Source + "stray.jpg", stray);
  Run();
  EXPECT_EQ(Account, (TJobAccount{.Written = 2, .Damaged = 2}));
  EXPECT_EQ(LinesOf("marked.jpg").size(), 1u);
  EXPECT_EQ(LinesOf("stray.jpg").size(), 1u);
}

TEST_F(AccountedResize, cutPicturesTheLibraryCannotReadAtAllGetALineAndCountAsFailed) {
  for (const auto& [name, format] : {std::pair{"cut.png", FIF_PNG}, std::pair{"cut.gif", FIF_GIF},
                                     std::pair{"cut.tif", FIF_TIFF}}) {
    WritePicture(Source + name, 300, 200, format, format == FIF_GIF ? 8 : 24);
    Cut(Source + name, 0.5);
  }
  Run();
  EXPECT_EQ(Account, (TJobAccount{.Failed = 3}));
  for (const char* name : {"cut.png", "cut.gif", "cut.tif"})
    EXPECT_EQ(LinesOf(name).size(), 1u) << name;
}

TEST_F(AccountedResize, filesAfterACancelAreCountedAsNotReached) {
  for (int i = 0; i < 4; ++i) WriteJpeg(Source + "p" + std::to_string(i) + ".jpg", 64, 48);
  OnMessage = [](const TBatchMessage& Message) {
    if (Message.Message == WM_BATCH_PROGRESS && Message.LParam > 0) CancelRequested = true;
  };
  Run();
  EXPECT_EQ(Account.Written, 1);
  EXPECT_EQ(Account.NotReached, 3);
  EXPECT_EQ(Account.Total(), 4);
}

class AccountedShrink : public AccountedResize {
 protected:
  void Run(bool Overwrite = false) {
    Account = {};
    ErrorLog.clear();
    ASSERT_EQ(ConvertPICsWholeTree2(&Window, Source, "", "", 20, "", TextAtTop, WM_BATCH_PROGRESS,
                                    WM_BATCH_FILE, Overwrite, false, ErrorLog, &Account),
              0);
    Window.pump();
  }
};

TEST_F(AccountedShrink, countsAsTheResizeJobDoesWithItsOwnSilentExtensions) {
  WriteJpeg(Source + "a.jpg", 640, 480);
  WritePicture(Source + "sub/b.png", 200, 150, FIF_PNG);
  WritePicture(Source + "cut.bmp", 300, 200, FIF_BMP);
  Cut(Source + "cut.bmp", 5000);
  WriteJpeg(Source + "cutphoto.jpg", 1200, 900);
  Cut(Source + "cutphoto.jpg", 0.7);
  WriteTextFile(Source + "voice.wav", "skipped without a word");
  WriteTextFile(Source + "clip.mov", "no picture");
  WriteTextFile(Source + "raw.nef", "a picture by its name only");
  FreezeSource();

  Run();
  EXPECT_EQ(Account, (TJobAccount{.Written = 4, .Damaged = 2, .NotPictures = 2, .Failed = 1}));
  EXPECT_EQ(LinesOf("cut.bmp").size(), 1u);
  EXPECT_EQ(LinesOf("cutphoto.jpg").size(), 1u);
  EXPECT_TRUE(LinesOf("a.jpg").empty());
  EXPECT_EQ(LinesOf("raw.nef").size(), 1u);
  EXPECT_TRUE(LinesOf("voice.wav").empty());
  EXPECT_TRUE(fs::exists(Dir / "src_SIZE20 kB/cut.exBMP.jpg"));

  Run();
  EXPECT_EQ(Account, (TJobAccount{.Existing = 4, .NotPictures = 2, .Failed = 1}));
}

class AccountedCommandLine : public AccountedResize {
 protected:
  void RunBoth(uint32_t Edge) {
    Account = {};
    ErrorLog.clear();
    EXPECT_EQ(ConvertBMPtoJPEGtree(&Window, Source, "", Edge, "", WM_BATCH_PROGRESS, WM_BATCH_FILE,
                                   false, ErrorLog, &Account),
              0);
    EXPECT_EQ(SaveJPEGtreeDownSized(&Window, Source, "", Edge, 0, "", WM_BATCH_PROGRESS,
                                    WM_BATCH_FILE, false, ErrorLog, &Account),
              0);
    Window.pump();
  }
};

TEST_F(AccountedCommandLine, bothBatchesAddToOneAccountAndNameDamagedSources) {
  WritePicture(Source + "scan.bmp", 300, 200, FIF_BMP);
  WritePicture(Source + "cutscan.bmp", 300, 200, FIF_BMP);
  Cut(Source + "cutscan.bmp", 3000);
  WriteJpeg(Source + "photo.jpg", 640, 480);
  WriteJpeg(Source + "cutphoto.jpg", 640, 480);
  Cut(Source + "cutphoto.jpg", 0.5);
  WriteTextFile(Source + "fake.jpg", "no JPEG");
  FreezeSource();

  RunBoth(150);
  EXPECT_EQ(Account, (TJobAccount{.Written = 4, .Damaged = 2, .Failed = 1}));
  EXPECT_EQ(LinesOf("cutscan.bmp").size(), 1u);
  EXPECT_EQ(LinesOf("cutphoto.jpg").size(), 1u);
  EXPECT_TRUE(LinesOf("scan.bmp").empty());
  EXPECT_EQ(PictureSize(Dir / "src_SIZE150/cutscan.jpg"), QSize(150, 100));

  RunBoth(150);
  EXPECT_EQ(Account, (TJobAccount{.Existing = 4, .Failed = 1}));
}

TEST_F(AccountedCommandLine, aBmpWhoseHeaderStatesCompressedDataIsJudgedByThatSize) {
  // An RLE8 bitmap of 4 x 2: header, 256 palette entries, 12 bytes of data.
  std::string bmp = "BM";
  const auto le = [&bmp](uint32_t Value, int Bytes) {
    for (int i = 0; i < Bytes; ++i) bmp += static_cast<char>(Value >> (8 * i));
  };
  const uint32_t offset = 14 + 40 + 1024;
  const std::string data = {4, 1, 0, 0, 4, 2, 0, 0, 0, 1, 0, 0};
  le(offset + static_cast<uint32_t>(data.size()), 4);
  le(0, 4);
  le(offset, 4);
  le(40, 4);
  le(4, 4);
  le(2, 4);
  le(1, 2);
  le(8, 2);
  le(1, 4);  // RLE8
  le(static_cast<uint32_t>(data.size()), 4);
  le(2835, 4);
  le(2835, 4);
  le(256, 4);
  le(0, 4);
  for (int i = 0; i < 256; ++i) le(static_cast<uint32_t>(i * 0x010101), 4);
  WriteTextFile(Source + "rle.bmp", bmp + data);
  WriteTextFile(Source + "cutrle.bmp", bmp + data.substr(0, 6));
  RunBoth(8);
  EXPECT_TRUE(LinesOf("rle.bmp").empty()) << ::testing::PrintToString(Log());
  EXPECT_EQ(LinesOf("cutrle.bmp").size(), 1u) << ::testing::PrintToString(Log());
}

}  // namespace
}  // namespace pictrim
