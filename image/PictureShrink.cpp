#include "image/PictureShrink.h"

#include <algorithm>
#include <vector>

namespace pictrim::decoding {
namespace {

// Fills Out (Width / Factor x Height / Factor, rounded up) with the
// averages of the Factor x Factor blocks of the rows Row(0) .. Row(Height
// - 1), from the top. Swap exchanges the first and third sample of a pixel
// (red and blue).
template <typename TRowFn>
void AverageBlocks(TRowFn Row, uint32_t Width, uint32_t Height, uint32_t Channels,
                   uint32_t Factor, bool Swap, FIBITMAP* Out) {
  const uint32_t outWidth = ShrunkSide(Width, Factor);
  const uint32_t outHeight = ShrunkSide(Height, Factor);
  std::vector<uint32_t> sums(size_t{outWidth} * Channels);
  for (uint32_t outY = 0; outY < outHeight; ++outY) {
    std::fill(sums.begin(), sums.end(), 0);
    const uint32_t firstRow = outY * Factor;
    const uint32_t rows = std::min(Factor, Height - firstRow);
    for (uint32_t y = firstRow; y < firstRow + rows; ++y) {
      const uint8_t* in = Row(y);
      for (uint32_t x = 0; x < Width; ++x, in += Channels) {
        uint32_t* sum = &sums[size_t{x / Factor} * Channels];
        for (uint32_t c = 0; c < Channels; ++c) sum[c] += in[c];
      }
    }
    BYTE* out = FreeImage_GetScanLine(Out, static_cast<int>(outHeight - 1 - outY));
    for (uint32_t outX = 0; outX < outWidth; ++outX, out += Channels) {
      const uint32_t columns = std::min(Factor, Width - outX * Factor);
      const uint32_t count = columns * rows;
      const uint32_t* sum = &sums[size_t{outX} * Channels];
      for (uint32_t c = 0; c < Channels; ++c) {
        const uint32_t to = Swap && c < 3 ? 2 - c : c;
        out[to] = static_cast<BYTE>((sum[c] + count / 2) / count);
      }
    }
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

}  // namespace

uint32_t ShrinkFactorFor(uint32_t Width, uint32_t Height, uint32_t TargetWidth,
                         uint32_t TargetHeight) {
  if (TargetWidth == 0 || TargetHeight == 0) return 1;
  const uint32_t factor = std::min(Width / TargetWidth, Height / TargetHeight);
  return std::clamp<uint32_t>(factor, 1, MaxShrinkFactor);
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

}  // namespace pictrim::decoding
