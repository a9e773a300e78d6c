#include "image/JpegImage.h"

#include <chrono>
#include <ostream>

#include "image/IsolatedDecode.h"
#include "util/Errors.h"
#include "util/SourceFile.h"
#include "util/SystemUtils.h"

namespace pictrim {
namespace {

using jpegcodec::TFailure;
using jpegcodec::TPixelLayout;

// The time a decode of a file of FileBytes is given: that of the decoder
// process, one second more for every ScaleAboveBytes of file.
double SecondsFor(uint64_t FileBytes) {
  const TDecodeLimits limits = DecodeLimits();
  const double extra =
      limits.ScaleAboveBytes > 0 ? static_cast<double>(FileBytes / limits.ScaleAboveBytes) : 0;
  return limits.Seconds + extra;
}

// The admission of one decode against the picture budget: refused when it
// needs more than the whole budget; otherwise its bytes (the codec's and
// the rows the caller keeps) are held while the decode runs.
struct TAdmission {
  size_t RowPixelBytes;             // bytes per pixel of the rows the caller keeps; 0: none
  double Seconds;                   // how long to wait for others to give memory back
  const std::atomic<bool>* Cancel;  // ends the wait
  TMemoryLease Lease;
};

uint64_t RowBytes(uint64_t Width, size_t PixelBytes) {
  return (Width * PixelBytes + 3) / 4 * 4;
}

bool AdmitDecode(void* Context, uint32_t Width, uint32_t Height, uint64_t CodecBytes) {
  auto* admission = static_cast<TAdmission*>(Context);
  const uint64_t bytes = CodecBytes + RowBytes(Width, admission->RowPixelBytes) * Height;
  TMemoryBudget& budget = PictureBudget();
  if (bytes > budget.Capacity()) return false;
  const auto patience = std::chrono::milliseconds(static_cast<int64_t>(admission->Seconds * 1000));
  admission->Lease = budget.AcquireWaitingAtMost(bytes, patience, admission->Cancel);
  return true;
}

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

QImage::Format FormatOf(TPixelLayout Layout) {
  return Layout == TPixelLayout::Bgrx32  ? QImage::Format_RGB32
         : Layout == TPixelLayout::Grey8 ? QImage::Format_Grayscale8
                                         : QImage::Format_RGB888;
}

}  // namespace

void RaiseJpegFailure(const std::string& What, TFailure Failure, const char* Message) {
  const std::string text = What + ": " + Message;
  switch (Failure) {
    case TFailure::Cancelled:
      throw EJpegCancelled(text);
    case TFailure::TooLarge:
    case TFailure::TooManyScans:
    case TFailure::TooSlow:
      throw EJpegLimitError(text);
    default:
      throw EJpegError(text);
  }
}

void TJpegImage::LoadFromFile(const std::string& FileName) {
  auto file = std::make_shared<const TSourceFile>(FileName);
  ReadHeader(jpegcodec::TInput::File(file->Fd()));
  File_ = std::move(file);
  Encoded_.clear();
  EncodedValid_ = true;
}

void TJpegImage::LoadFromBytes(std::vector<uint8_t> Bytes) {
  ReadHeader(jpegcodec::TInput::Memory(Bytes.data(), Bytes.size()));
  File_.reset();
  Encoded_ = std::move(Bytes);
  EncodedValid_ = true;
}

void TJpegImage::ReadHeader(const jpegcodec::TInput& Input) {
  jpegcodec::THeader header;
  jpegcodec::TLimits limits;
  limits.Cancel = Cancel_;
  const jpegcodec::TDecodeResult r = jpegcodec::ReadHeader(Input, &header, limits);
  if (!r.Ok) RaiseJpegFailure("Not a JPEG", r.Failure, r.Message);
  // A frame header can claim up to 65535 x 65535 pixels; such a picture is
  // refused before anything is decoded.
  if (ExceedsPixelLimit(header.Width, header.Height)) {
    throw EJpegLimitError("JPEG has more pixels than allowed: " + std::to_string(header.Width) +
                          " x " + std::to_string(header.Height));
  }
  Pixels_.reset();
  Width_ = header.Width;
  Height_ = header.Height;
  Components_ = header.Components;
  Warnings_ = 0;
}

jpegcodec::TInput TJpegImage::Input() const {
  if (File_ && Encoded_.empty()) return jpegcodec::TInput::File(File_->Fd());
  return jpegcodec::TInput::Memory(Encoded_.data(), Encoded_.size());
}

jpegcodec::TLimits TJpegImage::Limits() const {
  jpegcodec::TLimits limits;
  limits.MaxScans = MaxJpegScans;
  limits.Seconds = SecondsFor(File_ ? File_->Size() : Encoded_.size());
  limits.Clock = DecodeClockSetByTest();
  limits.Cancel = Cancel_;
  limits.Admit = AdmitDecode;
  return limits;
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
  File_.reset();
  Encoded_.clear();
  EncodedValid_ = false;
}

QImage TJpegImage::Decode(unsigned ScaleDenom, TPixelLayout Layout) const {
  TDecodeTarget target{QImage(), FormatOf(Layout)};
  jpegcodec::TLimits limits = Limits();
  TAdmission admission{jpegcodec::BytesPerPixel(Layout), limits.Seconds, Cancel_, {}};
  limits.AdmitContext = &admission;
  const jpegcodec::TDecodeResult r =
      jpegcodec::Decode(Input(), ScaleDenom, Layout, AllocateRows, &target, limits);
  Warnings_ = r.Warnings;
  if (!r.Ok) RaiseJpegFailure("JPEG decode failed", r.Failure, r.Message);
  return target.Image;
}

QImage TJpegImage::ToBitmap() const {
  if (Pixels_) return *Pixels_;
  if (!EncodedValid_) return QImage();
  return Decode(1, TPixelLayout::Rgb24);
}

QImage TJpegImage::ToScaledBitmap(unsigned ScaleDenom) const {
  if (Pixels_) {
    if (ScaleDenom <= 1 || Pixels_->isNull()) return *Pixels_;
    return Pixels_->scaled(std::max(1, Pixels_->width() / static_cast<int>(ScaleDenom)),
                           std::max(1, Pixels_->height() / static_cast<int>(ScaleDenom)));
  }
  if (!EncodedValid_) return QImage();
  return Decode(ScaleDenom, TPixelLayout::Rgb24);
}

QImage TJpegImage::ToReducedBitmap(uint32_t MinWidth, uint32_t MinHeight, bool KeepGrey) const {
  return ToBitmapAtScale(jpegcodec::ReducedScaleDenom(Width_, Height_, MinWidth, MinHeight),
                         KeepGrey);
}

QImage TJpegImage::ToBitmapAtScale(unsigned ScaleDenom, bool KeepGrey) const {
  if (Pixels_ || !EncodedValid_) return ToBitmap().convertToFormat(QImage::Format_RGB32);
  const bool grey = KeepGrey && IsGreyscale();
  return Decode(ScaleDenom, grey ? TPixelLayout::Grey8 : TPixelLayout::Bgrx32);
}

void TJpegImage::DecodeRows(jpegcodec::TRowSinkFn Sink, void* Context) const {
  if (Pixels_ || !EncodedValid_) throw EJpegError("JPEG decode failed: no loaded picture");
  jpegcodec::TLimits limits = Limits();
  TAdmission admission{0, limits.Seconds, Cancel_, {}};
  limits.AdmitContext = &admission;
  const jpegcodec::TDecodeResult r = jpegcodec::DecodeRows(Input(), Sink, Context, limits);
  Warnings_ = r.Warnings;
  if (!r.Ok) RaiseJpegFailure("JPEG decode failed", r.Failure, r.Message);
}

std::vector<uint8_t> TJpegImage::Transcode(int Quality, jpegcodec::TRowSinkFn Sink,
                                           void* Context) const {
  if (Pixels_ || !EncodedValid_) throw EJpegError("JPEG transcode failed: no loaded picture");
  jpegcodec::TLimits limits = Limits();
  TAdmission admission{0, limits.Seconds, Cancel_, {}};
  limits.AdmitContext = &admission;
  jpegcodec::TEncodeResult r = jpegcodec::Transcode(Input(), Quality, Sink, Context, limits);
  Warnings_ = r.Warnings;
  if (!r.Ok) RaiseJpegFailure("JPEG transcode failed", r.Failure, r.Message);
  std::vector<uint8_t> bytes(r.Data, r.Data + r.Size);
  jpegcodec::FreeEncoded(r);
  return bytes;
}

void TJpegImage::Encode() const {
  if (!Pixels_ || Pixels_->isNull()) throw EJpegError("JPEG image is empty");
  const TPixelLayout layout = Pixels_->format() == QImage::Format_RGB32 ? TPixelLayout::Bgrx32
                              : Pixels_->format() == QImage::Format_Grayscale8
                                  ? TPixelLayout::Grey8
                                  : TPixelLayout::Rgb24;
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
  if (File_ && Encoded_.empty()) {
    const uint64_t capacity = PictureBudget().Capacity();
    if (File_->Size() > capacity) {
      throw EJpegLimitError("JPEG file " + File_->Name() +
                            " is too large to hold: " + std::to_string(File_->Size()) + " bytes");
    }
    Encoded_ = File_->ReadAll(capacity);
  }
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
