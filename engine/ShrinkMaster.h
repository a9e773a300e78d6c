// The pictures the file-size batch makes its trials from. A trial is the
// picture rescaled to a trial size and encoded the way the image library
// saves a JPEG (its default quality); only its bytes are kept, in memory.
#pragma once

#include <QImage>

#include <cstdint>
#include <optional>
#include <vector>

#include "image/ImageBitmap.h"
#include "image/JpegImage.h"

namespace pictrim {

struct TTrialPicture {
  bool Saved = false;          // false: the picture could not be encoded
  std::vector<uint8_t> Bytes;  // the encoded trial
  uint32_t Width = 0;          // its actual size
  uint32_t Height = 0;
};

class TTrialMaster {
 public:
  virtual ~TTrialMaster() = default;
  virtual TTrialPicture Make(uint32_t Width, uint32_t Height) = 0;
};

// The full-size picture in the image container; every trial is a copy of it
// rescaled with the box filter and saved by the library.
class TContainerMaster : public TTrialMaster {
 public:
  explicit TContainerMaster(TDisplayBitmap& Master) : Master_(Master) {}
  TTrialPicture Make(uint32_t Width, uint32_t Height) override;

 private:
  TDisplayBitmap& Master_;
  TDisplayBitmap Working_;
};

// A JPEG source decoded only as large as the trials need: at the smallest
// DCT scale (1/8, 1/4, 1/2 or whole) that still covers the trial size with a
// margin, decoded again at a larger scale when a later trial needs more
// pixels. Trials are area-averaged from it and carry the header the library
// writes for the source (density, ICC profile).
class TReducedJpegMaster : public TTrialMaster {
 public:
  // Each edge of the decoded picture is at least this many times the trial's.
  static constexpr double Margin = 1.5;

  // LibraryHeader: the leading segments (SOI, APPn) of the source's
  // full-size library save.
  TReducedJpegMaster(std::vector<uint8_t> Source, std::vector<uint8_t> LibraryHeader);
  TTrialPicture Make(uint32_t Width, uint32_t Height) override;
  // How often the source was decoded, and the scale of the last decode.
  int Decodes() const { return Decodes_; }
  unsigned ScaleDenom() const { return Denom_; }

 private:
  TJpegImage Source_;
  std::vector<uint8_t> LibraryHeader_;
  QImage Picture_;
  unsigned Denom_ = 0;  // 0: nothing decoded yet
  int Decodes_ = 0;
};

// The library's full-size save of a colour JPEG source, made row by row
// without holding the picture; nothing when the source is not a
// three-component colour JPEG or cannot be decoded.
std::optional<std::vector<uint8_t>> FullSizeJpegSave(const std::vector<uint8_t>& Source);

// The end of the SOI marker and the APPn segments that open an encoded JPEG.
size_t LeadingSegmentsEnd(const std::vector<uint8_t>& Jpeg);

}  // namespace pictrim
