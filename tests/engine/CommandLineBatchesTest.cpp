#include <gtest/gtest.h>

#include <QImage>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/Resize.h"
#include "image/JpegImage.h"
#include "metadata/Exif.h"
#include "platform/FileTimes.h"
#include "tests/common/Languages.h"
#include "tests/common/TestPictures.h"
#include "tests/engine/BatchFixture.h"
#include "util/SystemUtils.h"

namespace pictrim {
namespace {

namespace fs = std::filesystem;
using test::PictureSize;
using test::ReadWholeFile;
using test::WriteJpeg;
using test::WritePicture;

using Bytes = std::vector<uint8_t>;

void Put32(Bytes& B, size_t At, uint32_t Value) {
  for (int i = 0; i < 4; ++i) B[At + i] = static_cast<uint8_t>(Value >> (8 * i));
}

// A 24-bit BMP header (file header and info header) stating Width x Height
// and BitCount, followed by PixelBytes zero bytes.
Bytes HandMadeBmp(uint32_t Width, uint32_t Height, uint16_t BitCount, size_t PixelBytes) {
  Bytes b(54 + PixelBytes, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, static_cast<uint32_t>(b.size()));
  Put32(b, 10, 54);
  Put32(b, 14, 40);
  Put32(b, 18, Width);
  Put32(b, 22, Height);
  b[26] = 1;
  b[28] = static_cast<uint8_t>(BitCount);
  return b;
}

void WriteBytes(const std::string& Path, const Bytes& Content) {
  fs::create_directories(fs::path(Path).parent_path());
  WriteFileBytes(Path, Content.data(), Content.size());
}

// The first step of the first quantisation table of a JPEG file.
int FirstQuantStep(const std::string& Path) {
  const std::string bytes = ReadWholeFile(Path);
  const size_t dqt = bytes.find("\xFF\xDB");
  return dqt == std::string::npos ? -1 : static_cast<uint8_t>(bytes[dqt + 5]);
}

class CommandLineBatches : public test::BatchTest {
 protected:
  int RunBmp(uint32_t Size, bool Overwrite = false, const std::string& Output = "") {
    const int result = ConvertBMPtoJPEGtree(&Window, Source, Output, Size, "", WM_BATCH_PROGRESS,
                                            WM_BATCH_FILE, Overwrite, ErrorLog);
    Window.pump();
    return result;
  }
  int RunJpeg(uint32_t Size, bool Overwrite = false, const std::string& Output = "",
              uint32_t MaxHeight = 0) {
    const int result = SaveJPEGtreeDownSized(&Window, Source, Output, Size, MaxHeight, "",
                                             WM_BATCH_PROGRESS, WM_BATCH_FILE, Overwrite, ErrorLog);
    Window.pump();
    return result;
  }
  std::string Out(const std::string& Name, uint32_t Size = 800) const {
    return Dir / ("src_SIZE" + std::to_string(Size) + "/" + Name);
  }
};

TEST(SizeOutputFolder, appendsTheSizeToTheSourceFolder) {
  EXPECT_EQ(SizeOutputFolder("/scans/", 800), "/scans_SIZE800/");
  EXPECT_EQ(SizeOutputFolder("/a/b c/", 64), "/a/b c_SIZE64/");
  EXPECT_EQ(SizeOutputFolder("/", 800), "/_SIZE800/");
}

TEST_F(CommandLineBatches, refusalCodesComeInTheirOrderAndNothingIsPosted) {
  EXPECT_EQ(ConvertBMPtoJPEGtree(&Window, Source, "", 800, "", 1023, 1026, false, ErrorLog),
            200301);
  EXPECT_EQ(ConvertBMPtoJPEGtree(&Window, Source, "", 800, "", 1025, 12, false, ErrorLog), 200301);
  EXPECT_EQ(ConvertBMPtoJPEGtree(&Window, "", "", 800, "", 1025, 1026, false, ErrorLog), 200301);
  EXPECT_EQ(SaveJPEGtreeDownSized(&Window, "", "", 0, 0, "", 1, 1, false, ErrorLog), 200201);
  EXPECT_EQ(SaveJPEGtreeDownSized(&Window, "", "", 10001, 0, "", 1, 1, false, ErrorLog), 200201);
  EXPECT_EQ(SaveJPEGtreeDownSized(&Window, "", "", 10000, 0, "", 1, 1, false, ErrorLog), 200202);
  EXPECT_EQ(SaveJPEGtreeDownSized(&Window, "", "", 1, 0, "", 1024, 1, false, ErrorLog), 200203);
  EXPECT_EQ(SaveJPEGtreeDownSized(&Window, "", "", 1, 0, "", 1024, 1024, false, ErrorLog), 200204);
  Window.pump();
  EXPECT_TRUE(Received.empty());
  EXPECT_TRUE(ErrorLog.empty());
}

TEST_F(CommandLineBatches, bmpsGetTheLongerEdgeAtQuality90WithTheSourceTime) {
  WritePicture(Source + "wide.bmp", 1600, 1200, FIF_BMP);
  WritePicture(Source + "sub/tall.BMP", 1200, 1600, FIF_BMP, 8);
  const TFileTime stamp{1200000000, 0};
  SetFileModTime(Source + "wide.bmp", stamp);
  FreezeSource();
  EXPECT_EQ(RunBmp(800), 0);
  EXPECT_EQ(PictureSize(Out("wide.jpg")), QSize(800, 600));
  EXPECT_EQ(PictureSize(Out("sub/tall.jpg")), QSize(600, 800));
  EXPECT_EQ(FirstQuantStep(Out("wide.jpg")), 3);
  EXPECT_EQ(GetFileModTime(Out("wide.jpg")), stamp);
  EXPECT_TRUE(Log().empty());
  EXPECT_TRUE(Messages.empty());
  // The source's path travels with the file notification, before the work.
  EXPECT_EQ(Notes(),
            (std::vector<std::string>{"FILE src/sub/tall.BMP", "PROGRESS 1 2", "FILE src/wide.bmp",
                                      "PROGRESS 2 2", "PROGRESS 3 0"}));
}

TEST_F(CommandLineBatches, aBmpWithAnEdgeAtTheSizeKeepsItsSizeAndSmallOnesAreEnlarged) {
  WritePicture(Source + "band.bmp", 1600, 800, FIF_BMP);
  WritePicture(Source + "small.bmp", 100, 50, FIF_BMP);
  EXPECT_EQ(RunBmp(800), 0);
  EXPECT_EQ(PictureSize(Out("band.jpg")), QSize(1600, 800));
  EXPECT_EQ(PictureSize(Out("small.jpg")), QSize(800, 400));
}

TEST_F(CommandLineBatches, anExistingOutputIsSkippedUnlessOverwriting) {
  WritePicture(Source + "a.bmp", 400, 300, FIF_BMP);
  test::WriteTextFile(Out("a.jpg"), "kept");
  EXPECT_EQ(RunBmp(800), 0);
  EXPECT_EQ(ReadWholeFile(Out("a.jpg")), "kept");
  // Notified all the same: the notifications come before the test.
  EXPECT_EQ(Notes(), (std::vector<std::string>{"FILE src/a.bmp", "PROGRESS 1 1", "PROGRESS 2 0"}));
  EXPECT_EQ(RunBmp(800, true), 0);
  EXPECT_EQ(PictureSize(Out("a.jpg")), QSize(800, 600));
  EXPECT_TRUE(Log().empty());
}

TEST_F(CommandLineBatches, theBmpWritesXjpgFirstAndTheJpegBatchKeepsItUnlessOverwriting) {
  WritePicture(Source + "x.bmp", 1600, 800, FIF_BMP);
  WriteJpeg(Source + "x.jpg", 300, 400);
  FreezeSource();
  EXPECT_EQ(RunBmp(800), 0);
  EXPECT_EQ(RunJpeg(800), 0);
  EXPECT_EQ(PictureSize(Out("x.jpg")), QSize(1600, 800));
  EXPECT_EQ(RunJpeg(800, true), 0);
  EXPECT_EQ(PictureSize(Out("x.jpg")), QSize(600, 800));
  EXPECT_TRUE(Log().empty());
}

TEST_F(CommandLineBatches, size10001IsRefusedByTheJpegBatchOnly) {
  WritePicture(Source + "strip.bmp", 10001, 2, FIF_BMP);
  WriteJpeg(Source + "p.jpg", 40, 30);
  EXPECT_EQ(RunBmp(10001), 0);
  EXPECT_EQ(RunJpeg(10001), 200201);
  EXPECT_EQ(PictureSize(Out("strip.jpg", 10001)), QSize(10001, 2));
  EXPECT_FALSE(fs::exists(Out("p.jpg", 10001)));
}

TEST_F(CommandLineBatches, unusableBmpsEachGiveTheirLineAndTheBatchGoesOn) {
  const test::TBuiltInTexts english(TLanguage::English);  // the lines as compared below
  WritePicture(Source + "a_line.bmp", 300, 1, FIF_BMP);
  WriteBytes(Source + "b_empty.bmp", HandMadeBmp(0, 10, 24, 64));
  WriteBytes(Source + "c_broken.bmp", HandMadeBmp(10, 10, 7, 400));
  WriteBytes(Source + "d_text.bmp", {'h', 'e', 'l', 'l', 'o', ' ', 'b', 'm', 'p'});
  WritePicture(Source + "e_good.bmp", 40, 20, FIF_BMP);
  FreezeSource();
  EXPECT_EQ(RunBmp(80), 0);
  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "Due to a BUG in the programming language, File  src/a_line.bmp  cannot be "
                       "resized",
                       "File src/b_empty.bmp was empty",
                       "File src/c_broken.bmp got no copy: it cannot be read as a picture",
                       "Not a valid BMP V3:   src/d_text.bmp"}));
  EXPECT_EQ(PictureSize(Out("e_good.jpg", 80)), QSize(80, 40));
  EXPECT_FALSE(fs::exists(Out("a_line.jpg", 80)));
  // An invalid file is not notified.
  EXPECT_EQ(Notes().size(), 9u);
}

TEST_F(CommandLineBatches, jpegsOneOrZeroPixelsHighNeverReachTheCodec) {
  WriteJpeg(Source + "line.jpg", 200, 1);
  // A frame header of 0 x 0 behind SOI, then the rest of a real JPEG.
  WriteJpeg(Dir / "real.jpg", 8, 8);
  std::string zero = ReadWholeFile(Dir / "real.jpg");
  const size_t sof = zero.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  zero.replace(sof + 5, 4, std::string(4, '\0'));
  test::WriteTextFile(Source + "zero.jpg", zero);
  FreezeSource();
  EXPECT_EQ(RunJpeg(100), 0);
  EXPECT_EQ(Log(), (std::vector<std::string>{"Not a valid JPG:   src/line.jpg",
                                             "Not a valid JPG:   src/zero.jpg"}));
  EXPECT_FALSE(fs::exists(Out("", 100)));
}

TEST_F(CommandLineBatches, jpegsTheCodecCannotReadAreLoggedAsTheCodecSaysAndSkipped) {
  const Bytes soi = {0xFF, 0xD8};
  const Bytes frame = {0xFF, 0xC0, 0, 17, 8, 0, 100, 0, 100, 3, 1, 0x22, 0, 2, 0x11, 0, 3, 0x11, 0};
  const Bytes scan = {0xFF, 0xDA, 0, 12, 3, 1, 0, 2, 0x11, 3, 0x11, 0, 63, 0};
  // No scan at all: the header cannot be read; no quantisation table: the
  // pixels cannot be decoded.
  Bytes noImage = soi;
  noImage.insert(noImage.end(), frame.begin(), frame.end());
  noImage.insert(noImage.end(), {0xFF, 0xD9});
  Bytes noTables = soi;
  noTables.insert(noTables.end(), frame.begin(), frame.end());
  noTables.insert(noTables.end(), scan.begin(), scan.end());
  noTables.insert(noTables.end(), 200, 0x11);
  noTables.insert(noTables.end(), {0xFF, 0xD9});
  WriteBytes(Source + "a.jpg", noImage);
  WriteBytes(Source + "b.jpg", noTables);
  WriteJpeg(Source + "c.jpg", 50, 40);
  FreezeSource();
  EXPECT_EQ(RunJpeg(100), 0);
  EXPECT_EQ(Log(),
            (std::vector<std::string>{
                "EXCEPTION in SaveJPEGtreeDownSized - j.loadFromFile()) with  File \"src/a.jpg\"",
                "File src/a.jpg was empty",
                "EXCEPTION in SaveJPEGtreeDownSized - TB.assign( j) with  File \"src/b.jpg\""}));
  EXPECT_FALSE(fs::exists(Out("a.jpg", 100)));
  EXPECT_FALSE(fs::exists(Out("b.jpg", 100)));
  EXPECT_EQ(PictureSize(Out("c.jpg", 100)), QSize(100, 80));
}

TEST_F(CommandLineBatches, jpegCopiesCarryTheSourceExifWithTheNewSize) {
  PICTRIM_REQUIRE_TESTDATA();
  fs::copy_file(test::TestDataDir() + "Canon_40D.jpg", Source + "IMG_0001.jpg");
  WriteJpeg(Source + "sub/plain.jpg", 1600, 1200, 75);
  const TFileTime stamp{1300000000, 0};
  SetFileModTime(Source + "IMG_0001.jpg", stamp);
  FreezeSource();
  EXPECT_EQ(RunJpeg(800), 0);
  EXPECT_TRUE(Log().empty());
  EXPECT_EQ(PictureSize(Out("IMG_0001.jpg")), QSize(800, 544));
  EXPECT_EQ(PictureSize(Out("sub/plain.jpg")), QSize(800, 600));
  EXPECT_EQ(FirstQuantStep(Out("sub/plain.jpg")), 3);
  EXPECT_EQ(GetFileModTime(Out("IMG_0001.jpg")), stamp);
  TMetadata metadata;
  ASSERT_TRUE(metadata.ReadMetadata(Out("IMG_0001.jpg")));
  ASSERT_NE(metadata.ExifInfo(), nullptr);
  EXPECT_EQ(metadata.ExifInfo()->MakeText(), "Canon");
  EXPECT_EQ(metadata.ExifInfo()->StoredWidth(), 800);
  EXPECT_EQ(metadata.ExifInfo()->StoredHeight(), 544);
}

TEST_F(CommandLineBatches, aHeightLimitBoundsTheHeightOfWidePictures) {
  WriteJpeg(Source + "a.jpg", 1600, 1200);
  WriteJpeg(Source + "b.jpg", 1600, 800);
  EXPECT_EQ(RunJpeg(800, false, "", 500), 0);
  EXPECT_EQ(PictureSize(Out("a.jpg")), QSize(666, 500));
  EXPECT_EQ(PictureSize(Out("b.jpg")), QSize(800, 400));
}

TEST_F(CommandLineBatches, anOutputFolderInsideTheSourceIsRefusedBeforeAnythingIsDone) {
  WritePicture(Source + "x.bmp", 400, 300, FIF_BMP);
  WriteJpeg(Source + "x.jpg", 300, 200);
  WriteJpeg(Source + "sub/y.jpg", 300, 200);
  fs::create_directory_symlink(Source, Dir / "link");
  FreezeSource();
  // The source itself, a folder below it, and a link to it spelt with "..".
  for (const std::string& output : {Source, Source + "sub/out/", Dir / "link/../link/"}) {
    EXPECT_EQ(RunBmp(100, true, output), 200301) << output;
    EXPECT_EQ(RunJpeg(100, true, output), 200205) << output;
  }
  EXPECT_EQ(Messages.size(), 6u);
  EXPECT_NE(Messages.front().find("liegt im Quellordner"), std::string::npos);
  EXPECT_TRUE(Received.empty());
  EXPECT_TRUE(Log().empty());
}

TEST_F(CommandLineBatches, folderAndWriteFailuresAreLoggedAndTheRunGoesOn) {
  const test::TBuiltInTexts english(TLanguage::English);  // the lines as compared below
  WritePicture(Source + "a.bmp", 40, 30, FIF_BMP);
  WritePicture(Source + "sub/b.bmp", 40, 30, FIF_BMP);
  WriteJpeg(Source + "sub/c.jpg", 40, 30);
  WriteJpeg(Source + "d.jpg", 40, 30);
  // A file stands where a folder is needed, a folder where a file is.
  test::WriteTextFile(Out("sub", 80), "not a folder");
  fs::create_directories(Out("a.jpg/", 80));
  fs::create_directories(Out("d.jpg/", 80));
  EXPECT_EQ(RunBmp(80, true), 0);
  EXPECT_EQ(RunJpeg(80, true), 0);
  EXPECT_TRUE(Messages.empty());
  EXPECT_EQ(Log(),
            (std::vector<std::string>{
                "File src/a.bmp was not written: its output path src_SIZE80/a.jpg is a folder",
                "File src/sub/b.bmp got no copy: the folder src_SIZE80/sub/ could not be created "
                "(File exists)",
                "File src/d.jpg was not written: its output path src_SIZE80/d.jpg is a folder",
                "File src/sub/c.jpg got no copy: the folder src_SIZE80/sub/ could not be created "
                "(File exists)"}));
}

TEST(StretchBitmap, keepsTheSizeRefusesAZeroEdgeAndScalesSmoothly) {
  QImage bitmap(40, 20, QImage::Format_RGB888);
  bitmap.fill(Qt::white);
  EXPECT_EQ(StretchBitmap(bitmap, 40, 20, ""), 0);
  EXPECT_EQ(bitmap.size(), QSize(40, 20));
  EXPECT_EQ(StretchBitmap(bitmap, 0, 20, ""), -12002);
  EXPECT_EQ(StretchBitmap(bitmap, 20, 0, ""), -12002);
  EXPECT_EQ(bitmap.size(), QSize(40, 20));
  // Half black, half white: a smooth stretch blends at the border.
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 20; ++x) bitmap.setPixelColor(x, y, Qt::black);
  }
  EXPECT_EQ(StretchBitmap(bitmap, 9, 3, ""), 0);
  EXPECT_EQ(bitmap.size(), QSize(9, 3));
  const int middle = bitmap.pixelColor(4, 1).lightness();
  EXPECT_GT(middle, 20);
  EXPECT_LT(middle, 235);
}

TEST(SaveBitmapAsJPEG, namesTheCopyJpgRefusesOtherNamesAndStampsTheTime) {
  test::TTempDir dir;
  QImage bitmap = test::MakeNaturalImage(300, 200);
  std::string dest = dir / "a.BMP";
  const TFileTime stamp{1000000000, 0};
  EXPECT_TRUE(SaveBitmapAsJPEG(bitmap, dest, "", stamp, 150, 90));
  EXPECT_EQ(dest, dir / "a.jpg");
  EXPECT_EQ(bitmap.size(), QSize(150, 100));
  EXPECT_EQ(PictureSize(dest), QSize(150, 100));
  EXPECT_EQ(GetFileModTime(dest), stamp);
  std::string png = dir / "b.png";
  EXPECT_FALSE(SaveBitmapAsJPEG(bitmap, png, "", std::nullopt, 150, 90));
  EXPECT_FALSE(fs::exists(png));
  // The quality asked for is the one encoded.
  std::string low = dir / "c.JPG";
  EXPECT_TRUE(SaveBitmapAsJPEG(bitmap, low, "", std::nullopt, 150, 50));
  EXPECT_EQ(FirstQuantStep(low), 16);
  // A long thin bitmap whose short edge would become 0 is not written.
  QImage thin(3000, 2, QImage::Format_RGB888);
  thin.fill(Qt::gray);
  std::string skipped = dir / "d.jpg";
  EXPECT_FALSE(SaveBitmapAsJPEG(thin, skipped, "", std::nullopt, 100, 90));
  EXPECT_FALSE(fs::exists(skipped));
}

}  // namespace
}  // namespace pictrim
