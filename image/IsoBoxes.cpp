#include "image/IsoBoxes.h"

namespace pictrim {
namespace {

constexpr uint64_t UuidSize = 16;

}  // namespace

std::optional<TIsoBox> TBoxReader::Next() {
  const uint64_t left = Window_.Size() - At_;
  if (Count_ >= MaxBoxes || left < 8) return std::nullopt;
  ++Count_;
  uint64_t size = Window_.U32(At_, true);
  const uint32_t type = Window_.U32(At_ + 4, true);
  uint64_t header = 8;
  if (size == 1) {
    // A 64-bit size follows the type.
    if (left < 16) return std::nullopt;
    size = Window_.U64(At_ + 8, true);
    header = 16;
  } else if (size == 0) {
    size = left;  // the box reaches to the end of its parent
  }
  if (type == FourCC("uuid")) header += UuidSize;
  if (size < header || size > left) return std::nullopt;
  const TByteWindow box = Window_.Part(At_, size);
  At_ += size;
  const uint64_t nameAt = type == FourCC("uuid") ? header - UuidSize : header;
  return TIsoBox{type, box.From(header), box.Part(nameAt, header - nameAt)};
}

std::optional<TIsoBox> FindBox(const TByteWindow& Window, uint32_t Type) {
  TBoxReader reader(Window);
  while (std::optional<TIsoBox> box = reader.Next()) {
    if (box->Type == Type) return box;
  }
  return std::nullopt;
}

}  // namespace pictrim
