#include "image/HeifFormat.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "image/IsoBoxes.h"
#include "util/Errors.h"

namespace pictrim {
namespace {

// Brands of still pictures and picture sequences in the container.
constexpr std::array<std::string_view, 14> HeifBrands = {"heic", "heix", "heim", "heis", "hevc",
                                                         "hevx", "hevm", "hevs", "mif1", "mif2",
                                                         "msf1", "avif", "avis", "avio"};

// Bytes read from a file to find its brands: the file-type box comes
// first and is short.
constexpr size_t HeaderBytes = 1024;

bool IsHeifBrand(const uint8_t* Brand) {
  const std::string_view text(reinterpret_cast<const char*>(Brand), 4);
  return std::find(HeifBrands.begin(), HeifBrands.end(), text) != HeifBrands.end();
}

// Where an item's bytes lie: in the file, or in the metadata's data box.
struct TItemPlace {
  uint16_t Method = 0;  // 0 in the file, 1 in the data box
  uint64_t Offset = 0;
  uint64_t Length = 0;  // 0: to the end
};

// Reads the numbers of the item location box one after another.
class TFieldReader {
 public:
  explicit TFieldReader(const TByteWindow& Window) : Window_(Window) {}
  // A big-endian number of Size bytes (0, 2, 4 or 8; 0 gives 0).
  uint64_t Take(unsigned Size) {
    uint64_t value = 0;
    if (Size == 2) value = Window_.U16(At_, true);
    if (Size == 4) value = Window_.U32(At_, true);
    if (Size == 8) value = Window_.U64(At_, true);
    At_ += Size;
    return value;
  }
  void Skip(uint64_t Count) {
    if (!Window_.Holds(At_, Count)) throw ERangeError("an item location beyond its box");
    At_ += Count;
  }

 private:
  TByteWindow Window_;
  uint64_t At_ = 0;
};

bool IsFieldSize(unsigned Size) {
  return Size == 0 || Size == 4 || Size == 8;
}

// The number of the item whose type is "Exif", from the item information
// box (entries of version 2 and 3 name their type).
std::optional<uint32_t> ExifItemNumber(const TByteWindow& Info) {
  const uint64_t entries = Info.U8(0) == 0 ? 6 : 8;  // version and flags, the count
  TBoxReader reader(Info.From(entries));
  while (std::optional<TIsoBox> box = reader.Next()) {
    if (box->Type != FourCC("infe")) continue;
    const TByteWindow& entry = box->Contents;
    const uint8_t version = entry.U8(0);
    if (version != 2 && version != 3) continue;
    const uint64_t numberSize = version == 2 ? 2 : 4;
    if (entry.Matches(4 + numberSize + 2, "Exif")) {
      return version == 2 ? entry.U16(4, true) : entry.U32(4, true);
    }
  }
  return std::nullopt;
}

// The place of item Number, from the item location box; nothing when the box
// does not list it, or lists it in pieces.
std::optional<TItemPlace> ItemPlace(const TByteWindow& Location, uint32_t Number) {
  const uint8_t version = Location.U8(0);
  if (version > 2) return std::nullopt;
  const unsigned offsetSize = Location.U8(4) >> 4;
  const unsigned lengthSize = Location.U8(4) & 15;
  const unsigned baseSize = Location.U8(5) >> 4;
  const unsigned indexSize = version == 0 ? 0 : Location.U8(5) & 15;
  if (!IsFieldSize(offsetSize) || !IsFieldSize(lengthSize) || !IsFieldSize(baseSize) ||
      !IsFieldSize(indexSize)) {
    return std::nullopt;
  }
  const unsigned numberSize = version < 2 ? 2 : 4;
  TFieldReader fields(Location.From(6));
  const uint64_t count = fields.Take(numberSize);
  // Every item takes at least six bytes, so a count the box cannot hold ends
  // the walk at the end of the box.
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t number = fields.Take(numberSize);
    const auto method = static_cast<uint16_t>(version == 0 ? 0 : fields.Take(2) & 15);
    fields.Take(2);  // data reference: the file itself
    const uint64_t base = fields.Take(baseSize);
    const uint64_t extents = fields.Take(2);
    if (number != Number) {
      fields.Skip(extents * (indexSize + offsetSize + lengthSize));
      continue;
    }
    if (extents != 1) return std::nullopt;
    fields.Take(indexSize);
    TItemPlace place;
    place.Method = method;
    if (__builtin_add_overflow(base, fields.Take(offsetSize), &place.Offset)) return std::nullopt;
    place.Length = fields.Take(lengthSize);
    return place;
  }
  return std::nullopt;
}

// The bytes of an item placed in File, or in the metadata box Meta's data box.
std::optional<TByteWindow> ItemBytes(const TByteWindow& File, const TByteWindow& Meta,
                                     const TItemPlace& Place) {
  std::optional<TByteWindow> store;
  if (Place.Method == 0) store = File;
  if (Place.Method == 1) {
    if (std::optional<TIsoBox> data = FindBox(Meta, FourCC("idat"))) store = data->Contents;
  }
  if (!store || !store->Holds(Place.Offset, Place.Length)) return std::nullopt;
  return Place.Length == 0 ? store->From(Place.Offset) : store->Part(Place.Offset, Place.Length);
}

}  // namespace

bool IsHeifHeader(const uint8_t* Data, size_t Size) {
  // Box size, "ftyp", major brand, minor version, then compatible brands.
  if (Data == nullptr || Size < 16 || std::memcmp(Data + 4, "ftyp", 4) != 0) return false;
  const uint32_t boxSize =
      uint32_t{Data[0]} << 24 | uint32_t{Data[1]} << 16 | uint32_t{Data[2]} << 8 | Data[3];
  if (boxSize < 16) return false;
  if (IsHeifBrand(Data + 8)) return true;
  const size_t end = std::min<size_t>(boxSize, Size);
  for (size_t at = 16; end - at >= 4; at += 4) {
    if (IsHeifBrand(Data + at)) return true;
  }
  return false;
}

bool HasHeifExtension(const std::string& FileName) {
  const size_t dot = FileName.rfind('.');
  if (dot == std::string::npos || FileName.find('/', dot) != std::string::npos) return false;
  std::string extension = FileName.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == "heic" || extension == "heif" || extension == "hif" || extension == "avif";
}

bool StartsAsHeif(const std::string& Path) {
  const int fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  uint8_t head[HeaderBytes];
  size_t got = 0;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    while (got < sizeof head) {
      const ssize_t n = ::read(fd, head + got, sizeof head - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
  }
  ::close(fd);
  return IsHeifHeader(head, got);
}

std::optional<TByteWindow> HeifExifBlock(const TByteWindow& File) {
  const std::vector<uint8_t> head = File.Bytes(0, std::min<uint64_t>(File.Size(), HeaderBytes));
  if (!IsHeifHeader(head.data(), head.size())) return std::nullopt;
  const std::optional<TIsoBox> meta = FindBox(File, FourCC("meta"));
  if (!meta || meta->Contents.Size() < 4) return std::nullopt;
  const TByteWindow children = meta->Contents.From(4);  // behind version and flags
  const std::optional<TIsoBox> info = FindBox(children, FourCC("iinf"));
  const std::optional<TIsoBox> location = FindBox(children, FourCC("iloc"));
  if (!info || !location) return std::nullopt;
  const std::optional<uint32_t> number = ExifItemNumber(info->Contents);
  if (!number) return std::nullopt;
  const std::optional<TItemPlace> place = ItemPlace(location->Contents, *number);
  if (!place) return std::nullopt;
  const std::optional<TByteWindow> item = ItemBytes(File, children, *place);
  // The item begins with the offset of the TIFF header behind this number.
  if (!item || item->Size() < 4) return std::nullopt;
  const uint32_t header = item->U32(0, true);
  if (header > item->Size() - 4) return std::nullopt;
  return item->From(4 + uint64_t{header});
}

}  // namespace pictrim
