// Every batch finishes within its bounds: a picture that JPEG cannot hold at
// its own size still gets a copy in the file-size job, only a failing output
// folder ends a run (and says why), and a file stopped by a cancel leaves no
// copy behind.
#include <gtest/gtest.h>

#include <QImage>
#include <cerrno>
#include <cstring>
#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "engine/JobAccount.h"
#include "engine/Resize.h"
#include "image/IsolatedDecode.h"
#include "image/JpegImage.h"
#include "tests/common/DiskFull.h"
#include "tests/common/HeifPictures.h"
#include "tests/common/Languages.h"
#include "tests/common/TestPictures.h"
#include "tests/engine/BatchFixture.h"
#include "util/SystemUtils.h"

namespace pictrim {
namespace {

namespace fs = std::filesystem;
using test::PictureSize;
using test::WriteJpeg;
using test::WritePicture;
using Lines = std::vector<std::string>;

// A long screenshot: Width x Height rows of stripes and a gradient, which
// compresses well but not to nothing.
void WriteTallPng(const std::string& Path, int Width, int Height) {
  QImage picture(Width, Height, QImage::Format_RGB888);
  for (int y = 0; y < Height; ++y) {
    uchar* row = picture.scanLine(y);
    for (int x = 0; x < Width; ++x) {
      row[3 * x] = static_cast<uchar>((y / 40) % 2 == 0 ? 240 : 30);
      row[3 * x + 1] = static_cast<uchar>(x);
      row[3 * x + 2] = static_cast<uchar>(y % 251);
    }
  }
  ASSERT_TRUE(picture.save(QString::fromStdString(Path), "PNG"));
}

class BoundedShrink : public test::BatchTest {
 protected:
  void Run(uint32_t TargetKB, bool Overwrite = false) {
    Account = {};
    ASSERT_EQ(ConvertPICsWholeTree2(&Window, Source, "", "", TargetKB, "", TextAtTop,
                                    WM_BATCH_PROGRESS, WM_BATCH_FILE, Overwrite, false, ErrorLog,
                                    &Account),
              0);
    Window.pump();
  }
  std::string Out(const std::string& Name, uint32_t TargetKB) const {
    return Dir / ("src_SIZE" + std::to_string(TargetKB) + " kB/" + Name);
  }
  TJobAccount Account;
  const test::TBuiltInTexts English{TLanguage::English};
};

TEST_F(BoundedShrink, aPictureTallerThanJpegHoldsGetsACopyWithinTheTargetAndTheRunGoesOn) {
  WriteTallPng(Source + "a.png", 200, 70000);
  WritePicture(Source + "b.png", 640, 480, FIF_PNG);
  FreezeSource();
  Run(60);
  const QSize tall = PictureSize(Out("a.exPNG.jpg", 60));
  ASSERT_FALSE(tall.isEmpty());
  EXPECT_LE(tall.height(), static_cast<int>(MaxJpegSide));
  EXPECT_LE(fs::file_size(Out("a.exPNG.jpg", 60)), 60u * 1024 + 1024);
  EXPECT_TRUE(fs::exists(Out("b.exPNG.jpg", 60)));
  EXPECT_TRUE(Messages.empty());
  EXPECT_EQ(Log(), (Lines{"File src/a.png cannot be saved as a JPEG at 200 x 70000 pixels: "
                          "its copy is made from 187 x 65500"}));
  EXPECT_EQ(Account, (TJobAccount{.Written = 2}));
}

TEST_F(BoundedShrink, aPictureTooWideForJpegThatFitsWhenSmallerIsWrittenSmaller) {
  // 8 x 65536 as a mutated file may declare: one row more than JPEG holds.
  WriteTallPng(Source + "thin.png", 8, 65536);
  FreezeSource();
  Run(200);
  const QSize copy = PictureSize(Out("thin.exPNG.jpg", 200));
  EXPECT_EQ(copy, QSize(7, 65500));
  EXPECT_EQ(Account.Written, 1);
}

TEST_F(BoundedShrink, aFullDiskDuringTheSearchEndsTheRunToo) {
  WriteJpeg(Source + "a.jpg", 1200, 900, 95, 3);
  WriteJpeg(Source + "b.jpg", 1200, 900, 95, 4);
  FreezeSource();
  {
    const test::TDiskFullAbove disk(4000);
    Run(20);
  }
  EXPECT_EQ(Log(), (Lines{"File src/a.jpg could not be saved as src_SIZE20 kB/a.jpg (" +
                          std::string(std::strerror(EFBIG)) + "): the run ended there"}));
  EXPECT_FALSE(fs::exists(Out("a.jpg", 20)));
  EXPECT_EQ(Account, (TJobAccount{.Failed = 1, .NotReached = 1}));
}

class BoundedResize : public BoundedShrink {
 protected:
  void RunResize(uint32_t Edge) {
    Account = {};
    ASSERT_EQ(ConvertPICsWholeTree(&Window, Source, "", Edge, Edge, "", TextAtTop,
                                   WM_BATCH_PROGRESS, WM_BATCH_FILE, true, ErrorLog, &Account),
              0);
    Window.pump();
  }
};

// A phone photo whose coded data lost a few bits: its copy is made (the
// decoder conceals what it can) and named as damaged, in both jobs.
TEST_F(BoundedResize, aPhonePhotoWithFlippedBitsGetsItsCopyAndTheDamagedLine) {
  test::WriteHeifGrid(Source + "IMG_0001.HEIC", test::MakeNaturalImage(192, 128, 4), 2, 2);
  std::string file = test::ReadWholeFile(Source + "IMG_0001.HEIC");
  const size_t data = file.find("mdat") + 4;
  for (size_t at = data + 300; at < file.size(); at += (file.size() - data) / 6)
    file[at] = static_cast<char>(file[at] ^ 0x10);
  test::WriteTextFile(Source + "IMG_0001.HEIC", file);
  FreezeSource();
  RunResize(100);
  EXPECT_EQ(Account, (TJobAccount{.Written = 1, .Damaged = 1}));
  ASSERT_EQ(Log().size(), 1u);
  EXPECT_EQ(Log()[0].rfind("File src/IMG_0001.HEIC is damaged (", 0), 0u) << Log()[0];
  ErrorLog.clear();
  Run(5);
  EXPECT_EQ(Account, (TJobAccount{.Written = 1, .Damaged = 1}));
  EXPECT_EQ(Log().size(), 1u);
}

// The loader's line of every failure says why: the pixel limit, the memory
// budget, the time limit, the library's own words; the program's words in
// the language in use.
TEST_F(BoundedResize, theLoadersLineSaysWhyInTheLanguageInUse) {
  WritePicture(Source + "big.png", 400, 300, FIF_PNG);
  WritePicture(Source + "spin.png", 40, 30, FIF_PNG);
  test::WriteTextFile(Source + "cut.heic",
                      test::EncodeHeif(test::MakeNaturalImage(96, 64, 2)).substr(0, 200));
  FreezeSource();
  const std::string loader = "EXCEPTION in ConvertPICsWholeTree - FBitmap.Load() with  File \"src/";
  TDecodeLimits limits;
  limits.MaxPixels = 400 * 300 - 1;
  limits.Seconds = 1;
  SetDecodeLimits(limits);
  ::setenv("PICTRIM_DECODER_MISBEHAVE", "spin:spin.png", 1);
  RunResize(64);
  ::unsetenv("PICTRIM_DECODER_MISBEHAVE");
  std::vector<std::string> log = Log();
  std::sort(log.begin(), log.end());
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0], loader + "big.png\" (the picture has more pixels than allowed)");
  EXPECT_TRUE(log[1].starts_with(loader + "cut.heic\" (the library could not decode the file: "))
      << log[1];
  EXPECT_EQ(log[2], loader + "spin.png\" (the decoder was stopped after 1 s of processor time)");

  ErrorLog.clear();
  limits = TDecodeLimits();
  limits.BudgetBytes = 100'000;  // less than the picture and its copy need
  SetDecodeLimits(limits);
  {
    const test::TBuiltInTexts german(TLanguage::German);
    RunResize(64);
  }
  SetDecodeLimits(TDecodeLimits());
  log = Log();
  std::sort(log.begin(), log.end());
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], loader + "big.png\" (das Bild braucht mehr Speicher als erlaubt)");
  EXPECT_TRUE(log[1].starts_with(loader + "cut.heic\" (die Bibliothek konnte die Datei nicht "
                                          "dekodieren: "))
      << log[1];
}

}  // namespace
}  // namespace pictrim
