#include "metadata/ExifDates.h"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "metadata/ExifFacts.h"
#include "util/Errors.h"

namespace pictrim {
namespace {

constexpr uint16_t ExifDirectoryTag = 34665;
constexpr uint16_t JpegFromRawTag = 46;  // Panasonic raws keep a JPEG with the EXIF block here
// A date is 19 characters and a zero; a longer value is no date, whatever
// it claims to hold.
constexpr uint64_t MaxDateBytes = 64;
// Segments (fill bytes included) looked at before a JPEG stream's picture data.
constexpr int MaxSegments = 256;

// The second number of a TIFF header: 42, and those of Olympus ("RO",
// "RS") and Panasonic (85) raw files.
bool IsTiffNumber(uint16_t Number) {
  return Number == 42 || Number == 0x4F52 || Number == 0x5352 || Number == 0x55;
}

// What a directory points to besides its own values.
struct TPointers {
  uint32_t ExifDirectory = 0;
  std::optional<std::pair<uint32_t, uint32_t>> EmbeddedJpeg;  // offset, length
};

class TTiffReader {
 public:
  TTiffReader(const TByteWindow& Tiff, bool BigEndian) : Tiff_(Tiff), Big_(BigEndian) {}

  // Reads the date tags and the pointers of the directory at Offset; what
  // was read before a range error stays.
  void ReadDirectory(uint64_t Offset, TTakenDates& Dates, TPointers& Pointers) const {
    try {
      const uint16_t count = Tiff_.U16(Offset, Big_);
      for (uint64_t entry = Offset + 2; entry < Offset + 2 + uint64_t{12} * count; entry += 12) {
        ReadEntry(entry, Dates, Pointers);
      }
    } catch (const ERangeError&) {
    }
  }

 private:
  void ReadEntry(uint64_t Entry, TTakenDates& Dates, TPointers& Pointers) const {
    switch (Tiff_.U16(Entry, Big_)) {
      case DateTimeOriginalTag:
        if (!Dates.Original) Dates.Original = DateValue(Entry);
        break;
      case DateTimeDigitizedTag:
        if (!Dates.Digitized) Dates.Digitized = DateValue(Entry);
        break;
      case DateTimeTag:
        if (!Dates.Modified) Dates.Modified = DateValue(Entry);
        break;
      case ExifDirectoryTag:
        Pointers.ExifDirectory = Tiff_.U32(Entry + 8, Big_);
        break;
      case JpegFromRawTag:
        Pointers.EmbeddedJpeg.emplace(Tiff_.U32(Entry + 8, Big_), Tiff_.U32(Entry + 4, Big_));
        break;
      default:
        break;
    }
  }

  // The date an entry's value holds: text of one-byte units, in the entry
  // itself when it has four bytes or fewer; nothing for any other value.
  std::optional<std::tm> DateValue(uint64_t Entry) const {
    const uint16_t type = Tiff_.U16(Entry + 2, Big_);
    const bool bytes = type == 1 || type == 2 || type == 6 || type == 7;
    const uint32_t count = Tiff_.U32(Entry + 4, Big_);
    const uint64_t at = count <= 4 ? Entry + 8 : Tiff_.U32(Entry + 8, Big_);
    const uint64_t length = std::min<uint64_t>(count, MaxDateBytes);
    if (!bytes || !Tiff_.Holds(at, length)) return std::nullopt;
    const std::vector<uint8_t> text = Tiff_.Bytes(at, length);
    return ParseExifDateTime(
        std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
  }

  TByteWindow Tiff_;
  bool Big_;
};

TTakenDates TiffDates(const TByteWindow& Tiff, bool FollowJpeg) {
  TTakenDates dates;
  if (Tiff.Size() < 8) return dates;
  const uint16_t order = Tiff.U16(0, true);
  if (order != 0x4949 && order != 0x4D4D) return dates;
  const bool big = order == 0x4D4D;
  if (!IsTiffNumber(Tiff.U16(2, big))) return dates;
  const uint32_t first = Tiff.U32(4, big);
  const TTiffReader reader(Tiff, big);
  TPointers pointers;
  reader.ReadDirectory(first, dates, pointers);
  if (pointers.ExifDirectory != 0 && pointers.ExifDirectory != first) {
    TPointers ignored;
    reader.ReadDirectory(pointers.ExifDirectory, dates, ignored);
  }
  if (FollowJpeg && !dates.Original && pointers.EmbeddedJpeg) {
    const auto [offset, length] = *pointers.EmbeddedJpeg;
    if (Tiff.Holds(offset, length)) {
      try {
        if (std::optional<TByteWindow> block = JpegExifBlock(Tiff.Part(offset, length)))
          dates.Fill(TiffDates(*block, false));
      } catch (const ERangeError&) {
      }
    }
  }
  return dates;
}

}  // namespace

void TTakenDates::Fill(const TTakenDates& More) {
  if (!Original) Original = More.Original;
  if (!Digitized) Digitized = More.Digitized;
  if (!Modified) Modified = More.Modified;
}

std::optional<std::tm> TTakenDates::TimeTaken() const {
  if (Original) return Original;
  if (Digitized) return Digitized;
  return Modified;
}

TTakenDates TiffTakenDates(const TByteWindow& Tiff) {
  return TiffDates(Tiff, true);
}

std::optional<TByteWindow> JpegExifBlock(const TByteWindow& Jpeg) {
  if (!Jpeg.Matches(0, "\xFF\xD8")) return std::nullopt;
  uint64_t at = 2;
  for (int segment = 0; segment < MaxSegments; ++segment) {
    if (Jpeg.U8(at) != 0xFF) return std::nullopt;
    const uint8_t marker = Jpeg.U8(at + 1);
    if (marker == 0xFF) {  // a fill byte before the marker
      ++at;
      continue;
    }
    if (marker == 0xDA || marker == 0xD9) return std::nullopt;   // the picture data, the end
    if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {  // markers without a length
      at += 2;
      continue;
    }
    const uint16_t length = Jpeg.U16(at + 2, true);
    if (length < 2) return std::nullopt;
    if (marker == 0xE1 && length >= 8 && Jpeg.Matches(at + 4, std::string_view("Exif\0\0", 6)))
      return Jpeg.Part(at + 10, length - 8);
    at += 2 + uint64_t{length};
  }
  return std::nullopt;
}

}  // namespace pictrim
