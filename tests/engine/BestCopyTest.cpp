// What makes a copy the best one: pictures of the same name in one folder
// each get a copy of their own, a JPEG that keeps its size is copied as it
// is, and the quick roads of both jobs (the reduced-scale JPEG decode, the
// half-size picture of the file-size trials) come as close to a reference
// rescale as the box rescale of the whole picture, and the sharp rescale
// closer still.
#include <gtest/gtest.h>

#include <QImage>

#include <filesystem>
#include <string>
#include <vector>

#include "bench/DetailedPictures.h"
#include "engine/BatchSupport.h"
#include "engine/JobAccount.h"
#include "engine/Resize.h"
#include "engine/ShrinkMaster.h"
#include "image/ImageBitmap.h"
#include "image/JpegImage.h"
#include "platform/FileTimes.h"
#include "tests/common/HeifPictures.h"
#include "tests/common/TestPictures.h"
#include "tests/engine/BatchFixture.h"
#include "util/SystemUtils.h"

namespace pictrim {
namespace {

namespace fs = std::filesystem;
using detail::TDetailKind;
using test::PictureSize;
using test::WriteJpeg;
using test::WritePicture;

// A copy read back.
QImage CopyOf(const std::string& Path) {
  TJpegImage jpeg;
  jpeg.LoadFromFile(Path);
  return jpeg.ToBitmap();
}

// A picture saved as a JPEG of fine quality, so that its detail survives.
void SaveFineJpeg(const QImage& Picture, const std::string& Path) {
  TJpegImage jpeg;
  jpeg.SetCompressionQuality(97);
  jpeg.Assign(Picture);
  jpeg.SaveToFile(Path);
}

class BestCopy : public test::BatchTest {
 protected:
  void Resize(uint32_t Edge, const TJobChoices& Choices = {}, bool Overwrite = false,
              const std::string& Text = "") {
    ErrorLog.clear();
    Account = {};
    ASSERT_EQ(
        ConvertPICsWholeTree(&Window, Source, "", Edge, Edge, Text, TextAtTop, WM_BATCH_PROGRESS,
                             WM_BATCH_FILE, Overwrite, ErrorLog, &Account, Choices),
        0);
    Window.pump();
  }
  void Shrink(uint32_t TargetKB, const TJobChoices& Choices = {}, bool Overwrite = false) {
    ErrorLog.clear();
    Account = {};
    ASSERT_EQ(
        ConvertPICsWholeTree2(&Window, Source, "", "", TargetKB, "", TextAtTop, WM_BATCH_PROGRESS,
                              WM_BATCH_FILE, Overwrite, false, ErrorLog, &Account, Choices),
        0);
    Window.pump();
  }
  std::string Resized(const std::string& Name, uint32_t Edge) const {
    return Dir / ("src_MAXSIZE" + std::to_string(Edge) + "/" + Name);
  }
  std::string Shrunk(const std::string& Name, uint32_t TargetKB) const {
    return Dir / ("src_SIZE" + std::to_string(TargetKB) + " kB/" + Name);
  }
  TJobAccount Account;
};

// The camera's JPEG keeps its name; the other picture of its name is named
// as the file-size job names copies of other formats, whichever of the two
// the list holds first. A second run over the same tree replaces each copy
// with its own.
TEST_F(BestCopy, aJpegAndAnotherPictureOfItsNameEachGetACopy) {
  WriteJpeg(Source + "IMG_7001.JPG", 200, 300);
  test::WriteHeif(Source + "IMG_7001.HEIC", test::MakeNaturalImage(300, 200));
  WritePicture(Source + "b.bmp", 300, 100, FIF_BMP);  // listed before b.jpg
  WriteJpeg(Source + "b.jpg", 100, 300);
  WriteJpeg(Source + "c.jpg", 100, 300);  // listed before c.png
  WritePicture(Source + "c.png", 300, 100, FIF_PNG);
  FreezeSource();
  for (const bool overwrite : {false, true}) {
    Resize(150, {}, overwrite);
    EXPECT_TRUE(Log().empty()) << Log().front();
    EXPECT_EQ(Account.Written, 6);
    EXPECT_EQ(PictureSize(Resized("IMG_7001.jpg", 150)), QSize(100, 150));
    EXPECT_EQ(PictureSize(Resized("IMG_7001.exHEIC.jpg", 150)), QSize(150, 100));
    EXPECT_EQ(PictureSize(Resized("b.jpg", 150)), QSize(50, 150));
    EXPECT_EQ(PictureSize(Resized("b.exBMP.jpg", 150)), QSize(150, 50));
    EXPECT_EQ(PictureSize(Resized("c.jpg", 150)), QSize(50, 150));
    EXPECT_EQ(PictureSize(Resized("c.exPNG.jpg", 150)), QSize(150, 50));
  }
  // The file-size job names them so anyway, the JPEG keeping its own name.
  Shrink(1);
  EXPECT_EQ(Account.Written, 6);
  for (const char* name :
       {"IMG_7001.JPG", "IMG_7001.exHEIC.jpg", "b.jpg", "b.exBMP.jpg", "c.jpg", "c.exPNG.jpg"})
    EXPECT_TRUE(fs::exists(Shrunk(name, 1))) << name;
}

// Without a JPEG among them, every picture of one name is named apart; two
// JPEGs of one name leave the name to the one whose file has it.
TEST_F(BestCopy, picturesOfOneNameWithoutAJpegAreAllNamedApart) {
  WritePicture(Source + "d.png", 120, 60, FIF_PNG);
  WritePicture(Source + "d.tif", 60, 120, FIF_TIFF);
  WriteJpeg(Source + "e.jpeg", 100, 50);
  WriteJpeg(Source + "e.jpg", 50, 100);
  FreezeSource();
  Resize(60);
  EXPECT_TRUE(Log().empty());
  EXPECT_EQ(PictureSize(Resized("d.exPNG.jpg", 60)), QSize(60, 30));
  EXPECT_EQ(PictureSize(Resized("d.exTIF.jpg", 60)), QSize(30, 60));
  EXPECT_FALSE(fs::exists(Resized("d.jpg", 60)));
  EXPECT_EQ(PictureSize(Resized("e.jpg", 60)), QSize(30, 60));
  EXPECT_EQ(PictureSize(Resized("e.exJPEG.jpg", 60)), QSize(60, 30));
}

// A JPEG within the size with "no enlarge", or already at the asked size,
// is copied byte for byte with its time; a text, a chosen quality or a new
// size make a new copy.
TEST_F(BestCopy, aJpegThatKeepsItsSizeIsCopiedByteForByte) {
  WriteJpeg(Source + "small.jpg", 300, 200, 60);
  WriteJpeg(Source + "exact.jpg", 400, 300, 60);
  const TFileTime time = *GetFileModTime(Source + "small.jpg");
  FreezeSource();
  Resize(400, {.NoEnlarge = true});
  EXPECT_TRUE(Log().empty());
  EXPECT_EQ(ReadFileBytes(Resized("small.jpg", 400)), ReadFileBytes(Source + "small.jpg"));
  EXPECT_EQ(ReadFileBytes(Resized("exact.jpg", 400)), ReadFileBytes(Source + "exact.jpg"));
  EXPECT_EQ(*GetFileModTime(Resized("small.jpg", 400)), time);
  Resize(400, {}, true);  // enlarged: a new picture
  EXPECT_EQ(PictureSize(Resized("small.jpg", 400)), QSize(400, 266));
  EXPECT_EQ(ReadFileBytes(Resized("exact.jpg", 400)), ReadFileBytes(Source + "exact.jpg"));
  Resize(400, {.Quality = 60, .NoEnlarge = true}, true);
  EXPECT_NE(ReadFileBytes(Resized("exact.jpg", 400)), ReadFileBytes(Source + "exact.jpg"));
  Resize(400, {.NoEnlarge = true}, true, "(c) Text");
  EXPECT_NE(ReadFileBytes(Resized("small.jpg", 400)), ReadFileBytes(Source + "small.jpg"));
  EXPECT_GT(test::DarkPixelsOfTopStamp(CopyOf(Resized("small.jpg", 400))), 0);
}

// A damaged JPEG at its size is made anew, which names the damage.
TEST_F(BestCopy, aDamagedJpegThatKeepsItsSizeIsMadeAnewAndNamed) {
  WriteJpeg(Source + "cut.jpg", 320, 240);
  std::vector<uint8_t> bytes = ReadFileBytes(Source + "cut.jpg");
  bytes.resize(bytes.size() * 2 / 3);
  WriteFileBytes(Source + "cut.jpg", bytes.data(), bytes.size());
  FreezeSource();
  Resize(320);
  EXPECT_EQ(PictureSize(Resized("cut.jpg", 320)), QSize(320, 240));
  EXPECT_NE(ReadFileBytes(Resized("cut.jpg", 320)), bytes);
  EXPECT_EQ(Account.Damaged, 1);
}

// The JPEG road (a decode at 1/2, 1/4 or 1/8, then the rescale by area) and
// the sharp one against the box rescale of the whole picture, at ratios that
// leave the rescale after the reduced decode little room.
TEST_F(BestCopy, theReducedJpegRoadIsAsCloseToTheReferenceAsTheWholePicturesBox) {
  for (const TDetailKind kind : {TDetailKind::Stripes, TDetailKind::Photo}) {
    const QImage whole = detail::MakeDetailedPicture(kind, 1600, 1200, 3);
    const std::string path = Source + detail::DetailKindName(kind) + ".jpg";
    SaveFineJpeg(whole, path);
    TJpegImage source;
    source.LoadFromFile(path);
    const QImage decoded = source.ToBitmap();
    for (const uint32_t width : {711u, 390u, 199u}) {
      const uint32_t height = width * 3 / 4;
      const QImage reference = test::ReferenceRescale(decoded, int(width), int(height));
      TDisplayBitmap direct;
      ASSERT_TRUE(direct.Load(path));
      ASSERT_TRUE(direct.Rescale(width, height, FILTER_BOX));
      QImage box;
      direct.CopyToBitmap(&box);
      const double road = test::Psnr(batch::ReducedToSize(source, width, height, false), reference);
      const double sharp = test::Psnr(batch::ReducedToSize(source, width, height, true), reference);
      EXPECT_GE(road, test::Psnr(box, reference) - 0.2) << width;
      EXPECT_GE(sharp, road) << width;
    }
  }
}

// The trials of the file-size job from the half-size picture come as close
// to the reference as trials from the whole picture with the box filter;
// sharp trials closer.
TEST_F(BestCopy, theFileSizeTrialsFromTheHalfSizePictureLoseNothing) {
  const QImage whole = detail::MakeDetailedPicture(TDetailKind::Photo, 1600, 1200, 4);
  const std::string path = Source + "photo.jpg";
  SaveFineJpeg(whole, path);
  TJpegImage source;
  source.LoadFromFile(path);
  QImage half, kept;
  const std::optional<std::vector<uint8_t>> fullSave = FullSizeJpegSave(source, half, &kept, 95);
  ASSERT_TRUE(fullSave);
  TReducedJpegMaster reduced(source, *fullSave, half, kept, 95);
  TReducedJpegMaster sharp(source, *fullSave, half, kept, 95, true);
  TDisplayBitmap picture;
  ASSERT_TRUE(picture.Load(path));
  TContainerMaster box(picture, 95);
  for (const uint32_t width : {781u, 700u, 500u, 350u}) {
    const uint32_t height = width * 3 / 4;
    const QImage reference = test::ReferenceRescale(kept, int(width), int(height));
    const auto trial = [&](TTrialMaster& Master) {
      const TTrialPicture made = Master.Make(width, height);
      EXPECT_TRUE(made.Saved);
      TJpegImage decoded;
      decoded.LoadFromBytes(made.Bytes);
      return test::Psnr(decoded.ToBitmap(), reference);
    };
    const double fromHalf = trial(reduced);
    EXPECT_GE(fromHalf, trial(box) - 0.2) << width;
    EXPECT_GT(trial(sharp), fromHalf + 0.5) << width;
  }
}

// The sharp choice reaches the copies of both jobs.
TEST_F(BestCopy, theSharpChoiceMakesBothJobsCopiesCloserToTheReference) {
  const QImage whole = detail::MakeDetailedPicture(TDetailKind::Photo, 1200, 900, 5);
  ASSERT_TRUE(whole.save(QString::fromStdString(Source + "photo.png")));
  FreezeSource();
  const QImage reference = test::ReferenceRescale(whole, 400, 300);
  Resize(400);
  const double box = test::Psnr(CopyOf(Resized("photo.jpg", 400)), reference);
  Resize(400, {.Sharp = true}, true);
  EXPECT_GT(test::Psnr(CopyOf(Resized("photo.jpg", 400)), reference), box + 0.5);
}

}  // namespace
}  // namespace pictrim
