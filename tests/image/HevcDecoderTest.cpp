// libde265 used directly as libheif's HEVC decoder: the same pixels as
// libheif's own decoder for every kind of HEIC a phone or an editor writes,
// and damaged coded data ends in an error or in a warning that names it,
// never in a crash.
#include "image/HevcDecoder.h"

#include <gtest/gtest.h>
#include <libheif/heif.h>

#include <QFile>
#include <QImage>
#include <QProcess>

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

constexpr const char* Ours = "pictrim-libde265";
constexpr const char* Libheifs = "libde265";

struct TDecoded {
  bool Ok = false;
  std::string Failure;
  int Width = 0;
  int Height = 0;
  int Warnings = 0;
  std::string Colour;                        // the colour description the picture came with
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

// True when our decoder is among libheif's HEVC decoders.
bool OursIsRegistered() {
  const heif_decoder_descriptor* found[16];
  const int count = heif_get_decoder_descriptors(heif_compression_HEVC, found, 16);
  for (int i = 0; i < count; ++i)
    if (std::string(heif_decoder_descriptor_get_id_name(found[i])) == Ours) return true;
  return false;
}

class HevcDecoder : public ::testing::Test {
 protected:
  // libheif stays initialised: its end would take the encoders the other
  // tests of this program make their HEIC files with.
  static void SetUpTestSuite() { heif_init(nullptr); }
};

struct TKind {
  std::string What;
  std::string File;
  heif_chroma Coded;  // the layout of the coded data
  heif_chroma Rgb;    // the RGB layout asked for
};

std::vector<TKind> EveryKindOfHeic(const test::TTempDir& Dir) {
  std::vector<TKind> kinds;
  const QImage photo = test::MakeNaturalImage(61, 45, 7);
  kinds.push_back(
      {"4:2:0, odd size", test::EncodeHeif(photo), heif_chroma_420, heif_chroma_interleaved_RGB});
  for (const auto& [name, chroma] :
       {std::pair{"422", heif_chroma_422}, std::pair{"444", heif_chroma_444}}) {
    test::THeifOptions options;
    options.Chroma = name;
    kinds.push_back({name, test::EncodeHeif(photo, options), chroma, heif_chroma_interleaved_RGB});
  }
  // Colours stated only in the coded data (a container's statement taken
  // out, where there is one): the decoder passes them on, and libheif turns
  // the picture into RGB by them.
  for (const auto& [matrix, full] :
       {std::pair{1, false}, std::pair{6, false}, std::pair{9, true}}) {
    test::THeifOptions stated;
    stated.Matrix = matrix;
    stated.FullRange = full;
    std::string file = test::EncodeHeif(photo, stated);
    if (const size_t colr = file.find("colrnclx"); colr != std::string::npos)
      file.replace(colr, 4, "xxxx");
    kinds.push_back(
        {"matrix " + std::to_string(matrix), file, heif_chroma_420, heif_chroma_interleaved_RGB});
  }
  test::THeifOptions deep;
  deep.BitDepth = 10;
  kinds.push_back({"10 bits", test::EncodeHeif(photo, deep), heif_chroma_420,
                   heif_chroma_interleaved_RRGGBB_LE});
  test::THeifOptions rough;
  rough.Quality = 5;
  kinds.push_back({"coarse", test::EncodeHeif(test::MakeNaturalImage(300, 200, 3), rough),
                   heif_chroma_420, heif_chroma_interleaved_RGB});
  // The alpha channel is a picture of its own, coded as grey.
  QImage clear = photo.convertToFormat(QImage::Format_RGBA8888);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) clear.setPixelColor(x, y, QColor(0, 0, 0, x * 8));
  kinds.push_back(
      {"alpha", test::EncodeHeif(clear), heif_chroma_420, heif_chroma_interleaved_RGBA});
  // A phone's tiles, put together by a grid and turned.
  test::THeifOptions turned;
  turned.Orientation = 6;
  test::WriteHeifGrid(Dir / "grid.heic", test::MakeNaturalImage(120, 90, 5), 2, 2, turned);
  kinds.push_back({"grid", test::ReadWholeFile(Dir / "grid.heic"), heif_chroma_420,
                   heif_chroma_interleaved_RGB});
  return kinds;
}

// Runs the test named Name alone in a fresh run of this program; its output
// when it fails.
std::string FailureOfAFreshRun(const std::string& Name) {
  QProcess run;
  run.setProcessChannelMode(QProcess::MergedChannels);
  run.start(
      QFile::symLinkTarget("/proc/self/exe"),
      {QString::fromStdString("--gtest_filter=" + Name), "--gtest_repeat=1", "--gtest_shuffle=0"});
  if (!run.waitForFinished(-1))
    return "the fresh run did not end: " + run.errorString().toStdString();
  const std::string out = run.readAll().toStdString();
  return run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0 ? "" : out;
}

TEST_F(HevcDecoder, givesTheSamePixelsAsLibheifsOwnForEveryKindOfHeic) {
  // Once ours is registered, libheif decodes the tiles of a grid with the
  // decoder of the highest priority whatever decoder was asked for: libheif's
  // own decodes every file before ours is there. When another test of this
  // program has registered ours already, the comparison runs in a fresh run.
  if (OursIsRegistered()) {
    const ::testing::TestInfo* self = ::testing::UnitTest::GetInstance()->current_test_info();
    EXPECT_EQ(FailureOfAFreshRun(std::string(self->test_suite_name()) + "." + self->name()), "");
    return;
  }
  test::TTempDir dir;
  const std::vector<TKind> kinds = EveryKindOfHeic(dir);
  std::vector<std::pair<TDecoded, TDecoded>> theirs;
  for (const TKind& kind : kinds) {
    theirs.emplace_back(Decode(kind.File, Libheifs, heif_colorspace_YCbCr, kind.Coded),
                        Decode(kind.File, Libheifs, heif_colorspace_RGB, kind.Rgb));
  }
  ASSERT_TRUE(RegisterHevcDecoder());
  ASSERT_TRUE(OursIsRegistered());
  for (size_t k = 0; k < kinds.size(); ++k) {
    const TKind& kind = kinds[k];
    const std::pair<TDecoded, TDecoded> ours{
        Decode(kind.File, Ours, heif_colorspace_YCbCr, kind.Coded),
        Decode(kind.File, Ours, heif_colorspace_RGB, kind.Rgb)};
    for (const auto& [mine, libheifs] :
         {std::pair{&ours.first, &theirs[k].first}, std::pair{&ours.second, &theirs[k].second}}) {
      ASSERT_TRUE(mine->Ok) << kind.What << ": " << mine->Failure;
      ASSERT_TRUE(libheifs->Ok) << kind.What << ": " << libheifs->Failure;
      EXPECT_EQ(mine->Width, libheifs->Width) << kind.What;
      EXPECT_EQ(mine->Height, libheifs->Height) << kind.What;
      EXPECT_EQ(mine->Warnings, 0) << kind.What;
      EXPECT_EQ(mine->Colour, libheifs->Colour) << kind.What;
      ASSERT_EQ(mine->Planes.size(), libheifs->Planes.size());
      for (size_t i = 0; i < mine->Planes.size(); ++i)
        EXPECT_TRUE(mine->Planes[i] == libheifs->Planes[i])
            << kind.What << ", plane " << i << ": "
            << Differences(mine->Planes[i], libheifs->Planes[i]);
    }
  }
}

// The share of samples of two pictures (RGB planes of the same size) that
// are more than 16 steps apart.
double ShareOff(const std::vector<uint8_t>& A, const std::vector<uint8_t>& B) {
  if (A.size() != B.size() || A.empty()) return 1.0;
  size_t off = 0;
  for (size_t i = 0; i < A.size(); ++i) off += std::abs(A[i] - B[i]) > 16;
  return double(off) / double(A.size());
}

// Damaged coded data: its unit lengths, the headers of its first units and
// bytes all through the picture's data changed. Each file is decoded at its
// size or refused, refused where libheif's own decoder refuses it too. A
// picture that comes out visibly damaged (more than 2 % of its samples more
// than 16 steps off) carries a warning, nine times in ten at least, and
// strict decoding refuses a picture with a warning.
TEST_F(HevcDecoder, damagedCodedDataIsRefusedOrDecodedWithAWarningAsLibheifsOwnIs) {
  if (!OursIsRegistered()) {
    ASSERT_TRUE(RegisterHevcDecoder());
  }
  const std::string good = test::EncodeHeif(test::MakeNaturalImage(160, 120, 9));
  const TDecoded clean = Decode(good, Ours, heif_colorspace_RGB, heif_chroma_interleaved_RGB);
  ASSERT_TRUE(clean.Ok) << clean.Failure;
  const size_t data = good.find("mdat") + 4;
  ASSERT_NE(data, std::string::npos + 4);
  std::vector<size_t> places;
  for (size_t at = data; at < data + 40; ++at) places.push_back(at);
  for (size_t at = data + 40; at < good.size(); at += 31) places.push_back(at);
  int refused = 0, warned = 0, visible = 0, named = 0;
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
    if (ShareOff(ours.Planes.back(), clean.Planes.back()) > 0.02) {
      ++visible;
      if (ours.Warnings > 0) ++named;
    }
    if (ours.Warnings > 0) {
      ++warned;
      EXPECT_FALSE(
          Decode(damaged, Ours, heif_colorspace_RGB, heif_chroma_interleaved_RGB, true).Ok);
    }
  }
  EXPECT_GT(refused, 0);
  EXPECT_GT(warned, 0) << "the decoder warned of none of the damaged files";
  // Damage no decoder can see stays: a bit of a coefficient's sign or level
  // coded outside the arithmetic coder's contexts, a header value changed to
  // another legal one.
  EXPECT_GE(named * 10, visible * 9) << named << " of " << visible
                                     << " visibly damaged pictures named";
}

}  // namespace
}  // namespace pictrim::decoding
