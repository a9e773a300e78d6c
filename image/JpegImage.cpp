#include "image/JpegImage.h"

#include <ostream>

#include "image/IsolatedDecode.h"
#include "image/JpegCodec.h"
#include "util/Errors.h"
#include "util/SystemUtils.h"

namespace pictrim {
namespace {

struct TDecodeTarget {
  QImage Image;
  QImage::Format Format;
};

uint8_t* AllocateRows(void* Context, uint32_t Width, uint32_t Height, size_t* Stride) {
  auto* target = static_cast<TDecodeTarget*>(Context);
  if (Width > 65535 || Height > 65535) return nullptr;
  target->Image = QImage(static_cast<int>(Width), static_cast<int>(Height), target->Format);
  if (target->Image.isNull()) return nullptr;
  *Stride = static_cast<size_t>(target->Image.bytesPerLine());
  return target->Image.bits();
}

QImage DecodeBytes(const std::vector<uint8_t>& Bytes, unsigned ScaleDenom, int& Warnings,
                   jpegcodec::TPixelLayout Layout = jpegcodec::TPixelLayout::Rgb24) {
  using jpegcodec::TPixelLayout;
  const QImage::Format format = Layout == TPixelLayout::Bgrx32  ? QImage::Format_RGB32
                                : Layout == TPixelLayout::Grey8 ? QImage::Format_Grayscale8
                                                                : QImage::Format_RGB888;
  TDecodeTarget target{QImage(), format};
  const jpegcodec::TDecodeResult r =
      jpegcodec::Decode(Bytes.data(), Bytes.size(), ScaleDenom, Layout, AllocateRows, &target);
  if (!r.Ok) throw EJpegError(std::string("JPEG decode failed: ") + r.Message);
  Warnings = r.Warnings;
  return target.Image;
}

}  // namespace

void TJpegImage::LoadFromFile(const std::string& FileName) { LoadFromBytes(ReadFileBytes(FileName)); }

void TJpegImage::LoadFromBytes(std::vector<uint8_t> Bytes) {
  jpegcodec::THeader header;
  char message[200] = {};
  if (!jpegcodec::ReadHeader(Bytes.data(), Bytes.size(), &header, message, sizeof(message))) {
    throw EJpegError(std::string("Not a JPEG: ") + message);
  }
  // A frame header can claim up to 65535 x 65535 pixels; such a picture is
  // refused before anything is decoded.
  if (ExceedsPixelLimit(header.Width, header.Height)) {
    throw EJpegError("JPEG has more pixels than allowed: " + std::to_string(header.Width) + " x " +
                     std::to_string(header.Height));
  }
  Encoded_ = std::move(Bytes);
  EncodedValid_ = true;
  Pixels_.reset();
  Width_ = header.Width;
  Height_ = header.Height;
  Components_ = header.Components;
  Warnings_ = 0;
}

void TJpegImage::SetCompressionQuality(int Quality) {
  Quality = Quality < 1 ? 1 : (Quality > 100 ? 100 : Quality);
  if (Quality == Quality_) return;
  Quality_ = Quality;
  // Pixels assigned earlier are encoded again at the new quality; loaded
  // bytes stay as they are.
  if (Pixels_) EncodedValid_ = false;
}

void TJpegImage::Assign(const QImage& Bitmap) {
  // 32-bit and 8-bit grey bitmaps are encoded as they are; others become
  // 24-bit first.
  QImage pixels;
  if (Bitmap.format() == QImage::Format_RGB32 || Bitmap.format() == QImage::Format_Grayscale8) {
    pixels = Bitmap;
  } else if (!Bitmap.isNull()) {
    pixels = Bitmap.convertToFormat(QImage::Format_RGB888);
  }
  Width_ = static_cast<uint32_t>(pixels.width());
  Height_ = static_cast<uint32_t>(pixels.height());
  Components_ = pixels.format() == QImage::Format_Grayscale8 ? 1 : 3;
  Pixels_ = std::move(pixels);
  Encoded_.clear();
  EncodedValid_ = false;
}

QImage TJpegImage::ToBitmap() const {
  if (Pixels_) return *Pixels_;
  if (!EncodedValid_) return QImage();
  return DecodeBytes(Encoded_, 1, Warnings_);
}

QImage TJpegImage::ToScaledBitmap(unsigned ScaleDenom) const {
  if (Pixels_) {
    if (ScaleDenom <= 1 || Pixels_->isNull()) return *Pixels_;
    return Pixels_->scaled(std::max(1, Pixels_->width() / static_cast<int>(ScaleDenom)),
                           std::max(1, Pixels_->height() / static_cast<int>(ScaleDenom)));
  }
  if (!EncodedValid_) return QImage();
  return DecodeBytes(Encoded_, ScaleDenom, Warnings_);
}

QImage TJpegImage::ToReducedBitmap(uint32_t MinWidth, uint32_t MinHeight, bool KeepGrey) const {
  if (Pixels_ || !EncodedValid_) return ToBitmap().convertToFormat(QImage::Format_RGB32);
  const unsigned denom = jpegcodec::ReducedScaleDenom(Width_, Height_, MinWidth, MinHeight);
  const bool grey = KeepGrey && IsGreyscale();
  return DecodeBytes(Encoded_, denom, Warnings_,
                     grey ? jpegcodec::TPixelLayout::Grey8 : jpegcodec::TPixelLayout::Bgrx32);
}

void TJpegImage::Encode() const {
  if (!Pixels_ || Pixels_->isNull()) throw EJpegError("JPEG image is empty");
  const jpegcodec::TPixelLayout layout =
      Pixels_->format() == QImage::Format_RGB32        ? jpegcodec::TPixelLayout::Bgrx32
      : Pixels_->format() == QImage::Format_Grayscale8 ? jpegcodec::TPixelLayout::Grey8
                                                       : jpegcodec::TPixelLayout::Rgb24;
  jpegcodec::TEncodeResult r =
      jpegcodec::Encode(Pixels_->constBits(), Width_, Height_,
                        static_cast<size_t>(Pixels_->bytesPerLine()), layout, Quality_);
  if (!r.Ok) throw EJpegError(std::string("JPEG encode failed: ") + r.Message);
  Encoded_.assign(r.Data, r.Data + r.Size);
  jpegcodec::FreeEncoded(r);
  EncodedValid_ = true;
}

const std::vector<uint8_t>& TJpegImage::EncodedData() const {
  if (!EncodedValid_) Encode();
  return Encoded_;
}

void TJpegImage::SaveToStream(std::ostream& Out) const {
  const std::vector<uint8_t>& data = EncodedData();
  Out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  if (!Out) throw EInOutError("Cannot write JPEG data");
}

void TJpegImage::SaveToFile(const std::string& FileName) const {
  const std::vector<uint8_t>& data = EncodedData();
  WriteFileBytes(FileName, data.data(), data.size());
}

}  // namespace pictrim
