// libavcodec as libheif's HEVC decoder: the same pixels as libheif's own
// decoder for every kind of HEIC a phone or an editor writes, and damaged
// coded data ends in an error or a warning, never in a crash.
#include "image/HevcDecoder.h"

#include <gtest/gtest.h>
#include <libheif/heif.h>

#include <QImage>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "image/HeifHandles.h"
#include "tests/common/HeifPictures.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPictures.h"

namespace pictrim::decoding {
namespace {

constexpr const char* Ours = "pictrim-libavcodec";
constexpr const char* Libheifs = "libde265";

struct TDecoded {
  bool Ok = false;
  std::string Failure;
  int Width = 0;
  int Height = 0;
  int Warnings = 0;
  std::string Colour;  // the colour description the picture came with
  std::vector<std::vector<uint8_t>> Planes;  // each plane's rows, without padding
};

std::vector<uint8_t> PlaneBytes(const heif_image* Image, heif_channel Channel) {
  if (!heif_image_has_channel(Image, Channel)) return {};
  int stride = 0;
  const uint8_t* data = heif_image_get_plane_readonly(Image, Channel, &stride);
  const int width = heif_image_get_width(Image, Channel);
  const int height = heif_image_get_height(Image, Channel);
  const int bytes = (heif_image_get_bits_per_pixel(Image, Channel) + 7) / 8;
  std::vector<uint8_t> rows;
  for (int y = 0; y < height; ++y)
    rows.insert(rows.end(), data + size_t(y) * size_t(stride),
                data + size_t(y) * size_t(stride) + size_t(width) * size_t(bytes));
  return rows;
}

// The primary picture of File decoded by the decoder named, in the colour
// space and layout asked for (undefined: as the coded data has it).
TDecoded Decode(const std::string& File, const char* Decoder, heif_colorspace Space,
                heif_chroma Chroma, bool Strict = false) {
  TDecoded decoded;
  THeifContextPtr context(heif_context_alloc());
  // One tile after the other, as the decoder process decodes them.
  heif_context_set_max_decoding_threads(context.get(), 0);
  heif_error error =
      heif_context_read_from_memory_without_copy(context.get(), File.data(), File.size(), nullptr);
  heif_image_handle* rawHandle = nullptr;
  if (error.code == heif_error_Ok)
    error = heif_context_get_primary_image_handle(context.get(), &rawHandle);
  THeifHandlePtr handle(rawHandle);
  if (error.code != heif_error_Ok) {
    decoded.Failure = error.message;
    return decoded;
  }
  THeifOptionsPtr options(heif_decoding_options_alloc());
  options->decoder_id = Decoder;
  options->strict_decoding = Strict ? 1 : 0;
  heif_image* rawImage = nullptr;
  error = heif_decode_image(handle.get(), &rawImage, Space, Chroma, options.get());
  THeifImagePtr image(rawImage);
  if (error.code != heif_error_Ok) {
    decoded.Failure = error.message;
    return decoded;
  }
  decoded.Ok = true;
  decoded.Width = heif_image_get_primary_width(image.get());
  decoded.Height = heif_image_get_primary_height(image.get());
  decoded.Warnings = heif_image_get_decoding_warnings(image.get(), 0, nullptr, 0);
  heif_color_profile_nclx* nclx = nullptr;
  if (heif_image_get_nclx_color_profile(image.get(), &nclx).code == heif_error_Ok && nclx) {
    decoded.Colour = std::to_string(nclx->color_primaries) + "/" +
                     std::to_string(nclx->transfer_characteristics) + "/" +
                     std::to_string(nclx->matrix_coefficients) + "/" +
                     std::to_string(nclx->full_range_flag);
    heif_nclx_color_profile_free(nclx);
  }
  for (const heif_channel channel : {heif_channel_Y, heif_channel_Cb, heif_channel_Cr,
                                     heif_channel_Alpha, heif_channel_interleaved})
    decoded.Planes.push_back(PlaneBytes(image.get(), channel));
  return decoded;
}

// How two planes differ, for a failure's message.
std::string Differences(const std::vector<uint8_t>& A, const std::vector<uint8_t>& B) {
  if (A.size() != B.size())
    return "sizes " + std::to_string(A.size()) + " and " + std::to_string(B.size());
  size_t count = 0, first = A.size();
  int largest = 0;
  for (size_t i = 0; i < A.size(); ++i) {
    if (A[i] == B[i]) continue;
    ++count;
    first = std::min(first, i);
    largest = std::max(largest, std::abs(A[i] - B[i]));
  }
  return std::to_string(count) + " samples differ, the first at " + std::to_string(first) +
         ", by up to " + std::to_string(largest);
}

class HevcDecoder : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    heif_init(nullptr);
    ASSERT_TRUE(UseLibavcodecForHevc());
  }
  static void TearDownTestSuite() { heif_deinit(); }

  // Decodes File with both decoders, as coded and as RGB, and expects the
  // same pictures, sample for sample.
  static void ExpectTheSamePixels(const std::string& File, heif_chroma Coded, heif_chroma Rgb,
                                  const std::string& What) {
    for (const auto& [space, chroma] :
         {std::pair{heif_colorspace_YCbCr, Coded}, std::pair{heif_colorspace_RGB, Rgb}}) {
      const TDecoded ours = Decode(File, Ours, space, chroma);
      const TDecoded theirs = Decode(File, Libheifs, space, chroma);
      ASSERT_TRUE(ours.Ok) << What << ": " << ours.Failure;
      ASSERT_TRUE(theirs.Ok) << What << ": " << theirs.Failure;
      EXPECT_EQ(ours.Width, theirs.Width) << What;
      EXPECT_EQ(ours.Height, theirs.Height) << What;
      EXPECT_EQ(ours.Warnings, 0) << What;
      EXPECT_EQ(ours.Colour, theirs.Colour) << What;
      ASSERT_EQ(ours.Planes.size(), theirs.Planes.size());
      for (size_t i = 0; i < ours.Planes.size(); ++i)
        EXPECT_TRUE(ours.Planes[i] == theirs.Planes[i])
            << What << ", plane " << i << ": " << Differences(ours.Planes[i], theirs.Planes[i]);
    }
  }
};

TEST_F(HevcDecoder, givesTheSamePixelsAsLibheifsOwnForEveryKindOfHeic) {
  const QImage photo = test::MakeNaturalImage(61, 45, 7);
  test::THeifOptions plain;
  ExpectTheSamePixels(test::EncodeHeif(photo, plain), heif_chroma_420, heif_chroma_interleaved_RGB, "4:2:0, odd size");
  for (const auto& [name, chroma] : {std::pair{"422", heif_chroma_422}, std::pair{"444", heif_chroma_444}}) {
    test::THeifOptions options;
    options.Chroma = name;
    ExpectTheSamePixels(test::EncodeHeif(photo, options), chroma, heif_chroma_interleaved_RGB, name);
  }
  // Colours stated only in the coded data (the container's statement
  // taken out): the decoder passes them on, and libheif turns the picture
  // into RGB by them.
  for (const auto& [matrix, full] : {std::pair{1, false}, std::pair{6, false}, std::pair{9, true}}) {
    test::THeifOptions stated;
    stated.Matrix = matrix;
    stated.FullRange = full;
    std::string file = test::EncodeHeif(photo, stated);
    if (const size_t colr = file.find("colrnclx"); colr != std::string::npos)
      file.replace(colr, 4, "xxxx");
    ExpectTheSamePixels(file, heif_chroma_420, heif_chroma_interleaved_RGB,
                        "matrix " + std::to_string(matrix));
  }
  test::THeifOptions deep;
  deep.BitDepth = 10;
  ExpectTheSamePixels(test::EncodeHeif(photo, deep), heif_chroma_420, heif_chroma_interleaved_RRGGBB_LE, "10 bits");
  test::THeifOptions rough;
  rough.Quality = 5;
  ExpectTheSamePixels(test::EncodeHeif(test::MakeNaturalImage(300, 200, 3), rough),
                      heif_chroma_420, heif_chroma_interleaved_RGB, "coarse");
  // The alpha channel is a picture of its own, coded as grey.
  QImage clear = photo.convertToFormat(QImage::Format_RGBA8888);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) clear.setPixelColor(x, y, QColor(0, 0, 0, x * 8));
  ExpectTheSamePixels(test::EncodeHeif(clear), heif_chroma_420, heif_chroma_interleaved_RGBA, "alpha");
  // A phone's tiles, put together by a grid and turned.
  test::TTempDir dir;
  test::THeifOptions turned;
  turned.Orientation = 6;
  test::WriteHeifGrid(dir / "grid.heic", test::MakeNaturalImage(120, 90, 5), 2, 2, turned);
  ExpectTheSamePixels(test::ReadWholeFile(dir / "grid.heic"), heif_chroma_420, heif_chroma_interleaved_RGB,
                      "grid");
}

// Damaged coded data: its unit lengths, the headers of its first units and
// stretches of the picture overwritten. Each file is decoded at its size or
// refused, refused where libheif's own decoder refuses it too; a picture
// libavcodec complained about carries a warning, and strict decoding
// refuses it.
TEST_F(HevcDecoder, damagedCodedDataIsRefusedOrDecodedWithAWarningAsLibheifsOwnIs) {
  const std::string good = test::EncodeHeif(test::MakeNaturalImage(160, 120, 9));
  const size_t data = good.find("mdat") + 4;
  ASSERT_NE(data, std::string::npos + 4);
  std::vector<size_t> places;
  for (size_t at = data; at < data + 40; ++at) places.push_back(at);
  for (size_t at = data + 40; at < good.size(); at += 31) places.push_back(at);
  int refused = 0, warned = 0;
  for (const size_t at : places) {
    std::string damaged = good;
    damaged[at] = char(damaged[at] ^ 0x5A);
    const TDecoded ours = Decode(damaged, Ours, heif_colorspace_RGB, heif_chroma_interleaved_RGB);
    const TDecoded theirs =
        Decode(damaged, Libheifs, heif_colorspace_RGB, heif_chroma_interleaved_RGB);
    EXPECT_EQ(ours.Ok, theirs.Ok) << "byte " << at - data << ": " << ours.Failure;
    if (!ours.Ok) {
      ++refused;
      continue;
    }
    EXPECT_EQ(ours.Width, 160);
    EXPECT_EQ(ours.Height, 120);
    if (ours.Warnings > 0) {
      ++warned;
      EXPECT_FALSE(
          Decode(damaged, Ours, heif_colorspace_RGB, heif_chroma_interleaved_RGB, true).Ok);
    }
  }
  EXPECT_GT(refused, 0);
  EXPECT_GT(warned, 0) << "libavcodec complained about none of the damaged files";
}

}  // namespace
}  // namespace pictrim::decoding
