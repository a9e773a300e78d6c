// Decoding through the image library and libheif in a separate process
// (pictrim-decoder beside the program). A file that crashes a loader, makes
// it loop or eat memory costs that process only: the caller gets no picture
// and a reason. A decoder process serves one file after the other while its
// answers are whole, so that its start is not paid for every file. Decodes
// are admitted by their decoded size against a memory budget shared by all
// threads, so several large pictures are not held at once; the cancel flag
// ends a decode within a fraction of a second.
#pragma once

#include <FreeImage.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "image/DecodeProtocol.h"
#include "image/PictureMetadata.h"
#include "util/MemoryBudget.h"

namespace pictrim {

struct TDecodeLimits {
  // Pictures with more pixels are refused, from their header where it tells.
  uint64_t MaxPixels = 250'000'000;
  // The decoder's address space.
  uint64_t DecoderMemoryBytes = uint64_t(4) << 30;
  // Time for one decode; files above ScaleAboveBytes get one more second
  // per ScaleAboveBytes.
  double Seconds = 20.0;
  uint64_t ScaleAboveBytes = uint64_t(16) << 20;
  // Decoded bytes the program's threads may hold at once (one picture is
  // always admitted, even a larger one).
  uint64_t BudgetBytes = uint64_t(1) << 30;
  // Files one decoder process serves before a fresh one takes over.
  unsigned FilesPerDecoder = 64;
  // What a decode whose header tells no picture size may take in the
  // decoder (a decode that would need more fails for want of memory).
  uint64_t UnknownSizeBytes = uint64_t(256) << 20;
};

TDecodeLimits DecodeLimits();
// Replaces the limits (the budget's capacity included).
void SetDecodeLimits(const TDecodeLimits& Limits);
// The budget that admits decodes (and other large pictures).
TMemoryBudget& PictureBudget();

// The clock a decode's time limit runs on: the steady clock, unless a test
// sets another to show what a wait does to a deadline without waiting that
// long. An empty function gives the steady clock back. A decode takes the
// clock set when it begins.
using TDecodeClock = std::function<std::chrono::steady_clock::time_point()>;
void SetDecodeClock(TDecodeClock Clock);
TDecodeClock DecodeClock();
// The clock a test set; empty when none is (the in-process decodes then
// count their thread's processor time).
TDecodeClock DecodeClockSetByTest();

// The decoder program: the one set here, else $PICTRIM_DECODER, else
// pictrim-decoder beside the running program, else the one of the build.
void SetDecoderProgram(const std::string& Path);
std::string DecoderProgram();

// True when a Width x Height picture has more pixels than allowed.
bool ExceedsPixelLimit(uint64_t Width, uint64_t Height);

struct TIsolatedDecode {
  FIBITMAP* Picture = nullptr;  // owned by the caller
  // The picture's size as decoded, before the decoder shrank it (the size of
  // Picture when it did not).
  uint32_t FullWidth = 0;
  uint32_t FullHeight = 0;
  uint32_t Shrink = 1;          // the whole factor it was shrunk by
  TPictureMetadata Metadata;    // blocks the file keeps beside its pixels (HEIF)
  std::string Failure;          // why there is none
  std::string Damage;           // the file is damaged: the picture may be incomplete
  bool Cancelled = false;       // the cancel flag ended the decode
  TMemoryLease Lease;           // the picture's share of the budget
};

// What to decode: the file at Path (Bytes null) or the bytes given, with
// the image library in Format with the loader's Flags, or with libheif.
// The file name of Path names the file in messages.
// Given the size a picture's header tells, the whole factor by which the
// decoder may shrink it (each pixel the average of its block) because it
// will be rescaled to a fraction of that size anyway; 1 keeps it whole.
using TShrinkFn = std::function<uint32_t(uint32_t Width, uint32_t Height)>;

struct TDecodeRequest {
  decoding::TCodec Codec = decoding::TCodec::ImageLibrary;
  FREE_IMAGE_FORMAT Format = FIF_UNKNOWN;
  int Flags = 0;
  std::string Path;
  const std::vector<uint8_t>* Bytes = nullptr;
  TShrinkFn Shrink;  // none: the picture comes whole
  // Pictures of the size handed over that the caller holds at once while it
  // works on it (its rescales and conversions): admitted with the decode.
  uint32_t HeldCopies = 1;
};

// A decoder process serving one caller (one thread at a time), file after
// file. It is started by the first decode and kept while its answers are
// whole; a failure, a timeout, a cancel, a limit breach or a decoder found
// gone ends it, and so do FilesPerDecoder files and the session's end. The
// next decode starts a fresh one: a decoder that dies between files costs
// no file.
class TDecoderSession {
 public:
  TDecoderSession();
  ~TDecoderSession();
  TDecoderSession(const TDecoderSession&) = delete;
  TDecoderSession& operator=(const TDecoderSession&) = delete;

  TIsolatedDecode Decode(const TDecodeRequest& Request);
  // The metadata blocks of the HEIF file at Path, without its pixels; false
  // (with Failure telling why) when they cannot be had.
  bool ReadHeifMetadata(const std::string& Path, TPictureMetadata& Metadata, std::string& Failure);
  // Ends the decoder process now: killed and reaped.
  void End();
  // The decoder process now serving; -1 when none runs.
  int ProcessId() const;

 private:
  struct TState;
  std::unique_ptr<TState> State_;
};

// Decodes in a decoder process started for this file alone.
TIsolatedDecode DecodeIsolated(FREE_IMAGE_FORMAT Format, int Flags, const std::string& Path,
                               const std::vector<uint8_t>* Bytes);
// The metadata blocks of a HEIF file, read by a decoder process started for it.
bool ReadHeifMetadata(const std::string& Path, TPictureMetadata& Metadata, std::string& Failure);

}  // namespace pictrim
