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
  jpeg_set_quality(&info, Quality < 1 ? 1 : (Quality > 100 ? 100 : Quality), TRUE);
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

}  // namespace pictrim::jpegcodec
