// Grids of tiles (phone photos) decoded one tile at a time: the same pixels
// as libheif's decode of the whole picture, turned and mirrored as shown,
// whole or shrunk; a grid that declares a huge picture costs what its copy
// needs; the container's boxes read as hostile bytes.
#include <gtest/gtest.h>

#include <libheif/heif.h>

#include <QImage>

#include <memory>
#include <string>

#include "image/HeifBoxes.h"
#include "image/HeifHandles.h"
#include "image/ImageBitmap.h"
#include "image/IsolatedDecode.h"
#include "image/PictureShrink.h"
#include "tests/common/HeifPictures.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPictures.h"

namespace pictrim {
namespace {

using test::THeifOptions;

// libheif's decode of the whole primary picture, in this process: 8-bit
// RGB as shown.
QImage LibheifPicture(const std::string& Path) {
  decoding::THeifContextPtr context(heif_context_alloc());
  // Tiles one after the other: libheif's threads now and then put wrong
  // pixels into a grid.
  heif_context_set_max_decoding_threads(context.get(), 0);
  if (heif_context_read_from_file(context.get(), Path.c_str(), nullptr).code != heif_error_Ok)
    return {};
  heif_image_handle* handle = nullptr;
  heif_context_get_primary_image_handle(context.get(), &handle);
  decoding::THeifHandlePtr owned(handle);
  decoding::THeifOptionsPtr options(heif_decoding_options_alloc());
  options->convert_hdr_to_8bit = 1;
  heif_image* image = nullptr;
  if (heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                        options.get())
          .code != heif_error_Ok)
    return {};
  decoding::THeifImagePtr decoded(image);
  int stride = 0;
  const uint8_t* pixels = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
  const int width = heif_image_get_width(image, heif_channel_interleaved);
  const int height = heif_image_get_height(image, heif_channel_interleaved);
  QImage out(width, height, QImage::Format_RGB888);
  for (int y = 0; y < height; ++y)
    std::memcpy(out.scanLine(y), pixels + size_t(y) * size_t(stride), size_t(width) * 3);
  return out;
}

QImage Shrunk(const QImage& Picture, uint32_t Factor) {
  FIBITMAP* shrunk = decoding::ShrinkRgbRows(Picture.constBits(), size_t(Picture.bytesPerLine()),
                                             uint32_t(Picture.width()), uint32_t(Picture.height()),
                                             3, Factor);
  TDisplayBitmap holder;
  holder.Replace(shrunk);
  QImage out;
  holder.CopyToBitmap(&out);
  return out.convertToFormat(QImage::Format_RGB888);
}

// Where two pictures first differ; empty when they are the same.
std::string FirstDifference(const QImage& Got, const QImage& Expected) {
  if (Got.size() != Expected.size())
    return "size " + std::to_string(Got.width()) + "x" + std::to_string(Got.height()) + " for " +
           std::to_string(Expected.width()) + "x" + std::to_string(Expected.height());
  std::string first;
  int worst = 0, count = 0;
  for (int y = 0; y < Got.height(); ++y) {
    for (int x = 0; x < Got.width(); ++x) {
      if (Got.pixel(x, y) != Expected.pixel(x, y)) {
        if (first.empty()) first = "pixel " + std::to_string(x) + "," + std::to_string(y);
        ++count;
        const QRgb a = Got.pixel(x, y), b = Expected.pixel(x, y);
        worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
      }
    }
  }
  if (!first.empty()) first += " worst " + std::to_string(worst) + " count " + std::to_string(count);
  return first;
}

class HeifGrid : public ::testing::Test {
 protected:
  // The picture as the decoder process gives it, shrunk by Factor.
  QImage Decoded(const std::string& Path, uint32_t Factor = 1) {
    TDisplayBitmap picture;
    picture.SetLoadShrink([Factor](uint32_t, uint32_t) { return Factor; });
    if (!picture.Load(Path)) {
      ADD_FAILURE() << Path << ": " << picture.DecodeFailure();
      return {};
    }
    Damage = picture.DecodeDamage();
    QImage out;
    picture.CopyToBitmap(&out);
    return out.convertToFormat(QImage::Format_RGB888);
  }
  test::TTempDir Dir;
  std::string Damage;
};

TEST_F(HeifGrid, tilesLaidOutOneByOneGiveLibheifsWholePictureTurnedMirroredAndShrunk) {
  struct TCase {
    const char* Name;
    int Columns, Rows, Width, Height;
    THeifOptions Options;
  };
  const auto with = [](auto Change) {
    THeifOptions options;
    Change(options);
    return options;
  };
  const TCase cases[] = {
      {"plain", 4, 3, 160, 120, {}},
      {"cropped turned", 2, 2, 120, 90, with([](THeifOptions& o) { o.Orientation = 6; })},
      {"upside down mirrored", 3, 2, 100, 70, with([](THeifOptions& o) {
         o.Orientation = 3;
         o.Mirror = 0;
       })},
      {"turned left mirrored", 2, 3, 90, 100, with([](THeifOptions& o) {
         o.Orientation = 8;
         o.Mirror = 1;
       })},
      {"four four four", 2, 2, 96, 64, with([](THeifOptions& o) { o.Chroma = "444"; })},
      {"ten bits", 2, 2, 96, 64, with([](THeifOptions& o) { o.BitDepth = 10; })},
      {"colours on the tiles", 2, 2, 96, 64, with([](THeifOptions& o) {
         o.Matrix = 1;
         o.FullRange = false;
         o.GridColour = THeifOptions::ColourOnTiles;
       })},
      {"colours in the coded data only", 2, 2, 96, 64, with([](THeifOptions& o) {
         o.Matrix = 1;
         o.FullRange = false;
         o.GridColour = THeifOptions::NoColour;
       })},
      {"av1 tiles", 2, 2, 96, 64, with([](THeifOptions& o) { o.Avif = true; })},
  };
  for (const TCase& c : cases) {
    const std::string path = Dir / (std::string(c.Name) + ".heic");
    test::WriteHeifGrid(path, test::MakeNaturalImage(c.Width, c.Height, 5), c.Columns, c.Rows,
                        c.Options);
    const QImage expected = LibheifPicture(path);
    ASSERT_FALSE(expected.isNull()) << c.Name;
    EXPECT_EQ(FirstDifference(Decoded(path), expected), "") << c.Name;
    EXPECT_EQ(Damage, "") << c.Name;
    for (const uint32_t factor : {2u, 3u, 8u})
      EXPECT_EQ(FirstDifference(Decoded(path, factor), Shrunk(expected, factor)), "")
          << c.Name << ", shrunk by " << factor;
  }
}

TEST_F(HeifGrid, aGridDeclaringAHugePictureCostsWhatItsShrunkCopyNeeds) {
  THeifOptions options;
  options.GridWidth = 15000;
  options.GridHeight = 15000;
  test::WriteHeifGrid(Dir / "bomb.heic", test::MakeNaturalImage(64, 64, 3), 1, 1, options);
  // libheif's decode of the whole picture would need gigabytes.
  TDecodeLimits limits;
  limits.DecoderMemoryBytes = uint64_t(640) << 20;
  SetDecodeLimits(limits);
  const QImage shrunk = Decoded(Dir / "bomb.heic", 8);
  SetDecodeLimits(TDecodeLimits());
  ASSERT_EQ(shrunk.size(), QSize(1875, 1875));
  // The one tile is there, what no tile covers is black, and the picture is
  // named as damaged.
  EXPECT_GT(qGray(shrunk.pixel(4, 4)), 20);
  EXPECT_EQ(shrunk.pixel(1000, 1000), qRgb(0, 0, 0));
  EXPECT_EQ(Damage, "its tiles do not cover its picture");
}

// A small grid file's bytes, read by the box reader from memory.
std::optional<decoding::THeifMeta> MetaOf(const std::string& File) {
  return decoding::ReadHeifMeta(
      [&File](uint64_t Offset, uint64_t Size, uint8_t* Out) {
        if (Offset > File.size() || Size > File.size() - Offset) return false;
        std::memcpy(Out, File.data() + Offset, Size);
        return true;
      },
      File.size());
}

TEST(HeifBoxes, readTheGridAndStopAtEveryCutAndEveryLieAboutASize) {
  test::TTempDir dir;
  test::WriteHeifGrid(dir / "grid.heic", test::MakeNaturalImage(96, 64, 2), 2, 2);
  const std::string file = test::ReadWholeFile(dir / "grid.heic");
  const std::optional<decoding::THeifMeta> meta = MetaOf(file);
  ASSERT_TRUE(meta);
  const decoding::THeifItem* grid = meta->Item(meta->Primary);
  ASSERT_NE(grid, nullptr);
  EXPECT_EQ(grid->Type, "grid");
  EXPECT_EQ(meta->ReferencedBy(grid->Id, "dimg").size(), 4u);
  ASSERT_NE(meta->PropertyOf(*grid, "ispe"), nullptr);
  const auto size = decoding::ReadSpatialExtent(meta->PropertyOf(*grid, "ispe")->Box);
  EXPECT_EQ(size, std::make_pair(96u, 64u));
  // Cut anywhere inside the meta box: no meta, never a read outside.
  const size_t metaEnd = file.find("mdat") - 4;
  for (size_t cut = 0; cut < metaEnd; cut += 7) EXPECT_FALSE(MetaOf(file.substr(0, cut))) << cut;
  // Every 32-bit size or count inside the meta box made huge: read or
  // refused, never out of bounds (the sanitizers watch).
  for (size_t at = file.find("meta"); at + 4 <= metaEnd; ++at) {
    std::string lying = file;
    for (int i = 0; i < 4; ++i) lying[at + i] = '\xFF';
    (void)MetaOf(lying);
  }
}


// A box of the container as bytes: its size, Type and Contents.
std::string BoxBytes(const std::string& Type, const std::string& Contents) {
  const size_t size = 8 + Contents.size();
  return std::string{char(size >> 24), char(size >> 16), char(size >> 8), char(size)} + Type +
         Contents;
}

// A meta box with one item whose location (version 1, no sizes: an extent
// of no bytes is the whole file) claims Extents extents, Items times over.
std::string MetaWithEmptyExtents(uint16_t Extents, uint16_t Items) {
  std::string locations{char(Items >> 8), char(Items)};
  for (uint16_t item = 1; item <= Items; ++item) {
    locations += std::string{char(item >> 8), char(item), 0, 0, 0, 0} +
                 std::string{char(Extents >> 8), char(Extents)};
  }
  const std::string iloc = BoxBytes("iloc", std::string{1, 0, 0, 0, 0, 0} + locations);
  const std::string entry =
      BoxBytes("infe", std::string{2, 0, 0, 0, 0, 1, 0, 0} + "Exif" + std::string(1, '\0'));
  const std::string iinf = BoxBytes("iinf", std::string{0, 0, 0, 0, 0, 1} + entry);
  return BoxBytes("ftyp", std::string("heic\0\0\0\0mif1", 12)) +
         BoxBytes("meta", std::string(4, '\0') + iinf + iloc);
}

TEST(HeifBoxes, extentsOfNoBytesCannotBeClaimedByTheThousand) {
  // One extent without sizes is the whole file; more of them say nothing
  // more, and cost no bytes of the box: a few hundred bytes must not make
  // the reader hold millions of extents.
  const std::optional<decoding::THeifMeta> one = MetaOf(MetaWithEmptyExtents(1, 1));
  ASSERT_TRUE(one);
  ASSERT_NE(one->Item(1), nullptr);
  EXPECT_EQ(one->Item(1)->Extents.size(), 1u);
  EXPECT_FALSE(MetaOf(MetaWithEmptyExtents(2, 1)));
  EXPECT_FALSE(MetaOf(MetaWithEmptyExtents(65535, 1)));
  EXPECT_FALSE(MetaOf(MetaWithEmptyExtents(65535, 4000)));
}

}  // namespace
}  // namespace pictrim
