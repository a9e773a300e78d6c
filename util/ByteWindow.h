// Untrusted bytes read at chosen positions, for the readers that find a
// photo's metadata inside a camera file without reading the file whole: a
// file read a small block at a time, with a cap on the blocks one file may
// cost, or bytes already in memory; both seen through windows that a reader
// cannot see beyond. A read outside a window is a range error.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "util/SourceFile.h"

namespace pictrim {

class TByteSource {
 public:
  virtual ~TByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Copies Count bytes from Offset on into Buffer. The caller has checked
  // that they lie within Size().
  virtual void Copy(uint64_t Offset, uint8_t* Buffer, size_t Count) const = 0;
};

// Bytes the caller holds for as long as the source is used.
class TMemorySource final : public TByteSource {
 public:
  explicit TMemorySource(std::span<const uint8_t> Bytes) : Bytes_(Bytes) {}
  uint64_t Size() const override { return Bytes_.size(); }
  void Copy(uint64_t Offset, uint8_t* Buffer, size_t Count) const override;

 private:
  std::span<const uint8_t> Bytes_;
};

// A regular file, read in blocks of BlockSize bytes of which the four used
// last are kept. A file that asks for more than MaxBlocks blocks is a range error,
// as is one that shrinks while it is read.
class TFileSource final : public TByteSource {
 public:
  static constexpr size_t BlockSize = 16384;
  static constexpr int MaxBlocks = 256;  // 4 MiB from one file at the most

  // Raises EInOutError when the file cannot be opened or is no regular file.
  explicit TFileSource(const std::string& FileName) : File_(FileName) {}
  uint64_t Size() const override { return File_.Size(); }
  void Copy(uint64_t Offset, uint8_t* Buffer, size_t Count) const override;
  int BlocksRead() const { return BlocksRead_; }

 private:
  struct TBlock {
    uint64_t Start = UINT64_MAX;
    uint64_t LastUse = 0;
    std::vector<uint8_t> Bytes;
  };
  const TBlock& BlockAt(uint64_t Start) const;

  TSourceFile File_;
  mutable std::array<TBlock, 4> Blocks_;
  mutable uint64_t Uses_ = 0;
  mutable int BlocksRead_ = 0;
};

// A stretch of a source. Offsets are counted from the window's start.
class TByteWindow {
 public:
  explicit TByteWindow(const TByteSource& Source)
      : Source_(&Source), Start_(0), Size_(Source.Size()) {}

  uint64_t Size() const { return Size_; }
  // Where the window begins in its source.
  uint64_t Start() const { return Start_; }
  // True when Length bytes from Offset on lie inside.
  bool Holds(uint64_t Offset, uint64_t Length) const {
    return Offset <= Size_ && Length <= Size_ - Offset;
  }
  // The Length bytes from Offset on, a range error when they do not lie
  // inside; From is the rest of the window from Offset on.
  TByteWindow Part(uint64_t Offset, uint64_t Length) const;
  TByteWindow From(uint64_t Offset) const;

  std::vector<uint8_t> Bytes(uint64_t Offset, size_t Count) const;
  uint8_t U8(uint64_t Offset) const;
  uint16_t U16(uint64_t Offset, bool BigEndian) const;
  uint32_t U32(uint64_t Offset, bool BigEndian) const;
  uint64_t U64(uint64_t Offset, bool BigEndian) const;
  // True when the bytes at Offset are Text; false as well when they would
  // reach beyond the window.
  bool Matches(uint64_t Offset, std::string_view Text) const;

 private:
  TByteWindow(const TByteSource* Source, uint64_t Start, uint64_t Size)
      : Source_(Source), Start_(Start), Size_(Size) {}
  uint64_t Number(uint64_t Offset, size_t Count, bool BigEndian) const;

  const TByteSource* Source_;
  uint64_t Start_;
  uint64_t Size_;
};

}  // namespace pictrim
