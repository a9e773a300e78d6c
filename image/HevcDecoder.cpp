#include "image/HevcDecoder.h"

#include <libheif/heif.h>
#include <libheif/heif_plugin.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "image/HeifHandles.h"

namespace pictrim::decoding {
namespace {

// Above libheif's own decoder (priority 100), so that this one is taken.
constexpr int Priority = 120;

// libheif hands over the coded data as NAL units, each behind its length in
// four bytes (big-endian); libavcodec takes them behind start codes.
constexpr uint8_t StartCode[] = {0, 0, 0, 1};

// The first complaint libavcodec made while it decoded the picture of this
// thread: a picture decoded despite one is damaged.
thread_local std::string Complaint;

void NoteComplaint(void*, int Level, const char* Format, va_list Arguments) {
  if (Level > AV_LOG_ERROR || !Complaint.empty()) return;
  char text[256];
  std::vsnprintf(text, sizeof text, Format, Arguments);
  Complaint = text;
  while (!Complaint.empty() && (Complaint.back() == '\n' || Complaint.back() == ' '))
    Complaint.pop_back();
  if (Complaint.empty()) Complaint = "the coded data has errors";
}

// The largest picture libavcodec may allocate, in pixels: the coded data
// may claim a larger picture than the container did.
std::atomic<int64_t> MaxPixels{INT32_MAX};

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
  std::vector<uint8_t> Stream;
  bool Strict = false;
};

heif_error Ok() { return {heif_error_Ok, heif_suberror_Unspecified, "Success"}; }

// libheif keeps the message's pointer beyond the call: messages are static.
heif_error Failure(const char* Message) {
  return {heif_error_Decoder_plugin_error, heif_suberror_Unspecified, Message};
}

const char* PluginName() { return "libavcodec HEVC decoder"; }

int SupportsFormat(heif_compression_format Format) {
  return Format == heif_compression_HEVC ? Priority : 0;
}

heif_error NewDecoder(void** Decoder) {
  *Decoder = new (std::nothrow) TDecoder;
  return *Decoder != nullptr ? Ok() : Failure("no memory for the HEVC decoder");
}

void FreeDecoder(void* Decoder) { delete static_cast<TDecoder*>(Decoder); }

void SetStrict(void* Decoder, int Flag) { static_cast<TDecoder*>(Decoder)->Strict = Flag != 0; }

heif_error PushData(void* Decoder, const void* Data, size_t Size) {
  auto& stream = static_cast<TDecoder*>(Decoder)->Stream;
  const auto* bytes = static_cast<const uint8_t*>(Data);
  size_t at = 0;
  while (at < Size) {
    if (Size - at < 4) return Failure("the coded data ends inside a unit's length");
    const size_t length = size_t{bytes[at]} << 24 | size_t{bytes[at + 1]} << 16 |
                          size_t{bytes[at + 2]} << 8 | size_t{bytes[at + 3]};
    at += 4;
    if (length > Size - at) return Failure("a unit of the coded data is cut short");
    stream.insert(stream.end(), std::begin(StartCode), std::end(StartCode));
    stream.insert(stream.end(), bytes + at, bytes + at + length);
    at += length;
  }
  return Ok();
}

struct TContextFree {
  void operator()(AVCodecContext* Context) const { avcodec_free_context(&Context); }
};
struct TPacketFree {
  void operator()(AVPacket* Packet) const { av_packet_free(&Packet); }
};
struct TFrameFree {
  void operator()(AVFrame* Frame) const { av_frame_free(&Frame); }
};

// How a frame's planes are laid out for libheif; Chroma is undefined when
// libheif has no such layout.
struct TLayout {
  heif_colorspace Space = heif_colorspace_undefined;
  heif_chroma Chroma = heif_chroma_undefined;
  int Planes = 0;
  int BitDepth = 0;
  int ChromaShiftX = 0;
  int ChromaShiftY = 0;
};

TLayout LayoutOf(AVPixelFormat Format) {
  TLayout layout;
  const AVPixFmtDescriptor* form = av_pix_fmt_desc_get(Format);
  if (form == nullptr ||
      (form->flags & (AV_PIX_FMT_FLAG_BE | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_RGB |
                      AV_PIX_FMT_FLAG_ALPHA | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL)) != 0 ||
      (form->nb_components != 1 && form->nb_components != 3))
    return layout;
  const int depth = form->comp[0].depth;
  for (int i = 0; i < form->nb_components; ++i) {
    // Every sample in a plane of its own, in one byte up to 8 bits and in
    // two above.
    if (form->comp[i].plane != i || form->comp[i].shift != 0 || form->comp[i].depth != depth ||
        form->comp[i].step != (depth > 8 ? 2 : 1))
      return layout;
  }
  if (depth < 1 || depth > 16) return layout;
  layout.Planes = form->nb_components;
  layout.BitDepth = depth;
  layout.ChromaShiftX = form->log2_chroma_w;
  layout.ChromaShiftY = form->log2_chroma_h;
  if (layout.Planes == 1) {
    layout.Space = heif_colorspace_monochrome;
    layout.Chroma = heif_chroma_monochrome;
  } else if (layout.ChromaShiftX == 1 && layout.ChromaShiftY == 1) {
    layout.Space = heif_colorspace_YCbCr;
    layout.Chroma = heif_chroma_420;
  } else if (layout.ChromaShiftX == 1 && layout.ChromaShiftY == 0) {
    layout.Space = heif_colorspace_YCbCr;
    layout.Chroma = heif_chroma_422;
  } else if (layout.ChromaShiftX == 0 && layout.ChromaShiftY == 0) {
    layout.Space = heif_colorspace_YCbCr;
    layout.Chroma = heif_chroma_444;
  }
  return layout;
}

int SideOfPlane(int Side, int Shift) { return (Side + (1 << Shift) - 1) >> Shift; }

// Copies one plane of the frame into a new plane of the picture.
bool CopyPlane(const AVFrame& Frame, int Plane, heif_channel Channel, const TLayout& Layout,
               heif_image* Image) {
  const int shiftX = Plane == 0 ? 0 : Layout.ChromaShiftX;
  const int shiftY = Plane == 0 ? 0 : Layout.ChromaShiftY;
  const int width = SideOfPlane(Frame.width, shiftX);
  const int height = SideOfPlane(Frame.height, shiftY);
  if (heif_image_add_plane(Image, Channel, width, height, Layout.BitDepth).code != heif_error_Ok)
    return false;
  int stride = 0;
  uint8_t* out = heif_image_get_plane(Image, Channel, &stride);
  const size_t rowBytes = size_t(width) * (Layout.BitDepth > 8 ? 2 : 1);
  if (out == nullptr || stride < 0 || size_t(stride) < rowBytes || Frame.data[Plane] == nullptr ||
      Frame.linesize[Plane] < 0 || size_t(Frame.linesize[Plane]) < rowBytes)
    return false;
  for (int y = 0; y < height; ++y) {
    std::memcpy(out + size_t(y) * size_t(stride),
                Frame.data[Plane] + size_t(y) * size_t(Frame.linesize[Plane]), rowBytes);
  }
  return true;
}

// Gives the picture the colour description of the coded data (its video
// usability information, with H.273's numbers, which libavcodec keeps):
// libheif turns a tile into RGB by it where the container describes none.
void SetColourDescription(const AVFrame& Frame, heif_image* Image) {
  heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc();
  if (nclx == nullptr) return;
  heif_nclx_color_profile_set_color_primaries(nclx, static_cast<uint16_t>(Frame.color_primaries));
  heif_nclx_color_profile_set_transfer_characteristics(nclx,
                                                       static_cast<uint16_t>(Frame.color_trc));
  heif_nclx_color_profile_set_matrix_coefficients(nclx, static_cast<uint16_t>(Frame.colorspace));
  nclx->full_range_flag = Frame.color_range == AVCOL_RANGE_JPEG ? 1 : 0;
  heif_image_set_nclx_color_profile(Image, nclx);
  heif_nclx_color_profile_free(nclx);
}

heif_error ToHeifImage(const AVFrame& Frame, heif_image** Out) {
  const TLayout layout = LayoutOf(static_cast<AVPixelFormat>(Frame.format));
  if (layout.Chroma == heif_chroma_undefined || Frame.width <= 0 || Frame.height <= 0)
    return Failure("the HEVC decoder gave a picture of no known layout");
  heif_image* created = nullptr;
  if (heif_image_create(Frame.width, Frame.height, layout.Space, layout.Chroma, &created).code !=
      heif_error_Ok)
    return Failure("no memory for the decoded picture");
  THeifImagePtr image(created);
  static constexpr heif_channel Channels[] = {heif_channel_Y, heif_channel_Cb, heif_channel_Cr};
  for (int plane = 0; plane < layout.Planes; ++plane) {
    if (!CopyPlane(Frame, plane, Channels[plane], layout, image.get()))
      return Failure("no memory for the decoded picture");
  }
  SetColourDescription(Frame, image.get());
  *Out = image.release();
  return Ok();
}

// Runs the whole stream through a fresh libavcodec decoder and takes the
// first picture that comes out.
heif_error DecodeStream(std::vector<uint8_t>& Stream, std::unique_ptr<AVFrame, TFrameFree>& Frame) {
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_HEVC);
  if (codec == nullptr) return Failure("libavcodec has no HEVC decoder");
  std::unique_ptr<AVCodecContext, TContextFree> context(avcodec_alloc_context3(codec));
  std::unique_ptr<AVPacket, TPacketFree> packet(av_packet_alloc());
  Frame.reset(av_frame_alloc());
  if (!context || !packet || !Frame) return Failure("no memory for the HEVC decoder");
  // Each decoder process serves one file at a time on a core of its own;
  // the pictures of a tiled photo are decoded one after another.
  context->thread_count = 1;
  context->max_pixels = MaxPixels.load();
  if (avcodec_open2(context.get(), codec, nullptr) < 0)
    return Failure("the HEVC decoder could not be started");
  // The parser of libavcodec reads a little beyond the data: it is given
  // zeros there.
  const size_t size = Stream.size();
  if (size == 0 || size > size_t(INT32_MAX) - AV_INPUT_BUFFER_PADDING_SIZE)
    return Failure("the coded data has no usable size");
  Stream.resize(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
  packet->data = Stream.data();
  packet->size = static_cast<int>(size);
  const int sent = avcodec_send_packet(context.get(), packet.get());
  if (sent < 0 && sent != AVERROR(EAGAIN) && Complaint.empty())
    Complaint = "the coded data has errors";
  avcodec_send_packet(context.get(), nullptr);
  if (avcodec_receive_frame(context.get(), Frame.get()) < 0)
    return Failure("the coded data holds no picture that could be decoded");
  if ((Frame->flags & AV_FRAME_FLAG_CORRUPT) != 0 || Frame->decode_error_flags != 0) {
    if (Complaint.empty()) Complaint = "the coded data has errors";
  }
  return Ok();
}

heif_error DecodeImage(void* Decoder, heif_image** Out) {
  *Out = nullptr;
  auto* decoder = static_cast<TDecoder*>(Decoder);
  Complaint.clear();
  std::unique_ptr<AVFrame, TFrameFree> frame;
  const heif_error decoded = DecodeStream(decoder->Stream, frame);
  decoder->Stream.clear();
  decoder->Stream.shrink_to_fit();
  if (decoded.code != heif_error_Ok) return decoded;
  if (!Complaint.empty() && decoder->Strict) return Failure("the coded data has errors");
  const heif_error converted = ToHeifImage(*frame, Out);
  if (converted.code != heif_error_Ok) return converted;
  if (!Complaint.empty()) {
    heif_image_add_decoding_warning(
        *Out, {heif_error_Decoder_plugin_error, heif_suberror_Unspecified, KeptText(Complaint)});
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
  plugin.id_name = "pictrim-libavcodec";
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

bool UseLibavcodecForHevc() {
  if (avcodec_find_decoder(AV_CODEC_ID_HEVC) == nullptr) return false;
  av_log_set_callback(NoteComplaint);
  return heif_register_decoder_plugin(&Plugin).code == heif_error_Ok;
}

}  // namespace pictrim::decoding
