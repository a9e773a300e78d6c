#include "engine/ShrinkMaster.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "image/JpegCodec.h"
#include "image/Resample.h"

namespace pictrim {

TTrialPicture TContainerMaster::Make(uint32_t Width, uint32_t Height) {
  TTrialPicture trial;
  Working_.Assign(&Master_);
  Working_.RescaleFor(Width, Height, Sharp_);
  // The library's save takes its quality as the flags.
  trial.Saved = Working_.SaveToBytes(FIF_JPEG, trial.Bytes, Quality_);
  trial.Width = Working_.GetWidth();
  trial.Height = Working_.GetHeight();
  Working_.Clear();
  return trial;
}

namespace {

// The source pixels that make up each output pixel when an edge of Source
// pixels is brought down to Target with the image library's box filter: those
// whose centres lie within half an output pixel of the output pixel's centre.
std::vector<std::pair<uint32_t, uint32_t>> BoxRanges(uint32_t Source, uint32_t Target) {
  std::vector<std::pair<uint32_t, uint32_t>> ranges(Target);
  const double scale = static_cast<double>(Target) / Source;
  const double reach = 0.5 / scale;
  for (uint32_t u = 0; u < Target; ++u) {
    const double centre = (u + 0.5) / scale - 0.5;
    int64_t left = std::max<int64_t>(0, static_cast<int64_t>(std::ceil(centre - reach)));
    int64_t right = std::min<int64_t>(Source, static_cast<int64_t>(std::floor(centre + reach)) + 1);
    if (left >= right) {  // rounding left no pixel: the nearest one
      left = std::clamp<int64_t>(std::llround(centre), 0, Source - 1);
      right = left + 1;
    }
    ranges[u] = {static_cast<uint32_t>(left), static_cast<uint32_t>(right)};
  }
  return ranges;
}

// Brings a picture whose Rgb24 rows come in one at a time down to Width x
// Height (neither edge larger than the source's) with the box filter: every
// output pixel is the mean of the source pixels it gathers, rounded half up.
// The sums are whole numbers, so the mean is exact. Each source row is added
// at full width to the output row it belongs to (and to the next one where
// two boxes share a boundary row); the first row of a box is copied rather
// than added, so the sums never need clearing. The columns are gathered once
// per output row. Besides the result it holds two rows of sums.
class TBoxShrinker {
 public:
  TBoxShrinker(uint32_t Width, uint32_t Height) : Width_(Width), Height_(Height) {}

  bool Start(uint32_t SourceWidth, uint32_t SourceHeight) {
    if (SourceWidth < Width_ || SourceHeight < Height_ || Width_ == 0 || Height_ == 0) return false;
    Result_ = QImage(static_cast<int>(Width_), static_cast<int>(Height_), QImage::Format_RGB888);
    if (Result_.isNull()) return false;
    Values_ = size_t{SourceWidth} * 3;
    Rows_ = BoxRanges(SourceHeight, Height_);
    SetColumns(BoxRanges(SourceWidth, Width_));
    // One more value than the row holds: a pixel's sums are gathered four
    // lanes wide, the fourth lane unused.
    Sums_[0].assign(Values_ + 1, 0);
    Sums_[1].assign(Values_ + 1, 0);
#if defined(__SSE2__)
    Gathered_.assign(size_t{Width_} * 3 + 1, 0);
    ColumnScales_.clear();
    for (const TColumn& column : Columns_) ColumnScales_.insert(ColumnScales_.end(), 3, TShortMean::Reciprocal(column.Length));
#endif
    return true;
  }

  void AddRow(uint32_t Y, const uint8_t* Pixels) {
    for (uint32_t slot = 0; slot < 2 && Line_ + slot < Height_; ++slot) {
      const auto [top, bottom] = Rows_[Line_ + slot];
      if (Y < top || Y >= bottom) continue;
      uint32_t* __restrict sums = Sums_[slot].data();
      if (Started_[slot]) {
        for (size_t i = 0; i < Values_; ++i) sums[i] += Pixels[i];
      } else {
        for (size_t i = 0; i < Values_; ++i) sums[i] = Pixels[i];
        Started_[slot] = true;
      }
    }
    while (Line_ < Height_ && Rows_[Line_].second <= Y + 1) Emit();
  }

  QImage Finish() {
    while (Line_ < Height_) Emit();
    return Result_;
  }

 private:
  struct TColumn {
    uint32_t Offset;  // of its first value in a row of sums
    uint32_t Length;  // source pixels it gathers
    uint32_t Kind;    // index of its length in Lengths_
  };

  void SetColumns(const std::vector<std::pair<uint32_t, uint32_t>>& Ranges) {
    Lengths_.clear();
    for (const auto& [left, right] : Ranges) Lengths_.push_back(right - left);
    std::sort(Lengths_.begin(), Lengths_.end());
    Lengths_.erase(std::unique(Lengths_.begin(), Lengths_.end()), Lengths_.end());
    Columns_.clear();
    for (const auto& [left, right] : Ranges) {
      const auto kind = std::lower_bound(Lengths_.begin(), Lengths_.end(), right - left);
      Columns_.push_back({3 * left, right - left, static_cast<uint32_t>(kind - Lengths_.begin())});
    }
  }

  void Emit() {
    const auto [top, bottom] = Rows_[Line_];
    const uint32_t rows = bottom - top;
    if (!Started_[0]) std::fill(Sums_[0].begin(), Sums_[0].end(), 0u);  // rows that never came
    uchar* out = Result_.scanLine(static_cast<int>(Line_));
#if defined(__SSE2__)
    if (rows * Lengths_.back() <= TShortMean::MaxCount) {
      EmitShort(out, rows);
    } else {
      EmitLong(out, rows);
    }
#else
    EmitLong(out, rows);
#endif
    std::swap(Sums_[0], Sums_[1]);
    Started_[0] = Started_[1];
    Started_[1] = false;
    ++Line_;
  }

#if defined(__SSE2__)
  // The output row from boxes of at most TShortMean::MaxCount pixels: each
  // pixel's three sums gathered in one vector, then the means of the whole
  // row sixteen values at a time, in single precision.
  void EmitShort(uchar* Out, uint32_t Rows) {
    const uint32_t* sums = Sums_[0].data();
    uint32_t* gathered = Gathered_.data();
    for (const TColumn& column : Columns_) {
      const uint32_t* p = sums + column.Offset;
      __m128i acc = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      for (uint32_t k = 1; k < column.Length; ++k) {
        acc = _mm_add_epi32(acc, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 3 * k)));
      }
      // Four lanes stored, the fourth overwritten by the next pixel.
      _mm_storeu_si128(reinterpret_cast<__m128i*>(gathered), acc);
      gathered += 3;
    }
    const float rowScale = TShortMean::Reciprocal(Rows);
    const size_t n = size_t{Width_} * 3;
    const float* scales = ColumnScales_.data();
    const __m128 row = _mm_set1_ps(rowScale);
    const __m128 bias = _mm_set1_ps(TShortMean::Bias);
    const auto means = [&](size_t i) {
      const __m128 sum = _mm_cvtepi32_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Gathered_.data() + i)));
      const __m128 mean = _mm_add_ps(_mm_mul_ps(_mm_mul_ps(sum, _mm_loadu_ps(scales + i)), row), bias);
      return _mm_cvttps_epi32(mean);
    };
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
      const __m128i low = _mm_packs_epi32(means(i), means(i + 4));
      const __m128i high = _mm_packs_epi32(means(i + 8), means(i + 12));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + i), _mm_packus_epi16(low, high));
    }
    for (; i < n; ++i) Out[i] = TShortMean::Mean(Gathered_[i], scales[i], rowScale);
  }
#endif

  // The output row from boxes of any size, in whole numbers.
  void EmitLong(uchar* __restrict Out, uint32_t Rows) {
    Means_.clear();
    for (const uint32_t length : Lengths_) Means_.emplace_back(length * Rows);
    const bool fast = std::all_of(Means_.begin(), Means_.end(), [](const TRoundedMean& m) { return m.Fast(); });
    const uint32_t* sums = Sums_[0].data();
    for (const TColumn& column : Columns_) {
      uint32_t acc[4];
      Gather(sums + column.Offset, column.Length, acc);
      const TRoundedMean& mean = Means_[column.Kind];
      for (int c = 0; c < 3; ++c) Out[c] = fast ? mean(acc[c]) : mean.Divide(acc[c]);
      Out += 3;
    }
  }

  // The sums of Length pixels from P on, four lanes at a time (the fourth
  // lane is the next pixel's red, unused); the usual short ranges unrolled.
  static void Gather(const uint32_t* P, uint32_t Length, uint32_t* Acc) {
    for (int c = 0; c < 4; ++c) Acc[c] = P[c];
    switch (Length) {
      default:
        for (uint32_t k = 3; k < Length; ++k) {
          for (int c = 0; c < 4; ++c) Acc[c] += P[3 * k + c];
        }
        [[fallthrough]];
      case 3:
        for (int c = 0; c < 4; ++c) Acc[c] += P[6 + c];
        [[fallthrough]];
      case 2:
        for (int c = 0; c < 4; ++c) Acc[c] += P[3 + c];
        [[fallthrough]];
      case 1:
      case 0:
        break;
    }
  }

  uint32_t Width_, Height_;
  size_t Values_ = 0;  // values in a source row
  std::vector<std::pair<uint32_t, uint32_t>> Rows_;
  std::vector<TColumn> Columns_;
  std::vector<uint32_t> Lengths_;  // the distinct column lengths, ascending
  std::vector<TRoundedMean> Means_;
#if defined(__SSE2__)
  std::vector<float> ColumnScales_;  // per output value: the reciprocal of its column's length
  std::vector<uint32_t> Gathered_;   // per output value: the sum of its box
#endif
  std::vector<uint32_t> Sums_[2];
  bool Started_[2] = {false, false};
  uint32_t Line_ = 0;
  QImage Result_;
};

// The box filter over a picture already in memory (Rgb24 rows).
QImage BoxShrink(const QImage& Picture, uint32_t Width, uint32_t Height) {
  TBoxShrinker shrinker(Width, Height);
  if (!shrinker.Start(static_cast<uint32_t>(Picture.width()), static_cast<uint32_t>(Picture.height()))) {
    return QImage();
  }
  for (int y = 0; y < Picture.height(); ++y) shrinker.AddRow(static_cast<uint32_t>(y), Picture.constScanLine(y));
  return shrinker.Finish();
}

// Builds the half-size picture (each pixel the mean of a 2 x 2 block,
// rounded half up; the last row or column alone when the edge is odd) from
// streamed rows: an even row is kept, the odd row below is added to it, then
// neighbouring columns are paired.
class THalver {
 public:
  explicit THalver(QImage& Result) : Result_(Result) {}

  bool Start(uint32_t Width, uint32_t Height) {
    Width_ = Width;
    Height_ = Height;
    Result_ = QImage(static_cast<int>((Width + 1) / 2), static_cast<int>((Height + 1) / 2),
                     QImage::Format_RGB888);
    Pairs_.assign(size_t{Width} * 3, 0);
    Means_.assign(size_t{Width} * 3, 0);
    return !Result_.isNull();
  }

  void AddRow(uint32_t Y, const uint8_t* Pixels) {
    const size_t n = Pairs_.size();
    uint16_t* __restrict pairs = Pairs_.data();
    if (Y % 2 == 0) {
      for (size_t i = 0; i < n; ++i) pairs[i] = Pixels[i];
      if (Y + 1 < Height_) return;
      // A last odd row stands alone: it counts twice, as two rows would.
      for (size_t i = 0; i < n; ++i) pairs[i] = static_cast<uint16_t>(2 * pairs[i]);
    } else {
      for (size_t i = 0; i < n; ++i) pairs[i] = static_cast<uint16_t>(pairs[i] + Pixels[i]);
    }
    // Each value with the same colour of the next pixel: the 2 x 2 mean
    // where a pair starts. A last odd column counts twice.
    uint8_t* __restrict means = Means_.data();
    for (size_t i = 0; i + 3 < n; ++i) means[i] = static_cast<uint8_t>((pairs[i] + pairs[i + 3] + 2) >> 2);
    for (size_t i = n - 3; i < n; ++i) means[i] = static_cast<uint8_t>((2 * pairs[i] + 2) >> 2);
    uchar* out = Result_.scanLine(static_cast<int>(Y / 2));
    const uint32_t half = (Width_ + 1) / 2;
    // Every other pixel of the means, four bytes at a time (the fourth is
    // overwritten by the next pixel), the last one alone.
    for (uint32_t k = 0; k + 1 < half; ++k) {
      uint32_t pixel;
      std::memcpy(&pixel, means + 6 * size_t{k}, 4);
      std::memcpy(out + 3 * size_t{k}, &pixel, 4);
    }
    std::memcpy(out + 3 * size_t{half - 1}, means + 6 * size_t{half - 1}, 3);
  }

 private:
  QImage& Result_;
  uint32_t Width_ = 0, Height_ = 0;
  std::vector<uint16_t> Pairs_;  // an even row plus the odd row below it
  std::vector<uint8_t> Means_;
};

// The rows of the full-size save on their way: halved, and kept whole when
// asked (and when memory allows).
struct TRowKeeper {
  THalver Halver;
  QImage* Whole;
};

bool KeepRow(void* Context, uint32_t Width, uint32_t Height, uint32_t Y, const uint8_t* Row) {
  auto* keeper = static_cast<TRowKeeper*>(Context);
  if (Row == nullptr) {
    if (keeper->Whole != nullptr) {
      *keeper->Whole = QImage(static_cast<int>(Width), static_cast<int>(Height), QImage::Format_RGB888);
      if (keeper->Whole->isNull()) keeper->Whole = nullptr;
    }
    return keeper->Halver.Start(Width, Height);
  }
  if (keeper->Whole != nullptr) std::memcpy(keeper->Whole->scanLine(static_cast<int>(Y)), Row, size_t{Width} * 3);
  keeper->Halver.AddRow(Y, Row);
  return true;
}

bool ShrinkRow(void* Context, uint32_t Width, uint32_t Height, uint32_t Y, const uint8_t* Row) {
  auto* shrinker = static_cast<TBoxShrinker*>(Context);
  if (Row == nullptr) return shrinker->Start(Width, Height);
  shrinker->AddRow(Y, Row);
  return true;
}

// The Lanczos filter over Rgb24 rows as they are decoded.
struct TSharpRows {
  uint32_t Width, Height;
  QImage Result;
  resampling::TResampler Resampler;
};

bool SharpRow(void* Context, uint32_t Width, uint32_t Height, uint32_t Y, const uint8_t* Row) {
  (void)Y;
  auto* rows = static_cast<TSharpRows*>(Context);
  if (Row != nullptr) {
    rows->Resampler.AddRow(Row);
    return true;
  }
  rows->Result = QImage(int(rows->Width), int(rows->Height), QImage::Format_RGB888);
  if (rows->Result.isNull()) return false;
  return rows->Resampler.Start(resampling::TSide{Width}, resampling::TSide{Height}, {3, -1},
                               rows->Width, rows->Height, resampling::TFilter::Lanczos3,
                               resampling::SharpInLinearLight,
                               [rows](uint32_t V) { return rows->Result.scanLine(int(V)); });
}

// Picture, standing for the whole picture shrunk by Factor, resampled by
// area or, Sharp, with the Lanczos filter.
QImage ResampledPart(const QImage& Picture, uint32_t WholeWidth, uint32_t WholeHeight,
                     uint32_t Factor, uint32_t Width, uint32_t Height, bool Sharp) {
  return resampling::Resampled(Picture, resampling::TSide::Shrunk(WholeWidth, Factor),
                               resampling::TSide::Shrunk(WholeHeight, Factor), Width, Height,
                               Sharp ? resampling::TFilter::Lanczos3 : resampling::TFilter::Area,
                               Sharp && resampling::SharpInLinearLight);
}

}  // namespace

TRoundedMean::TRoundedMean(uint32_t Count) : Count_(Count) {
  // With d = 2 Count, n = 2 Sum + Count <= 511 Count and F = ceil(2^S / d)
  // = (2^S + e) / d where 0 <= e < d: n F / 2^S = n / d + n e / (d 2^S).
  // Writing n = q d + r (r <= d - 1), the floor stays q as long as
  // n e < 2^S, which holds when 2^S >= 511 Count * 2 Count; S = 10 + twice
  // the bits of Count gives that. n F stays below 2^(S + 9), which fits 64
  // bits while Count has at most 22 bits; larger counts divide. n F is
  // computed as Sum 2F + Count F.
  const unsigned bits = static_cast<unsigned>(std::bit_width(Count));
  if (Count == 0 || bits > 22) return;
  Shift_ = 10 + 2 * bits;
  const uint64_t d = 2 * uint64_t{Count};
  const uint64_t reciprocal = ((uint64_t{1} << Shift_) + d - 1) / d;
  Factor_ = 2 * reciprocal;
  Bias_ = Count * reciprocal;
}

TReducedJpegMaster::TReducedJpegMaster(TJpegImage Source, const std::vector<uint8_t>& FullSave,
                                       QImage Half, QImage Whole, int Quality, bool Sharp)
    : Source_(std::move(Source)),
      Half_(std::move(Half)),
      Whole_(std::move(Whole)),
      FullSave_(FullSave),
      LibraryHeader_(FullSave.begin(),
                     FullSave.begin() + static_cast<std::ptrdiff_t>(LeadingSegmentsEnd(FullSave))),
      Quality_(Quality),
      Sharp_(Sharp) {}

QImage TReducedJpegMaster::ShrinkWhole(uint32_t Width, uint32_t Height) {
  const uint32_t width = Source_.Width(), height = Source_.Height();
  if (Width < width && Height < height) {
    if (!Whole_.isNull()) {
      return Sharp_ ? ResampledPart(Whole_, width, height, 1, Width, Height, true)
                    : BoxShrink(Whole_, Width, Height);
    }
    ++Decodes_;
    if (Sharp_) {
      TSharpRows rows{Width, Height, QImage(), {}};
      Source_.DecodeRows(SharpRow, &rows);
      if (!rows.Resampler.Finish()) return QImage();
      return rows.Result;
    }
    TBoxShrinker shrinker(Width, Height);
    Source_.DecodeRows(ShrinkRow, &shrinker);
    return shrinker.Finish();
  }
  // Wider or higher than the picture itself (the search widens its range
  // past the edge): rescaled from the whole decoded picture.
  ++Decodes_;
  const QImage picture = Source_.ToBitmap();
  if (Sharp_) return ResampledPart(picture, width, height, 1, Width, Height, true);
  return picture.scaled(static_cast<int>(Width), static_cast<int>(Height), Qt::IgnoreAspectRatio,
                        Qt::SmoothTransformation);
}

TTrialPicture TReducedJpegMaster::Make(uint32_t Width, uint32_t Height) {
  if (Width == Source_.Width() && Height == Source_.Height()) {
    // The picture at its own size is the full-size save.
    return TTrialPicture{true, FullSave_, Width, Height};
  }
  QImage scaled;
  // The half-size picture serves where it still has twice the pixels a trial
  // needs: its blocks then add little to the rescale (closer to its own
  // size, the two steps smudge detail the box of the whole picture keeps).
  if (!Half_.isNull() && 2 * Width <= uint32_t(Half_.width()) &&
      2 * Height <= uint32_t(Half_.height())) {
    scaled = ResampledPart(Half_, Source_.Width(), Source_.Height(), 2, Width, Height, Sharp_);
  } else {
    // Wider than half the half-size picture: filtered from the whole
    // picture, kept or streaming out of the decoder again.
    scaled = ShrinkWhole(Width, Height);
  }
  TTrialPicture trial;
  if (scaled.isNull()) return trial;
  TJpegImage jpeg;
  jpeg.SetCompressionQuality(Quality_);
  jpeg.Assign(scaled);
  const std::vector<uint8_t>& encoded = jpeg.EncodedData();
  // The codec's own JFIF header gives way to the one the library writes.
  trial.Bytes = LibraryHeader_;
  trial.Bytes.insert(trial.Bytes.end(),
                     encoded.begin() + static_cast<std::ptrdiff_t>(LeadingSegmentsEnd(encoded)),
                     encoded.end());
  trial.Saved = true;
  trial.Width = static_cast<uint32_t>(scaled.width());
  trial.Height = static_cast<uint32_t>(scaled.height());
  return trial;
}

std::optional<std::vector<uint8_t>> FullSizeJpegSave(const TJpegImage& Source, QImage& Half,
                                                     QImage* Whole, int Quality) {
  TRowKeeper keeper{THalver(Half), Whole};
  try {
    return Source.Transcode(Quality, KeepRow, &keeper);
  } catch (const EJpegStopped&) {
    throw;
  } catch (const EJpegError&) {
    if (Whole != nullptr) *Whole = QImage();
    return std::nullopt;
  }
}

size_t LeadingSegmentsEnd(const std::vector<uint8_t>& Jpeg) {
  if (Jpeg.size() < 2 || Jpeg[0] != 0xFF || Jpeg[1] != 0xD8) return 0;
  size_t at = 2;
  while (at + 4 <= Jpeg.size() && Jpeg[at] == 0xFF && Jpeg[at + 1] >= 0xE0 && Jpeg[at + 1] <= 0xEF) {
    const size_t length = (size_t{Jpeg[at + 2]} << 8) | Jpeg[at + 3];
    if (length < 2 || at + 2 + length > Jpeg.size()) break;
    at += 2 + length;
  }
  return at;
}

}  // namespace pictrim
