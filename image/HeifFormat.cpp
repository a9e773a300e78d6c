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

#include "image/HeifBoxes.h"
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

// The Exif item's bytes may not make a run read more than this.
constexpr uint64_t MaxExifItemBytes = 4u << 20;

// Reads from the window for the item box reader; false beyond its end or
// beyond what the window's source may read.
decoding::THeifReadFn WindowReader(const TByteWindow& File) {
  return [&File](uint64_t Offset, uint64_t Size, uint8_t* Out) {
    try {
      if (!File.Holds(Offset, Size)) return false;
      const std::vector<uint8_t> bytes = File.Bytes(Offset, static_cast<size_t>(Size));
      std::copy(bytes.begin(), bytes.end(), Out);
      return true;
    } catch (const ERangeError&) {
      return false;
    }
  };
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

std::optional<std::vector<uint8_t>> HeifExifBlock(const TByteWindow& File) {
  const std::vector<uint8_t> head = File.Bytes(0, std::min<uint64_t>(File.Size(), HeaderBytes));
  if (!IsHeifHeader(head.data(), head.size())) return std::nullopt;
  const decoding::THeifReadFn read = WindowReader(File);
  const std::optional<decoding::THeifMeta> meta = decoding::ReadHeifMeta(read, File.Size());
  if (!meta) return std::nullopt;
  for (const decoding::THeifItem& item : meta->Items) {
    if (item.Type != "Exif") continue;
    std::optional<std::vector<uint8_t>> data =
        decoding::ReadItemData(*meta, item, read, File.Size(), MaxExifItemBytes);
    // The item begins with the offset of the TIFF header behind this number.
    if (!data || data->size() < 4) return std::nullopt;
    const uint64_t header = uint64_t{(*data)[0]} << 24 | uint64_t{(*data)[1]} << 16 |
                            uint64_t{(*data)[2]} << 8 | (*data)[3];
    if (header > data->size() - 4) return std::nullopt;
    data->erase(data->begin(), data->begin() + static_cast<std::ptrdiff_t>(4 + header));
    return data;
  }
  return std::nullopt;
}

}  // namespace pictrim
