// The libjpeg glue of the JPEG picture object. libjpeg reports errors with
// longjmp, so the functions here own no C++ objects; they return a status and
// an error text, and the picture object turns a failure into an exception.
//
// Every decode reads its input from memory or straight from a file, a piece
// at a time, and runs under limits: a decode is admitted by what its frame
// header says it will need before anything large is allocated, and it stops
// after too many scans, at its deadline or when it is cancelled. Encoded
// output goes into a buffer the codec owns on every path.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>

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

// The same for a copy of Width x Height that is rescaled from the reduced
// picture as a rescale of the whole: each scale keeps room for that rescale,
// so that the copy loses no detail against the box rescale of the whole
// picture. Measured on pictures of fine detail: 1/2 needs at least 1.2 times
// the copy's size (its 4-point transforms are exact), 1/4 at least 1.6 (the
// 2-point ones are coarse), 1/8 twice (it gives the means of the blocks).
unsigned RoomyScaleDenom(uint32_t Width, uint32_t Height, uint32_t CopyWidth, uint32_t CopyHeight);

// Encoded bytes to decode: Size bytes at Data, or, when Fd is not -1, the
// file open on Fd, read from its start with pread (so that one open file
// serves any number of decodes, also at once).
struct TInput {
  const uint8_t* Data = nullptr;
  size_t Size = 0;
  int Fd = -1;

  static TInput Memory(const uint8_t* Data, size_t Size) { return TInput{Data, Size, -1}; }
  static TInput File(int Fd) { return TInput{nullptr, 0, Fd}; }
};

// Why a decode (or a transcode) failed.
enum class TFailure {
  None,
  Damaged,       // the data is not a JPEG the codec can read
  Unsupported,   // a JPEG of a kind this road does not take
  TooLarge,      // refused by its admission, or out of memory
  TooManyScans,  // more scans than allowed
  TooSlow,       // past its deadline
  Cancelled,     // the cancel flag was set
};

// Asked once the frame header is known and before anything large is
// allocated: Width x Height is the size that will be decoded, CodecBytes
// what the codec itself will hold meanwhile. False refuses the decode.
using TAdmitFn = bool (*)(void* Context, uint32_t Width, uint32_t Height, uint64_t CodecBytes);

// The limits of one decode (the decoding side of a transcode).
struct TLimits {
  int MaxScans = 0;    // a decode that reaches more scans stops; 0: no limit
  double Seconds = 0;  // time allowed from admission on; 0: no limit
  // The clock Seconds run on; none: the decoding thread's processor time.
  std::function<std::chrono::steady_clock::time_point()> Clock;
  const std::atomic<bool>* Cancel = nullptr;  // when set, the decode stops within moments
  TAdmitFn Admit = nullptr;                   // none: every decode is admitted
  void* AdmitContext = nullptr;
};

struct THeader {
  uint32_t Width = 0;
  uint32_t Height = 0;
  int Components = 0;
};

// Receives the decoded size and returns where the rows go (Stride bytes apart,
// in the layout asked for) or null to give up.
using TRowBufferFn = uint8_t* (*)(void* Context, uint32_t Width, uint32_t Height, size_t* Stride);

// A row sink receives the picture's size first (Row null, Y = Height;
// returning false gives up), then each decoded Rgb24 row in order.
using TRowSinkFn = bool (*)(void* Context, uint32_t Width, uint32_t Height, uint32_t Y,
                            const uint8_t* Row);

struct TDecodeResult {
  bool Ok = false;
  TFailure Failure = TFailure::None;
  int Warnings = 0;  // corrupt-data warnings the decoder met, also when it failed
  char Message[200] = {};
};

struct TEncodeResult {
  bool Ok = false;
  TFailure Failure = TFailure::None;
  int Warnings = 0;         // corrupt-data warnings of a transcode's decoding side
  uint8_t* Data = nullptr;  // owned by the result; free with FreeEncoded
  size_t Size = 0;
  char Message[200] = {};
};

// Reads the frame header. Limits serve only their cancel flag and time here.
TDecodeResult ReadHeader(const TInput& Input, THeader* Header, const TLimits& Limits = TLimits());

// Decodes into Rgb24, Bgrx32 or Grey8 rows, scaled by 1/ScaleDenom (1, 2,
// 4 or 8). The admission's CodecBytes leave out the rows RowBuffer gives.
TDecodeResult Decode(const TInput& Input, unsigned ScaleDenom, TPixelLayout Layout,
                     TRowBufferFn RowBuffer, void* Context, const TLimits& Limits);

// Decodes at full scale the way the image library decodes, handing the rows
// to Sink one at a time instead of holding them.
TDecodeResult DecodeRows(const TInput& Input, TRowSinkFn Sink, void* Context,
                         const TLimits& Limits);

// Encodes rows as a baseline JPEG at Quality (1..100).
TEncodeResult Encode(const uint8_t* Pixels, uint32_t Width, uint32_t Height, size_t Stride,
                     TPixelLayout Layout, int Quality);

// Decodes a colour JPEG (three components) and encodes its rows again at
// Quality as they come, never holding the whole picture: the file the image
// library writes for the picture it loads from that JPEG (baseline, JFIF
// header with the source's density, 72 dpi when it gives none, and the
// source's ICC profile). Fails for other colour spaces. Sink, when given,
// sees every decoded row as well.
TEncodeResult Transcode(const TInput& Input, int Quality, TRowSinkFn Sink, void* Context,
                        const TLimits& Limits);

void FreeEncoded(TEncodeResult& Result);

}  // namespace pictrim::jpegcodec
