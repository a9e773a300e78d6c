// The decoder's shrink by a whole factor costs the copy no detail: on
// pictures of fine detail, a picture shrunk by the decoder and rescaled
// comes as close to a reference rescale (Lanczos, linear light) as the box
// rescale of the whole picture, without a shift.
#include <gtest/gtest.h>

#include <QImage>

#include <string>

#include "bench/DetailedPictures.h"
#include "image/ImageBitmap.h"
#include "image/PictureShrink.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPictures.h"

namespace pictrim {
namespace {

using detail::TDetailKind;

class ShrinkQuality : public ::testing::Test {
 protected:
  // The whole picture rescaled with the box filter, and the road of the
  // resize job: shrunk by the decoder as the job lets it, then rescaled.
  struct TCopies {
    QImage Direct, Road;
    uint32_t Factor = 1;
  };
  TCopies Make(const std::string& Path, uint32_t Width, uint32_t Height, bool Sharp) {
    TCopies copies;
    TDisplayBitmap direct, road;
    EXPECT_TRUE(direct.Load(Path));
    EXPECT_TRUE(direct.Rescale(Width, Height, FILTER_BOX));
    direct.CopyToBitmap(&copies.Direct);
    road.SetLoadShrink(
        [&](uint32_t W, uint32_t H) { return decoding::ShrinkFactorFor(W, H, Width, Height); });
    EXPECT_TRUE(road.Load(Path));
    copies.Factor = road.LoadShrink();
    EXPECT_TRUE(road.RescaleFor(Width, Height, Sharp));
    road.CopyToBitmap(&copies.Road);
    return copies;
  }
  test::TTempDir Dir;
};

// Ratios just above those where the decoder shrinks by 2, 3 and 4 (4.1,
// 6.2, 8.3): the copies through the decoder's road are within 0.2 dB of the
// whole picture's box rescale, or closer to the reference. Below 4 : 1 (a
// phone's 4608 pixels to 2048) the picture comes whole.
TEST_F(ShrinkQuality, theDecodersRoadIsAsCloseToTheReferenceAsTheWholePicturesBoxRescale) {
  for (const TDetailKind kind :
       {TDetailKind::ZonePlate, TDetailKind::Stripes, TDetailKind::Photo}) {
    const QImage whole = detail::MakeDetailedPicture(kind, 1152, 864, 7);
    const std::string path = Dir / (detail::DetailKindName(kind) + ".png");
    ASSERT_TRUE(whole.save(QString::fromStdString(path)));
    for (const uint32_t width : {281u, 185u, 138u}) {
      const uint32_t height = width * 864 / 1152;
      const TCopies copies = Make(path, width, height, false);
      EXPECT_GE(copies.Factor, 2u) << width;  // the road is taken
      const QImage reference = test::ReferenceRescale(whole, int(width), int(height));
      const double direct = test::Psnr(copies.Direct, reference);
      const double road = test::Psnr(copies.Road, reference);
      EXPECT_GE(road, direct - 0.2) << detail::DetailKindName(kind) << " to " << width;
    }
    EXPECT_EQ(Make(path, 512, 384, false).Factor, 1u);
  }
}

// The sharp rescale after the shrink comes closer to the reference than the
// box rescale of the whole picture, and than its own box road.
TEST_F(ShrinkQuality, theSharpRescaleAfterTheShrinkComesCloserStill) {
  const QImage whole = detail::MakeDetailedPicture(TDetailKind::Photo, 1152, 864, 9);
  const std::string path = Dir / "photo.png";
  ASSERT_TRUE(whole.save(QString::fromStdString(path)));
  const TCopies box = Make(path, 256, 192, false);
  const TCopies sharp = Make(path, 256, 192, true);
  EXPECT_EQ(sharp.Factor, 2u);  // 4.5 : 1 leaves the filter 2.25
  const QImage reference = test::ReferenceRescale(whole, 256, 192);
  EXPECT_GT(test::Psnr(sharp.Road, reference), test::Psnr(box.Direct, reference) + 1.0);
  EXPECT_GT(test::Psnr(sharp.Road, reference), test::Psnr(box.Road, reference) + 1.0);
}

// A shrunk picture whose sides are no multiples of the factor keeps its
// place: an edge between black and white stays where it was.
TEST_F(ShrinkQuality, aShrunkPictureWithRaggedBlocksIsNotShifted) {
  QImage whole(1003, 601, QImage::Format_RGB888);
  for (int y = 0; y < whole.height(); ++y) {
    for (int x = 0; x < whole.width(); ++x) {
      const bool light = x >= 700 || y >= 400;
      whole.setPixelColor(x, y, light ? Qt::white : Qt::black);
    }
  }
  const std::string path = Dir / "edges.png";
  ASSERT_TRUE(whole.save(QString::fromStdString(path)));
  const TCopies copies = Make(path, 200, 119, false);
  EXPECT_EQ(copies.Factor, 2u);
  const QImage reference = test::ReferenceRescale(whole, 200, 119);
  EXPECT_GT(test::Psnr(copies.Road, reference), test::Psnr(copies.Direct, reference) - 0.2);
  // Column 139 of the copy covers the whole picture's column 700; the
  // columns on either side of it lie wholly on one side of the edge.
  EXPECT_LT(qGray(copies.Road.pixel(138, 10)), 8);
  EXPECT_GT(qGray(copies.Road.pixel(140, 10)), 247);
  EXPECT_LT(qGray(copies.Road.pixel(10, 78)), 8);
  EXPECT_GT(qGray(copies.Road.pixel(10, 80)), 247);
}

}  // namespace
}  // namespace pictrim
