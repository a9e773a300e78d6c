// ICC profile chunks of a JPEG file and the profile's description tag.
#include "metadata/ColourProfile.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "util/Errors.h"

namespace pictrim {
namespace {

constexpr uint8_t IccSignature[] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
// Offset of a chunk's number in a segment's Data: behind the length bytes and
// the signature; the count follows, then the piece of the profile.
constexpr size_t ChunkNumberAt = 2 + sizeof(IccSignature);
constexpr size_t ChunkPieceAt = ChunkNumberAt + 2;
// The largest piece of a profile one segment carries (its length field
// counts itself, the signature and the chunk's number and count).
constexpr size_t MaxChunkPiece = 0xFFFF - ChunkPieceAt;

// The profile header is 128 bytes; the tag count and the tag table follow.
constexpr int64_t TagCountAt = 128;
constexpr int64_t TagTableAt = 132;
constexpr int64_t TagEntrySize = 12;

constexpr uint32_t Signature(const char (&Name)[5]) {
  return uint32_t{static_cast<uint8_t>(Name[0])} << 24 |
         uint32_t{static_cast<uint8_t>(Name[1])} << 16 |
         uint32_t{static_cast<uint8_t>(Name[2])} << 8 | uint32_t{static_cast<uint8_t>(Name[3])};
}

// A profile read big-endian by offsets counted from 0; every read outside it
// is a range error.
class TIccReader : public TByteOrderReader {
 public:
  explicit TIccReader(TBytes Profile) {
    SetBigEndian(true);
    SetBuffer(std::move(Profile));
  }

  std::string Description() const {
    const int64_t count = U32(TagCountAt);
    const int64_t room = (Size() - TagTableAt) / TagEntrySize;
    for (int64_t i = 0; i < std::min(count, room); ++i) {
      const int64_t entry = TagTableAt + i * TagEntrySize;
      if (U32(entry) == Signature("desc")) return TagText(U32(entry + 4), U32(entry + 8));
    }
    return "";
  }

 private:
  int64_t Size() const { return static_cast<int64_t>(Buffer().size()); }
  uint32_t U32(int64_t Offset) const { return static_cast<uint32_t>(Read32(Offset + 1)); }
  uint16_t U16(int64_t Offset) const { return Read16(Offset + 1); }

  // A range Count bytes long at Offset within Limit bytes; a range error
  // when it does not fit.
  static void CheckRange(int64_t Offset, int64_t Count, int64_t Limit) {
    if (Offset < 0 || Count < 0 || Count > Limit || Offset > Limit - Count) {
      throw ERangeError("profile range " + std::to_string(Offset) + "+" + std::to_string(Count));
    }
  }

  // The text of the tag at Offset, Length bytes long.
  std::string TagText(int64_t Offset, int64_t Length) const {
    CheckRange(Offset, Length, Size());
    const uint32_t type = U32(Offset);
    if (type == Signature("desc")) return AsciiText(Offset, Length);
    if (type == Signature("mluc")) return LocalisedText(Offset, Length);
    return "";
  }

  // Type signature, 4 reserved bytes, the count of ASCII bytes (with their
  // closing zero), the bytes.
  std::string AsciiText(int64_t Offset, int64_t Length) const {
    const int64_t count = U32(Offset + 8);
    CheckRange(12, count, Length);
    const uint8_t* text = BytesAt(Offset + 12 + 1, count);
    const auto* end = std::find(text, text + count, uint8_t{0});
    return std::string(text, end);
  }

  // Type signature, 4 reserved bytes, the record count and size, then per
  // record language, country, length and offset (from the tag's start) of a
  // big-endian UTF-16 text.
  std::string LocalisedText(int64_t Offset, int64_t Length) const {
    const int64_t records = U32(Offset + 8);
    const int64_t recordSize = U32(Offset + 12);
    if (recordSize < 12) throw ERangeError("record size " + std::to_string(recordSize));
    const int64_t usable = std::min(records, (Length - 16) / recordSize);
    if (usable <= 0) return "";
    int64_t chosen = Offset + 16;
    for (int64_t i = 0; i < usable; ++i) {
      const int64_t record = Offset + 16 + i * recordSize;
      if (U16(record) == ('e' << 8 | 'n')) {
        chosen = record;
        break;
      }
    }
    const int64_t length = U32(chosen + 4);
    const int64_t start = U32(chosen + 8);
    CheckRange(start, length, Length);
    std::vector<char32_t> units;
    for (int64_t at = Offset + start; at + 1 < Offset + start + length; at += 2) {
      const char32_t unit = U16(at);
      if (unit == 0) break;
      units.push_back(unit);
    }
    return Utf16ToUtf8(units);
  }
};

}  // namespace

bool IsIccSegment(const TBytes& Data) {
  return Data.size() >= ChunkNumberAt &&
         std::memcmp(Data.data() + 2, IccSignature, sizeof(IccSignature)) == 0;
}

bool IsCompleteIccSet(const std::vector<tSection>& Segments) {
  if (Segments.empty() || Segments.size() > MaxIccChunks) return false;
  for (size_t i = 0; i < Segments.size(); ++i) {
    const TBytes& data = Segments[i].Data;
    if (data.size() < ChunkPieceAt || !IsIccSegment(data)) return false;
    if (data[ChunkNumberAt] != i + 1 || data[ChunkNumberAt + 1] != Segments.size()) return false;
  }
  return true;
}

TBytes JoinIccChunks(const std::vector<tSection>& Segments) {
  TBytes profile;
  for (const tSection& segment : Segments) {
    if (segment.Data.size() < ChunkPieceAt) throw ERangeError("ICC chunk without its header");
    profile.insert(profile.end(), segment.Data.begin() + ChunkPieceAt, segment.Data.end());
  }
  return profile;
}

std::vector<tSection> SplitIccProfile(const TBytes& Profile) {
  std::vector<tSection> segments;
  const size_t chunks = (Profile.size() + MaxChunkPiece - 1) / MaxChunkPiece;
  if (chunks == 0 || chunks > MaxIccChunks) return segments;
  for (size_t i = 0; i < chunks; ++i) {
    const size_t from = i * MaxChunkPiece;
    const size_t piece = std::min(MaxChunkPiece, Profile.size() - from);
    tSection& segment = segments.emplace_back();
    segment.Marker = 0xE2;
    segment.Size = static_cast<int32_t>(ChunkPieceAt + piece);
    segment.Data.resize(ChunkPieceAt + piece);
    segment.Data[0] = static_cast<uint8_t>(segment.Size >> 8);
    segment.Data[1] = static_cast<uint8_t>(segment.Size);
    std::copy(std::begin(IccSignature), std::end(IccSignature), segment.Data.begin() + 2);
    segment.Data[ChunkNumberAt] = static_cast<uint8_t>(i + 1);
    segment.Data[ChunkNumberAt + 1] = static_cast<uint8_t>(chunks);
    std::copy_n(Profile.begin() + static_cast<std::ptrdiff_t>(from), piece,
                segment.Data.begin() + ChunkPieceAt);
  }
  return segments;
}

std::string IccDescription(const TBytes& Profile) {
  try {
    return MakePrintable(TrimText(TIccReader(Profile).Description()));
  } catch (const std::out_of_range&) {
    return "";
  }
}

}  // namespace pictrim
