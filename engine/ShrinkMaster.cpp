#include "engine/ShrinkMaster.h"

#include <algorithm>

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

// Area-averages a picture whose rows stream in, one at a time, down to
// Width x Height (neither edge larger than the source's): every output pixel
// is the mean of the source area it covers, partly covered pixels weighted
// by their share. Holds two rows of sums besides the result.
class TAreaShrinker {
 public:
  TAreaShrinker(uint32_t Width, uint32_t Height) : Width_(Width), Height_(Height) {}

  bool Start(uint32_t SourceWidth, uint32_t SourceHeight) {
    if (SourceWidth < Width_ || SourceHeight < Height_ || Width_ == 0 || Height_ == 0) return false;
    Result_ = QImage(static_cast<int>(Width_), static_cast<int>(Height_), QImage::Format_RGB888);
    if (Result_.isNull()) return false;
    ScaleY_ = static_cast<double>(SourceHeight) / Height_;
    const double scaleX = static_cast<double>(SourceWidth) / Width_;
    Column_.resize(SourceWidth);
    Share_.resize(SourceWidth);
    ColumnWeight_.assign(Width_, 0.0f);
    for (uint32_t x = 0; x < SourceWidth; ++x) {
      Split(x, scaleX, Width_, Column_[x], Share_[x]);
      ColumnWeight_[Column_[x]] += Share_[x];
      if (Share_[x] < 1.0f) ColumnWeight_[Column_[x] + 1] += 1.0f - Share_[x];
    }
    Row_.assign(size_t{Width_} * 3, 0.0f);
    Current_.assign(size_t{Width_} * 3, 0.0f);
    Following_.assign(size_t{Width_} * 3, 0.0f);
    return true;
  }

  void AddRow(uint32_t Y, const uint8_t* Pixels) {
    std::fill(Row_.begin(), Row_.end(), 0.0f);
    for (size_t x = 0; x < Column_.size(); ++x) {
      float* to = &Row_[size_t{Column_[x]} * 3];
      const float share = Share_[x];
      for (int c = 0; c < 3; ++c) to[c] += Pixels[3 * x + c] * share;
      if (share < 1.0f) {
        for (int c = 0; c < 3; ++c) to[3 + c] += Pixels[3 * x + c] * (1.0f - share);
      }
    }
    uint32_t line;
    float share;
    Split(Y, ScaleY_, Height_, line, share);
    while (line > Line_) Emit();
    for (size_t i = 0; i < Row_.size(); ++i) Current_[i] += Row_[i] * share;
    CurrentWeight_ += share;
    if (share < 1.0f) {
      for (size_t i = 0; i < Row_.size(); ++i) Following_[i] += Row_[i] * (1.0f - share);
      FollowingWeight_ += 1.0f - share;
    }
  }

  QImage Finish() {
    while (Line_ < Height_) Emit();
    return Result_;
  }

 private:
  // Source pixel I of a scale-S edge lies in output pixel Index, with Share
  // of it there and the rest in the next one.
  static void Split(uint32_t I, double Scale, uint32_t Count, uint32_t& Index, float& Share) {
    Index = std::min(static_cast<uint32_t>(I / Scale), Count - 1);
    const double boundary = (Index + 1) * Scale;
    Share = (I + 1 > boundary && Index + 1 < Count) ? static_cast<float>(boundary - I) : 1.0f;
  }

  void Emit() {
    if (Line_ < Height_) {
      uchar* out = Result_.scanLine(static_cast<int>(Line_));
      for (uint32_t x = 0; x < Width_; ++x) {
        const float weight = ColumnWeight_[x] * CurrentWeight_;
        for (int c = 0; c < 3; ++c) {
          const float value = weight > 0 ? Current_[3 * x + c] / weight : 0.0f;
          out[3 * x + c] = static_cast<uchar>(std::clamp(value + 0.5f, 0.0f, 255.0f));
        }
      }
    }
    std::swap(Current_, Following_);
    std::fill(Following_.begin(), Following_.end(), 0.0f);
    CurrentWeight_ = FollowingWeight_;
    FollowingWeight_ = 0;
    ++Line_;
  }

  uint32_t Width_, Height_;
  double ScaleY_ = 1;
  std::vector<uint32_t> Column_;
  std::vector<float> Share_;
  std::vector<float> ColumnWeight_;
  std::vector<float> Row_, Current_, Following_;
  float CurrentWeight_ = 0, FollowingWeight_ = 0;
  uint32_t Line_ = 0;
  QImage Result_;
};

// Builds the half-size picture (each pixel the mean of a 2 x 2 block, the
// last row or column alone when the edge is odd) from streamed rows.
class THalver {
 public:
  explicit THalver(QImage& Result) : Result_(Result) {}

  bool Start(uint32_t Width, uint32_t Height) {
    Width_ = Width;
    Height_ = Height;
    Result_ = QImage(static_cast<int>((Width + 1) / 2), static_cast<int>((Height + 1) / 2),
                     QImage::Format_RGB32);
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
    auto* out = reinterpret_cast<QRgb*>(Result_.scanLine(static_cast<int>(Y / 2)));
    for (uint32_t x = 0; x < half; ++x) {
      const uint32_t* sum = &Sums_[size_t{x} * 3];
      out[x] = qRgb(static_cast<int>((sum[0] + count / 2) / count),
                    static_cast<int>((sum[1] + count / 2) / count),
                    static_cast<int>((sum[2] + count / 2) / count));
    }
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
  auto* shrinker = static_cast<TAreaShrinker*>(Context);
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
    TAreaShrinker shrinker(Width, Height);
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
  if (covers(Half_) || covers(Wide_)) {
    const QImage& from = covers(Half_) ? Half_ : Wide_;
    scaled = from.scaled(static_cast<int>(Width), static_cast<int>(Height), Qt::IgnoreAspectRatio,
                         Qt::SmoothTransformation);
  } else {
    // Wider than the pictures at hand: averaged from the whole picture as it
    // streams out of the decoder, never held at full size; kept for the
    // narrower trials that follow.
    scaled = ShrinkWhole(Width, Height);
    Wide_ = scaled;
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
