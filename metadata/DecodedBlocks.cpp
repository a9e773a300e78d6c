// Metadata that a decoder handed over with a picture whose container keeps
// it beside the pixels (HEIC, HEIF, AVIF), taken as a JPEG file's segments
// so that the writer carries it into a copy as it carries a JPEG's own.
#include <algorithm>
#include <optional>

#include "image/IsolatedDecode.h"
#include "metadata/ColourProfile.h"
#include "metadata/Exif.h"
#include "metadata/Xmp.h"

namespace pictrim {
namespace {

constexpr int MarkerApp1 = 225;
constexpr uint16_t OrientationTag = 0x0112;
constexpr uint16_t ShortType = 3;
// "Exif" and two zero bytes in front of the TIFF block in an APP1 segment.
constexpr uint8_t ExifSignature[] = {'E', 'x', 'i', 'f', 0, 0};

// Reads a TIFF block's numbers in its own byte order, bounds-checked.
class TTiffNumbers {
 public:
  explicit TTiffNumbers(TBytes& Block)
      : Block_(Block), BigEndian_(Block.size() >= 2 && Block[0] == 'M') {}

  std::optional<uint32_t> Get(size_t At, size_t Size) const {
    if (At > Block_.size() || Size > Block_.size() - At) return std::nullopt;
    uint32_t value = 0;
    for (size_t i = 0; i < Size; ++i) {
      const uint8_t byte = Block_[At + (BigEndian_ ? i : Size - 1 - i)];
      value = value << 8 | byte;
    }
    return value;
  }
  // Writes Value as a number of Size bytes at At; nothing outside the block.
  void Put(size_t At, size_t Size, uint32_t Value) {
    if (At > Block_.size() || Size > Block_.size() - At) return;
    for (size_t i = 0; i < Size; ++i) {
      const size_t shift = 8 * (BigEndian_ ? Size - 1 - i : i);
      Block_[At + i] = static_cast<uint8_t>(Value >> shift);
    }
  }

 private:
  TBytes& Block_;
  bool BigEndian_;
};

// Sets the Orientation entry of the block's first directory to 1 (the
// pixels as stored are the picture as shown); nothing without one. The entry
// becomes one SHORT whatever type and count it had, so that no reader finds
// the old turn in it.
void SetUpright(TBytes& Tiff) {
  TTiffNumbers numbers(Tiff);
  const std::optional<uint32_t> directory = numbers.Get(4, 4);
  if (!directory) return;
  const std::optional<uint32_t> count = numbers.Get(*directory, 2);
  if (!count) return;
  for (uint32_t i = 0; i < *count; ++i) {
    const size_t entry = size_t{*directory} + 2 + size_t{12} * i;
    const std::optional<uint32_t> tag = numbers.Get(entry, 2);
    if (!tag || entry + 12 > Tiff.size()) return;
    if (*tag != OrientationTag) continue;
    numbers.Put(entry + 2, 2, ShortType);
    numbers.Put(entry + 4, 4, 1);
    numbers.Put(entry + 8, 2, 1);
    numbers.Put(entry + 10, 2, 0);
    return;
  }
}

bool IsTiffBlock(const TBytes& Block) {
  return Block.size() >= 8 &&
         ((Block[0] == 'I' && Block[1] == 'I' && Block[2] == 42 && Block[3] == 0) ||
          (Block[0] == 'M' && Block[1] == 'M' && Block[2] == 0 && Block[3] == 42));
}

// The APP1 segment of an EXIF block; none when the block is no TIFF block
// or too large for one segment.
std::optional<tSection> ExifSegmentOf(const TBytes& Tiff) {
  const size_t length = 2 + sizeof ExifSignature + Tiff.size();
  if (!IsTiffBlock(Tiff) || length > 0xFFFF) return std::nullopt;
  tSection segment;
  segment.Marker = MarkerApp1;
  segment.Size = static_cast<int32_t>(length);
  segment.Data.resize(length);
  segment.Data[0] = static_cast<uint8_t>(length >> 8);
  segment.Data[1] = static_cast<uint8_t>(length);
  std::copy(std::begin(ExifSignature), std::end(ExifSignature), segment.Data.begin() + 2);
  std::copy(Tiff.begin(), Tiff.end(), segment.Data.begin() + 2 + sizeof ExifSignature);
  return segment;
}

}  // namespace

bool TMetadata::ReadDecodedBlocks(const std::string& FileName, const TPictureMetadata& Blocks,
                                  bool Upright) {
  Reset();
  ReadFileInfo(FileName);
  const bool found = TakeDecodedBlocks(Blocks, Upright);
  if (ErrorText_.empty()) ErrorText_ = found ? "<none>" : "Not an EXIF file";
  return found;
}

// The decoder process reads the file's metadata blocks; a file it cannot
// read holds none.
bool TMetadata::ReadHeifFile(const std::string& FileName) {
  TPictureMetadata blocks;
  std::string failure;
  if (!ReadHeifMetadata(FileName, blocks, failure)) return false;
  return TakeDecodedBlocks(blocks, false);
}

bool TMetadata::TakeDecodedBlocks(const TPictureMetadata& Blocks, bool Upright) {
  TBytes tiff = Blocks.Exif;
  if (Upright) SetUpright(tiff);
  if (std::optional<tSection> exif = ExifSegmentOf(tiff)) {
    SectionCount_ = 1;
    ExifSection_ = 1;
    Sections_[0] = std::move(*exif);
    ExifInfo_ = std::make_unique<TExifInfo>(*this, ListMode_);
    Buffer_ = Sections_[0].Data;
    try {
      ParseExifSection();
    } catch (...) {
      ErrorText_ = "Illegal Exif construction";
    }
  }
  if (std::optional<tSection> xmp = XmpSegmentOf(Blocks.Xmp)) {
    Xmp_ = std::move(*xmp);
    XmpPlace_ = TXmpPlace::OwnSegment;
  }
  IccSegments_ = SplitIccProfile(Blocks.ColourProfile);
  return HasMetadata();
}

}  // namespace pictrim
