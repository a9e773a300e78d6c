// Decoding through the image library in a separate process (pictrim-decoder
// beside the program). A file that crashes a loader, makes it loop or eat
// memory costs that process only: the caller gets no picture and a reason.
// Decodes are admitted by their decoded size against a memory budget shared
// by all threads, so several large pictures are not held at once.
#pragma once

#include <FreeImage.h>

#include <cstdint>
#include <string>
#include <vector>

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
};

TDecodeLimits DecodeLimits();
// Replaces the limits (the budget's capacity included).
void SetDecodeLimits(const TDecodeLimits& Limits);
// The budget that admits decodes (and other large pictures).
TMemoryBudget& PictureBudget();

// The decoder program: the one set here, else $PICTRIM_DECODER, else
// pictrim-decoder beside the running program, else the one of the build.
void SetDecoderProgram(const std::string& Path);
std::string DecoderProgram();

// True when a Width x Height picture has more pixels than allowed.
bool ExceedsPixelLimit(uint64_t Width, uint64_t Height);

struct TIsolatedDecode {
  FIBITMAP* Picture = nullptr;  // owned by the caller
  std::string Failure;          // why there is none
  std::string Damage;           // the file is damaged: the picture may be incomplete
  TMemoryLease Lease;           // the picture's share of the budget
};

// Decodes the file at Path (Bytes null) or the bytes given, in Format with
// the loader's Flags. Name names the file in messages.
TIsolatedDecode DecodeIsolated(FREE_IMAGE_FORMAT Format, int Flags, const std::string& Path,
                               const std::vector<uint8_t>* Bytes);

}  // namespace pictrim
