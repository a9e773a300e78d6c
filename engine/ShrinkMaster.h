// The pictures the file-size batch makes its trials from. A trial is the
// picture rescaled to a trial size and encoded the way the image library
// saves a JPEG (at its default quality unless another is chosen); only its
// bytes are kept, in memory.
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
// rescaled with the box filter (or, Sharp, the Lanczos filter) and saved by
// the library.
class TContainerMaster : public TTrialMaster {
 public:
  explicit TContainerMaster(TDisplayBitmap& Master, int Quality = TJpegImage::LibraryQuality,
                            bool Sharp = false)
      : Master_(Master), Quality_(Quality), Sharp_(Sharp) {}
  TTrialPicture Make(uint32_t Width, uint32_t Height) override;

 private:
  TDisplayBitmap& Master_;
  int Quality_;
  bool Sharp_;
  TDisplayBitmap Working_;
};

// The mean of Count values of 0 to 255 from their Sum, rounded half up:
// (2 Sum + Count) div (2 Count), with a multiplication and a shift in place
// of the division. Counts of more than 22 bits are left to Divide.
class TRoundedMean {
 public:
  explicit TRoundedMean(uint32_t Count);
  // False when Count is too large for the multiplication.
  bool Fast() const { return Factor_ != 0; }
  uint8_t operator()(uint32_t Sum) const { return static_cast<uint8_t>((Sum * Factor_ + Bias_) >> Shift_); }
  uint8_t Divide(uint32_t Sum) const {
    return static_cast<uint8_t>((2 * uint64_t{Sum} + Count_) / (2 * uint64_t{Count_}));
  }

 private:
  uint32_t Count_;
  uint64_t Factor_ = 0;  // twice the rounded-up reciprocal
  uint64_t Bias_ = 0;    // Count times the reciprocal
  unsigned Shift_ = 0;
};

// The same mean in single precision for boxes of up to 1024 pixels,
// several values at a time where the processor can: the sum times the
// reciprocals of the box's width and height, plus a half and a little
// more, truncated. Exact: the true mean plus a half is
// (2 Sum + Count) / (2 Count), a whole number or at least 1/2048 away from
// one. The two reciprocals and the two products are each off by at most
// 2^-24 relative, so the scaled sum (at most 255) is off by less than
// 2^-14, and adding the bias rounds by at most 2^-17. With the bias 2^-12
// above a half the result lies in [N, N + 1) exactly when the true value
// does.
struct TShortMean {
  static constexpr uint32_t MaxCount = 1024;
  static constexpr float Bias = 0.5f + 1.0f / 4096;
  static float Reciprocal(uint32_t Length) { return 1.0f / static_cast<float>(Length); }
  // Sum over a box of Columns x Rows pixels, given the two reciprocals.
  static uint8_t Mean(uint32_t Sum, float ColumnScale, float RowScale) {
    return static_cast<uint8_t>(static_cast<int>(static_cast<float>(Sum) * ColumnScale * RowScale + Bias));
  }
};

// A JPEG source whose trials come from its half-size picture (made while
// the full-size save decoded it; rescaled by area, or with the Lanczos
// filter when Sharp, as the part of the whole picture each of its pixels
// stands for) when they are at most half its size, and otherwise from the
// full-scale picture with the box filter (or the Lanczos filter): kept
// whole when it is small enough, else filtered down row by row as it is
// decoded again. Trials carry the header the library writes for the source
// (density, ICC profile).
class TReducedJpegMaster : public TTrialMaster {
 public:
  // FullSave: the source's full-size library save, kept by the caller while
  // this lives; Half and Whole: the pictures FullSizeJpegSave made. Without
  // the whole picture, trials wider than the half-size picture decode the
  // source again (and raise as TJpegImage's decodes do).
  TReducedJpegMaster(TJpegImage Source, const std::vector<uint8_t>& FullSave, QImage Half,
                     QImage Whole = QImage(), int Quality = TJpegImage::LibraryQuality,
                     bool Sharp = false);
  TTrialPicture Make(uint32_t Width, uint32_t Height) override;
  // How often the source was decoded again for a trial.
  int Decodes() const { return Decodes_; }

 private:
  QImage ShrinkWhole(uint32_t Width, uint32_t Height);

  TJpegImage Source_;
  QImage Half_;
  QImage Whole_;
  const std::vector<uint8_t>& FullSave_;
  std::vector<uint8_t> LibraryHeader_;
  int Quality_;
  bool Sharp_;
  int Decodes_ = 0;
};

// The library's full-size save of a colour JPEG source, made row by row;
// Half receives the half-size picture on the way, and Whole, when given,
// the decoded picture itself (null when there is no memory for it).
// Nothing when the source is not a three-component colour JPEG or cannot be
// decoded; a decode stopped by a limit or a cancel raises EJpegStopped.
// Quality is the save's; Source.DecodeWarnings() tells afterwards how many
// corrupt-data warnings the decode met.
std::optional<std::vector<uint8_t>> FullSizeJpegSave(const TJpegImage& Source, QImage& Half,
                                                     QImage* Whole = nullptr,
                                                     int Quality = TJpegImage::LibraryQuality);

// Sources of up to this many pixels (12-megapixel cameras, 39 MB) are kept
// whole in memory for their search, so that wide trials need no second
// decode; with a trial almost as large beside it, one such picture stays
// under 120 MB. Larger ones are decoded again as their rows stream.
constexpr uint64_t WholePictureLimit = 13'000'000;

// The end of the SOI marker and the APPn segments that open an encoded JPEG.
size_t LeadingSegmentsEnd(const std::vector<uint8_t>& Jpeg);

}  // namespace pictrim
