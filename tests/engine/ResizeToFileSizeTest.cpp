#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "engine/Resize.h"
#include "engine/SizeSearch.h"
#include "image/ImageBitmap.h"
#include "image/JpegImage.h"
#include "platform/FileTimes.h"
#include "tests/common/DiskFull.h"
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
using test::WriteTextFile;

bool HasExifSegment(const std::string& Path) {
  const std::string bytes = test::ReadWholeFile(Path);
  const size_t sos = bytes.find("\xFF\xDA");
  const size_t exif = bytes.find(std::string("Exif\0\0", 6));
  return exif != std::string::npos && exif < sos;
}

// A placeable Windows metafile of Width x Height pixels (96 per inch) with a
// red rectangle on white.
std::string MakeMetafile(int16_t Width, int16_t Height) {
  std::string out;
  const auto word = [&out](int v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
  };
  const auto dword = [&](unsigned v) {
    word(static_cast<int>(v & 0xFFFF));
    word(static_cast<int>(v >> 16));
  };
  // Placeable header: key, handle, bounds, units per inch, reserved, checksum.
  const int header[10] = {0xCDD7, 0x9AC6, 0, 0, 0, Width, Height, 96, 0, 0};
  int checksum = 0;
  for (int w : header) {
    word(w);
    checksum ^= w;
  }
  word(checksum);
  std::string records;
  const auto record = [&records](int function, std::initializer_list<int> params) {
    const unsigned size = 3 + static_cast<unsigned>(params.size());
    for (int i = 0; i < 2; ++i) records += static_cast<char>((size >> (8 * i)) & 0xFF);
    records += '\0';
    records += '\0';
    records += static_cast<char>(function & 0xFF);
    records += static_cast<char>((function >> 8) & 0xFF);
    for (int p : params) {
      records += static_cast<char>(p & 0xFF);
      records += static_cast<char>((p >> 8) & 0xFF);
    }
  };
  record(0x020B, {0, 0});                      // SetWindowOrg(y, x)
  record(0x020C, {Height, Width});             // SetWindowExt(y, x)
  record(0x02FC, {0, 0x00FF, 0x0000, 0});      // CreateBrushIndirect: solid red
  record(0x012D, {0});                         // SelectObject
  record(0x041B, {Height - 4, Width - 4, 4, 4});  // Rectangle(bottom, right, top, left)
  record(0x0000, {});                          // end of file
  const unsigned totalWords = 9 + static_cast<unsigned>(records.size() / 2);
  word(1);      // in memory
  word(9);      // header words
  word(0x0300); // version
  dword(totalWords);
  word(1);      // objects
  dword(7);     // largest record
  word(0);
  return out + records;
}

class FileSizeBatch : public test::BatchTest {
 protected:
  int Run(uint32_t TargetKB, bool Overwrite = false, const std::string& Text = "",
          uint8_t Position = TextAtTop) {
    const int result = ConvertPICsWholeTree2(&Window, Source, "", "", TargetKB, Text, Position,
                                             WM_BATCH_PROGRESS, WM_BATCH_FILE, Overwrite, false,
                                             ErrorLog);
    Window.pump();
    return result;
  }
  std::string Out(const std::string& Name, uint32_t TargetKB) const {
    return Dir / ("src_SIZE" + std::to_string(TargetKB) + " kB/" + Name);
  }
  std::vector<std::string> TrialTexts() const {
    std::vector<std::string> out;
    for (const auto& m : Received) {
      if (m.Message == WM_BATCH_STATUS && m.Text.find(" - test Size:  ") != std::string::npos) {
        out.push_back(m.Text);
      }
    }
    return out;
  }
};

TEST_F(FileSizeBatch, refusesBadGuardValuesAndAnEmptySource) {
  EXPECT_EQ(ConvertPICsWholeTree2(&Window, Source, "", "", 50, "", 0, 1000, 1026, false, false,
                                  ErrorLog),
            -26101);
  EXPECT_EQ(ConvertPICsWholeTree2(&Window, "", "", "", 50, "", 0, 1025, 1026, false, false,
                                  ErrorLog),
            -26101);
  EXPECT_TRUE(Received.empty());
}

TEST_F(FileSizeBatch, theFirstTrialWidthFollowsFromTheFullSizeSave) {
  WriteJpeg(Source + "IMG_0001.jpg", 1600, 1200, 95, 7);
  FreezeSource();
  // The full-size save as the batch makes it, to know S.
  TImageBitmap picture;
  ASSERT_TRUE(picture.Load(Source + "IMG_0001.jpg"));
  std::vector<uint8_t> full;
  ASSERT_TRUE(picture.SaveToBytes(FIF_JPEG, full, JPEG_DEFAULT));
  const uint32_t target = 60;
  const int64_t a = RoundHalfEven(double(target) * 1600 * 1200 / double(full.size()));
  const int64_t b = RoundHalfEven(double(a) * 1200 / 1600);

  Run(target);
  const std::vector<std::string> trials = TrialTexts();
  ASSERT_FALSE(trials.empty());
  EXPECT_EQ(trials[0], "IMG_0001.jpg  No 1 - test Size:  " + std::to_string(a) + " x " +
                           std::to_string(b));
  const int64_t size = GetFileSizeByName(Out("IMG_0001.jpg", target));
  const int64_t tolerance = std::max<int64_t>(size / 100, 1024);
  EXPECT_LT(size, target * 1024 + tolerance);
  EXPECT_TRUE(Log().empty());
}

TEST_F(FileSizeBatch, aFittingJpegSourceIsCopiedByteForByteWithItsTime) {
  PICTRIM_REQUIRE_TESTDATA();
  const std::string fuji = test::TestDataDir() + "fujifilm-dx10.jpg";
  if (!fs::exists(fuji)) GTEST_SKIP() << "no test data";
  fs::copy_file(fuji, Source + "fuji.jpg");
  SetFileModTime(Source + "fuji.jpg", TFileTime{1000000000, 5});
  FreezeSource();
  Run(500, false, "not stamped");
  EXPECT_EQ(test::ReadWholeFile(Out("fuji.jpg", 500)), test::ReadWholeFile(Source + "fuji.jpg"));
  EXPECT_EQ(GetFileModTime(Out("fuji.jpg", 500)), (TFileTime{1000000000, 5}));
  EXPECT_TRUE(TrialTexts().empty());
}

TEST_F(FileSizeBatch, aFittingPngIsTheFullSizeSaveUnderItsExName) {
  WritePicture(Source + "Bild.png", 64, 48, FIF_PNG);
  FreezeSource();
  Run(200, false, "not stamped");
  const std::string out = Out("Bild.exPNG.jpg", 200);
  ASSERT_TRUE(fs::exists(out));
  TImageBitmap picture;
  ASSERT_TRUE(picture.Load(Source + "Bild.png"));
  std::vector<uint8_t> expected;
  picture.SaveToBytes(FIF_JPEG, expected, JPEG_DEFAULT);
  EXPECT_EQ(ReadFileBytes(out), expected);  // no stamp
  EXPECT_EQ(Notes()[1], "FILE src_SIZE200 kB/Bild.exPNG.jpg");
}

TEST_F(FileSizeBatch, onlyAOnePixelHeightIsRefused) {
  WritePicture(Source + "flat.png", 300, 1, FIF_PNG);
  WritePicture(Source + "thin.png", 1, 300, FIF_PNG);
  FreezeSource();
  Run(100);
  EXPECT_EQ(Log(), (std::vector<std::string>{"src/flat.png  cannot be resized"}));
  EXPECT_FALSE(fs::exists(Out("flat.exPNG.jpg", 100)));
  EXPECT_TRUE(fs::exists(Out("thin.exPNG.jpg", 100)));
}

TEST_F(FileSizeBatch, exifIsCarriedAboveNineKilobytesOnly) {
  PICTRIM_REQUIRE_TESTDATA();
  const std::string fuji = test::TestDataDir() + "fujifilm-dx10.jpg";
  if (!fs::exists(fuji)) GTEST_SKIP() << "no test data";
  fs::copy_file(fuji, Source + "fuji.jpg");
  FreezeSource();
  Run(9);
  Run(40);
  ASSERT_TRUE(fs::exists(Out("fuji.jpg", 9)));
  EXPECT_FALSE(HasExifSegment(Out("fuji.jpg", 9)));
  ASSERT_TRUE(fs::exists(Out("fuji.jpg", 40)));
  EXPECT_TRUE(HasExifSegment(Out("fuji.jpg", 40)));
  TJpegImage jpeg;
  jpeg.LoadFromFile(Out("fuji.jpg", 40));
  EXPECT_LT(jpeg.Width(), 1024u);
  EXPECT_EQ(jpeg.ToBitmap().width(), static_cast<int>(jpeg.Width()));
  EXPECT_EQ(jpeg.DecodeWarnings(), 0);
}

TEST_F(FileSizeBatch, cancelDuringTheSearchEndsTheRunAndLeavesNoCopy) {
  WriteJpeg(Source + "a.jpg", 1200, 900, 95, 3);
  WriteJpeg(Source + "b.jpg", 1200, 900, 95, 4);
  FreezeSource();
  OnMessage = [](const TBatchMessage& m) {
    if (m.Message == WM_BATCH_STATUS && m.Text.find("No 1 - ") != std::string::npos) {
      CancelRequested = true;
    }
  };
  Run(20);
  const std::vector<std::string> notes = Notes();
  EXPECT_EQ(notes[notes.size() - 2], "STATUS Letze Aktion = Prozess abgebrochen");
  EXPECT_EQ(TrialTexts().size(), 1u);
  EXPECT_FALSE(fs::exists(Out("a.jpg", 20)));
  EXPECT_FALSE(fs::exists(Out("b.jpg", 20)));
  EXPECT_TRUE(Log().empty());
}

TEST_F(FileSizeBatch, gifAndLowDepthSourcesAreConvertedInMemory) {
  WritePicture(Source + "anim.gif", 400, 300, FIF_GIF, 8);
  WritePicture(Source + "mono.bmp", 400, 300, FIF_BMP, 1);
  WritePicture(Source + "alpha.png", 400, 300, FIF_PNG, 32);
  FreezeSource();
  const auto before = fs::current_path();
  Run(5);
  EXPECT_TRUE(Log().empty());
  EXPECT_TRUE(Messages.empty());
  for (const char* name : {"anim.exGIF.jpg", "mono.exBMP.jpg", "alpha.exPNG.jpg"}) {
    ASSERT_TRUE(fs::exists(Out(name, 5))) << name;
    EXPECT_LE(GetFileSizeByName(Out(name, 5)), 5 * 1024 + 1024) << name;
  }
  EXPECT_FALSE(fs::exists(before / "temp.bmp"));
}

TEST_F(FileSizeBatch, aMetafileIsRenderedAtItsOwnSize) {
  WriteTextFile(Source + "chart.wmf", MakeMetafile(120, 80));
  FreezeSource();
  Run(100);
  EXPECT_TRUE(Log().empty());
  const std::string out = Out("chart.exWMF.jpg", 100);
  ASSERT_TRUE(fs::exists(out));
  EXPECT_EQ(PictureSize(out), QSize(120, 80));
  TJpegImage jpeg;
  jpeg.LoadFromFile(out);
  const QColor centre = jpeg.ToBitmap().pixelColor(60, 40);
  EXPECT_GT(centre.red(), 200);
  EXPECT_LT(centre.green(), 60);
}

TEST_F(FileSizeBatch, skippedExtensionsAndExistingOutputsPostOnlyTheirStatus) {
  WriteTextFile(Source + "song.mp3", "ID3");
  WriteTextFile(Source + "clip.wav", "RIFF");
  WritePicture(Source + "pic.png", 40, 30, FIF_PNG);
  FreezeSource();
  Run(100);
  Received.clear();
  Run(100);
  EXPECT_EQ(Notes(), (std::vector<std::string>{
                         "STATUS clip.exWAV.jpg", "STATUS pic.exPNG.jpg", "STATUS song.exMP3.jpg",
                         "STATUS Letze Aktion = Größenänderung aller Dateien im Verzeichnis src/",
                         "PROGRESS 4 0"}));
}

TEST_F(FileSizeBatch, aCopyWhoseNameWouldBeTooLongGetsALineAndTheRunGoesOn) {
  const test::TBuiltInTexts english(TLanguage::English);  // the lines as compared below
  // The copy's name (the source's, with ".exPNG.jpg") is longer than a file
  // name may be.
  const std::string longName(246, 'a');
  WritePicture(Source + longName + ".png", 64, 48, FIF_PNG);
  WritePicture(Source + "b.png", 64, 48, FIF_PNG);
  FreezeSource();
  Run(100, /*Overwrite=*/true);
  const std::string out = Out(longName + ".exPNG.jpg", 100);
  EXPECT_TRUE(Messages.empty());
  EXPECT_EQ(Log(),
            (std::vector<std::string>{
                "File src/" + longName + ".png was skipped: its copy src_SIZE100 kB/" + longName +
                ".exPNG.jpg cannot be made, a name in the path is longer than 255 bytes"}));
  EXPECT_TRUE(fs::exists(Out("b.exPNG.jpg", 100)));
}

// A full-size save that cannot be written ends the run with the message and
// a line that says so. Root may write anywhere, so the process's limit on
// file sizes makes the write fail.
TEST_F(FileSizeBatch, aFullDiskEndsTheRunWithAMessageAndALineThatSaysWhy) {
  WritePicture(Source + "a.png", 200, 150, FIF_PNG);
  WritePicture(Source + "b.png", 64, 48, FIF_PNG);
  FreezeSource();
  {
    const test::TDiskFullAbove disk(2000);
    Run(100, /*Overwrite=*/true);
  }
  const std::string out = Out("a.exPNG.jpg", 100);
  EXPECT_EQ(Messages, (std::vector<std::string>{"Error with " + out + "\r" + out}));
  // The lines in the language in use (German until one is chosen), with the
  // system's reason.
  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "Datei src/a.png ließ sich nicht als src_SIZE100 kB/a.exPNG.jpg speichern (" +
                           std::string(std::strerror(EFBIG)) + "): der Lauf endete hier"}));
  EXPECT_FALSE(fs::exists(out));
  EXPECT_FALSE(fs::exists(Out("b.exPNG.jpg", 100)));
  EXPECT_EQ(Notes().back(), "PROGRESS 1 0");
  EXPECT_EQ(Notes()[Notes().size() - 2],
            "STATUS Letze Aktion = Größenänderung aller Dateien im Verzeichnis src/");
}

TEST_F(FileSizeBatch, theStampIsPartOfEveryMeasuredTrial) {
  WriteJpeg(Source + "a.jpg", 800, 600, 95, 9);
  FreezeSource();
  Run(30, false, "(c) Pictrim", TextAtTop | TextAtBottom);
  const std::string out = Out("a.jpg", 30);
  const int64_t size = GetFileSizeByName(out);
  EXPECT_LT(size, 30 * 1024 + std::max<int64_t>(size / 100, 1024));
  TJpegImage jpeg;
  jpeg.LoadFromFile(out);
  EXPECT_GT(test::DarkPixelsOfTopStamp(jpeg.ToBitmap()), 10);
}

}  // namespace
}  // namespace pictrim
