#include "tests/metadata/MetadataBytes.h"

#include "metadata/Exif.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "image/JpegImage.h"
#include "tests/common/TestPictures.h"

namespace pictrim::test {

TBytes Segment(uint8_t Marker, const TBytes& Payload) {
  const size_t length = Payload.size() + 2;
  TBytes out = {0xFF, Marker, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
  out.insert(out.end(), Payload.begin(), Payload.end());
  return out;
}

TBytes Segment(uint8_t Marker, const std::string& Payload) {
  return Segment(Marker, Bytes(Payload));
}

TBytes FilledSegment(uint8_t Marker, size_t Size, uint8_t Fill) {
  return Segment(Marker, TBytes(Size, Fill));
}

TBytes JpegFile(std::initializer_list<TBytes> Segments) {
  TBytes out = {0xFF, 0xD8};
  for (const TBytes& s : Segments) out.insert(out.end(), s.begin(), s.end());
  const TBytes sos = {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00,
                      0x00, 0x3F, 0x00, 0x12, 0x34, 0xFF, 0xD9};
  out.insert(out.end(), sos.begin(), sos.end());
  return out;
}

TBytes Concat(std::initializer_list<TBytes> Parts) {
  TBytes out;
  for (const TBytes& p : Parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TBytes Bytes(const std::string& Text) {
  return TBytes(Text.begin(), Text.end());
}

void WriteBytes(const std::string& Path, const TBytes& Bytes) {
  std::ofstream out(Path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(Bytes.data()),
            static_cast<std::streamsize>(Bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + Path);
}

TBytes ReadBytes(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  return TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ---------------------------------------------------------------------------

TBytes TExifBlock::U16(uint16_t Value) const {
  return BigEndian_ ? TBytes{static_cast<uint8_t>(Value >> 8), static_cast<uint8_t>(Value)}
                    : TBytes{static_cast<uint8_t>(Value), static_cast<uint8_t>(Value >> 8)};
}

TBytes TExifBlock::U32(uint32_t Value) const {
  TBytes b = {static_cast<uint8_t>(Value >> 24), static_cast<uint8_t>(Value >> 16),
              static_cast<uint8_t>(Value >> 8), static_cast<uint8_t>(Value)};
  if (!BigEndian_) std::swap(b[0], b[3]), std::swap(b[1], b[2]);
  return b;
}

int TExifBlock::AddDirectory() {
  Directories_.emplace_back();
  return static_cast<int>(Directories_.size()) - 1;
}

void TExifBlock::Add(int Dir, uint16_t Tag, uint16_t Type, uint32_t Count, const TBytes& Value) {
  Directories_.at(static_cast<size_t>(Dir)).push_back({Tag, Type, Count, Value, -1});
}

void TExifBlock::AddShort(int Dir, uint16_t Tag, std::initializer_list<uint16_t> Values) {
  TBytes value;
  for (uint16_t v : Values) {
    const TBytes b = U16(v);
    value.insert(value.end(), b.begin(), b.end());
  }
  Add(Dir, Tag, 3, static_cast<uint32_t>(Values.size()), value);
}

void TExifBlock::AddSShort(int Dir, uint16_t Tag, int16_t Value) {
  Add(Dir, Tag, 8, 1, U16(static_cast<uint16_t>(Value)));
}

void TExifBlock::AddLong(int Dir, uint16_t Tag, uint32_t Value) {
  Add(Dir, Tag, 4, 1, U32(Value));
}

void TExifBlock::AddAscii(int Dir, uint16_t Tag, const std::string& Text) {
  Add(Dir, Tag, 2, static_cast<uint32_t>(Text.size()), Bytes(Text));
}

void TExifBlock::AddUndefined(int Dir, uint16_t Tag, const TBytes& Value) {
  Add(Dir, Tag, 7, static_cast<uint32_t>(Value.size()), Value);
}

void TExifBlock::AddRationals(int Dir, uint16_t Tag,
                              std::initializer_list<std::pair<uint32_t, uint32_t>> Values) {
  TBytes value;
  for (const auto& [n, d] : Values) {
    const TBytes a = U32(n), b = U32(d);
    value.insert(value.end(), a.begin(), a.end());
    value.insert(value.end(), b.begin(), b.end());
  }
  Add(Dir, Tag, 5, static_cast<uint32_t>(Values.size()), value);
}

void TExifBlock::AddPointer(int Dir, uint16_t Tag, int Target) {
  Directories_.at(static_cast<size_t>(Dir)).push_back({Tag, 4, 1, TBytes(4, 0), Target});
}

uint32_t TExifBlock::DirectorySize(int Dir) const {
  const auto& entries = Directories_.at(static_cast<size_t>(Dir));
  uint32_t size = 2 + 12 * static_cast<uint32_t>(entries.size()) + 4;
  for (const TEntry& e : entries) {
    if (e.Value.size() > 4) size += static_cast<uint32_t>(e.Value.size());
  }
  return size;
}

uint32_t TExifBlock::DirectoryOffset(int Dir) const {
  uint32_t offset = 8;
  for (int d = 0; d < Dir; ++d) offset += DirectorySize(d);
  return offset;
}

uint32_t TExifBlock::ValueFieldOffset(int Dir, int Index) const {
  return DirectoryOffset(Dir) + 2 + 12 * static_cast<uint32_t>(Index) + 8;
}

TBytes TExifBlock::Tiff() const {
  TBytes out = BigEndian_ ? TBytes{'M', 'M'} : TBytes{'I', 'I'};
  const auto append = [&out](const TBytes& b) { out.insert(out.end(), b.begin(), b.end()); };
  append(U16(42));
  append(U32(FirstOffset_ == 0xFFFFFFFF ? DirectoryOffset(0) : FirstOffset_));
  for (size_t d = 0; d < Directories_.size(); ++d) {
    const auto& entries = Directories_[d];
    const uint32_t start = DirectoryOffset(static_cast<int>(d));
    uint32_t valueOffset = start + 2 + 12 * static_cast<uint32_t>(entries.size()) + 4;
    TBytes values;
    append(U16(static_cast<uint16_t>(entries.size())));
    for (const TEntry& e : entries) {
      append(U16(e.Tag));
      append(U16(e.Type));
      append(U32(e.Count));
      if (e.Target >= 0) {
        append(U32(DirectoryOffset(e.Target)));
      } else if (e.Value.size() <= 4) {
        TBytes field = e.Value;
        field.resize(4, 0);
        append(field);
      } else {
        append(U32(valueOffset));
        values.insert(values.end(), e.Value.begin(), e.Value.end());
        valueOffset += static_cast<uint32_t>(e.Value.size());
      }
    }
    append(U32(0));
    append(values);
  }
  return out;
}

TBytes TExifBlock::App1Payload() const {
  TBytes out = {'E', 'x', 'i', 'f', 0, 0};
  const TBytes tiff = Tiff();
  out.insert(out.end(), tiff.begin(), tiff.end());
  return out;
}

TBytes TExifBlock::App1() const {
  return Segment(0xE1, App1Payload());
}

// ---------------------------------------------------------------------------

std::vector<TFoundSegment> ListSegments(const TBytes& Jpeg) {
  std::vector<TFoundSegment> found;
  if (Jpeg.size() < 2 || Jpeg[0] != 0xFF || Jpeg[1] != 0xD8) return found;
  size_t at = 2;
  while (at + 4 <= Jpeg.size() && Jpeg[at] == 0xFF) {
    const uint8_t marker = Jpeg[at + 1];
    const size_t length = size_t{Jpeg[at + 2]} << 8 | Jpeg[at + 3];
    if (at + 2 + length > Jpeg.size()) break;
    found.push_back({marker, TBytes(Jpeg.begin() + static_cast<std::ptrdiff_t>(at),
                                    Jpeg.begin() + static_cast<std::ptrdiff_t>(at + 2 + length))});
    if (marker == 0xDA) break;
    at += 2 + length;
  }
  return found;
}

int CountSoi(const TBytes& Jpeg) {
  // SOI markers where a marker may stand: at the start and between segments.
  int count = 0;
  size_t at = 0;
  while (at + 2 <= Jpeg.size() && Jpeg[at] == 0xFF) {
    const uint8_t marker = Jpeg[at + 1];
    if (marker == 0xD8) {
      ++count;
      at += 2;
      continue;
    }
    if (marker == 0xDA || at + 4 > Jpeg.size()) break;
    at += 2 + (size_t{Jpeg[at + 2]} << 8 | Jpeg[at + 3]);
  }
  return count;
}

TBytes EncodedPicture(int Width, int Height, unsigned Seed) {
  TJpegImage image;
  image.Assign(MakeNaturalImage(Width, Height, Seed));
  return image.EncodedData();
}

TBytes WithHeader(const TBytes& Picture, std::initializer_list<TBytes> Segments) {
  size_t at = 2;
  while (at + 4 <= Picture.size() && Picture[at] == 0xFF && Picture[at + 1] >= 0xE0 &&
         Picture[at + 1] <= 0xEF) {
    at += 2 + (size_t{Picture[at + 2]} << 8 | Picture[at + 3]);
  }
  TBytes out = {0xFF, 0xD8};
  for (const TBytes& s : Segments) out.insert(out.end(), s.begin(), s.end());
  out.insert(out.end(), Picture.begin() + static_cast<std::ptrdiff_t>(at), Picture.end());
  return out;
}

std::vector<int> SectionMarkers(const TMetadata& Metadata) {
  std::vector<int> markers;
  for (int i = 1; i <= Metadata.SectionCount(); ++i) markers.push_back(Metadata.Section(i).Marker);
  return markers;
}

std::string DateText(const std::optional<std::tm>& Time) {
  if (!Time) return "none";
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", Time->tm_year + 1900,
                Time->tm_mon + 1, Time->tm_mday, Time->tm_hour, Time->tm_min, Time->tm_sec);
  return text;
}

}  // namespace pictrim::test
