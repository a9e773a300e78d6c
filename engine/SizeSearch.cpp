#include "engine/SizeSearch.h"

#include <algorithm>
#include <cmath>

namespace pictrim {
namespace {

uint32_t ClampWidth(int64_t Width) {
  return static_cast<uint32_t>(std::clamp<int64_t>(Width, 1, UINT32_MAX));
}

}  // namespace

int64_t RoundHalfEven(double Value) {
  return static_cast<int64_t>(std::nearbyint(Value));
}

uint64_t MostPixelsWithin(uint32_t TargetKB) {
  // 64 pixels per 6 bits, for the target and its tolerance of 1 %.
  const uint64_t bits = uint64_t{TargetKB} * 1024 * 8 * 101 / 100;
  return bits * 64 / 6;
}

uint32_t MasterShrinkFactor(uint32_t Width, uint32_t Height, uint32_t TargetKB) {
  const uint64_t needed = MostPixelsWithin(TargetKB);
  uint32_t factor = 1;
  while (factor < 8 && uint64_t{(Width + factor) / (factor + 1)} *
                               ((Height + factor) / (factor + 1)) >= needed)
    ++factor;
  return factor;
}

TSizeSearch::TSizeSearch(uint32_t TargetKB, uint32_t Width, uint32_t Height, int64_t FullSize,
                         bool Strict)
    : TargetKB_(TargetKB),
      TargetBytes_(static_cast<int64_t>(TargetKB) * 1024),
      Strict_(Strict),
      W0_(Width),
      H0_(Height),
      Hi_(Width) {
  // The first width from the size ratio of the full-size save; never wider
  // than the picture itself, since a smaller file is wanted.
  const double pixels = static_cast<double>(static_cast<uint64_t>(Width) * Height);
  const int64_t first =
      FullSize > 0 ? RoundHalfEven(TargetKB * pixels / static_cast<double>(FullSize)) : 1;
  A_ = ClampWidth(std::min<int64_t>(first, Width));
}

uint32_t TSizeSearch::TrialHeight() const {
  if (W0_ == 0) return 1;
  return ClampWidth(RoundHalfEven(static_cast<double>(static_cast<uint64_t>(A_) * H0_) / W0_));
}

bool TSizeSearch::ExifFits() const {
  return TargetKB_ > 9 && ExifExtra / 1024 + 9 < TargetKB_;
}

void TSizeSearch::Next(int64_t Size, uint32_t ActualWidth, uint32_t ActualHeight) {
  ++Trial_;
  if (Trial_ > MaxTrials) Finished_ = true;

  // The same width twice in a row: nudge it and widen the range.
  if (PrevA_ && A_ == *PrevA_) {
    const int64_t q = Size / 1024;
    if (TargetKB_ < q) {
      A_ = ClampWidth(int64_t{A_} - 1);
      Lo_ += 2;
    }
    if (q < TargetKB_) {
      A_ += 1;
      Hi_ += 2;
    }
  }
  PrevA_ = A_;

  // The tolerance is at least 1024 bytes, so from here on every trial is at
  // least 1024 bytes away from the target, above or below.
  const int64_t tolerance = std::max<int64_t>(Size / 100, 1024);
  if (std::llabs(Size - TargetBytes_) < tolerance && (!Strict_ || Size <= TargetBytes_))
    Finished_ = true;
  if (Finished_) return;

  int64_t a = A_;
  if (Size > TargetBytes_) {
    Hi_ = A_;
    if (ActualWidth == 1 || ActualHeight == 1) {
      Finished_ = true;
      return;
    }
    const double hi = Hi_, lo = Lo_;
    a = RoundHalfEven(std::sqrt((hi * hi + lo * lo) / 2.0));
    a = std::min<int64_t>(a, Hi_);
    if (Lo_ >= a) a = (int64_t{Hi_} + Lo_) / 2;
  } else {
    Lo_ = A_;
    const int64_t ratio = RoundHalfEven(static_cast<double>(Size) * 100.0 / TargetBytes_);
    if (TargetBytes_ - Size < 2048) {
      a += std::max<int64_t>(1, RoundHalfEven(a / 25.0));
    } else if (ratio == 0) {
      // Far below the target: the middle of the range.
      a = (int64_t{Lo_} + Hi_) / 2;
    } else {
      const double grown = a * 1.01;
      a = RoundHalfEven(std::sqrt(grown * grown / (static_cast<double>(ratio) / 100.0)));
    }
    if (a >= Hi_) a = RoundHalfEven((static_cast<double>(Hi_) + Lo_) / 2.0);
  }
  A_ = ClampWidth(a);
}

}  // namespace pictrim
