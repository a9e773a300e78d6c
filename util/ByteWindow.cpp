#include "util/ByteWindow.h"

#include <algorithm>
#include <cstring>

#include "util/Errors.h"

namespace pictrim {

void TMemorySource::Copy(uint64_t Offset, uint8_t* Buffer, size_t Count) const {
  if (Count != 0) std::memcpy(Buffer, Bytes_.data() + Offset, Count);
}

const TFileSource::TBlock& TFileSource::BlockAt(uint64_t Start) const {
  ++Uses_;
  for (TBlock& block : Blocks_) {
    if (block.Start != Start) continue;
    block.LastUse = Uses_;
    return block;
  }
  if (BlocksRead_ >= MaxBlocks) throw ERangeError("more of " + File_.Name() + " than may be read");
  ++BlocksRead_;
  TBlock& block =
      *std::min_element(Blocks_.begin(), Blocks_.end(),
                        [](const TBlock& A, const TBlock& B) { return A.LastUse < B.LastUse; });
  block.LastUse = Uses_;
  block.Start = UINT64_MAX;
  block.Bytes.resize(BlockSize);
  block.Bytes.resize(File_.ReadAt(Start, block.Bytes.data(), BlockSize));
  block.Start = Start;
  return block;
}

void TFileSource::Copy(uint64_t Offset, uint8_t* Buffer, size_t Count) const {
  while (Count > 0) {
    const uint64_t start = Offset - Offset % BlockSize;
    const TBlock& block = BlockAt(start);
    const size_t within = static_cast<size_t>(Offset - start);
    // A file cut short since it was opened holds less than its size said.
    if (within >= block.Bytes.size()) throw ERangeError(File_.Name() + " ends early");
    const size_t piece = std::min(Count, block.Bytes.size() - within);
    std::memcpy(Buffer, block.Bytes.data() + within, piece);
    Buffer += piece;
    Offset += piece;
    Count -= piece;
  }
}

TByteWindow TByteWindow::Part(uint64_t Offset, uint64_t Length) const {
  if (!Holds(Offset, Length)) throw ERangeError("a part beyond its window");
  return TByteWindow(Source_, Start_ + Offset, Length);
}

TByteWindow TByteWindow::From(uint64_t Offset) const {
  if (Offset > Size_) throw ERangeError("a part beyond its window");
  return TByteWindow(Source_, Start_ + Offset, Size_ - Offset);
}

std::vector<uint8_t> TByteWindow::Bytes(uint64_t Offset, size_t Count) const {
  if (!Holds(Offset, Count)) throw ERangeError("a read beyond its window");
  std::vector<uint8_t> bytes(Count);
  Source_->Copy(Start_ + Offset, bytes.data(), Count);
  return bytes;
}

uint64_t TByteWindow::Number(uint64_t Offset, size_t Count, bool BigEndian) const {
  if (!Holds(Offset, Count)) throw ERangeError("a read beyond its window");
  uint8_t bytes[8];
  Source_->Copy(Start_ + Offset, bytes, Count);
  uint64_t value = 0;
  for (size_t i = 0; i < Count; ++i) value = value << 8 | bytes[BigEndian ? i : Count - 1 - i];
  return value;
}

uint8_t TByteWindow::U8(uint64_t Offset) const {
  return static_cast<uint8_t>(Number(Offset, 1, true));
}

uint16_t TByteWindow::U16(uint64_t Offset, bool BigEndian) const {
  return static_cast<uint16_t>(Number(Offset, 2, BigEndian));
}

uint32_t TByteWindow::U32(uint64_t Offset, bool BigEndian) const {
  return static_cast<uint32_t>(Number(Offset, 4, BigEndian));
}

uint64_t TByteWindow::U64(uint64_t Offset, bool BigEndian) const {
  return Number(Offset, 8, BigEndian);
}

bool TByteWindow::Matches(uint64_t Offset, std::string_view Text) const {
  if (!Holds(Offset, Text.size())) return false;
  const std::vector<uint8_t> bytes = Bytes(Offset, Text.size());
  return std::equal(bytes.begin(), bytes.end(), Text.begin(),
                    [](uint8_t Byte, char C) { return Byte == static_cast<uint8_t>(C); });
}

}  // namespace pictrim
