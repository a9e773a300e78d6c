#include "engine/ShrinkMaster.h"

#include <algorithm>
#include <cmath>

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

TReducedJpegMaster::TReducedJpegMaster(std::vector<uint8_t> Source,
                                       std::vector<uint8_t> LibraryHeader)
    : LibraryHeader_(std::move(LibraryHeader)) {
  Source_.LoadFromBytes(std::move(Source));
}

TTrialPicture TReducedJpegMaster::Make(uint32_t Width, uint32_t Height) {
  const auto covering = [](uint32_t Edge) {
    return static_cast<uint32_t>(std::ceil(Edge * Margin));
  };
  const unsigned denom = jpegcodec::ReducedScaleDenom(Source_.Width(), Source_.Height(),
                                                      covering(Width), covering(Height));
  // A finer decode than needed stays: it serves smaller trials as well.
  if (Denom_ == 0 || denom < Denom_) {
    Picture_ = QImage();
    Picture_ = Source_.ToReducedBitmap(covering(Width), covering(Height));
    Denom_ = denom;
    ++Decodes_;
  }
  TTrialPicture trial;
  const QImage scaled = Picture_.scaled(static_cast<int>(Width), static_cast<int>(Height),
                                        Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
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

std::optional<std::vector<uint8_t>> FullSizeJpegSave(const std::vector<uint8_t>& Source) {
  jpegcodec::TEncodeResult r =
      jpegcodec::Transcode(Source.data(), Source.size(), TJpegImage::LibraryQuality);
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
