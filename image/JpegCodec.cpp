#include "image/JpegCodec.h"

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace pictrim::jpegcodec {
namespace {

struct TErrorManager {
  jpeg_error_mgr Public;
  std::jmp_buf Jump;
  int Warnings;
};

void OnError(j_common_ptr Info) {
  auto* err = reinterpret_cast<TErrorManager*>(Info->err);
  std::longjmp(err->Jump, 1);
}

void OnMessage(j_common_ptr Info, int Level) {
  auto* err = reinterpret_cast<TErrorManager*>(Info->err);
  if (Level < 0) err->Warnings++;
}

void InstallErrorManager(TErrorManager& Err) {
  jpeg_std_error(&Err.Public);
  Err.Public.error_exit = OnError;
  Err.Public.emit_message = OnMessage;
  Err.Warnings = 0;
}

void CopyMessage(j_common_ptr Info, char* Message, size_t MessageSize) {
  if (Message == nullptr || MessageSize == 0) return;
  char text[JMSG_LENGTH_MAX] = {};
  Info->err->format_message(Info, text);
  std::snprintf(Message, MessageSize, "%s", text);
}

// Turns one CMYK row into RGB or BGRX; Adobe files store the inks inverted.
void CmykRowToColour(const uint8_t* In, uint8_t* Out, uint32_t Width, bool Inverted,
                     TPixelLayout Layout) {
  const bool bgrx = Layout == TPixelLayout::Bgrx32;
  const size_t step = BytesPerPixel(Layout);
  for (uint32_t x = 0; x < Width; ++x) {
    unsigned c = In[4 * x], m = In[4 * x + 1], y = In[4 * x + 2], k = In[4 * x + 3];
    if (!Inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    uint8_t* pixel = Out + step * x;
    pixel[bgrx ? 2 : 0] = static_cast<uint8_t>(c * k / 255);
    pixel[1] = static_cast<uint8_t>(m * k / 255);
    pixel[bgrx ? 0 : 2] = static_cast<uint8_t>(y * k / 255);
    if (bgrx) pixel[3] = 255;
  }
}

J_COLOR_SPACE ColourSpaceOf(TPixelLayout Layout) {
  switch (Layout) {
    case TPixelLayout::Grey8: return JCS_GRAYSCALE;
    case TPixelLayout::Rgb24: return JCS_RGB;
    case TPixelLayout::Bgrx32: return JCS_EXT_BGRX;
  }
  return JCS_RGB;
}

int ClampedQuality(int Quality) { return Quality < 1 ? 1 : (Quality > 100 ? 100 : Quality); }

// Decodes the way the image library decodes (fast integer transform, no
// smoothing of the chroma), so that the pixels and thus the bytes match.
void DecodeLikeTheLibrary(jpeg_decompress_struct& Info) {
  Info.out_color_space = JCS_RGB;
  Info.dct_method = JDCT_IFAST;
  Info.do_fancy_upsampling = FALSE;
}

}  // namespace

bool ReadHeader(const uint8_t* Data, size_t Size, THeader* Header, char* Message, size_t MessageSize) {
  jpeg_decompress_struct info;
  TErrorManager err;
  info.err = &err.Public;
  InstallErrorManager(err);
  if (setjmp(err.Jump)) {
    CopyMessage(reinterpret_cast<j_common_ptr>(&info), Message, MessageSize);
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, Data, static_cast<unsigned long>(Size));
  jpeg_read_header(&info, TRUE);
  Header->Width = info.image_width;
  Header->Height = info.image_height;
  Header->Components = info.num_components;
  jpeg_destroy_decompress(&info);
  return true;
}

unsigned ReducedScaleDenom(uint32_t Width, uint32_t Height, uint32_t MinWidth, uint32_t MinHeight) {
  for (const unsigned d : {8u, 4u, 2u}) {
    if ((Width + d - 1) / d >= MinWidth && (Height + d - 1) / d >= MinHeight) return d;
  }
  return 1;
}

TDecodeResult Decode(const uint8_t* Data, size_t Size, unsigned ScaleDenom, TPixelLayout Layout,
                     TRowBufferFn RowBuffer, void* Context) {
  TDecodeResult result;
  jpeg_decompress_struct info;
  TErrorManager err;
  uint8_t* volatile cmykRow = nullptr;
  info.err = &err.Public;
  InstallErrorManager(err);
  if (setjmp(err.Jump)) {
    CopyMessage(reinterpret_cast<j_common_ptr>(&info), result.Message, sizeof(result.Message));
    std::free(cmykRow);
    jpeg_destroy_decompress(&info);
    result.Ok = false;
    return result;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, Data, static_cast<unsigned long>(Size));
  jpeg_read_header(&info, TRUE);
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : ColourSpaceOf(Layout);
  info.scale_num = 1;
  info.scale_denom = ScaleDenom == 0 ? 1 : ScaleDenom;
  jpeg_start_decompress(&info);
  size_t stride = 0;
  uint8_t* rows = RowBuffer(Context, info.output_width, info.output_height, &stride);
  if (rows == nullptr) {
    std::snprintf(result.Message, sizeof(result.Message), "no memory for %ux%u pixels",
                  info.output_width, info.output_height);
    jpeg_destroy_decompress(&info);
    return result;
  }
  if (cmyk) {
    cmykRow = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(info.output_width) * 4));
    if (cmykRow == nullptr) {
      jpeg_destroy_decompress(&info);
      return result;
    }
  }
  while (info.output_scanline < info.output_height) {
    uint8_t* target = rows + stride * info.output_scanline;
    JSAMPROW row = cmyk ? cmykRow : target;
    if (jpeg_read_scanlines(&info, &row, 1) != 1) break;
    if (cmyk) CmykRowToColour(cmykRow, target, info.output_width, info.saw_Adobe_marker, Layout);
  }
  jpeg_finish_decompress(&info);
  std::free(cmykRow);
  result.Warnings = err.Warnings;
  jpeg_destroy_decompress(&info);
  result.Ok = true;
  return result;
}

TEncodeResult Encode(const uint8_t* Pixels, uint32_t Width, uint32_t Height, size_t Stride,
                     TPixelLayout Layout, int Quality) {
  TEncodeResult result;
  jpeg_compress_struct info;
  TErrorManager err;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  info.err = &err.Public;
  InstallErrorManager(err);
  if (setjmp(err.Jump)) {
    CopyMessage(reinterpret_cast<j_common_ptr>(&info), result.Message, sizeof(result.Message));
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return result;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = Width;
  info.image_height = Height;
  info.input_components = static_cast<int>(BytesPerPixel(Layout));
  info.in_color_space = ColourSpaceOf(Layout);
  jpeg_set_defaults(&info);
  info.dct_method = JDCT_ISLOW;
  jpeg_set_quality(&info, ClampedQuality(Quality), TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(Pixels + Stride * info.next_scanline);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  result.Ok = true;
  result.Data = buffer;
  result.Size = size;
  return result;
}

void FreeEncoded(TEncodeResult& Result) {
  std::free(Result.Data);
  Result.Data = nullptr;
  Result.Size = 0;
}

TDecodeResult DecodeRows(const uint8_t* Data, size_t Size, TRowSinkFn Sink, void* Context) {
  TDecodeResult result;
  jpeg_decompress_struct info;
  TErrorManager err;
  uint8_t* volatile row = nullptr;
  info.err = &err.Public;
  InstallErrorManager(err);
  if (setjmp(err.Jump)) {
    CopyMessage(reinterpret_cast<j_common_ptr>(&info), result.Message, sizeof(result.Message));
    std::free(row);
    jpeg_destroy_decompress(&info);
    return result;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, Data, static_cast<unsigned long>(Size));
  jpeg_read_header(&info, TRUE);
  DecodeLikeTheLibrary(info);
  jpeg_start_decompress(&info);
  row = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(info.output_width) * 3));
  if (row == nullptr ||
      !Sink(Context, info.output_width, info.output_height, info.output_height, nullptr)) {
    std::free(row);
    jpeg_destroy_decompress(&info);
    return result;
  }
  while (info.output_scanline < info.output_height) {
    const uint32_t y = info.output_scanline;
    JSAMPROW line = row;
    if (jpeg_read_scanlines(&info, &line, 1) != 1) break;
    Sink(Context, info.output_width, info.output_height, y, row);
  }
  jpeg_finish_decompress(&info);
  std::free(row);
  result.Warnings = err.Warnings;
  jpeg_destroy_decompress(&info);
  result.Ok = true;
  return result;
}

namespace {

// The density the image library writes: it keeps a JFIF density as dots per
// metre and writes dots per inch; without one it writes 72 dpi.
void CopyDensity(const jpeg_decompress_struct& In, jpeg_compress_struct& Out) {
  double perMetreX = 2835, perMetreY = 2835;
  if (In.saw_JFIF_marker && In.density_unit == 1) {
    perMetreX = static_cast<unsigned>(In.X_density / 0.0254 + 0.5);
    perMetreY = static_cast<unsigned>(In.Y_density / 0.0254 + 0.5);
  } else if (In.saw_JFIF_marker && In.density_unit == 2) {
    perMetreX = In.X_density * 100.0;
    perMetreY = In.Y_density * 100.0;
  }
  Out.density_unit = 1;
  Out.X_density = static_cast<UINT16>(0.5 + 0.0254 * perMetreX);
  Out.Y_density = static_cast<UINT16>(0.5 + 0.0254 * perMetreY);
}

}  // namespace

TEncodeResult Transcode(const uint8_t* Data, size_t Size, int Quality, TRowSinkFn Sink,
                        void* Context) {
  TEncodeResult result;
  jpeg_decompress_struct in;
  jpeg_compress_struct out;
  TErrorManager err;
  unsigned char* buffer = nullptr;  // handed to libjpeg, which keeps it current
  unsigned long size = 0;
  uint8_t* volatile row = nullptr;
  JOCTET* volatile icc = nullptr;
  in.err = &err.Public;
  out.err = &err.Public;
  InstallErrorManager(err);
  if (setjmp(err.Jump)) {
    CopyMessage(reinterpret_cast<j_common_ptr>(&in), result.Message, sizeof(result.Message));
    jpeg_destroy_decompress(&in);
    jpeg_destroy_compress(&out);
    std::free(buffer);
    std::free(row);
    std::free(icc);
    return result;
  }
  jpeg_create_decompress(&in);
  jpeg_create_compress(&out);
  jpeg_mem_src(&in, Data, static_cast<unsigned long>(Size));
  jpeg_save_markers(&in, JPEG_APP0 + 2, 0xFFFF);
  jpeg_read_header(&in, TRUE);
  if (in.num_components != 3 ||
      (in.jpeg_color_space != JCS_YCbCr && in.jpeg_color_space != JCS_RGB)) {
    std::snprintf(result.Message, sizeof(result.Message), "not a three-component colour JPEG");
    jpeg_destroy_decompress(&in);
    jpeg_destroy_compress(&out);
    return result;
  }
  JOCTET* profile = nullptr;
  unsigned int profileSize = 0;
  if (jpeg_read_icc_profile(&in, &profile, &profileSize)) icc = profile;
  DecodeLikeTheLibrary(in);
  jpeg_start_decompress(&in);
  row = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(in.output_width) * 3));
  if (row == nullptr ||
      (Sink != nullptr && !Sink(Context, in.output_width, in.output_height, in.output_height, nullptr))) {
    std::snprintf(result.Message, sizeof(result.Message), "no memory for the rows");
    std::free(row);
    jpeg_destroy_decompress(&in);
    jpeg_destroy_compress(&out);
    std::free(icc);
    return result;
  }
  jpeg_mem_dest(&out, &buffer, &size);
  out.image_width = in.output_width;
  out.image_height = in.output_height;
  out.input_components = 3;
  out.in_color_space = JCS_RGB;
  jpeg_set_defaults(&out);
  jpeg_set_quality(&out, ClampedQuality(Quality), TRUE);
  CopyDensity(in, out);
  jpeg_start_compress(&out, TRUE);
  if (icc != nullptr) jpeg_write_icc_profile(&out, icc, profileSize);
  while (in.output_scanline < in.output_height) {
    const uint32_t y = in.output_scanline;
    JSAMPROW line = row;
    if (jpeg_read_scanlines(&in, &line, 1) != 1) break;
    if (Sink != nullptr) Sink(Context, in.output_width, in.output_height, y, row);
    jpeg_write_scanlines(&out, &line, 1);
  }
  jpeg_finish_decompress(&in);
  jpeg_finish_compress(&out);
  jpeg_destroy_decompress(&in);
  jpeg_destroy_compress(&out);
  std::free(row);
  std::free(icc);
  result.Warnings = err.Warnings;
  result.Ok = true;
  result.Data = buffer;
  result.Size = size;
  return result;
}

}  // namespace pictrim::jpegcodec
