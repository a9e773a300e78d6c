// Resampling pictures to a new size with one of two filters: the area
// average (each new pixel the mean of the part of the picture it covers,
// partly covered pixels weighed by the part) and the sharper three-lobe
// Lanczos filter. Pictures come as rows of 8-bit samples, 1, 3 or 4 to a
// pixel, from the top down; rows may stream in as a decoder gives them.
//
// A picture that was made smaller by a whole factor first (the decoder's
// shrink, a JPEG decoded at a reduced scale) is resampled as the part of
// the whole picture each of its pixels stands for: the two steps then make
// one rescale of the whole picture, without a shift.
#pragma once

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace pictrim::resampling {

enum class TFilter {
  Area,      // the box filter by area
  Lanczos3,  // windowed sinc, three lobes: sharper
};

// Whether the sharp rescale of the jobs filters in linear light (the
// colours taken as sRGB) rather than on the stored values.
extern bool SharpInLinearLight;

// One side of a picture and where its pixels lie on the whole picture it
// was made from: pixel i stands for the whole picture's pixels i * Factor
// up to min((i + 1) * Factor, Whole) - 1. A whole picture has Factor 1.
struct TSide {
  uint32_t Pixels = 0;
  uint32_t Factor = 1;
  uint32_t Whole = 0;  // 0: Pixels * Factor
  uint32_t WholePixels() const { return Whole != 0 ? Whole : Pixels * Factor; }
  // The side of a picture shrunk from Whole pixels by Factor (the last
  // pixel standing for what is left).
  static TSide Shrunk(uint32_t Whole, uint32_t Factor);
};

// How the samples of a pixel are laid out: Channels per pixel, and which
// of them (if any) is no colour (alpha, or an unused fourth byte): it is
// never turned into linear light.
struct TPixelKind {
  uint32_t Channels = 3;
  int Plain = -1;  // index of the channel that is no colour; -1: none
};

// The weights of one side: for each new pixel, the first old pixel it takes
// and Stride weights (whole numbers, Scale in all; the unused ones 0).
struct TTaps {
  static constexpr int Bits = 14;
  static constexpr int32_t Scale = 1 << Bits;
  std::vector<uint32_t> First;
  std::vector<uint32_t> Count;  // weights used (up to Stride)
  std::vector<int16_t> Weights;
  uint32_t Stride = 0;
};

// The weights of a side of From pixels made into To pixels. Stride is a
// multiple of Multiple; First + Stride never exceeds From.Pixels + Multiple.
TTaps MakeTaps(const TSide& From, uint32_t To, TFilter Filter, uint32_t Multiple = 2);

// Makes a picture of Width x Height from rows that come in one at a time,
// from the top. Each finished row is written to the row that OutRow gives
// for its number, in order; it has Width pixels of the input's kind.
class TResampler {
 public:
  using TOutRowFn = std::function<uint8_t*(uint32_t Y)>;

  TResampler();
  ~TResampler();
  TResampler(const TResampler&) = delete;
  TResampler& operator=(const TResampler&) = delete;

  // False when a size is 0, the kind has another number of channels than
  // 1, 3 or 4, or there is no memory. Linear: filter in linear light (the
  // colours are sRGB).
  bool Start(const TSide& Across, const TSide& Down, TPixelKind Kind, uint32_t Width,
             uint32_t Height, TFilter Filter, bool Linear, TOutRowFn OutRow);
  // The next row of the input, Across.Pixels pixels of the kind.
  void AddRow(const uint8_t* Row);
  // Every row at once, from a picture of Down.Pixels rows Stride bytes
  // apart that stays in memory meanwhile (read where it is).
  void AddPicture(const uint8_t* Rows, ptrdiff_t Stride);
  // Rows that never came count as black; true when every row came.
  bool Finish();

  // Which of the processor's vector instructions the resamplers started
  // from now on use: the widest it has (the default), those of 16 bytes,
  // or none. All give the same results; for comparing them.
  enum class TVectors { Widest, Narrow, None };
  static void SetVectors(TVectors Vectors);

 private:
  struct TState;
  std::unique_ptr<TState> State_;
};

// A whole picture in memory resampled into another: In has Across.Pixels x
// Down.Pixels pixels, rows InStride bytes apart from the top; Out has Width
// x Height, rows OutStride bytes apart. False as TResampler::Start.
bool Resample(const uint8_t* In, ptrdiff_t InStride, const TSide& Across, const TSide& Down,
              TPixelKind Kind, uint8_t* Out, ptrdiff_t OutStride, uint32_t Width, uint32_t Height,
              TFilter Filter, bool Linear);

// Picture (8-bit grey, 24-bit or 32-bit; others are made 32-bit first)
// resampled to Width x Height as the whole picture its sides stand for,
// in the same format (32-bit pictures keep their fourth byte out of
// linear light). A null image when that cannot be made.
QImage Resampled(const QImage& Picture, const TSide& Across, const TSide& Down, uint32_t Width,
                 uint32_t Height, TFilter Filter, bool Linear);

}  // namespace pictrim::resampling
