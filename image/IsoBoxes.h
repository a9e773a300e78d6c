// The boxes of the ISO media container that HEIC, HEIF, AVIF and Canon's
// CR3 files are made of: each a size, a four-letter type and its contents,
// boxes nested in boxes. Read through a window, so a box that claims more
// than its parent holds ends the walk instead of reaching outside.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "util/ByteWindow.h"

namespace pictrim {

// The four letters of a box type as one number, first letter highest.
constexpr uint32_t FourCC(std::string_view Letters) {
  return uint32_t(uint8_t(Letters[0])) << 24 | uint32_t(uint8_t(Letters[1])) << 16 |
         uint32_t(uint8_t(Letters[2])) << 8 | uint32_t(uint8_t(Letters[3]));
}

struct TIsoBox {
  uint32_t Type = 0;
  TByteWindow Contents;  // behind the size and type (and a "uuid" box's 16-byte name)
  TByteWindow Name;      // a "uuid" box's 16-byte name; empty for other boxes
};

// Reads the boxes that follow one another in a window, at most MaxBoxes.
class TBoxReader {
 public:
  static constexpr int MaxBoxes = 1024;

  explicit TBoxReader(const TByteWindow& Window) : Window_(Window) {}
  // The next box; nothing at the end of the window, after MaxBoxes boxes and
  // at a box whose header or size does not fit in what is left.
  std::optional<TIsoBox> Next();

 private:
  TByteWindow Window_;
  uint64_t At_ = 0;
  int Count_ = 0;
};

// The first box of Type in Window; nothing when there is none.
std::optional<TIsoBox> FindBox(const TByteWindow& Window, uint32_t Type);

}  // namespace pictrim
