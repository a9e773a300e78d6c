// The width search of the file-size batch: from the size of the full-size
// save it proposes trial widths, and from each trial's file size it narrows
// the range until a trial lands close to the target (at most 20 trials).
#pragma once

#include <cstdint>
#include <optional>

namespace pictrim {

// Nearest integer, halves to even.
int64_t RoundHalfEven(double Value);

// The most pixels a JPEG copy of at most TargetKB kilobytes (and its
// tolerance) can have: the encoder's standard tables spend at least 6 bits
// on a block of 8 x 8 grey pixels, more on colour ones.
uint64_t MostPixelsWithin(uint32_t TargetKB);

// The whole factor (1 to 8) by which the file-size batch may have a Width x
// Height picture shrunk before its search: the shrunk picture still has at
// least as many pixels as any copy within the target can.
uint32_t MasterShrinkFactor(uint32_t Width, uint32_t Height, uint32_t TargetKB);

class TSizeSearch {
 public:
  static constexpr int MaxTrials = 20;

  // TargetKB: the target in kilobytes; Width, Height: the full-size picture;
  // FullSize: bytes of its full-size save (above the target). Strict: a
  // trial above the target never ends the search as close enough.
  TSizeSearch(uint32_t TargetKB, uint32_t Width, uint32_t Height, int64_t FullSize,
              bool Strict = false);

  // The size of the next trial. The height keeps the aspect ratio; neither
  // edge goes below 1.
  uint32_t TrialWidth() const { return A_; }
  uint32_t TrialHeight() const;
  int Trial() const { return Trial_; }
  bool Finished() const { return Finished_; }

  // Takes the outcome of the current trial (its file size and the picture's
  // actual width and height) and chooses the next width, or finishes.
  void Next(int64_t Size, uint32_t ActualWidth, uint32_t ActualHeight);

  // Bytes that the metadata added to the last trial file; EXIF is left out of
  // a trial once this has grown too big for the target.
  int64_t ExifExtra = 0;
  // True when the next trial may carry the source's EXIF block.
  bool ExifFits() const;

 private:
  uint32_t TargetKB_;
  int64_t TargetBytes_;
  bool Strict_;
  uint32_t W0_;
  uint32_t H0_;
  uint32_t Hi_;
  uint32_t Lo_ = 1;
  uint32_t A_ = 1;
  std::optional<uint32_t> PrevA_;
  int Trial_ = 1;
  bool Finished_ = false;
};

}  // namespace pictrim
