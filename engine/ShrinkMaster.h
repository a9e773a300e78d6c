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

// A JPEG source whose trials come from its half-size picture (made while
// the full-size save decoded it) and, when a trial is wider or higher than
// that, from the full-scale rows averaged down as they are decoded again, so
// the whole picture is never held. Trials carry the header the library
// writes for the source (density, ICC profile).
class TReducedJpegMaster : public TTrialMaster {
 public:
  // FullSave: the source's full-size library save, kept by the caller while
  // this lives; Half: the half-size picture FullSizeJpegSave made.
  TReducedJpegMaster(std::vector<uint8_t> Source, const std::vector<uint8_t>& FullSave, QImage Half);
  TTrialPicture Make(uint32_t Width, uint32_t Height) override;
  // How often the source was decoded again for a trial.
  int Decodes() const { return Decodes_; }

 private:
  QImage ShrinkWhole(uint32_t Width, uint32_t Height);

  TJpegImage Source_;
  QImage Half_;
  const std::vector<uint8_t>& FullSave_;
  std::vector<uint8_t> LibraryHeader_;
  int Decodes_ = 0;
};

// The library's full-size save of a colour JPEG source, made row by row
// without holding the picture; Half receives the half-size picture on the
// way. Nothing when the source is not a three-component colour JPEG or
// cannot be decoded.
std::optional<std::vector<uint8_t>> FullSizeJpegSave(const std::vector<uint8_t>& Source,
                                                     QImage& Half);

// The end of the SOI marker and the APPn segments that open an encoded JPEG.
size_t LeadingSegmentsEnd(const std::vector<uint8_t>& Jpeg);

}  // namespace pictrim
