// Byte builders for the metadata tests: JPEG files assembled from segments,
// EXIF blocks assembled from directory entries, and an independent segment
// lister to look at what the writer produced.
#pragma once

#include <cstdint>
#include <ctime>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pictrim {
class TMetadata;
}

namespace pictrim::test {

using TBytes = std::vector<uint8_t>;

// One segment: 0xFF, Marker, the big-endian length (payload + 2), Payload.
TBytes Segment(uint8_t Marker, const TBytes& Payload);
TBytes Segment(uint8_t Marker, const std::string& Payload);
// SOI, the segments, a short SOS header and EOI.
TBytes JpegFile(std::initializer_list<TBytes> Segments);
// A segment of Marker with Size payload bytes (filled with Fill).
TBytes FilledSegment(uint8_t Marker, size_t Size, uint8_t Fill = 0);

TBytes Concat(std::initializer_list<TBytes> Parts);
TBytes Bytes(const std::string& Text);
void WriteBytes(const std::string& Path, const TBytes& Bytes);
TBytes ReadBytes(const std::string& Path);

// An EXIF (TIFF-structured) block built from directories. Directory 0 is the
// first directory; values longer than four bytes are placed behind their
// directory. Offsets are counted from the start of the TIFF header.
class TExifBlock {
 public:
  explicit TExifBlock(bool BigEndian) : BigEndian_(BigEndian), Directories_(1) {}

  // A new directory; returns its number.
  int AddDirectory();
  // An entry with its value bytes given in the block's byte order.
  void Add(int Dir, uint16_t Tag, uint16_t Type, uint32_t Count, const TBytes& Value);
  void AddShort(int Dir, uint16_t Tag, std::initializer_list<uint16_t> Values);
  void AddSShort(int Dir, uint16_t Tag, int16_t Value);
  void AddLong(int Dir, uint16_t Tag, uint32_t Value);
  // Text as stored, including any zero bytes it should end with.
  void AddAscii(int Dir, uint16_t Tag, const std::string& Text);
  void AddUndefined(int Dir, uint16_t Tag, const TBytes& Value);
  void AddRationals(int Dir, uint16_t Tag,
                    std::initializer_list<std::pair<uint32_t, uint32_t>> Values);
  // A LONG entry holding the offset of directory Target.
  void AddPointer(int Dir, uint16_t Tag, int Target);

  // Overrides the first-directory offset of the header.
  void SetFirstDirectoryOffset(uint32_t Offset) { FirstOffset_ = Offset; }

  // The TIFF block: header, directories, values.
  TBytes Tiff() const;
  // The payload of the APP1 segment: "Exif", two zero bytes, the TIFF block.
  TBytes App1Payload() const;
  TBytes App1() const;
  // Offset (from the TIFF header) of directory Dir and of the value field of
  // its entry Index.
  uint32_t DirectoryOffset(int Dir) const;
  uint32_t ValueFieldOffset(int Dir, int Index) const;

  TBytes U16(uint16_t Value) const;
  TBytes U32(uint32_t Value) const;

 private:
  struct TEntry {
    uint16_t Tag;
    uint16_t Type;
    uint32_t Count;
    TBytes Value;
    int Target;  // directory whose offset is the value, -1 for none
  };
  uint32_t DirectorySize(int Dir) const;

  bool BigEndian_;
  uint32_t FirstOffset_ = 0xFFFFFFFF;  // default: where directory 0 lies
  std::vector<std::vector<TEntry>> Directories_;
};

// A segment as found in a JPEG file (up to and including SOS).
struct TFoundSegment {
  uint8_t Marker;
  TBytes Bytes;  // 0xFF, marker, length and payload
};
// Lists the segments behind SOI until SOS (included). Empty when the bytes do
// not begin with SOI.
std::vector<TFoundSegment> ListSegments(const TBytes& Jpeg);
// The number of SOI markers (FF D8) standing as markers before SOS (an
// embedded thumbnail's SOI inside a segment does not count).
int CountSoi(const TBytes& Jpeg);

// An encoded JPEG picture of the given size made by the JPEG picture object
// (its own JFIF header, nothing else in front of the picture data).
TBytes EncodedPicture(int Width, int Height, unsigned Seed = 1);
// Picture bytes with the segments after SOI replaced by Segments (the
// picture's own APP0 dropped).
TBytes WithHeader(const TBytes& Picture, std::initializer_list<TBytes> Segments);

// A date and time as "YYYY-MM-DD HH:MM:SS"; "none" for nothing.
std::string DateText(const std::optional<std::tm>& Time);

// The marker of every counted slot of a read section list, in order.
std::vector<int> SectionMarkers(const TMetadata& Metadata);

}  // namespace pictrim::test
