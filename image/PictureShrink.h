// Making pictures smaller by averaging their pixels. The decoder process
// shrinks a decoded picture by a whole factor when the program will rescale
// it to a fraction of its size anyway: a quarter of the pixels then crosses
// to the program and goes through the rescale. The rescale itself, for the
// common pictures, is the image library's box filter done in whole numbers.
#pragma once

#include <FreeImage.h>

#include <cstdint>
#include <vector>

namespace pictrim::decoding {

// The largest factor a picture is shrunk by.
inline constexpr uint32_t MaxShrinkFactor = 8;

// The side of a picture shrunk by Factor: the last block of a row or column
// takes what is left.
inline uint32_t ShrunkSide(uint32_t Side, uint32_t Factor) {
  return Factor == 0 ? Side : (Side + Factor - 1) / Factor;
}

// The whole factor (1 to MaxShrinkFactor) by which a Width x Height picture
// may be shrunk before it is rescaled to TargetWidth x TargetHeight without
// costing the copy its detail: the rescale after it keeps a ratio of at
// least 2 (each block then adds little to the box or the lobes it falls
// into; closer to 1, the two steps smudge what one rescale would keep).
// 1 when the picture is less than 4 times the target.
uint32_t ShrinkFactorFor(uint32_t Width, uint32_t Height, uint32_t TargetWidth,
                         uint32_t TargetHeight);

// True for the pictures ShrinkPicture takes: 8-bit samples, 3 or 4 per pixel.
bool CanShrink(FIBITMAP* Picture);
// True for the depths of such pictures (bits per pixel).
inline bool ShrinksDepth(uint32_t BitsPerPixel) { return BitsPerPixel == 24 || BitsPerPixel == 32; }

// A new picture of Picture shrunk by Factor, with its resolution,
// background colour and colour profile; null when Factor is below 2, the
// picture is of another kind or there is no memory.
FIBITMAP* ShrinkPicture(FIBITMAP* Picture, uint32_t Factor);

// The same from rows of interleaved red, green, blue (and alpha, when
// Channels is 4) samples, first row at the top, as libheif gives them; the
// result is as the image library keeps pictures. Null as above.
FIBITMAP* ShrinkRgbRows(const uint8_t* Pixels, size_t Stride, uint32_t Width, uint32_t Height,
                        uint32_t Channels, uint32_t Factor);

// The averages of the Factor x Factor blocks of a Width x Height picture
// whose pixels come one by one, in any order (the tiles of a grid, turned):
// the picture ShrinkRgbRows makes of the same pixels in rows. A pixel never
// added counts as black.
class TBlockAverages {
 public:
  TBlockAverages(uint32_t Width, uint32_t Height, uint32_t Factor);
  // False when Factor is out of range or there was no memory.
  bool Valid() const { return !Sums_.empty(); }
  // Adds the pixel at X, Y (red, green, blue; X, Y within the picture).
  void Add(uint32_t X, uint32_t Y, const uint8_t* Rgb) {
    uint16_t* sum = Sums_.data() + (size_t{RowOf_[Y]} * Columns_ + ColumnOf_[X]) * 3;
    sum[0] = static_cast<uint16_t>(sum[0] + Rgb[0]);
    sum[1] = static_cast<uint16_t>(sum[1] + Rgb[1]);
    sum[2] = static_cast<uint16_t>(sum[2] + Rgb[2]);
  }
  // The 24-bit picture of the averages, as the image library keeps
  // pictures; null without memory.
  FIBITMAP* Finish() const;
  // Bytes it holds besides the picture Finish makes, for a picture of
  // ShrunkWidth x ShrunkHeight blocks.
  static uint64_t BytesFor(uint32_t ShrunkWidth, uint32_t ShrunkHeight) {
    return uint64_t{ShrunkWidth} * ShrunkHeight * 3 * sizeof(uint16_t);
  }

 private:
  uint32_t Width_, Height_, Factor_;
  uint32_t Columns_ = 0, Rows_ = 0;
  std::vector<uint32_t> ColumnOf_, RowOf_;
  std::vector<uint16_t> Sums_;
};

// The picture rescaled to Width x Height, neither side larger than now,
// with the image library's box filter: each pixel the average of the pixels
// whose centres lie within its box, the rows first. The result is the
// library's to within one step of a sample, with the library's metadata and
// resolution and without colour profile or background, as the library's
// rescale gives it. Null when the picture is of another kind than
// CanShrink takes, a side would grow, or there is no memory.
FIBITMAP* BoxRescale(FIBITMAP* Picture, uint32_t Width, uint32_t Height);

}  // namespace pictrim::decoding
