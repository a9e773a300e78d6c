#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <sstream>
#include <thread>

#include "image/IsolatedDecode.h"
#include "image/JpegCodec.h"
#include "image/JpegImage.h"
#include "tests/common/HostileJpegs.h"
#include "tests/common/StillClock.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPictures.h"
#include "tests/common/WaitFor.h"
#include "util/Errors.h"
#include "util/SystemUtils.h"

namespace pictrim {
namespace {

using test::TTempDir;

// Offset of the first marker segment with the given code, npos when absent.
size_t FindMarker(const std::vector<uint8_t>& Jpeg, uint8_t Code) {
  size_t pos = 2;
  while (pos + 4 <= Jpeg.size() && Jpeg[pos] == 0xFF) {
    if (Jpeg[pos + 1] == Code) return pos;
    if (Jpeg[pos + 1] == 0xDA) break;
    pos += 2 + (Jpeg[pos + 2] << 8 | Jpeg[pos + 3]);
  }
  return std::string::npos;
}

class JpegPicture : public ::testing::Test {
 protected:
  TTempDir Dir;
};

TEST_F(JpegPicture, loadedBytesAreWrittenBackUnchanged) {
  test::WriteJpeg(Dir / "a.jpg", 120, 80, 75);
  const std::vector<uint8_t> original = ReadFileBytes(Dir / "a.jpg");
  TJpegImage jpeg;
  jpeg.LoadFromFile(Dir / "a.jpg");
  EXPECT_EQ(jpeg.Width(), 120u);
  EXPECT_EQ(jpeg.Height(), 80u);
  EXPECT_TRUE(jpeg.HoldsLoadedData());
  EXPECT_EQ(jpeg.EncodedData(), original);
  jpeg.SetCompressionQuality(50);  // does not touch loaded bytes
  jpeg.SaveToFile(Dir / "b.jpg");
  EXPECT_EQ(ReadFileBytes(Dir / "b.jpg"), original);
  std::ostringstream stream;
  jpeg.SaveToStream(stream);
  EXPECT_EQ(stream.str(), std::string(original.begin(), original.end()));
}

TEST_F(JpegPicture, pixelsAreDecodedOnlyWhenAskedFor) {
  test::WriteJpeg(Dir / "a.jpg", 64, 64);
  std::vector<uint8_t> bytes = ReadFileBytes(Dir / "a.jpg");
  // Damage the entropy-coded data behind the header: loading still works,
  // the damage shows only when decoding.
  const size_t sos = FindMarker(bytes, 0xDA);
  ASSERT_NE(sos, std::string::npos);
  for (size_t i = sos + 20; i < bytes.size() - 2; i += 7) bytes[i] = 0xFF;
  TJpegImage jpeg;
  ASSERT_NO_THROW(jpeg.LoadFromBytes(bytes));
  EXPECT_EQ(jpeg.Width(), 64u);
  EXPECT_EQ(jpeg.DecodeWarnings(), 0);
  try {
    jpeg.ToBitmap();
    EXPECT_GT(jpeg.DecodeWarnings(), 0);
  } catch (const EJpegError&) {
    SUCCEED();
  }
}

TEST_F(JpegPicture, newPixelsAreEncodedAsBaselineAtQuality90) {
  TJpegImage jpeg;
  jpeg.Assign(test::MakeNaturalImage(50, 30));
  EXPECT_FALSE(jpeg.HoldsLoadedData());
  EXPECT_EQ(jpeg.CompressionQuality(), 90);
  const std::vector<uint8_t> data = jpeg.EncodedData();
  ASSERT_GT(data.size(), 100u);
  EXPECT_EQ(data[0], 0xFF);
  EXPECT_EQ(data[1], 0xD8);
  EXPECT_NE(FindMarker(data, 0xC0), std::string::npos);  // baseline frame
  const size_t dqt = FindMarker(data, 0xDB);
  ASSERT_NE(dqt, std::string::npos);
  EXPECT_EQ(data[dqt + 5], 3);  // first luminance step at quality 90

  TJpegImage back;
  back.LoadFromBytes(data);
  EXPECT_EQ(back.Width(), 50u);
  EXPECT_EQ(back.Height(), 30u);
  const QImage pixels = back.ToBitmap();
  EXPECT_EQ(pixels.size(), QSize(50, 30));
  EXPECT_EQ(back.DecodeWarnings(), 0);
}

TEST_F(JpegPicture, changingTheQualityReencodesAssignedPixels) {
  TJpegImage jpeg;
  jpeg.Assign(test::MakeNaturalImage(64, 64));
  const size_t at90 = jpeg.EncodedData().size();
  jpeg.SetCompressionQuality(30);
  EXPECT_LT(jpeg.EncodedData().size(), at90);
}

TEST_F(JpegPicture, scaledDecodeGivesAFractionOfTheSize) {
  test::WriteJpeg(Dir / "a.jpg", 400, 300);
  TJpegImage jpeg;
  jpeg.LoadFromFile(Dir / "a.jpg");
  EXPECT_EQ(jpeg.ToScaledBitmap(4).size(), QSize(100, 75));
}

TEST_F(JpegPicture, reducedDecodeIsAsSmallAsPossibleButNeverBelowTheWantedSize) {
  struct TCase {
    int W, H;
    uint32_t MinW, MinH;
  } cases[] = {{1001, 667, 250, 166},   {1001, 667, 251, 167},   {997, 1003, 125, 126},
               {2000, 1500, 1024, 768}, {1500, 2000, 768, 1024}, {803, 601, 800, 598},
               {640, 480, 80, 60},      {640, 480, 81, 60},      {33, 17, 4, 2}};
  for (const TCase& c : cases) {
    const std::string path = Dir / (std::to_string(c.W) + "x" + std::to_string(c.H) + ".jpg");
    if (!std::filesystem::exists(path)) test::WriteJpeg(path, c.W, c.H);
    TJpegImage jpeg;
    jpeg.LoadFromFile(path);
    const QImage reduced = jpeg.ToReducedBitmap(c.MinW, c.MinH);
    EXPECT_EQ(reduced.format(), QImage::Format_RGB32);
    const uint32_t w = static_cast<uint32_t>(reduced.width());
    const uint32_t h = static_cast<uint32_t>(reduced.height());
    EXPECT_GE(w, c.MinW) << c.W << "x" << c.H;
    EXPECT_GE(h, c.MinH) << c.W << "x" << c.H;
    // The next smaller scale would not do (unless this one is already 1/8).
    const unsigned d = jpegcodec::ReducedScaleDenom(c.W, c.H, c.MinW, c.MinH);
    EXPECT_EQ(w, (c.W + d - 1) / d);
    if (d < 8) {
      EXPECT_TRUE((c.W + 2 * d - 1) / (2 * d) < c.MinW || (c.H + 2 * d - 1) / (2 * d) < c.MinH);
    }
  }
}

TEST_F(JpegPicture, thirtyTwoBitPixelsAreEncodedWithTheirColours) {
  QImage bitmap(16, 16, QImage::Format_RGB32);
  bitmap.fill(QColor(200, 30, 60));
  TJpegImage jpeg;
  jpeg.Assign(bitmap);
  TJpegImage back;
  back.LoadFromBytes(jpeg.EncodedData());
  const QColor c = back.ToBitmap().pixelColor(8, 8);
  EXPECT_NEAR(c.red(), 200, 4);
  EXPECT_NEAR(c.green(), 30, 4);
  EXPECT_NEAR(c.blue(), 60, 4);
}

TEST_F(JpegPicture, foreignOrMissingFilesRaise) {
  test::WriteTextFile(Dir / "text.jpg", "no jpeg here");
  TJpegImage jpeg;
  EXPECT_THROW(jpeg.LoadFromFile(Dir / "text.jpg"), EJpegError);
  EXPECT_THROW(jpeg.LoadFromFile(Dir / "missing.jpg"), EInOutError);
  EXPECT_TRUE(jpeg.Empty());
  EXPECT_THROW(jpeg.EncodedData(), EJpegError);
  EXPECT_THROW(jpeg.SaveToFile(Dir / "nothing.jpg"), EJpegError);
}

TEST_F(JpegPicture, aPictureIsAdmittedByWhatItsDecodeNeedsAtTheScaleDecoded) {
  test::WriteJpeg(Dir / "a.jpg", 2000, 1500);
  TDecodeLimits limits;
  limits.BudgetBytes = uint64_t(4) << 20;
  SetDecodeLimits(limits);
  TJpegImage jpeg;
  jpeg.LoadFromFile(Dir / "a.jpg");
  // 1/4: 500 x 375 x 4 bytes fit; the whole picture (9 MB) does not.
  EXPECT_EQ(jpeg.ToReducedBitmap(500, 375).size(), QSize(500, 375));
  EXPECT_THROW(jpeg.ToBitmap(), EJpegLimitError);
  SetDecodeLimits(TDecodeLimits());
  EXPECT_EQ(jpeg.ToBitmap().size(), QSize(2000, 1500));
  EXPECT_EQ(PictureBudget().Used(), 0u);
}

TEST_F(JpegPicture, progressiveFramesThatClaimTooMuchAreRefusedBeforeTheirDecode) {
  test::WriteTextFile(Dir / "bomb.jpg", test::ClaimingJpeg(15000, 15000, 1));
  test::WriteTextFile(Dir / "scans.jpg", test::ClaimingJpeg(800, 800, MaxJpegScans + 1));
  TJpegImage bomb, scans;
  bomb.LoadFromFile(Dir / "bomb.jpg");
  scans.LoadFromFile(Dir / "scans.jpg");
  EXPECT_THROW(bomb.ToReducedBitmap(100, 100), EJpegLimitError);
  EXPECT_THROW(scans.ToReducedBitmap(100, 100), EJpegLimitError);
  EXPECT_GT(scans.DecodeWarnings(), 0);  // counted up to the stop
  test::WriteTextFile(Dir / "scans.jpg", test::ClaimingJpeg(800, 800, MaxJpegScans));
  scans.LoadFromFile(Dir / "scans.jpg");
  EXPECT_EQ(scans.ToReducedBitmap(100, 100).size(), QSize(100, 100));
}

TEST_F(JpegPicture, aCancelStopsTheDecodesOfAPictureThatWatchesTheFlag) {
  test::WriteJpeg(Dir / "a.jpg", 300, 200);
  std::atomic<bool> cancel{false};
  TJpegImage jpeg;
  jpeg.SetCancelFlag(&cancel);
  jpeg.LoadFromFile(Dir / "a.jpg");
  cancel = true;
  EXPECT_THROW(jpeg.ToBitmap(), EJpegCancelled);
  EXPECT_THROW(jpeg.Transcode(75), EJpegCancelled);
  TJpegImage unwatched;
  unwatched.LoadFromFile(Dir / "a.jpg");
  EXPECT_EQ(unwatched.ToBitmap().size(), QSize(300, 200));
}

// The time a decode is allowed counts from its admission: a JPEG that
// waited for memory longer than its whole time still decodes. Its patience
// is its time (an hour, by the real clock), the time limit runs on a clock
// the test moves.
TEST_F(JpegPicture, aDecodeThatWaitedForMemoryLongerThanItsTimeStillDecodes) {
  test::WriteJpeg(Dir / "a.jpg", 300, 200);
  TDecodeLimits limits;
  limits.Seconds = 3600;
  SetDecodeLimits(limits);
  test::TStillClock clock;
  TJpegImage jpeg;
  jpeg.LoadFromFile(Dir / "a.jpg");
  TMemoryLease held = PictureBudget().Acquire(PictureBudget().Capacity());
  QImage decoded;
  std::thread decode([&] {
    try {
      decoded = jpeg.ToBitmap();
    } catch (const std::exception&) {
    }
  });
  const bool waited = test::WaitUntil([] { return PictureBudget().Waiting() == 1; });
  clock.Advance(std::chrono::milliseconds(3600 * 1000 + 1));
  held.Release();
  decode.join();
  SetDecodeLimits(TDecodeLimits());
  EXPECT_TRUE(waited);
  EXPECT_EQ(decoded.size(), QSize(300, 200));
}

TEST_F(JpegPicture, aLargeFileIsReadAsItIsDecodedNeverWhole) {
  // A real picture followed by 2 GB of nothing (a sparse file costs no disk).
  test::WriteJpeg(Dir / "big.jpg", 640, 480);
  std::filesystem::resize_file(Dir / "big.jpg", uint64_t(2) << 30);
  rusage before{};
  ::getrusage(RUSAGE_SELF, &before);
  TJpegImage jpeg;
  jpeg.LoadFromFile(Dir / "big.jpg");
  EXPECT_EQ(jpeg.ToReducedBitmap(160, 120).size(), QSize(160, 120));
  EXPECT_THROW(jpeg.EncodedData(), EJpegLimitError);
  rusage after{};
  ::getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 100 * 1024) << "kilobytes more at the peak";
}

TEST_F(JpegPicture, onlyRegularFilesAreOpenedAndAFifoIsRefusedAtOnce) {
  ASSERT_EQ(::mkfifo((Dir / "pipe.jpg").c_str(), 0644), 0);
  TJpegImage jpeg;
  EXPECT_THROW(jpeg.LoadFromFile(Dir / "pipe.jpg"), EInOutError);
  EXPECT_THROW(jpeg.LoadFromFile(Dir.Path()), EInOutError);
  EXPECT_THROW(jpeg.LoadFromFile("/dev/zero"), EInOutError);
}

TEST_F(JpegPicture, greyscaleJpegsDecodeToColourPixels) {
  test::WritePicture(Dir / "grey.jpg", 32, 16, FIF_JPEG, 8);
  TJpegImage jpeg;
  jpeg.LoadFromFile(Dir / "grey.jpg");
  const QImage pixels = jpeg.ToBitmap();
  EXPECT_EQ(pixels.format(), QImage::Format_RGB888);
  const QColor c = pixels.pixelColor(5, 5);
  EXPECT_EQ(c.red(), c.green());
  EXPECT_EQ(c.green(), c.blue());
}

}  // namespace
}  // namespace pictrim
