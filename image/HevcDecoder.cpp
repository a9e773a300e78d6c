#include "image/HevcDecoder.h"

#include <libde265/de265.h>
#include <libheif/heif.h>
#include <libheif/heif_plugin.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "image/HeifHandles.h"

namespace pictrim::decoding {
namespace {

// Above libheif's own decoder (priority 100), so that this one is taken.
constexpr int Priority = 120;

// The largest picture the decoder may give, in pixels: the coded data may
// claim a larger picture than the container did.
std::atomic<int64_t> MaxPixels{INT32_MAX};

// Why the pictures decoded since the last HevcDamage() are damaged: the
// first warning that said so.
thread_local std::string Damage;

// A warning's text must stay as long as the picture it is added to: the
// texts are kept for the life of the process, a few dozen at most.
const char* KeptText(const std::string& Text) {
  static std::mutex guard;
  static std::deque<std::string> kept;
  const std::lock_guard lock(guard);
  for (const std::string& known : kept)
    if (known == Text) return known.c_str();
  if (kept.size() >= 64) return "the coded data has errors";
  return kept.emplace_back(Text).c_str();
}

struct TDecoder {
  std::vector<std::vector<uint8_t>> Units;  // the coded data's units, as pushed
  bool Strict = false;
};

heif_error Ok() { return {heif_error_Ok, heif_suberror_Unspecified, "Success"}; }

// libheif keeps the message's pointer beyond the call: messages are static.
heif_error Failure(const char* Message) {
  return {heif_error_Decoder_plugin_error, heif_suberror_Unspecified, Message};
}

const char* PluginName() { return "libde265 HEVC decoder with its warnings"; }

int SupportsFormat(heif_compression_format Format) {
  return Format == heif_compression_HEVC ? Priority : 0;
}

heif_error NewDecoder(void** Decoder) {
  *Decoder = new (std::nothrow) TDecoder;
  return *Decoder != nullptr ? Ok() : Failure("no memory for the HEVC decoder");
}

void FreeDecoder(void* Decoder) { delete static_cast<TDecoder*>(Decoder); }

void SetStrict(void* Decoder, int Flag) { static_cast<TDecoder*>(Decoder)->Strict = Flag != 0; }

// libheif hands over the coded data as units, each behind its length in
// four bytes (big-endian).
heif_error PushData(void* Decoder, const void* Data, size_t Size) {
  auto& units = static_cast<TDecoder*>(Decoder)->Units;
  const auto* bytes = static_cast<const uint8_t*>(Data);
  size_t at = 0;
  while (at < Size) {
    if (Size - at < 4) return Failure("the coded data ends inside a unit's length");
    const size_t length = size_t{bytes[at]} << 24 | size_t{bytes[at + 1]} << 16 |
                          size_t{bytes[at + 2]} << 8 | size_t{bytes[at + 3]};
    at += 4;
    if (length > Size - at) return Failure("a unit of the coded data is cut short");
    units.emplace_back(bytes + at, bytes + at + length);
    at += length;
  }
  return Ok();
}

// Whether a warning of the library says that the coded data is damaged
// (the others tell what it could not do with threads).
bool SaysDamaged(de265_error Warning) {
  switch (Warning) {
    case DE265_WARNING_NO_WPP_CANNOT_USE_MULTITHREADING:
    case DE265_WARNING_WARNING_BUFFER_FULL:
    case DE265_WARNING_NUMBER_OF_THREADS_LIMITED_TO_MAXIMUM:
    case DE265_WARNING_SPS_MISSING_CANNOT_DECODE_SEI:
      return false;
    default:
      return true;
  }
}

struct TContextFree {
  void operator()(de265_decoder_context* Context) const { de265_free_decoder(Context); }
};
using TContextPtr = std::unique_ptr<de265_decoder_context, TContextFree>;

// The library's chroma format as libheif names it.
bool LayoutOf(de265_chroma Chroma, heif_colorspace& Space, heif_chroma& Layout, int& Planes) {
  Planes = 3;
  Space = heif_colorspace_YCbCr;
  switch (Chroma) {
    case de265_chroma_mono:
      Planes = 1;
      Space = heif_colorspace_monochrome;
      Layout = heif_chroma_monochrome;
      return true;
    case de265_chroma_420:
      Layout = heif_chroma_420;
      return true;
    case de265_chroma_422:
      Layout = heif_chroma_422;
      return true;
    case de265_chroma_444:
      Layout = heif_chroma_444;
      return true;
  }
  return false;
}

// Copies one plane of the decoded picture into a new plane of Image.
bool CopyPlane(const de265_image* Decoded, int Plane, heif_channel Channel, heif_image* Image) {
  const int width = de265_get_image_width(Decoded, Plane);
  const int height = de265_get_image_height(Decoded, Plane);
  const int bits = de265_get_bits_per_pixel(Decoded, Plane);
  if (width <= 0 || height <= 0 || bits < 1 || bits > 16) return false;
  if (heif_image_add_plane(Image, Channel, width, height, bits).code != heif_error_Ok) return false;
  int inStride = 0, outStride = 0;
  const uint8_t* in = de265_get_image_plane(Decoded, Plane, &inStride);
  uint8_t* out = heif_image_get_plane(Image, Channel, &outStride);
  const size_t rowBytes = size_t(width) * (bits > 8 ? 2 : 1);
  if (in == nullptr || out == nullptr || inStride < 0 || outStride < 0 ||
      size_t(inStride) < rowBytes || size_t(outStride) < rowBytes)
    return false;
  for (int y = 0; y < height; ++y)
    std::memcpy(out + size_t(y) * size_t(outStride), in + size_t(y) * size_t(inStride), rowBytes);
  return true;
}

// Gives the picture the colour description of the coded data (its video
// usability information, with H.273's numbers): libheif turns a tile into
// RGB by it where the container describes none.
void SetColourDescription(const de265_image* Decoded, heif_image* Image) {
  heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc();
  if (nclx == nullptr) return;
  heif_nclx_color_profile_set_color_primaries(
      nclx, static_cast<uint16_t>(de265_get_image_colour_primaries(Decoded)));
  heif_nclx_color_profile_set_transfer_characteristics(
      nclx, static_cast<uint16_t>(de265_get_image_transfer_characteristics(Decoded)));
  heif_nclx_color_profile_set_matrix_coefficients(
      nclx, static_cast<uint16_t>(de265_get_image_matrix_coefficients(Decoded)));
  nclx->full_range_flag = de265_get_image_full_range_flag(Decoded) != 0 ? 1 : 0;
  heif_image_set_nclx_color_profile(Image, nclx);
  heif_nclx_color_profile_free(nclx);
}

heif_error ToHeifImage(const de265_image* Decoded, heif_image** Out) {
  heif_colorspace space = heif_colorspace_undefined;
  heif_chroma chroma = heif_chroma_undefined;
  int planes = 0;
  const int width = de265_get_image_width(Decoded, 0);
  const int height = de265_get_image_height(Decoded, 0);
  if (!LayoutOf(de265_get_chroma_format(Decoded), space, chroma, planes) || width <= 0 ||
      height <= 0)
    return Failure("the HEVC decoder gave a picture of no known layout");
  if (int64_t{width} * height > MaxPixels.load())
    return Failure("the coded data claims more pixels than allowed");
  heif_image* created = nullptr;
  if (heif_image_create(width, height, space, chroma, &created).code != heif_error_Ok)
    return Failure("no memory for the decoded picture");
  THeifImagePtr image(created);
  static constexpr heif_channel Channels[] = {heif_channel_Y, heif_channel_Cb, heif_channel_Cr};
  for (int plane = 0; plane < planes; ++plane) {
    if (!CopyPlane(Decoded, plane, Channels[plane], image.get()))
      return Failure("no memory for the decoded picture");
  }
  SetColourDescription(Decoded, image.get());
  *Out = image.release();
  return Ok();
}

// Runs the units through a fresh decoder and takes the first picture that
// comes out, with the first warning that says the data is damaged.
heif_error DecodeUnits(const std::vector<std::vector<uint8_t>>& Units, heif_image** Out,
                       std::string& Complaint) {
  TContextPtr context(de265_new_decoder());
  if (!context) return Failure("no memory for the HEVC decoder");
  for (const std::vector<uint8_t>& unit : Units) {
    if (unit.size() > size_t(INT_MAX) ||
        !de265_isOK(de265_push_NAL(context.get(), unit.data(), int(unit.size()), 0, nullptr)))
      return Failure("the coded data could not be taken");
  }
  de265_flush_data(context.get());
  heif_error converted = Failure("the coded data holds no picture that could be decoded");
  for (int more = 1; more != 0;) {
    const de265_error error = de265_decode(context.get(), &more);
    if (!de265_isOK(error)) {
      if (error != DE265_ERROR_WAITING_FOR_INPUT_DATA && Complaint.empty())
        Complaint = de265_get_error_text(error);
      break;
    }
    if (const de265_image* decoded = de265_get_next_picture(context.get())) {
      if (*Out == nullptr) converted = ToHeifImage(decoded, Out);
      de265_release_next_picture(context.get());
    }
  }
  for (de265_error warning = de265_get_warning(context.get()); warning != DE265_OK;
       warning = de265_get_warning(context.get())) {
    if (SaysDamaged(warning) && Complaint.empty()) Complaint = de265_get_error_text(warning);
  }
  return converted;
}

heif_error DecodeImage(void* Decoder, heif_image** Out) {
  *Out = nullptr;
  auto* decoder = static_cast<TDecoder*>(Decoder);
  std::string complaint;
  const heif_error decoded = DecodeUnits(decoder->Units, Out, complaint);
  decoder->Units.clear();
  decoder->Units.shrink_to_fit();
  if (decoded.code != heif_error_Ok) {
    heif_image_release(*Out);
    *Out = nullptr;
    return decoded;
  }
  if (!complaint.empty()) {
    if (decoder->Strict) {
      heif_image_release(*Out);
      *Out = nullptr;
      return Failure("the coded data has errors");
    }
    if (Damage.empty()) Damage = complaint;
    heif_image_add_decoding_warning(
        *Out, {heif_error_Decoder_plugin_error, heif_suberror_Unspecified, KeptText(complaint)});
  }
  return Ok();
}

const heif_decoder_plugin Plugin = [] {
  heif_decoder_plugin plugin{};
  plugin.plugin_api_version = 3;
  plugin.get_plugin_name = PluginName;
  plugin.does_support_format = SupportsFormat;
  plugin.new_decoder = NewDecoder;
  plugin.free_decoder = FreeDecoder;
  plugin.push_data = PushData;
  plugin.decode_image = DecodeImage;
  plugin.set_strict_decoding = SetStrict;
  plugin.id_name = "pictrim-libde265";
  return plugin;
}();

}  // namespace

void LimitHevcPictures(uint64_t Pixels) {
  // Coded pictures are a little larger than shown ones (whole coding
  // blocks): the limit leaves room for that and still stops a claim far
  // beyond what was allowed.
  const uint64_t coded = std::min<uint64_t>(Pixels, INT32_MAX) * 2 + (uint64_t{1} << 20);
  MaxPixels = static_cast<int64_t>(std::min<uint64_t>(coded, INT32_MAX));
}

std::string HevcDamage() {
  std::string damage;
  damage.swap(Damage);
  return damage;
}

bool RegisterHevcDecoder() {
  de265_set_verbosity(0);
  return heif_register_decoder_plugin(&Plugin).code == heif_error_Ok;
}

}  // namespace pictrim::decoding
