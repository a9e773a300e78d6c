#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "engine/Resize.h"
#include "engine/ShrinkMaster.h"
#include "image/ImageBitmap.h"
#include "image/JpegImage.h"
#include "tests/common/TestPictures.h"
#include "tests/engine/BatchFixture.h"
#include "util/SystemUtils.h"

namespace pictrim {
namespace {

namespace fs = std::filesystem;
using test::WriteJpeg;
using test::WritePicture;
using test::WriteTextFile;

class ParallelShrink : public test::BatchTest {
 protected:
  void TearDown() override {
    BatchThreads = 0;
    ShrinkFromReducedMaster = true;
    test::BatchTest::TearDown();
  }
  void Run(unsigned Threads, uint32_t TargetKB, const std::string& Text = "") {
    BatchThreads = Threads;
    ConvertPICsWholeTree2(&Window, Source, "", "", TargetKB, Text, TextAtTop, WM_BATCH_PROGRESS,
                          WM_BATCH_FILE, true, false, ErrorLog);
    Window.pump();
  }
  // Every file below Folder with its bytes.
  std::map<std::string, std::string> Outputs(const std::string& Folder) const {
    std::map<std::string, std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(Dir / Folder)) {
      if (!entry.is_regular_file()) continue;
      out[entry.path().string()] = test::ReadWholeFile(entry.path().string());
    }
    return out;
  }
};

// A JPEG written by the image library at its best quality, with a density
// and, when asked, an ICC profile: what its own full-size save keeps.
void WriteLibraryJpeg(const std::string& Path, int Width, int Height, unsigned DotsPerMetre,
                      bool WithProfile) {
  const QImage rgb = test::MakeNaturalImage(Width, Height, 11);
  FIBITMAP* dib = FreeImage_Allocate(Width, Height, 24);
  for (int y = 0; y < Height; ++y) {
    const uchar* in = rgb.constScanLine(y);
    BYTE* out = FreeImage_GetScanLine(dib, Height - 1 - y);
    for (int x = 0; x < Width; ++x) {
      out[3 * x + FI_RGBA_RED] = in[3 * x];
      out[3 * x + FI_RGBA_GREEN] = in[3 * x + 1];
      out[3 * x + FI_RGBA_BLUE] = in[3 * x + 2];
    }
  }
  FreeImage_SetDotsPerMeterX(dib, DotsPerMetre);
  FreeImage_SetDotsPerMeterY(dib, DotsPerMetre);
  if (WithProfile) {
    std::string profile(3000, '\0');
    for (size_t i = 0; i < profile.size(); ++i) profile[i] = static_cast<char>(i * 7);
    FreeImage_CreateICCProfile(dib, profile.data(), static_cast<long>(profile.size()));
  }
  ASSERT_TRUE(FreeImage_Save(FIF_JPEG, dib, Path.c_str(), JPEG_QUALITYSUPERB));
  FreeImage_Unload(dib);
}

TEST_F(ParallelShrink, oneTwoAndFourWorkersGiveTheSameNotificationsLinesAndFiles) {
  for (int i = 0; i < 6; ++i) {
    WriteJpeg(Source + "day/p" + std::to_string(i) + ".jpg", 700 + 173 * i, 1300 - 111 * i, 92,
              static_cast<unsigned>(i));
  }
  WriteJpeg(Source + "small.jpg", 120, 90, 80, 3);         // fits: copied as it is
  WriteJpeg(Source + "strip.jpg", 16000, 2, 100, 4);       // trials of one pixel height
  WritePicture(Source + "pic.png", 900, 700, FIF_PNG);
  WritePicture(Source + "anim.gif", 600, 500, FIF_GIF, 8);
  WritePicture(Source + "flat.png", 300, 1, FIF_PNG);      // a log line
  WriteTextFile(Source + "broken.jpg", "\xFF\xD8 not really");
  WriteTextFile(Source + "notes.txt", "text");
  FreezeSource();
  const uint32_t target = 6;
  Run(1, target, "(c) Pictrim");
  const std::vector<std::string> notes = Notes();
  const std::vector<std::string> log = Log();
  const auto files = Outputs("src_SIZE6 kB");
  ASSERT_EQ(files.size(), 10u);
  ASSERT_FALSE(log.empty());
  int trials = 0;
  for (const std::string& n : notes) trials += n.find(" - test Size:  ") != std::string::npos;
  EXPECT_GT(trials, 10);
  for (unsigned threads : {2u, 4u}) {
    Received.clear();
    ErrorLog.clear();
    fs::remove_all(Dir / "src_SIZE6 kB");
    Run(threads, target, "(c) Pictrim");
    EXPECT_EQ(Notes(), notes) << threads << " workers";
    EXPECT_EQ(Log(), log) << threads << " workers";
    EXPECT_EQ(Outputs("src_SIZE6 kB"), files) << threads << " workers";
  }
}

TEST_F(ParallelShrink, aCancelWithSeveralWorkersLeavesOnlyWholeCopies) {
  for (int i = 0; i < 10; ++i) WriteJpeg(Source + "img" + std::to_string(10 + i) + ".jpg", 1200, 900, 92, i);
  FreezeSource();
  int files = 0;
  OnMessage = [&files](const TBatchMessage& m) {
    if (m.Message == WM_BATCH_FILE) ++files;
    if (files == 2 && m.Message == WM_BATCH_STATUS && m.Text.find("No 2 - ") != std::string::npos) {
      CancelRequested = true;
    }
  };
  Run(4, 30);
  EXPECT_EQ(Notes()[Notes().size() - 2], "STATUS Letze Aktion = Prozess abgebrochen");
  std::vector<std::string> copies;
  for (const auto& entry : fs::recursive_directory_iterator(Dir / "src_SIZE30 kB")) {
    const std::string path = entry.path().string();
    copies.push_back(entry.path().filename().string());
    TJpegImage jpeg;
    jpeg.LoadFromFile(path);
    EXPECT_EQ(jpeg.ToBitmap().width(), static_cast<int>(jpeg.Width())) << path;
    EXPECT_EQ(jpeg.DecodeWarnings(), 0) << path;
  }
  std::sort(copies.begin(), copies.end());
  // The two reported copies; the third, stopped during its trials, left no
  // copy, and nothing begun later either.
  EXPECT_EQ(copies, (std::vector<std::string>{"img10.jpg", "img11.jpg"}));
}

TEST_F(ParallelShrink, aJpegWhoseFullSizeSaveFitsGetsTheLibrarysSave) {
  WriteLibraryJpeg(Source + "dpi.jpg", 400, 300, 11811, false);
  WriteLibraryJpeg(Source + "icc.jpg", 400, 300, 3937, true);
  WriteJpeg(Source + "plain.jpg", 400, 300, 100, 5);
  FreezeSource();
  // The library's own load and save of each source.
  std::map<std::string, std::vector<uint8_t>> expected;
  size_t largest = 0;
  for (const char* name : {"dpi.jpg", "icc.jpg", "plain.jpg"}) {
    TImageBitmap picture;
    ASSERT_TRUE(picture.Load(Source + name));
    ASSERT_TRUE(picture.SaveToBytes(FIF_JPEG, expected[name], JPEG_DEFAULT));
    largest = std::max(largest, expected[name].size());
  }
  const uint32_t target = static_cast<uint32_t>(largest / 1024 + 1);
  Run(2, target);
  for (const auto& [name, bytes] : expected) {
    ASSERT_GT(GetFileSizeByName(Source + name), int64_t{target} * 1024) << name;
    EXPECT_EQ(ReadFileBytes(Dir / ("src_SIZE" + std::to_string(target) + " kB/" + name)),
              bytes)
        << name;
  }
}

TEST_F(ParallelShrink, reducedTrialsMeasureLikeTrialsFromTheFullSizePicture) {
  WriteJpeg(Source + "a.jpg", 1600, 1200, 92, 8);
  const std::vector<uint8_t> bytes = ReadFileBytes(Source + "a.jpg");
  TJpegImage source;
  source.LoadFromFile(Source + "a.jpg");
  QImage half;
  const std::optional<std::vector<uint8_t>> fullSave = FullSizeJpegSave(source, half);
  ASSERT_TRUE(fullSave);
  EXPECT_EQ(half.size(), QSize(800, 600));
  TReducedJpegMaster reduced(source, *fullSave, half);
  TDisplayBitmap picture;
  ASSERT_TRUE(picture.Load(Source + "a.jpg"));
  TContainerMaster whole(picture);
  // Streamed (wider than half the half size), from the half, whole.
  for (const QSize size : {QSize(1201, 901), QSize(1000, 750), QSize(400, 300), QSize(1600, 1200)}) {
    const TTrialPicture got = reduced.Make(size.width(), size.height());
    const TTrialPicture want = whole.Make(size.width(), size.height());
    ASSERT_TRUE(got.Saved && want.Saved);
    EXPECT_EQ(QSize(got.Width, got.Height), size);
    const double ratio = double(got.Bytes.size()) / double(want.Bytes.size());
    EXPECT_NEAR(ratio, 1.0, 0.04) << size.width();
    TJpegImage a, b;
    a.LoadFromBytes(got.Bytes);
    b.LoadFromBytes(want.Bytes);
    const QImage pa = a.ToBitmap(), pb = b.ToBitmap();
    double error = 0;
    int samples = 0;
    for (int y = 3; y < pa.height(); y += 17) {
      for (int x = 3; x < pa.width(); x += 17, ++samples) {
        const QColor ca = pa.pixelColor(x, y), cb = pb.pixelColor(x, y);
        error += std::abs(ca.red() - cb.red()) + std::abs(ca.green() - cb.green()) +
                 std::abs(ca.blue() - cb.blue());
      }
    }
    EXPECT_LT(error / (3.0 * samples), 6.0) << size.width();
  }
  EXPECT_EQ(reduced.Decodes(), 2);
  EXPECT_EQ(ReadFileBytes(Source + "a.jpg"), bytes);
}

}  // namespace
}  // namespace pictrim
