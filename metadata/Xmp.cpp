// XMP segments of a JPEG file: recognising them, checking an extension for
// completeness, and bringing the stored pixel size to a copy's size in place.
#include "metadata/Xmp.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace pictrim {
namespace {

constexpr std::string_view XmpSignature{"http://ns.adobe.com/xap/1.0/\0", 29};
constexpr std::string_view ExtensionSignature{"http://ns.adobe.com/xmp/extension/\0", 35};
constexpr size_t GuidLength = 32;
// Behind the length bytes and the signature: the GUID, the full length and
// the piece's offset.
constexpr size_t GuidAt = 2 + ExtensionSignature.size();
constexpr size_t FullLengthAt = GuidAt + GuidLength;
constexpr size_t PieceOffsetAt = FullLengthAt + 4;
constexpr size_t PieceAt = PieceOffsetAt + 4;
constexpr size_t PacketAt = 2 + XmpSignature.size();

bool StartsWith(const TBytes& Data, std::string_view Signature) {
  return Data.size() >= 2 + Signature.size() &&
         std::equal(Signature.begin(), Signature.end(), Data.begin() + 2);
}

uint32_t BigEndian32(const TBytes& Data, size_t At) {
  return uint32_t{Data.at(At)} << 24 | uint32_t{Data.at(At + 1)} << 16 |
         uint32_t{Data.at(At + 2)} << 8 | Data.at(At + 3);
}

std::string_view Guid(const TBytes& Data) {
  return {reinterpret_cast<const char*>(Data.data() + GuidAt), GuidLength};
}

std::string_view PacketText(const TBytes& Data) {
  if (Data.size() < PacketAt) return {};
  return {reinterpret_cast<const char*>(Data.data() + PacketAt), Data.size() - PacketAt};
}

bool IsBlank(char C) {
  return C == ' ' || C == '\t' || C == '\r' || C == '\n';
}

bool IsDigit(char C) {
  return C >= '0' && C <= '9';
}

size_t SkipBlanks(std::string_view Text, size_t At) {
  while (At < Text.size() && IsBlank(Text[At])) ++At;
  return At;
}

size_t SkipDigits(std::string_view Text, size_t At) {
  while (At < Text.size() && IsDigit(Text[At])) ++At;
  return At;
}

// One number of the packet to be replaced.
struct TReplacement {
  size_t At;
  size_t Length;
  std::string Digits;
};

// The number stored under the name found at NameAt: as an element
// (<name>123</name>) or as an attribute (name="123"); Length 0 when the name
// stands in neither form or its value is no plain number.
TReplacement StoredNumber(std::string_view Text, size_t NameAt, size_t NameLength) {
  const size_t after = NameAt + NameLength;
  if (NameAt == 0 || after >= Text.size()) return {};
  const char before = Text[NameAt - 1];
  size_t start;
  char closing;
  if (before == '<' && Text[after] == '>') {
    start = SkipBlanks(Text, after + 1);
    closing = '<';
  } else if (IsBlank(before)) {
    size_t at = SkipBlanks(Text, after);
    if (at >= Text.size() || Text[at] != '=') return {};
    at = SkipBlanks(Text, at + 1);
    if (at >= Text.size() || (Text[at] != '"' && Text[at] != '\'')) return {};
    closing = Text[at];
    start = at + 1;
  } else {
    return {};
  }
  const size_t end = SkipDigits(Text, start);
  const size_t close = closing == '<' ? SkipBlanks(Text, end) : end;
  if (end == start || close >= Text.size() || Text[close] != closing) return {};
  return {start, end - start, {}};
}

// Every stored pixel-size number of the packet, in the order of the text.
std::vector<TReplacement> DimensionNumbers(std::string_view Text, int64_t Width, int64_t Height) {
  const std::pair<std::string_view, int64_t> names[] = {{"exif:PixelXDimension", Width},
                                                        {"exif:PixelYDimension", Height},
                                                        {"tiff:ImageWidth", Width},
                                                        {"tiff:ImageLength", Height}};
  std::vector<TReplacement> found;
  for (const auto& [name, value] : names) {
    for (size_t at = Text.find(name); at != std::string_view::npos;
         at = Text.find(name, at + name.size())) {
      TReplacement number = StoredNumber(Text, at, name.size());
      if (number.Length == 0) continue;
      number.Digits = std::to_string(value);
      found.push_back(std::move(number));
    }
  }
  std::sort(found.begin(), found.end(),
            [](const TReplacement& A, const TReplacement& B) { return A.At < B.At; });
  return found;
}

}  // namespace

std::optional<tSection> XmpSegmentOf(const TBytes& Packet) {
  if (Packet.empty() || Packet.size() > 0xFFFF - PacketAt) return std::nullopt;
  tSection segment;
  segment.Marker = 0xE1;
  segment.Size = static_cast<int32_t>(PacketAt + Packet.size());
  segment.Data.resize(PacketAt + Packet.size());
  segment.Data[0] = static_cast<uint8_t>(segment.Size >> 8);
  segment.Data[1] = static_cast<uint8_t>(segment.Size);
  std::copy(XmpSignature.begin(), XmpSignature.end(), segment.Data.begin() + 2);
  std::copy(Packet.begin(), Packet.end(), segment.Data.begin() + PacketAt);
  return segment;
}

bool IsXmpSegment(const TBytes& Data) {
  return StartsWith(Data, XmpSignature);
}

bool IsExtendedXmpSegment(const TBytes& Data) {
  return StartsWith(Data, ExtensionSignature);
}

size_t XmpPacketLength(const TBytes& Data) {
  return PacketText(Data).size();
}

size_t ExtendedXmpLength(const TBytes& Data) {
  return Data.size() < PieceAt ? 0 : BigEndian32(Data, FullLengthAt);
}

std::vector<tSection> CompleteExtendedXmp(const TBytes& Main,
                                          const std::vector<tSection>& Segments) {
  const std::string_view packet = PacketText(Main);
  std::vector<tSection> kept;
  for (const tSection& segment : Segments) {
    if (segment.Data.size() < PieceAt) continue;
    if (kept.empty() ? packet.find(Guid(segment.Data)) != std::string_view::npos
                     : Guid(segment.Data) == Guid(kept.front().Data)) {
      kept.push_back(segment);
    }
  }
  if (kept.empty()) return {};
  // The pieces, by offset, must follow each other from 0 to the full length.
  std::vector<std::pair<uint32_t, size_t>> pieces;
  for (const tSection& segment : kept) {
    if (BigEndian32(segment.Data, FullLengthAt) != BigEndian32(kept.front().Data, FullLengthAt)) {
      return {};
    }
    pieces.emplace_back(BigEndian32(segment.Data, PieceOffsetAt), segment.Data.size() - PieceAt);
  }
  std::sort(pieces.begin(), pieces.end());
  uint64_t covered = 0;
  for (const auto& [offset, length] : pieces) {
    if (offset != covered) return {};
    covered += length;
  }
  return covered == ExtendedXmpLength(kept.front().Data) ? kept : std::vector<tSection>{};
}

TBytes XmpWithDimensions(const TBytes& Data, int64_t Width, int64_t Height) {
  const std::string_view text = PacketText(Data);
  const std::vector<TReplacement> numbers = DimensionNumbers(text, Width, Height);
  if (numbers.empty()) return Data;
  int64_t growth = 0;
  for (const TReplacement& number : numbers) {
    growth += static_cast<int64_t>(number.Digits.size()) - static_cast<int64_t>(number.Length);
  }
  // The padding: the blanks in front of the closing processing instruction,
  // which must stand behind every number changed.
  size_t trailer = text.rfind("<?xpacket end=");
  if (trailer == std::string_view::npos || trailer < numbers.back().At) trailer = text.size();
  size_t padding = trailer;
  while (padding > numbers.back().At + numbers.back().Length && IsBlank(text[padding - 1])) {
    --padding;
  }
  if (growth > static_cast<int64_t>(trailer - padding) || (growth != 0 && trailer == text.size())) {
    return Data;
  }
  std::string patched;
  patched.reserve(text.size());
  size_t at = 0;
  for (const TReplacement& number : numbers) {
    patched.append(text.substr(at, number.At - at));
    patched.append(number.Digits);
    at = number.At + number.Length;
  }
  // The padding loses its last blanks, or gains blanks at its end.
  patched.append(text.substr(at, trailer - at - static_cast<size_t>(std::max<int64_t>(growth, 0))));
  if (growth < 0) patched.append(static_cast<size_t>(-growth), ' ');
  patched.append(text.substr(trailer));
  if (patched.size() != text.size()) return Data;
  TBytes out = Data;
  std::copy(patched.begin(), patched.end(), out.begin() + static_cast<std::ptrdiff_t>(PacketAt));
  return out;
}

}  // namespace pictrim
