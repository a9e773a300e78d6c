#include "image/PictureShrink.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <vector>

namespace pictrim::decoding {
namespace {

// Adds one row's samples to the sums of their columns (a loop the compiler
// turns into vector additions).
void AddRow(const uint8_t* __restrict In, size_t Samples, uint16_t* __restrict Columns) {
  for (size_t i = 0; i < Samples; ++i) Columns[i] = static_cast<uint16_t>(Columns[i] + In[i]);
}

// Divides Sum by Count, rounded half up, through a multiplication: exact
// for counts up to MaxCount and sums of as many 8-bit samples.
struct TDivision {
  static constexpr uint32_t MaxCount = 4095;
  explicit TDivision(uint32_t Count)
      : Half(Count / 2), Multiplier(((uint64_t{1} << 32) + Count - 1) / Count) {}
  BYTE operator()(uint32_t Sum) const {
    return static_cast<BYTE>((uint64_t{Sum + Half} * Multiplier) >> 32);
  }
  uint32_t Half;
  uint64_t Multiplier;
};

// Writes the averages of one row of blocks, Rows rows high. Swap exchanges
// the first and third sample of a pixel (red and blue).
// Writes the averages of one row of blocks, Rows rows high, from the sums
// of its columns. Swap exchanges the first and third sample of a pixel (red
// and blue).
template <uint32_t Channels>
void WriteAverages(const uint16_t* Columns, uint32_t Width, uint32_t Factor, uint32_t Rows,
                   bool Swap, BYTE* Out) {
  const uint32_t outWidth = ShrunkSide(Width, Factor);
  const TDivision whole(Factor * Rows);
  const TDivision last((Width - (outWidth - 1) * Factor) * Rows);
  const uint32_t red = Swap ? 2 : 0, blue = Swap ? 0 : 2;
  for (uint32_t outX = 0; outX < outWidth; ++outX, Out += Channels) {
    const uint32_t columns = std::min(Factor, Width - outX * Factor);
    uint32_t sums[Channels] = {};
    for (uint32_t d = 0; d < columns; ++d, Columns += Channels) {
      for (uint32_t c = 0; c < Channels; ++c) sums[c] += Columns[c];
    }
    const TDivision& divide = columns == Factor ? whole : last;
    Out[red] = divide(sums[0]);
    Out[1] = divide(sums[1]);
    Out[blue] = divide(sums[2]);
    if constexpr (Channels == 4) Out[3] = divide(sums[3]);
  }
}

// Fills Out (Width x Height shrunk by Factor) with the averages of the
// Factor x Factor blocks of the rows Row(0) .. Row(Height - 1), from the top.
template <uint32_t Channels, typename TRowFn>
void AverageBlocks(TRowFn Row, uint32_t Width, uint32_t Height, uint32_t Factor, bool Swap,
                   FIBITMAP* Out) {
  const uint32_t outHeight = ShrunkSide(Height, Factor);
  const size_t samples = size_t{Width} * Channels;
  std::vector<uint16_t> columns(samples);
  for (uint32_t outY = 0; outY < outHeight; ++outY) {
    std::fill(columns.begin(), columns.end(), 0);
    const uint32_t firstRow = outY * Factor;
    const uint32_t rows = std::min(Factor, Height - firstRow);
    for (uint32_t y = firstRow; y < firstRow + rows; ++y) AddRow(Row(y), samples, columns.data());
    WriteAverages<Channels>(columns.data(), Width, Factor, rows, Swap,
                            FreeImage_GetScanLine(Out, static_cast<int>(outHeight - 1 - outY)));
  }
}

template <typename TRowFn>
void AverageBlocks(TRowFn Row, uint32_t Width, uint32_t Height, uint32_t Channels,
                   uint32_t Factor, bool Swap, FIBITMAP* Out) {
  if (Channels == 4) {
    AverageBlocks<4>(Row, Width, Height, Factor, Swap, Out);
  } else {
    AverageBlocks<3>(Row, Width, Height, Factor, Swap, Out);
  }
}

FIBITMAP* AllocateShrunk(uint32_t Width, uint32_t Height, uint32_t Channels, uint32_t Factor) {
  if (Factor < 2 || Factor > MaxShrinkFactor || Width == 0 || Height == 0 ||
      (Channels != 3 && Channels != 4))
    return nullptr;
  return FreeImage_Allocate(static_cast<int>(ShrunkSide(Width, Factor)),
                            static_cast<int>(ShrunkSide(Height, Factor)),
                            static_cast<int>(8 * Channels), FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK,
                            FI_RGBA_BLUE_MASK);
}

// The source pixels a box of the library's box filter averages, for each
// pixel of a side of Target pixels made from Source ones: those whose
// centres lie within half a target pixel of its centre.
struct TSpan {
  uint32_t First;
  uint32_t Count;
};

std::vector<TSpan> BoxSpans(uint32_t Source, uint32_t Target) {
  std::vector<TSpan> spans(Target);
  const double scale = double(Target) / double(Source);
  const double width = 0.5 / scale;
  for (uint32_t u = 0; u < Target; ++u) {
    // Worked out as the library does: where a pixel's centre lies exactly
    // on a box's edge, the rounding of this sum decides, as it does there.
    const double centre = double(u) / scale + 0.5 / scale;
    const int64_t left = std::max<int64_t>(0, int64_t(centre - width + 0.5));
    const int64_t right = std::min<int64_t>(int64_t(centre + width + 0.5), Source);
    int64_t first = right, last = left - 1;
    for (int64_t i = left; i < right; ++i) {
      if (std::abs(scale * (double(i) + 0.5 - centre)) <= 0.5) {
        first = std::min(first, i);
        last = std::max(last, i);
      }
    }
    // A box always holds the pixel under its centre.
    if (last < first) first = last = std::min<int64_t>(int64_t(centre), Source - 1);
    spans[u] = {uint32_t(first), uint32_t(last - first + 1)};
  }
  return spans;
}

bool FitsDivision(const std::vector<TSpan>& Spans) {
  return std::all_of(Spans.begin(), Spans.end(),
                     [](const TSpan& Span) { return Span.Count <= TDivision::MaxCount; });
}

// One row averaged across: each target pixel the average of its span.
template <uint32_t Channels>
void AverageAcross(const BYTE* In, const std::vector<TSpan>& Spans, BYTE* Out) {
  for (const TSpan& span : Spans) {
    uint32_t sums[Channels] = {};
    const BYTE* from = In + size_t{span.First} * Channels;
    for (uint32_t i = 0; i < span.Count; ++i, from += Channels) {
      for (uint32_t c = 0; c < Channels; ++c) sums[c] += from[c];
    }
    const TDivision divide(span.Count);
    for (uint32_t c = 0; c < Channels; ++c) Out[c] = divide(sums[c]);
    Out += Channels;
  }
}

// Every target row the average of the rows of its span, top to bottom as
// the rows are kept (the boxes are symmetric, so the order does not count).
void AverageDown(FIBITMAP* In, const std::vector<TSpan>& Spans, size_t Samples, FIBITMAP* Out) {
  std::vector<uint32_t> sums(Samples);
  for (uint32_t v = 0; v < Spans.size(); ++v) {
    std::fill(sums.begin(), sums.end(), 0);
    for (uint32_t y = Spans[v].First; y < Spans[v].First + Spans[v].Count; ++y) {
      const BYTE* __restrict row = FreeImage_GetScanLine(In, static_cast<int>(y));
      uint32_t* __restrict sum = sums.data();
      for (size_t i = 0; i < Samples; ++i) sum[i] += row[i];
    }
    const TDivision divide(Spans[v].Count);
    BYTE* out = FreeImage_GetScanLine(Out, static_cast<int>(v));
    for (size_t i = 0; i < Samples; ++i) out[i] = divide(sums[i]);
  }
}

}  // namespace

uint32_t ShrinkFactorFor(uint32_t Width, uint32_t Height, uint32_t TargetWidth,
                         uint32_t TargetHeight) {
  if (TargetWidth == 0 || TargetHeight == 0) return 1;
  // Twice the ratio, in whole numbers: 2 Width / TargetWidth and so on.
  const uint64_t ratio2 =
      std::min(2 * uint64_t{Width} / TargetWidth, 2 * uint64_t{Height} / TargetHeight);
  const uint64_t factor = ratio2 / 4;
  return uint32_t(std::clamp<uint64_t>(factor, 1, MaxShrinkFactor));
}

bool CanShrink(FIBITMAP* Picture) {
  const unsigned bpp = FreeImage_GetBPP(Picture);
  return Picture != nullptr && FreeImage_GetImageType(Picture) == FIT_BITMAP &&
         (bpp == 24 || bpp == 32) && FreeImage_GetRedMask(Picture) == FI_RGBA_RED_MASK &&
         FreeImage_GetGreenMask(Picture) == FI_RGBA_GREEN_MASK &&
         FreeImage_GetBlueMask(Picture) == FI_RGBA_BLUE_MASK;
}

FIBITMAP* ShrinkPicture(FIBITMAP* Picture, uint32_t Factor) {
  if (!CanShrink(Picture)) return nullptr;
  const uint32_t width = FreeImage_GetWidth(Picture);
  const uint32_t height = FreeImage_GetHeight(Picture);
  const uint32_t channels = FreeImage_GetBPP(Picture) / 8;
  FIBITMAP* out = AllocateShrunk(width, height, channels, Factor);
  if (out == nullptr) return nullptr;
  AverageBlocks([&](uint32_t Y) { return FreeImage_GetScanLine(Picture, int(height - 1 - Y)); },
                width, height, channels, Factor, false, out);
  FreeImage_SetDotsPerMeterX(out, FreeImage_GetDotsPerMeterX(Picture));
  FreeImage_SetDotsPerMeterY(out, FreeImage_GetDotsPerMeterY(Picture));
  RGBQUAD background{};
  if (FreeImage_GetBackgroundColor(Picture, &background)) FreeImage_SetBackgroundColor(out, &background);
  const FIICCPROFILE* icc = FreeImage_GetICCProfile(Picture);
  if (icc != nullptr && (icc->size > 0 || icc->flags != 0)) {
    FIICCPROFILE* copy = FreeImage_CreateICCProfile(out, icc->data, static_cast<long>(icc->size));
    if (copy == nullptr) {
      FreeImage_Unload(out);
      return nullptr;
    }
    copy->flags = icc->flags;
  }
  return out;
}

FIBITMAP* ShrinkRgbRows(const uint8_t* Pixels, size_t Stride, uint32_t Width, uint32_t Height,
                        uint32_t Channels, uint32_t Factor) {
  if (Pixels == nullptr || Stride < size_t{Width} * Channels) return nullptr;
  FIBITMAP* out = AllocateShrunk(Width, Height, Channels, Factor);
  if (out == nullptr) return nullptr;
  AverageBlocks([&](uint32_t Y) { return Pixels + size_t{Y} * Stride; }, Width, Height, Channels,
                Factor, FI_RGBA_RED != 0, out);
  return out;
}

TBlockAverages::TBlockAverages(uint32_t Width, uint32_t Height, uint32_t Factor)
    : Width_(Width), Height_(Height), Factor_(Factor) {
  if (Factor < 1 || Factor > MaxShrinkFactor || Width == 0 || Height == 0) return;
  Columns_ = ShrunkSide(Width, Factor);
  Rows_ = ShrunkSide(Height, Factor);
  try {
    ColumnOf_.resize(Width);
    RowOf_.resize(Height);
    for (uint32_t x = 0; x < Width; ++x) ColumnOf_[x] = x / Factor;
    for (uint32_t y = 0; y < Height; ++y) RowOf_[y] = y / Factor;
    Sums_.assign(size_t{Columns_} * Rows_ * 3, 0);
  } catch (const std::bad_alloc&) {
    Sums_.clear();
  }
}

FIBITMAP* TBlockAverages::Finish() const {
  if (!Valid()) return nullptr;
  FIBITMAP* out = FreeImage_Allocate(static_cast<int>(Columns_), static_cast<int>(Rows_), 24,
                                     FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK);
  if (out == nullptr) return nullptr;
  const uint32_t lastColumns = Width_ - (Columns_ - 1) * Factor_;
  for (uint32_t row = 0; row < Rows_; ++row) {
    const uint32_t rows = std::min(Factor_, Height_ - row * Factor_);
    const TDivision whole(Factor_ * rows);
    const TDivision last(lastColumns * rows);
    const uint16_t* sum = Sums_.data() + size_t{row} * Columns_ * 3;
    BYTE* line = FreeImage_GetScanLine(out, static_cast<int>(Rows_ - 1 - row));
    for (uint32_t column = 0; column < Columns_; ++column, sum += 3, line += 3) {
      const TDivision& divide = column + 1 < Columns_ ? whole : last;
      line[FI_RGBA_RED] = divide(sum[0]);
      line[FI_RGBA_GREEN] = divide(sum[1]);
      line[FI_RGBA_BLUE] = divide(sum[2]);
    }
  }
  return out;
}

FIBITMAP* BoxRescale(FIBITMAP* Picture, uint32_t Width, uint32_t Height) {
  if (!CanShrink(Picture) || Width == 0 || Height == 0) return nullptr;
  const uint32_t width = FreeImage_GetWidth(Picture);
  const uint32_t height = FreeImage_GetHeight(Picture);
  if (Width > width || Height > height) return nullptr;
  const std::vector<TSpan> across = BoxSpans(width, Width);
  const std::vector<TSpan> down = BoxSpans(height, Height);
  if (!FitsDivision(across) || !FitsDivision(down)) return nullptr;
  const uint32_t bpp = FreeImage_GetBPP(Picture);
  const uint32_t channels = bpp / 8;
  // The rows first, as the library does, into a picture as high as the
  // source, then down.
  std::unique_ptr<FIBITMAP, decltype(&FreeImage_Unload)> narrow(
      FreeImage_Allocate(int(Width), int(height), int(bpp), FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK,
                         FI_RGBA_BLUE_MASK),
      &FreeImage_Unload);
  FIBITMAP* out = FreeImage_Allocate(int(Width), int(Height), int(bpp), FI_RGBA_RED_MASK,
                                     FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK);
  if (!narrow || out == nullptr) {
    if (out != nullptr) FreeImage_Unload(out);
    return nullptr;
  }
  for (uint32_t y = 0; y < height; ++y) {
    const BYTE* in = FreeImage_GetScanLine(Picture, int(y));
    BYTE* row = FreeImage_GetScanLine(narrow.get(), int(y));
    if (channels == 4) {
      AverageAcross<4>(in, across, row);
    } else {
      AverageAcross<3>(in, across, row);
    }
  }
  AverageDown(narrow.get(), down, size_t{Width} * channels, out);
  FreeImage_CloneMetadata(out, Picture);
  FreeImage_SetDotsPerMeterX(out, FreeImage_GetDotsPerMeterX(Picture));
  FreeImage_SetDotsPerMeterY(out, FreeImage_GetDotsPerMeterY(Picture));
  return out;
}

}  // namespace pictrim::decoding
