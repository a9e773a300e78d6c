#include <gtest/gtest.h>

#include <filesystem>

#include "engine/Resize.h"
#include "image/JpegImage.h"
#include "platform/FileTimes.h"
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

TEST(CalcNewSize, bringsTheChosenEdgeToTheSizeAndTruncatesTheOther) {
  EXPECT_EQ(CalcNewSize(1024, 1024, 4000, 3000), (TPictureSize{1024, 768}));
  EXPECT_EQ(CalcNewSize(1024, 1024, 3000, 4000), (TPictureSize{768, 1024}));
  EXPECT_EQ(CalcNewSize(800, 800, 600, 600), (TPictureSize{800, 800}));
  EXPECT_EQ(CalcNewSize(1024, 0, 640, 480), (TPictureSize{1024, 768}));
  EXPECT_EQ(CalcNewSize(500, 0, 1000, 333), (TPictureSize{500, 166}));
  EXPECT_EQ(CalcNewSize(0, 600, 4000, 3000), (TPictureSize{800, 600}));
  EXPECT_EQ(CalcNewSize(64, 0, 10000, 5), (TPictureSize{64, 0}));
  // Products beyond 32 bits are formed in 64.
  EXPECT_EQ(CalcNewSize(100000, 100000, 100000, 99999), (TPictureSize{100000, 99999}));
}

TEST(ResizeOutputFolder, namesTheModeAndTheSizeBesideTheSource) {
  EXPECT_EQ(ResizeOutputFolder("/fotos/urlaub/", 800, 800), "/fotos/urlaub_MAXSIZE800/");
  EXPECT_EQ(ResizeOutputFolder("/fotos/urlaub/", 640, 0), "/fotos/urlaub_MAXWIDTH640/");
  EXPECT_EQ(ResizeOutputFolder("/fotos/urlaub/", 0, 480), "/fotos/urlaub_MAXHEIGHT480/");
  EXPECT_EQ(ResizeOutputFolder("/", 800, 800), "/_MAXSIZE800/");
  EXPECT_EQ(ResizeOutputFolder("/a/", 800, 800), "/a_MAXSIZE800/");
}

class ResizeBatch : public test::BatchTest {
 protected:
  int Run(uint32_t MaxWidth, uint32_t MaxHeight, bool Overwrite = false,
          const std::string& Text = "", uint8_t Position = TextAtTop) {
    const int result = ConvertPICsWholeTree(&Window, Source, "", MaxWidth, MaxHeight, Text,
                                            Position, WM_BATCH_PROGRESS, WM_BATCH_FILE, Overwrite,
                                            ErrorLog);
    Window.pump();  // the final notification is handled after the batch has returned
    return result;
  }
  std::string Out(const std::string& Name, uint32_t Size = 800) const {
    return Dir / ("src_MAXSIZE" + std::to_string(Size) + "/" + Name);
  }
};

TEST_F(ResizeBatch, refusesBadGuardValuesAnEmptyFolderAndTwoDifferentSizes) {
  EXPECT_EQ(ConvertPICsWholeTree(&Window, Source, "", 800, 800, "", 0, 1023, 1026, false, ErrorLog),
            -26001);
  EXPECT_EQ(ConvertPICsWholeTree(&Window, Source, "", 800, 800, "", 0, 1025, 100, false, ErrorLog),
            -26001);
  EXPECT_EQ(ConvertPICsWholeTree(&Window, "", "", 800, 800, "", 0, 1025, 1026, false, ErrorLog),
            -26001);
  EXPECT_TRUE(Messages.empty());
  EXPECT_EQ(Run(800, 600), -26001);
  EXPECT_EQ(Messages,
            (std::vector<std::string>{"Error:  both Size values > 0  AND not equal -  EXIT !!"}));
  EXPECT_TRUE(Received.empty());
}

TEST_F(ResizeBatch, portraitLandscapeAndSmallPicturesGetTheLongerEdge) {
  WriteJpeg(Source + "portrait.jpg", 600, 800);
  WriteJpeg(Source + "square.jpg", 600, 600);
  WriteJpeg(Source + "wide.jpg", 1600, 1200);
  FreezeSource();
  EXPECT_EQ(Run(800, 800), 0);
  EXPECT_EQ(PictureSize(Out("portrait.jpg")), QSize(600, 800));
  EXPECT_EQ(PictureSize(Out("square.jpg")), QSize(800, 800));
  EXPECT_EQ(PictureSize(Out("wide.jpg")), QSize(800, 600));
  EXPECT_TRUE(Log().empty());
}

TEST_F(ResizeBatch, widthAndHeightModesUseTheirOwnFolders) {
  WriteJpeg(Source + "a.jpg", 400, 300);
  FreezeSource();
  Run(200, 0);
  Run(0, 150);
  EXPECT_EQ(PictureSize(Dir / "src_MAXWIDTH200/a.jpg"), QSize(200, 150));
  EXPECT_EQ(PictureSize(Dir / "src_MAXHEIGHT150/a.jpg"), QSize(200, 150));
}

TEST_F(ResizeBatch, aPictureTheDecoderShrinksFirstGetsTheSizeOfItsWholePicture) {
  // 200 x 101 comes from the decoder as 100 x 51 (shrunk by two); the copy
  // is 100 x 50 as from the whole picture, not 100 x 51.
  WritePicture(Source + "a.png", 200, 101, FIF_PNG);
  WritePicture(Source + "b.tif", 101, 200, FIF_TIFF);
  WritePicture(Source + "c.png", 800, 600, FIF_PNG, 32);  // shrunk by eight
  FreezeSource();
  EXPECT_EQ(Run(100, 100), 0);
  EXPECT_EQ(PictureSize(Out("a.jpg", 100)), QSize(100, 50));
  EXPECT_EQ(PictureSize(Out("b.jpg", 100)), QSize(50, 100));
  EXPECT_EQ(PictureSize(Out("c.jpg", 100)), QSize(100, 75));
  EXPECT_TRUE(Log().empty());
}

TEST_F(ResizeBatch, aZeroEdgeIsLoggedAndThePictureKeepsItsSize) {
  WritePicture(Source + "strip.png", 10000, 5, FIF_PNG);
  FreezeSource();
  Run(64, 0);
  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "File src/strip.png couldn't be resized properly:  new Width is 10000 "
                       "Pixel new Height is 5 Pixel"}));
  EXPECT_EQ(PictureSize(Dir / "src_MAXWIDTH64/strip.jpg"), QSize(10000, 5));
}

TEST_F(ResizeBatch, onePixelEdgesCannotBeResizedAndGiveNoCopy) {
  WritePicture(Source + "dot.png", 1, 1, FIF_PNG);
  WritePicture(Source + "line.png", 1, 40, FIF_PNG);
  FreezeSource();
  Run(800, 800);
  EXPECT_EQ(Log(), (std::vector<std::string>{"src/dot.png  cannot be resized",
                                             "src/line.png  cannot be resized"}));
  EXPECT_FALSE(fs::exists(Out("dot.jpg")));
  EXPECT_FALSE(fs::exists(Out("line.jpg")));
}

// Pictures of one name are named apart; a name that is still taken after
// that (a JPEG whose own name is the other's alternative) goes to the
// first in list order and is never replaced by the second.
TEST_F(ResizeBatch, aCopyNameTakenByAnEarlierCopyIsNeverReplaced) {
  const test::TBuiltInTexts english(TLanguage::English);  // the lines as compared below
  WriteJpeg(Source + "a.exPNG.jpg", 200, 300);  // listed first
  WriteJpeg(Source + "a.jpg", 100, 100);
  WritePicture(Source + "a.png", 300, 200, FIF_PNG);
  FreezeSource();
  Run(100, 100);
  EXPECT_EQ(PictureSize(Out("a.exPNG.jpg", 100)), QSize(66, 100));
  EXPECT_EQ(PictureSize(Out("a.jpg", 100)), QSize(100, 100));
  Run(100, 100, /*Overwrite=*/true);
  EXPECT_EQ(PictureSize(Out("a.exPNG.jpg", 100)), QSize(66, 100));
  ASSERT_EQ(Log().size(), 2u);  // the PNG is named in each run
  EXPECT_NE(Log()[1].find("src/a.png got no copy"), std::string::npos);
}

TEST_F(ResizeBatch, extensionsAreReplacedAppendedAndTextFilesNeverLoaded) {
  WriteJpeg(Source + "Foto.JPG", 100, 100);
  WritePicture(Source + "noext", 100, 100, FIF_PNG);
  WritePicture(Source + "notes.txt", 100, 100, FIF_PNG);  // picture inside, but a .txt
  WritePicture(Source + "a.b/file", 100, 100, FIF_PNG);   // the folder's dot is the last one
  WriteTextFile(Source + "sidecar.xmp", "<x:xmpmeta/>");
  FreezeSource();
  Run(800, 800);
  EXPECT_TRUE(fs::exists(Out("Foto.jpg")));
  EXPECT_FALSE(fs::exists(Out("Foto.JPG")));
  EXPECT_TRUE(fs::exists(Out("noext.jpg")));
  EXPECT_FALSE(fs::exists(Out("notes.jpg")));
  EXPECT_TRUE(fs::exists(Out("a.jpg")));
  EXPECT_FALSE(fs::exists(Out("sidecar.jpg")));
  EXPECT_TRUE(Log().empty());
}

TEST_F(ResizeBatch, aSecondRunWithoutOverwritePostsOnlyStatusTexts) {
  WriteJpeg(Source + "a.jpg", 100, 80);
  WriteJpeg(Source + "sub/b.jpg", 80, 100);
  FreezeSource();
  Run(50, 50);
  Received.clear();
  Run(50, 50);
  EXPECT_EQ(Notes(), (std::vector<std::string>{
                         "STATUS a.jpg", "STATUS b.jpg",
                         "STATUS Letze Aktion = Größenänderung aller Dateien im Verzeichnis src/",
                         "PROGRESS 3 0"}));
}

TEST_F(ResizeBatch, notificationsComeInListOrderWithCountsAndTheFinalOne) {
  WriteJpeg(Source + "b.jpg", 100, 80);
  WriteJpeg(Source + "A.jpg", 100, 80);
  WritePicture(Source + "c.png", 1, 1, FIF_PNG);
  WriteTextFile(Source + "d.txt", "text");
  FreezeSource();
  Run(50, 50);
  EXPECT_EQ(Notes(), (std::vector<std::string>{
                         "STATUS A.jpg", "FILE src_MAXSIZE50/A.jpg", "PROGRESS 1 4",
                         "STATUS b.jpg", "FILE src_MAXSIZE50/b.jpg", "PROGRESS 2 4",
                         "STATUS c.jpg", "STATUS d.jpg",
                         "STATUS Letze Aktion = Größenänderung aller Dateien im Verzeichnis src/",
                         "PROGRESS 5 0"}));
  EXPECT_EQ(StatusText, "Letze Aktion = Größenänderung aller Dateien im Verzeichnis " + Source);
}

TEST_F(ResizeBatch, anEmptyTreeFinishesAtOnce) {
  FreezeSource();
  EXPECT_EQ(Run(800, 800), 0);
  EXPECT_EQ(Notes(), (std::vector<std::string>{
                         "STATUS Letze Aktion = Größenänderung aller Dateien im Verzeichnis src/",
                         "PROGRESS 1 0"}));
  EXPECT_FALSE(fs::exists(Dir / "src_MAXSIZE800"));
}

TEST_F(ResizeBatch, cancelStopsAfterTheCurrentFileAndSaysSo) {
  for (int i = 0; i < 4; ++i) WriteJpeg(Source + "p" + std::to_string(i) + ".jpg", 64, 48);
  FreezeSource();
  OnMessage = [](const TBatchMessage& m) {
    if (m.Message == WM_BATCH_FILE) CancelRequested = true;
  };
  Run(32, 32);
  EXPECT_EQ(Notes(), (std::vector<std::string>{"STATUS p0.jpg", "FILE src_MAXSIZE32/p0.jpg",
                                               "PROGRESS 1 4",
                                               "STATUS Letze Aktion = Prozess abgebrochen",
                                               "PROGRESS 1 0"}));
  EXPECT_TRUE(fs::exists(Out("p0.jpg", 32)));
  EXPECT_FALSE(fs::exists(Out("p1.jpg", 32)));
}

TEST_F(ResizeBatch, aCancelBeforeTheRescaleLeavesNoCopyOfThatFile) {
  WriteJpeg(Source + "p0.jpg", 64, 48);
  WriteJpeg(Source + "p1.jpg", 64, 48);
  FreezeSource();
  OnMessage = [](const TBatchMessage& m) {
    if (m.Message == WM_BATCH_STATUS && m.Text == "p1.jpg") CancelRequested = true;
  };
  Run(32, 32);
  EXPECT_TRUE(fs::exists(Out("p0.jpg", 32)));
  EXPECT_FALSE(fs::exists(Out("p1.jpg", 32)));
  EXPECT_EQ(Notes().back(), "PROGRESS 2 0");
}

TEST_F(ResizeBatch, copiesKeepTheSourceModificationTime) {
  WriteJpeg(Source + "a.jpg", 100, 80);
  WritePicture(Source + "b.png", 100, 80, FIF_PNG);
  const TFileTime stamp{1139033242, 123456789};
  SetFileModTime(Source + "a.jpg", stamp);
  SetFileModTime(Source + "b.png", stamp);
  FreezeSource();
  Run(50, 50, false, "(c) Pictrim");
  EXPECT_EQ(GetFileModTime(Out("a.jpg", 50)), stamp);
  EXPECT_EQ(GetFileModTime(Out("b.jpg", 50)), stamp);
}

TEST_F(ResizeBatch, undecodablePicturesAreLoggedAndUnknownFilesStaySilent) {
  WriteJpeg(Source + "good.jpg", 100, 80);
  std::string broken = test::ReadWholeFile(Source + "good.jpg").substr(0, 40);
  WriteTextFile(Source + "broken.jpg", broken);
  WriteTextFile(Source + "fake.png", "not a png");
  WriteTextFile(Source + "readme.md", "# notes");
  FreezeSource();
  Run(50, 50);
  // The loader's lines say why, in the language in use where the words are
  // the program's, in the library's own where they are its.
  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "EXCEPTION in ConvertPICsWholeTree - FBitmap.Load() with  File \"src/broken.jpg\" "
                       "(die Bibliothek konnte die Datei nicht dekodieren: Premature end of JPEG "
                       "file; JPEG datastream contains no image)",
                       "EXCEPTION in ConvertPICsWholeTree - FBitmap.Load() with  File \"src/fake.png\" "
                       "(die Bibliothek konnte die Datei nicht dekodieren)"}));
  EXPECT_TRUE(fs::exists(Out("good.jpg", 50)));
}

TEST_F(ResizeBatch, picturesJpegCannotHoldAreConvertedOntoWhite) {
  WritePicture(Source + "alpha.png", 80, 80, FIF_PNG, 32);
  WritePicture(Source + "bits16.bmp", 80, 80, FIF_BMP, 16);
  WritePicture(Source + "mono.bmp", 80, 80, FIF_BMP, 1);
  WritePicture(Source + "anim.gif", 80, 80, FIF_GIF, 8);
  FreezeSource();
  Run(40, 40);
  EXPECT_TRUE(Log().empty());
  for (const char* name : {"alpha.jpg", "bits16.jpg", "mono.jpg", "anim.jpg"}) {
    EXPECT_EQ(PictureSize(Out(name, 40)), QSize(40, 40)) << name;
  }
  TJpegImage jpeg;
  jpeg.LoadFromFile(Out("alpha.jpg", 40));
  const QColor corner = jpeg.ToBitmap().pixelColor(2, 2);
  EXPECT_GT(corner.lightness(), 245);
}

TEST_F(ResizeBatch, aCopyThatCannotBeWrittenIsLoggedAndTheRunGoesOn) {
  const test::TBuiltInTexts english(TLanguage::English);  // the lines as compared below
  WriteJpeg(Source + "a.jpg", 100, 80);
  WriteJpeg(Source + "b.jpg", 100, 80);
  fs::create_directories(Out("a.jpg/", 50));  // a folder stands where the copy would go
  FreezeSource();
  Run(50, 50, /*Overwrite=*/true);
  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "File src/a.jpg was not written: its output path src_MAXSIZE50/a.jpg is a folder"}));
  EXPECT_EQ(PictureSize(Out("b.jpg", 50)), QSize(50, 40));
}

TEST_F(ResizeBatch, textStampOnAPngSourceIsEncodedAgainAtQuality90) {
  WritePicture(Source + "b.png", 200, 100, FIF_PNG);
  FreezeSource();
  Run(100, 100, false, "(c) Pictrim", TextAtTop);
  const std::vector<uint8_t> out = ReadFileBytes(Out("b.jpg", 100));
  TJpegImage jpeg;
  jpeg.LoadFromBytes(out);
  EXPECT_EQ(QSize(jpeg.Width(), jpeg.Height()), QSize(100, 50));
  // Quality 90 puts 3 as the first luminance step of the quantisation table.
  const std::string bytes(out.begin(), out.end());
  const size_t dqt = bytes.find("\xFF\xDB");
  ASSERT_NE(dqt, std::string::npos);
  EXPECT_EQ(static_cast<uint8_t>(bytes[dqt + 5]), 3);
  // The black text is there.
  EXPECT_GT(test::DarkPixelsOfTopStamp(jpeg.ToBitmap()), 10);
}

}  // namespace
}  // namespace pictrim
