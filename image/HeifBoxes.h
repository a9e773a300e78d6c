// The item boxes of a HEIF file (HEIC, HEIF, AVIF), read by the decoder
// process as hostile bytes: which item is the primary picture, what type each
// item has, where its data lies, which items a grid is made of and which
// properties belong to an item. Enough to decode a grid's tiles one at a
// time; libheif reads the rest. Every count and offset is checked against
// the bytes that remain; a file that breaks a rule is no grid this reader
// takes (libheif then judges it).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pictrim::decoding {

// Reads Size bytes at Offset of the file into Out; false when the file has
// fewer.
using THeifReadFn = std::function<bool(uint64_t Offset, uint64_t Size, uint8_t* Out)>;

// One property box of the item property container, whole (size and type
// included), with its type.
struct THeifProperty {
  std::string Type;
  std::vector<uint8_t> Box;
};

// A property an item is associated with: its place in the container
// (from 0) and whether a reader must understand it.
struct THeifAssociation {
  uint32_t Index = 0;
  bool Essential = false;
};

struct THeifExtent {
  uint64_t Offset = 0;  // in the file, or in the item data box
  uint64_t Length = 0;  // 0: to the end of the file
};

struct THeifItem {
  uint32_t Id = 0;
  std::string Type;              // "hvc1", "av01", "grid", "Exif", ...
  bool InItemData = false;       // its extents lie in the item data box
  std::vector<THeifExtent> Extents;
  std::vector<THeifAssociation> Properties;  // in the order listed
};

struct THeifMeta {
  uint32_t Primary = 0;
  std::vector<THeifItem> Items;
  std::vector<THeifProperty> Properties;
  // References by kind ("dimg", "auxl", ...): from an item to others.
  struct TReference {
    std::string Kind;
    uint32_t From = 0;
    std::vector<uint32_t> To;
  };
  std::vector<TReference> References;
  std::vector<uint8_t> ItemData;  // the item data box's bytes

  const THeifItem* Item(uint32_t Id) const;
  // The items From refers to by Kind, in order; empty when none.
  std::vector<uint32_t> ReferencedBy(uint32_t From, const char* Kind) const;
  // True when some item refers to To by Kind.
  bool IsReferenced(uint32_t To, const char* Kind) const;
  // The item's property of Type (the first one); null when it has none.
  const THeifProperty* PropertyOf(const THeifItem& Item, const char* Type) const;
};

// Bounds on what is read, so that a file cannot make the reader hold much.
inline constexpr uint64_t MaxMetaBytes = 16u << 20;
inline constexpr uint64_t MaxItemBytes = 64u << 20;
inline constexpr uint32_t MaxItems = 1u << 16;

// Reads the meta box of a file of FileSize bytes; none when it has none
// that follows the rules, or when it is larger than MaxMetaBytes.
std::optional<THeifMeta> ReadHeifMeta(const THeifReadFn& Read, uint64_t FileSize);

// The data of Item: its extents one after another, read from the file or
// the item data box; none when an extent lies outside them or the whole is
// larger than Limit.
std::optional<std::vector<uint8_t>> ReadItemData(const THeifMeta& Meta, const THeifItem& Item,
                                                 const THeifReadFn& Read, uint64_t FileSize,
                                                 uint64_t Limit = MaxItemBytes);

// A grid item's description: its tiles' rows and columns and the picture's
// size.
struct THeifGridShape {
  uint32_t Rows = 0;
  uint32_t Columns = 0;
  uint32_t Width = 0;
  uint32_t Height = 0;
};
std::optional<THeifGridShape> ReadGridShape(const std::vector<uint8_t>& Data);

// An image spatial extent property's width and height; none when Box is no
// such box.
std::optional<std::pair<uint32_t, uint32_t>> ReadSpatialExtent(const std::vector<uint8_t>& Box);

}  // namespace pictrim::decoding
