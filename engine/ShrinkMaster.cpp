#include "engine/ShrinkMaster.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "image/JpegCodec.h"

namespace pictrim {

TTrialPicture TContainerMaster::Make(uint32_t Width, uint32_t Height) {
  TTrialPicture trial;
  Working_.Assign(&Master_);
  Working_.Rescale(Width, Height, FILTER_BOX);
  trial.Saved = Working_.SaveToBytes(FIF_JPEG, trial.Bytes, JPEG_DEFAULT);
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
// two boxes share a boundary row); the columns are gathered once per output
// row. Besides the result it holds two rows of sums.
class TBoxShrinker {
 public:
  TBoxShrinker(uint32_t Width, uint32_t Height) : Width_(Width), Height_(Height) {}

  bool Start(uint32_t SourceWidth, uint32_t SourceHeight) {
    if (SourceWidth < Width_ || SourceHeight < Height_ || Width_ == 0 || Height_ == 0) return false;
    Result_ = QImage(static_cast<int>(Width_), static_cast<int>(Height_), QImage::Format_RGB888);
    if (Result_.isNull()) return false;
    Columns_ = BoxRanges(SourceWidth, Width_);
    Rows_ = BoxRanges(SourceHeight, Height_);
    Sums_[0].assign(size_t{SourceWidth} * 3, 0);
    Sums_[1].assign(size_t{SourceWidth} * 3, 0);
    return true;
  }

  void AddRow(uint32_t Y, const uint8_t* Pixels) {
    for (uint32_t slot = 0; slot < 2 && Line_ + slot < Height_; ++slot) {
      const auto [top, bottom] = Rows_[Line_ + slot];
      if (Y < top || Y >= bottom) continue;
      uint32_t* __restrict sums = Sums_[slot].data();
      for (size_t i = 0, n = Sums_[slot].size(); i < n; ++i) sums[i] += Pixels[i];
    }
    while (Line_ < Height_ && Rows_[Line_].second <= Y + 1) Emit();
  }

  QImage Finish() {
    while (Line_ < Height_) Emit();
    return Result_;
  }

 private:
  void Emit() {
    const auto [top, bottom] = Rows_[Line_];
    const uint32_t rows = bottom - top;
    uchar* out = Result_.scanLine(static_cast<int>(Line_));
    const uint32_t* sums = Sums_[0].data();
    for (const auto& [left, right] : Columns_) {
      uint32_t r = 0, g = 0, b = 0;
      for (const uint32_t* p = sums + 3 * size_t{left}; p != sums + 3 * size_t{right}; p += 3) {
        r += p[0];
        g += p[1];
        b += p[2];
      }
      const uint32_t count = (right - left) * rows;
      out[0] = static_cast<uchar>((2 * r + count) / (2 * count));
      out[1] = static_cast<uchar>((2 * g + count) / (2 * count));
      out[2] = static_cast<uchar>((2 * b + count) / (2 * count));
      out += 3;
    }
    std::swap(Sums_[0], Sums_[1]);
    std::fill(Sums_[1].begin(), Sums_[1].end(), 0u);
    ++Line_;
  }

  uint32_t Width_, Height_;
  std::vector<std::pair<uint32_t, uint32_t>> Columns_, Rows_;
  std::vector<uint32_t> Sums_[2];
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

// Builds the half-size picture (each pixel the mean of a 2 x 2 block, the
// last row or column alone when the edge is odd) from streamed rows.
class THalver {
 public:
  explicit THalver(QImage& Result) : Result_(Result) {}

  bool Start(uint32_t Width, uint32_t Height) {
    Width_ = Width;
    Height_ = Height;
    Result_ = QImage(static_cast<int>((Width + 1) / 2), static_cast<int>((Height + 1) / 2),
                     QImage::Format_RGB888);
    Sums_.assign(size_t{(Width + 1) / 2} * 3, 0);
    return !Result_.isNull();
  }

  void AddRow(uint32_t Y, const uint8_t* Pixels) {
    const uint32_t half = (Width_ + 1) / 2;
    for (uint32_t x = 0; x + 1 < Width_; x += 2) {
      uint32_t* sum = &Sums_[size_t{x / 2} * 3];
      for (int c = 0; c < 3; ++c) sum[c] += Pixels[3 * x + c] + Pixels[3 * x + 3 + c];
    }
    if (Width_ % 2 == 1) {
      uint32_t* sum = &Sums_[size_t{half - 1} * 3];
      for (int c = 0; c < 3; ++c) sum[c] += 2u * Pixels[3 * (Width_ - 1) + c];
    }
    if (Y % 2 == 0 && Y + 1 < Height_) return;
    const uint32_t rows = Y % 2 == 0 ? 1 : 2;  // a last odd row stands alone
    const uint32_t count = 2 * rows;
    uchar* out = Result_.scanLine(static_cast<int>(Y / 2));
    for (size_t i = 0; i < Sums_.size(); ++i) out[i] = static_cast<uchar>((Sums_[i] + count / 2) / count);
    std::fill(Sums_.begin(), Sums_.end(), 0);
  }

 private:
  QImage& Result_;
  uint32_t Width_ = 0, Height_ = 0;
  std::vector<uint32_t> Sums_;
};

bool HalveRow(void* Context, uint32_t Width, uint32_t Height, uint32_t Y, const uint8_t* Row) {
  auto* halver = static_cast<THalver*>(Context);
  if (Row == nullptr) return halver->Start(Width, Height);
  halver->AddRow(Y, Row);
  return true;
}

bool ShrinkRow(void* Context, uint32_t Width, uint32_t Height, uint32_t Y, const uint8_t* Row) {
  auto* shrinker = static_cast<TBoxShrinker*>(Context);
  if (Row == nullptr) return shrinker->Start(Width, Height);
  shrinker->AddRow(Y, Row);
  return true;
}

}  // namespace

TReducedJpegMaster::TReducedJpegMaster(std::vector<uint8_t> Source,
                                       const std::vector<uint8_t>& FullSave, QImage Half)
    : Half_(std::move(Half)),
      FullSave_(FullSave),
      LibraryHeader_(FullSave.begin(),
                     FullSave.begin() + static_cast<std::ptrdiff_t>(LeadingSegmentsEnd(FullSave))) {
  Source_.LoadFromBytes(std::move(Source));
}

QImage TReducedJpegMaster::ShrinkWhole(uint32_t Width, uint32_t Height) {
  const std::vector<uint8_t>& bytes = Source_.EncodedData();
  if (Width < Source_.Width() && Height < Source_.Height()) {
    TBoxShrinker shrinker(Width, Height);
    ++Decodes_;
    if (jpegcodec::DecodeRows(bytes.data(), bytes.size(), ShrinkRow, &shrinker).Ok) {
      return shrinker.Finish();
    }
    return QImage();
  }
  // Wider or higher than the picture itself (the search widens its range
  // past the edge): rescaled from the whole decoded picture.
  ++Decodes_;
  return Source_.ToBitmap().scaled(static_cast<int>(Width), static_cast<int>(Height),
                                   Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

TTrialPicture TReducedJpegMaster::Make(uint32_t Width, uint32_t Height) {
  if (Width == Source_.Width() && Height == Source_.Height()) {
    // The picture at its own size is the full-size save.
    return TTrialPicture{true, FullSave_, Width, Height};
  }
  const auto covers = [Width, Height](const QImage& Picture) {
    return !Picture.isNull() && Width <= static_cast<uint32_t>(Picture.width()) &&
           Height <= static_cast<uint32_t>(Picture.height());
  };
  QImage scaled;
  if (covers(Half_)) {
    scaled = BoxShrink(Half_, Width, Height);
  } else {
    // Wider than the half-size picture: filtered from the whole picture as
    // it streams out of the decoder, never held at full size.
    scaled = ShrinkWhole(Width, Height);
  }
  TTrialPicture trial;
  if (scaled.isNull()) return trial;
  TJpegImage jpeg;
  jpeg.SetCompressionQuality(TJpegImage::LibraryQuality);
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

std::optional<std::vector<uint8_t>> FullSizeJpegSave(const std::vector<uint8_t>& Source,
                                                     QImage& Half) {
  THalver halver(Half);
  jpegcodec::TEncodeResult r = jpegcodec::Transcode(Source.data(), Source.size(),
                                                    TJpegImage::LibraryQuality, HalveRow, &halver);
  if (!r.Ok) return std::nullopt;
  std::vector<uint8_t> bytes(r.Data, r.Data + r.Size);
  jpegcodec::FreeEncoded(r);
  return bytes;
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
