// The JPEG picture object: a JPEG held as its encoded bytes, decoded only when
// its pixels are asked for. Loaded bytes are written back unchanged until the
// pixels are replaced; new pixels are encoded (baseline, 24-bit, quality 90
// unless set) once, when the data is first needed.
#pragma once

#include <QImage>

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace pictrim {

// A JPEG that cannot be read or written.
class EJpegError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TJpegImage {
 public:
  static constexpr int DefaultQuality = 90;
  // The image library's standard JPEG quality (its JPEG_DEFAULT save).
  static constexpr int LibraryQuality = 75;

  // Reads the file and its frame header; raises EInOutError when the file
  // cannot be read and EJpegError when it is not a JPEG.
  void LoadFromFile(const std::string& FileName);
  // Takes encoded bytes (a whole JPEG file) as they are.
  void LoadFromBytes(std::vector<uint8_t> Bytes);

  bool Empty() const { return Width_ == 0 || Height_ == 0; }
  uint32_t Width() const { return Width_; }
  uint32_t Height() const { return Height_; }

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
  // True when the picture has one channel: loaded from a greyscale JPEG, or
  // assigned from an 8-bit grey bitmap (which is then encoded as such).
  bool IsGreyscale() const { return Components_ == 1; }

  // The complete encoded JPEG (SOI first); encodes new pixels when needed.
  const std::vector<uint8_t>& EncodedData() const;
  // True while the loaded bytes stand unchanged (no encoding has happened).
  bool HoldsLoadedData() const { return !Pixels_.has_value(); }
  // Corrupt-data warnings met by the last decode of this object.
  int DecodeWarnings() const { return Warnings_; }

  void SaveToStream(std::ostream& Out) const;
  // Writes the encoded data to FileName (replacing it); raises EInOutError.
  void SaveToFile(const std::string& FileName) const;

 private:
  void Encode() const;

  uint32_t Width_ = 0;
  uint32_t Height_ = 0;
  int Components_ = 3;
  int Quality_ = DefaultQuality;
  mutable std::vector<uint8_t> Encoded_;
  mutable bool EncodedValid_ = false;
  mutable std::optional<QImage> Pixels_;  // set when pixels were assigned
  mutable int Warnings_ = 0;
};

}  // namespace pictrim
