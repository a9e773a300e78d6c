// The libjpeg glue of the JPEG picture object. libjpeg reports errors with
// longjmp, so the functions here own no C++ objects; they return a status and
// an error text, and the picture object turns a failure into an exception.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pictrim::jpegcodec {

// Grey8: one byte per pixel; Rgb24: red, green, blue; Bgrx32: blue, green,
// red and a filler byte of 255 (a QImage::Format_RGB32 row on little-endian).
enum class TPixelLayout { Grey8, Rgb24, Bgrx32 };

// Bytes per pixel of a layout.
constexpr size_t BytesPerPixel(TPixelLayout Layout) {
  return Layout == TPixelLayout::Grey8 ? 1 : (Layout == TPixelLayout::Rgb24 ? 3 : 4);
}

// The largest denominator d of 8, 4, 2 (else 1) at which a Width x Height
// JPEG decodes to at least MinWidth x MinHeight (libjpeg gives ceil(edge / d)).
unsigned ReducedScaleDenom(uint32_t Width, uint32_t Height, uint32_t MinWidth, uint32_t MinHeight);

struct THeader {
  uint32_t Width = 0;
  uint32_t Height = 0;
  int Components = 0;
};

// Receives the decoded size and returns where the rows go (Stride bytes apart,
// in the layout asked for) or null to give up.
using TRowBufferFn = uint8_t* (*)(void* Context, uint32_t Width, uint32_t Height, size_t* Stride);

struct TDecodeResult {
  bool Ok = false;
  int Warnings = 0;  // corrupt-data warnings the decoder met
  char Message[200] = {};
};

struct TEncodeResult {
  bool Ok = false;
  uint8_t* Data = nullptr;  // malloc'd by libjpeg; free with FreeEncoded
  unsigned long Size = 0;
  int Warnings = 0;  // Transcode: corrupt-data warnings the decoder met
  char Message[200] = {};
};

// Reads the frame header of an in-memory JPEG.
bool ReadHeader(const uint8_t* Data, size_t Size, THeader* Header, char* Message, size_t MessageSize);

// Decodes an in-memory JPEG into Rgb24 or Bgrx32 rows, scaled by
// 1/ScaleDenom (1, 2, 4 or 8).
TDecodeResult Decode(const uint8_t* Data, size_t Size, unsigned ScaleDenom, TPixelLayout Layout,
                     TRowBufferFn RowBuffer, void* Context);

// Encodes rows as a baseline JPEG at Quality (1..100).
TEncodeResult Encode(const uint8_t* Pixels, uint32_t Width, uint32_t Height, size_t Stride,
                     TPixelLayout Layout, int Quality);

void FreeEncoded(TEncodeResult& Result);

// Decodes an in-memory colour JPEG (three components) and encodes its rows
// again at Quality as they come, never holding the whole picture: the file
// the image library writes for the picture it loads from that JPEG (baseline,
// JFIF header with the source's density, 72 dpi when it gives none, and the
// source's ICC profile). Fails for other colour spaces. Sink, when given,
// sees every decoded row as well.
using TRowSinkFn = bool (*)(void* Context, uint32_t Width, uint32_t Height, uint32_t Y,
                            const uint8_t* Row);
TEncodeResult Transcode(const uint8_t* Data, size_t Size, int Quality, TRowSinkFn Sink = nullptr,
                        void* Context = nullptr);

// A row sink receives the picture's size first (Row null, Y = Height;
// returning false gives up), then each decoded Rgb24 row in order.

// Decodes an in-memory JPEG at full scale the way the image library decodes
// it, handing the rows to Sink one at a time instead of holding them.
TDecodeResult DecodeRows(const uint8_t* Data, size_t Size, TRowSinkFn Sink, void* Context);

}  // namespace pictrim::jpegcodec
