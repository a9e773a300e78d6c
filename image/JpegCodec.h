// The libjpeg glue of the JPEG picture object. libjpeg reports errors with
// longjmp, so the functions here own no C++ objects; they return a status and
// an error text, and the picture object turns a failure into an exception.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pictrim::jpegcodec {

enum class TPixelLayout { Grey8, Rgb24 };

struct THeader {
  uint32_t Width = 0;
  uint32_t Height = 0;
  int Components = 0;
};

// Receives the decoded size and returns where the rows go (Stride bytes apart,
// Rgb24 layout) or null to give up.
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
  char Message[200] = {};
};

// Reads the frame header of an in-memory JPEG.
bool ReadHeader(const uint8_t* Data, size_t Size, THeader* Header, char* Message, size_t MessageSize);

// Decodes an in-memory JPEG into 24-bit RGB rows, scaled by 1/ScaleDenom
// (1, 2, 4 or 8).
TDecodeResult Decode(const uint8_t* Data, size_t Size, unsigned ScaleDenom, TRowBufferFn RowBuffer,
                     void* Context);

// Encodes rows as a baseline JPEG at Quality (1..100).
TEncodeResult Encode(const uint8_t* Pixels, uint32_t Width, uint32_t Height, size_t Stride,
                     TPixelLayout Layout, int Quality);

void FreeEncoded(TEncodeResult& Result);

}  // namespace pictrim::jpegcodec
