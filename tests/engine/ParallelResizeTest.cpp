#include <gtest/gtest.h>

#include <filesystem>

#include "engine/Resize.h"
#include "image/JpegImage.h"
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

class ParallelResize : public test::BatchTest {
 protected:
  void TearDown() override {
    BatchThreads = 0;
    test::BatchTest::TearDown();
  }
  void Run(unsigned Threads, uint32_t Size, bool Overwrite = true) {
    BatchThreads = Threads;
    ConvertPICsWholeTree(&Window, Source, "", Size, Size, "", 0, WM_BATCH_PROGRESS,
                         WM_BATCH_FILE, Overwrite, ErrorLog);
    Window.pump();
  }
  // A tree that mixes quick and slow files and every kind of log line.
  void MakeMixedTree() {
    for (int i = 0; i < 12; ++i) {
      const std::string name = "p" + std::to_string(i / 10) + std::to_string(i % 10);
      if (i % 4 == 3) {
        WritePicture(Source + "sub/" + name + ".png", 300 + 37 * i, 200 + 11 * i, FIF_PNG);
      } else {
        WriteJpeg(Source + name + ".jpg", 200 + 301 * i, 900 - 23 * i, 85, static_cast<unsigned>(i));
      }
    }
    WritePicture(Source + "dot.png", 1, 1, FIF_PNG);
    WriteTextFile(Source + "broken.jpg", "\xFF\xD8 not really");
    WriteTextFile(Source + "notes.txt", "text");
    WritePicture(Source + "strip.png", 3000, 4, FIF_PNG);
  }
};

TEST_F(ParallelResize, severalWorkersReportExactlyWhatOneWorkerReports) {
  MakeMixedTree();
  FreezeSource();
  Run(1, 64);
  const std::vector<std::string> notesOne = Notes();
  const std::vector<std::string> logOne = Log();
  ASSERT_GE(logOne.size(), 3u);
  for (unsigned threads : {2u, 4u}) {
    Received.clear();
    ErrorLog.clear();
    Run(threads, 64);
    EXPECT_EQ(Notes(), notesOne) << threads << " workers";
    EXPECT_EQ(Log(), logOne) << threads << " workers";
  }
}

TEST_F(ParallelResize, aCancelLeavesOnlyWholeCopies) {
  for (int i = 0; i < 16; ++i) WriteJpeg(Source + "img" + std::to_string(100 + i) + ".jpg", 1203, 901, 90, i);
  FreezeSource();
  int files = 0;
  OnMessage = [&files](const TBatchMessage& m) {
    if (m.Message == WM_BATCH_FILE && ++files == 3) CancelRequested = true;
  };
  Run(4, 300);
  EXPECT_EQ(Notes()[Notes().size() - 2], "STATUS Letze Aktion = Prozess abgebrochen");
  int copies = 0;
  for (const auto& entry : fs::recursive_directory_iterator(Dir / "src_MAXSIZE300")) {
    ++copies;
    const std::string path = entry.path().string();
    EXPECT_EQ(path.find(".pictrim-"), std::string::npos) << path;
    TJpegImage jpeg;
    jpeg.LoadFromFile(path);
    EXPECT_EQ(QSize(jpeg.Width(), jpeg.Height()), QSize(300, 224)) << path;
    EXPECT_EQ(jpeg.ToBitmap().size(), QSize(300, 224));
    EXPECT_EQ(jpeg.DecodeWarnings(), 0) << path;
  }
  EXPECT_EQ(copies, 3);  // the reported ones, and nothing begun after the cancel
}

TEST_F(ParallelResize, reducedDecodingGivesTheSizesOfAFullDecode) {
  struct TCase {
    int W, H;
  } cases[] = {{1001, 667}, {667, 1001}, {2047, 1535}, {1023, 17}, {803, 803}, {4001, 2999}};
  for (const TCase& c : cases) {
    WriteJpeg(Source + std::to_string(c.W) + "x" + std::to_string(c.H) + ".jpg", c.W, c.H);
  }
  FreezeSource();
  for (uint32_t size : {100u, 250u, 333u, 1024u}) {
    Run(2, size);
    for (const TCase& c : cases) {
      const TPictureSize expected = CalcNewSize(size, size, c.W, c.H);
      const std::string out = Dir / ("src_MAXSIZE" + std::to_string(size) + "/" +
                                     std::to_string(c.W) + "x" + std::to_string(c.H) + ".jpg");
      EXPECT_EQ(PictureSize(out), QSize(expected.Width, expected.Height)) << out;
    }
  }
  EXPECT_TRUE(Log().empty());
}

TEST_F(ParallelResize, theCopyLooksLikeTheSource) {
  // A reduced decode must not shift or tint the picture: compare the copy
  // with the source scaled down by the screen bitmap.
  const QImage original = test::MakeNaturalImage(1600, 1200, 5);
  TJpegImage jpeg;
  jpeg.Assign(original);
  jpeg.SetCompressionQuality(95);
  jpeg.SaveToFile(Source + "a.jpg");
  FreezeSource();
  Run(2, 400);
  TJpegImage copy;
  copy.LoadFromFile(Dir / "src_MAXSIZE400/a.jpg");
  const QImage got = copy.ToBitmap();
  const QImage want = original.scaled(400, 300, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  double error = 0;
  for (int y = 0; y < 300; y += 7) {
    for (int x = 0; x < 400; x += 7) {
      const QColor a = got.pixelColor(x, y), b = want.pixelColor(x, y);
      error += std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
               std::abs(a.blue() - b.blue());
    }
  }
  const double samples = (300 / 7 + 1) * (400 / 7 + 1) * 3.0;
  EXPECT_LT(error / samples, 8.0);
}

}  // namespace
}  // namespace pictrim
