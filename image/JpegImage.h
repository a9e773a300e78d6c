// The JPEG picture object: a JPEG held as its encoded bytes (or as the open
// file they are in), decoded only when its pixels are asked for. Loaded data
// is written back unchanged until the pixels are replaced; new pixels are
// encoded (baseline, 24-bit, quality 90 unless set) once, when the data is
// first needed.
//
// Every decode runs under the picture limits: it is admitted against the
// picture memory budget by its frame header before anything large is
// allocated, and it stops after too many scans, at the time allowed for its
// file or when the run is cancelled.
#pragma once

#include <QImage>

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "image/JpegCodec.h"

namespace pictrim {

class TSourceFile;

// A JPEG that cannot be read or written.
class EJpegError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A decode stopped before its end, whatever its data: by a limit or a cancel.
class EJpegStopped : public EJpegError {
 public:
  using EJpegError::EJpegError;
};

// A JPEG whose decode was stopped by a limit: more memory than the budget
// holds, too many scans, or more time than a file is given.
class EJpegLimitError : public EJpegStopped {
 public:
  using EJpegStopped::EJpegStopped;
};

// A decode stopped because the run was cancelled.
class EJpegCancelled : public EJpegStopped {
 public:
  using EJpegStopped::EJpegStopped;
};

// Progressive pictures with more scans are refused; cameras and editors
// write about ten.
inline constexpr int MaxJpegScans = 100;

// The longest side the JPEG encoder writes.
inline constexpr uint32_t MaxJpegSide = 65500;

class TJpegImage {
 public:
  static constexpr int DefaultQuality = 90;
  // The image library's standard JPEG quality (its JPEG_DEFAULT save).
  static constexpr int LibraryQuality = 75;

  // Opens the file (a regular file only, never waiting) and reads its frame
  // header; the rest is read from the file when it is decoded. Raises
  // EInOutError when the file cannot be opened and EJpegError when it is not
  // a JPEG.
  void LoadFromFile(const std::string& FileName);
  // Takes encoded bytes (a whole JPEG file) as they are.
  void LoadFromBytes(std::vector<uint8_t> Bytes);

  bool Empty() const { return Width_ == 0 || Height_ == 0; }
  uint32_t Width() const { return Width_; }
  uint32_t Height() const { return Height_; }

  // Decodes (and header reads) of this object stop, raising EJpegCancelled,
  // once Flag is set; none is watched unless one is given.
  void SetCancelFlag(const std::atomic<bool>* Flag) { Cancel_ = Flag; }

  int CompressionQuality() const { return Quality_; }
  void SetCompressionQuality(int Quality);

  // Replaces the pixels with the screen bitmap's; the old encoded bytes are dropped.
  void Assign(const QImage& Bitmap);
  // The pixels as a 24-bit screen bitmap (decodes the bytes when needed).
  QImage ToBitmap() const;
  // Bitmap := the pixels.
  void AssignTo(QImage& Bitmap) const { Bitmap = ToBitmap(); }
  // The pixels decoded at 1/ScaleDenom of the size (1, 2, 4 or 8), for previews.
  QImage ToScaledBitmap(unsigned ScaleDenom) const;
  // The loaded picture decoded as small as the codec can while still at
  // least MinWidth x MinHeight (1/2, 1/4 or 1/8 of its size, else whole), as
  // a 32-bit bitmap (QImage::Format_RGB32, the fastest to scale); with
  // KeepGrey a one-channel JPEG gives an 8-bit grey bitmap instead.
  QImage ToReducedBitmap(uint32_t MinWidth, uint32_t MinHeight, bool KeepGrey = false) const;
  // The loaded picture decoded at 1/ScaleDenom (1, 2, 4 or 8) of its size,
  // as ToReducedBitmap gives it.
  QImage ToBitmapAtScale(unsigned ScaleDenom, bool KeepGrey) const;
  // The loaded picture decoded at full scale as the image library decodes
  // it, its Rgb24 rows handed to Sink one at a time.
  void DecodeRows(jpegcodec::TRowSinkFn Sink, void* Context) const;
  // The image library's save at Quality of the picture it loads from this
  // colour JPEG, made row by row (see jpegcodec::Transcode); Sink, when
  // given, sees the rows. Raises EJpegError for other JPEGs.
  std::vector<uint8_t> Transcode(int Quality, jpegcodec::TRowSinkFn Sink = nullptr,
                                 void* Context = nullptr) const;
  // True when the picture has one channel: loaded from a greyscale JPEG, or
  // assigned from an 8-bit grey bitmap (which is then encoded as such).
  bool IsGreyscale() const { return Components_ == 1; }

  // The complete encoded JPEG (SOI first); encodes new pixels when needed,
  // and reads a loaded file whole (EJpegLimitError when it is larger than
  // the picture budget).
  const std::vector<uint8_t>& EncodedData() const;
  // True while the loaded bytes stand unchanged (no encoding has happened).
  bool HoldsLoadedData() const { return !Pixels_.has_value(); }
  // Corrupt-data warnings met by the last decode of this object (also by
  // one that failed).
  int DecodeWarnings() const { return Warnings_; }

  void SaveToStream(std::ostream& Out) const;
  // Writes the encoded data to FileName (replacing it); raises EInOutError.
  void SaveToFile(const std::string& FileName) const;

 private:
  void Encode() const;
  void ReadHeader(const jpegcodec::TInput& Input);
  // Where the loaded data is, for the codec.
  jpegcodec::TInput Input() const;
  // The limits of a decode of this picture.
  jpegcodec::TLimits Limits() const;
  QImage Decode(unsigned ScaleDenom, jpegcodec::TPixelLayout Layout) const;

  uint32_t Width_ = 0;
  uint32_t Height_ = 0;
  int Components_ = 3;
  int Quality_ = DefaultQuality;
  std::shared_ptr<const TSourceFile> File_;  // loaded from a file
  mutable std::vector<uint8_t> Encoded_;
  mutable bool EncodedValid_ = false;
  mutable std::optional<QImage> Pixels_;  // set when pixels were assigned
  mutable int Warnings_ = 0;
  const std::atomic<bool>* Cancel_ = nullptr;
};

// Raises the picture object's exception for a failed decode: EJpegCancelled,
// EJpegLimitError or EJpegError, with What in front of the reason.
[[noreturn]] void RaiseJpegFailure(const std::string& What, jpegcodec::TFailure Failure,
                                   const char* Message);

}  // namespace pictrim
