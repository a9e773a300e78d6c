#include "image/HeifBoxes.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace pictrim::decoding {
namespace {

// Top-level boxes looked at for the meta box before giving up.
constexpr int MaxTopLevelBoxes = 1024;

// Big-endian numbers read from a run of bytes; every read checks what is
// left first, and a failed read leaves the cursor failed.
class TCursor {
 public:
  TCursor() = default;
  TCursor(const uint8_t* Data, size_t Size) : Data_(Data), Size_(Size) {}

  size_t Left() const { return Size_ - At_; }
  const uint8_t* Here() const { return Data_ + At_; }

  bool Number(size_t Bytes, uint64_t& Value) {
    if (Bytes > 8 || Bytes > Left()) return false;
    Value = 0;
    for (size_t i = 0; i < Bytes; ++i) Value = Value << 8 | Data_[At_ + i];
    At_ += Bytes;
    return true;
  }
  bool U8(uint32_t& Value) { return Narrow(1, Value); }
  bool U16(uint32_t& Value) { return Narrow(2, Value); }
  bool U32(uint32_t& Value) { return Narrow(4, Value); }
  bool Skip(size_t Bytes) {
    if (Bytes > Left()) return false;
    At_ += Bytes;
    return true;
  }
  // The next Bytes bytes as a cursor of their own.
  bool Take(size_t Bytes, TCursor& Part) {
    if (Bytes > Left()) return false;
    Part = TCursor(Data_ + At_, Bytes);
    At_ += Bytes;
    return true;
  }
  bool Text(size_t Bytes, std::string& Value) {
    if (Bytes > Left()) return false;
    Value.assign(reinterpret_cast<const char*>(Data_ + At_), Bytes);
    At_ += Bytes;
    return true;
  }

 private:
  bool Narrow(size_t Bytes, uint32_t& Value) {
    uint64_t wide = 0;
    if (!Number(Bytes, wide)) return false;
    Value = static_cast<uint32_t>(wide);
    return true;
  }

  const uint8_t* Data_ = nullptr;
  size_t Size_ = 0;
  size_t At_ = 0;
};

struct TBox {
  std::string Type;
  const uint8_t* Start = nullptr;  // the box's first byte (its size)
  size_t Size = 0;                 // the whole box
  TCursor Body;                    // what follows the header
};

// The next box of In; false at the end or when its size breaks the rules.
bool NextBox(TCursor& In, TBox& Box) {
  if (In.Left() < 8) return false;
  Box.Start = In.Here();
  uint32_t size32 = 0;
  if (!In.U32(size32) || !In.Text(4, Box.Type)) return false;
  uint64_t size = size32;
  size_t header = 8;
  if (size32 == 1) {
    if (!In.Number(8, size)) return false;
    header = 16;
  } else if (size32 == 0) {
    size = header + In.Left();
  }
  if (size < header || size - header > In.Left()) return false;
  Box.Size = static_cast<size_t>(size);
  return In.Take(static_cast<size_t>(size - header), Box.Body);
}

class TMetaReader {
 public:
  std::optional<THeifMeta> Read(TCursor Body) {
    uint32_t version = 0, flags = 0;
    if (!ReadVersion(Body, version, flags) || version != 0) return std::nullopt;
    TBox box;
    while (NextBox(Body, box)) {
      bool ok = true;
      if (box.Type == "pitm") ok = ReadPrimary(box.Body);
      if (box.Type == "iinf") ok = ReadInfos(box.Body);
      if (box.Type == "iloc") ok = ReadLocations(box.Body);
      if (box.Type == "iref") ok = ReadReferences(box.Body);
      if (box.Type == "iprp") ok = ReadProperties(box.Body);
      if (box.Type == "idat") Meta_.ItemData.assign(box.Body.Here(), box.Body.Here() + box.Body.Left());
      if (!ok) return std::nullopt;
    }
    for (const auto& [id, location] : Locations_) {
      if (THeifItem* item = Find(id)) {
        item->InItemData = location.InItemData;
        item->Extents = location.Extents;
      }
    }
    for (const auto& [id, associations] : Associations_) {
      if (THeifItem* item = Find(id)) item->Properties = associations;
    }
    return std::move(Meta_);
  }

 private:
  struct TLocation {
    bool InItemData = false;
    std::vector<THeifExtent> Extents;
  };

  static bool ReadVersion(TCursor& Body, uint32_t& Version, uint32_t& Flags) {
    uint64_t flags = 0;
    if (!Body.U8(Version) || !Body.Number(3, flags)) return false;
    Flags = static_cast<uint32_t>(flags);
    return true;
  }

  THeifItem* Find(uint32_t Id) {
    const auto at = Index_.find(Id);
    return at == Index_.end() ? nullptr : &Meta_.Items[at->second];
  }

  bool ReadPrimary(TCursor Body) {
    uint32_t version = 0, flags = 0;
    if (!ReadVersion(Body, version, flags)) return false;
    return version == 0 ? Body.U16(Meta_.Primary) : Body.U32(Meta_.Primary);
  }

  bool ReadInfos(TCursor Body) {
    uint32_t version = 0, flags = 0, count = 0;
    if (!ReadVersion(Body, version, flags)) return false;
    if (!(version == 0 ? Body.U16(count) : Body.U32(count))) return false;
    TBox box;
    while (NextBox(Body, box)) {
      if (box.Type != "infe") continue;
      uint32_t infeVersion = 0, infeFlags = 0, id = 0, protection = 0;
      std::string type;
      if (!ReadVersion(box.Body, infeVersion, infeFlags)) return false;
      if (infeVersion < 2) continue;  // no item type in the old forms
      if (!(infeVersion == 2 ? box.Body.U16(id) : box.Body.U32(id)) || !box.Body.U16(protection) ||
          !box.Body.Text(4, type))
        return false;
      if (Meta_.Items.size() >= MaxItems || Index_.count(id) > 0) return false;
      Index_[id] = Meta_.Items.size();
      Meta_.Items.push_back({id, type, false, {}, {}});
    }
    return true;
  }

  bool ReadLocations(TCursor Body) {
    uint32_t version = 0, flags = 0, sizes = 0, more = 0, count = 0;
    if (!ReadVersion(Body, version, flags) || version > 2 || !Body.U8(sizes) || !Body.U8(more))
      return false;
    const uint32_t offsetSize = sizes >> 4, lengthSize = sizes & 15;
    const uint32_t baseSize = more >> 4, indexSize = version >= 1 ? (more & 15) : 0;
    for (const uint32_t size : {offsetSize, lengthSize, baseSize, indexSize}) {
      if (size != 0 && size != 4 && size != 8) return false;
    }
    if (!(version < 2 ? Body.U16(count) : Body.U32(count))) return false;
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t id = 0, method = 0, reference = 0, extents = 0;
      uint64_t base = 0;
      if (!(version < 2 ? Body.U16(id) : Body.U32(id))) return false;
      if (version >= 1 && !Body.U16(method)) return false;
      method &= 15;
      if (!Body.U16(reference) || !Body.Number(baseSize, base) || !Body.U16(extents)) return false;
      TLocation location;
      location.InItemData = method == 1;
      // Data in another file, or taken from another item: not read here.
      const bool usable = reference == 0 && method <= 1;
      // Every extent takes its bytes of the box, but one without sizes takes
      // none (it is the whole): more than one such would cost nothing to claim.
      const uint32_t extentBytes = indexSize + offsetSize + lengthSize;
      if (extentBytes == 0 ? extents > 1 : extents > Body.Left() / extentBytes) return false;
      for (uint32_t e = 0; e < extents; ++e) {
        uint64_t index = 0, offset = 0, length = 0;
        if (!Body.Number(indexSize, index) || !Body.Number(offsetSize, offset) ||
            !Body.Number(lengthSize, length))
          return false;
        if (offset > UINT64_MAX - base) return false;
        location.Extents.push_back({base + offset, length});
      }
      if (!usable) location.Extents.clear();
      if (usable && !location.Extents.empty()) Locations_[id] = std::move(location);
    }
    return true;
  }

  bool ReadReferences(TCursor Body) {
    uint32_t version = 0, flags = 0;
    if (!ReadVersion(Body, version, flags) || version > 1) return false;
    TBox box;
    while (NextBox(Body, box)) {
      THeifMeta::TReference reference;
      reference.Kind = box.Type;
      uint32_t count = 0;
      if (!(version == 0 ? box.Body.U16(reference.From) : box.Body.U32(reference.From)) ||
          !box.Body.U16(count))
        return false;
      for (uint32_t i = 0; i < count; ++i) {
        uint32_t to = 0;
        if (!(version == 0 ? box.Body.U16(to) : box.Body.U32(to))) return false;
        reference.To.push_back(to);
      }
      Meta_.References.push_back(std::move(reference));
    }
    return true;
  }

  bool ReadProperties(TCursor Body) {
    TBox box;
    while (NextBox(Body, box)) {
      if (box.Type == "ipco") {
        TBox property;
        while (NextBox(box.Body, property)) {
          Meta_.Properties.push_back(
              {property.Type, std::vector<uint8_t>(property.Start, property.Start + property.Size)});
        }
      } else if (box.Type == "ipma" && !ReadAssociations(box.Body)) {
        return false;
      }
    }
    return true;
  }

  bool ReadAssociations(TCursor Body) {
    uint32_t version = 0, flags = 0, count = 0;
    if (!ReadVersion(Body, version, flags) || !Body.U32(count)) return false;
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t id = 0, associations = 0;
      if (!(version < 1 ? Body.U16(id) : Body.U32(id)) || !Body.U8(associations)) return false;
      std::vector<THeifAssociation>& list = Associations_[id];
      for (uint32_t a = 0; a < associations; ++a) {
        uint32_t entry = 0;
        const bool wide = (flags & 1) != 0;
        if (!(wide ? Body.U16(entry) : Body.U8(entry))) return false;
        const uint32_t essentialBit = wide ? 0x8000 : 0x80;
        const uint32_t index = entry & (essentialBit - 1);
        if (index == 0) continue;  // no property
        list.push_back({index - 1, (entry & essentialBit) != 0});
      }
    }
    return true;
  }

  THeifMeta Meta_;
  std::unordered_map<uint32_t, size_t> Index_;
  std::unordered_map<uint32_t, TLocation> Locations_;
  std::unordered_map<uint32_t, std::vector<THeifAssociation>> Associations_;
};

}  // namespace

const THeifItem* THeifMeta::Item(uint32_t Id) const {
  for (const THeifItem& item : Items) {
    if (item.Id == Id) return &item;
  }
  return nullptr;
}

std::vector<uint32_t> THeifMeta::ReferencedBy(uint32_t From, const char* Kind) const {
  for (const TReference& reference : References) {
    if (reference.From == From && reference.Kind == Kind) return reference.To;
  }
  return {};
}

bool THeifMeta::IsReferenced(uint32_t To, const char* Kind) const {
  for (const TReference& reference : References) {
    if (reference.Kind == Kind &&
        std::find(reference.To.begin(), reference.To.end(), To) != reference.To.end())
      return true;
  }
  return false;
}

const THeifProperty* THeifMeta::PropertyOf(const THeifItem& Item, const char* Type) const {
  for (const THeifAssociation& association : Item.Properties) {
    if (association.Index < Properties.size() && Properties[association.Index].Type == Type)
      return &Properties[association.Index];
  }
  return nullptr;
}

std::optional<THeifMeta> ReadHeifMeta(const THeifReadFn& Read, uint64_t FileSize) {
  uint64_t at = 0;
  for (int i = 0; i < MaxTopLevelBoxes && FileSize - at >= 8; ++i) {
    uint8_t head[16];
    const size_t headSize = FileSize - at >= 16 ? 16 : 8;
    if (!Read(at, headSize, head)) return std::nullopt;
    TCursor cursor(head, headSize);
    uint32_t size32 = 0;
    std::string type;
    cursor.U32(size32);
    cursor.Text(4, type);
    uint64_t size = size32;
    uint64_t header = 8;
    if (size32 == 1) {
      if (!cursor.Number(8, size)) return std::nullopt;
      header = 16;
    } else if (size32 == 0) {
      size = FileSize - at;
    }
    if (size < header || size > FileSize - at) return std::nullopt;
    if (type == "meta") {
      if (size > MaxMetaBytes) return std::nullopt;
      std::vector<uint8_t> body(static_cast<size_t>(size - header));
      if (!body.empty() && !Read(at + header, body.size(), body.data())) return std::nullopt;
      return TMetaReader().Read(TCursor(body.data(), body.size()));
    }
    at += size;
  }
  return std::nullopt;
}

std::optional<std::vector<uint8_t>> ReadItemData(const THeifMeta& Meta, const THeifItem& Item,
                                                 const THeifReadFn& Read, uint64_t FileSize,
                                                 uint64_t Limit) {
  std::vector<uint8_t> data;
  for (const THeifExtent& extent : Item.Extents) {
    const uint64_t limit = Item.InItemData ? Meta.ItemData.size() : FileSize;
    if (extent.Offset > limit) return std::nullopt;
    const uint64_t length = extent.Length == 0 ? limit - extent.Offset : extent.Length;
    if (length > limit - extent.Offset || length > Limit - data.size()) return std::nullopt;
    const size_t start = data.size();
    data.resize(start + static_cast<size_t>(length));
    if (length == 0) continue;  // an empty piece: nothing to copy, nor anywhere to copy it from
    if (Item.InItemData) {
      std::memcpy(data.data() + start, Meta.ItemData.data() + extent.Offset,
                  static_cast<size_t>(length));
    } else if (!Read(extent.Offset, length, data.data() + start)) {
      return std::nullopt;
    }
  }
  if (Item.Extents.empty()) return std::nullopt;
  return data;
}

std::optional<THeifGridShape> ReadGridShape(const std::vector<uint8_t>& Data) {
  TCursor cursor(Data.data(), Data.size());
  uint32_t version = 0, flags = 0, rows = 0, columns = 0;
  THeifGridShape shape;
  if (!cursor.U8(version) || version != 0 || !cursor.U8(flags) || !cursor.U8(rows) ||
      !cursor.U8(columns))
    return std::nullopt;
  const size_t field = (flags & 1) != 0 ? 4 : 2;
  uint64_t width = 0, height = 0;
  if (!cursor.Number(field, width) || !cursor.Number(field, height) || width == 0 || height == 0)
    return std::nullopt;
  shape.Rows = rows + 1;
  shape.Columns = columns + 1;
  shape.Width = static_cast<uint32_t>(width);
  shape.Height = static_cast<uint32_t>(height);
  return shape;
}

std::optional<std::pair<uint32_t, uint32_t>> ReadSpatialExtent(const std::vector<uint8_t>& Box) {
  TCursor all(Box.data(), Box.size());
  TBox box;
  uint64_t flags = 0;
  uint32_t version = 0, width = 0, height = 0;
  if (!NextBox(all, box) || box.Type != "ispe" || !box.Body.U8(version) ||
      !box.Body.Number(3, flags) || !box.Body.U32(width) || !box.Body.U32(height))
    return std::nullopt;
  return std::make_pair(width, height);
}

}  // namespace pictrim::decoding
