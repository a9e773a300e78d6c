#include "metadata/PhotoDates.h"

#include <algorithm>
#include <exception>
#include <string_view>
#include <vector>

#include "image/HeifFormat.h"
#include "image/IsoBoxes.h"

namespace pictrim {
namespace {

constexpr std::string_view RafSignature = "FUJIFILMCCD-RAW ";
// A RAF header gives the offset and the length of its JPEG here (big-endian).
constexpr uint64_t RafJpegOffsetAt = 84;
constexpr uint64_t RafJpegLengthAt = 88;
// The name of the box in which a CR3 file keeps its metadata boxes; CMT1
// holds the first EXIF directory, CMT2 the Exif directory, each as a TIFF
// structure of its own.
constexpr std::string_view CanonMetadataBox =
    "\x85\xc0\xb6\x87\x82\x0f\x11\xe0\x81\x11\xf4\xce\x46\x2b\x6a\x48";
// Bytes looked at to tell a container by its file-type box's brands.
constexpr uint64_t BrandBytes = 1024;

bool IsTiffHeader(const TByteWindow& File) {
  if (File.Size() < 8) return false;
  const uint16_t order = File.U16(0, true);
  if (order != 0x4949 && order != 0x4D4D) return false;
  const uint16_t number = File.U16(2, order == 0x4D4D);
  return number == 42 || number == 0x4F52 || number == 0x5352 || number == 0x55;
}

bool IsHeif(const TByteWindow& File) {
  const std::vector<uint8_t> head = File.Bytes(0, std::min(File.Size(), BrandBytes));
  return IsHeifHeader(head.data(), head.size());
}

TTakenDates JpegDates(const TByteWindow& Jpeg) {
  const std::optional<TByteWindow> block = JpegExifBlock(Jpeg);
  return block ? TiffTakenDates(*block) : TTakenDates();
}

TTakenDates RafDates(const TByteWindow& File) {
  const uint32_t offset = File.U32(RafJpegOffsetAt, true);
  const uint32_t length = File.U32(RafJpegLengthAt, true);
  return JpegDates(File.Part(offset, length));
}

TTakenDates Cr3Dates(const TByteWindow& File) {
  TTakenDates dates;
  const std::optional<TIsoBox> movie = FindBox(File, FourCC("moov"));
  if (!movie) return dates;
  TBoxReader reader(movie->Contents);
  while (std::optional<TIsoBox> box = reader.Next()) {
    if (box->Type != FourCC("uuid") || !box->Name.Matches(0, CanonMetadataBox)) continue;
    for (const char* name : {"CMT2", "CMT1"}) {
      if (std::optional<TIsoBox> directory = FindBox(box->Contents, FourCC(name)))
        dates.Fill(TiffTakenDates(directory->Contents));
    }
    break;
  }
  return dates;
}

TTakenDates HeifDates(const TByteWindow& File) {
  const std::optional<std::vector<uint8_t>> block = HeifExifBlock(File);
  if (!block) return TTakenDates();
  const TMemorySource source(*block);
  return TiffTakenDates(TByteWindow(source));
}

}  // namespace

TCameraContainer CameraContainerOf(const TByteWindow& File) {
  if (File.Matches(0, "\xFF\xD8\xFF")) return TCameraContainer::Jpeg;
  if (File.Matches(0, RafSignature)) return TCameraContainer::Raf;
  if (IsTiffHeader(File)) return TCameraContainer::Tiff;
  if (File.Matches(4, "ftypcrx ")) return TCameraContainer::Cr3;
  if (IsHeif(File)) return TCameraContainer::Heif;
  return TCameraContainer::Unknown;
}

TTakenDates CameraTakenDates(const TByteWindow& File) {
  switch (CameraContainerOf(File)) {
    case TCameraContainer::Jpeg:
      return JpegDates(File);
    case TCameraContainer::Tiff:
      return TiffTakenDates(File);
    case TCameraContainer::Raf:
      return RafDates(File);
    case TCameraContainer::Cr3:
      return Cr3Dates(File);
    case TCameraContainer::Heif:
      return HeifDates(File);
    case TCameraContainer::Unknown:
      break;
  }
  return TTakenDates();
}

std::optional<std::tm> ReadCameraTimeTaken(const std::string& Path) {
  try {
    const TFileSource source(Path);
    return CameraTakenDates(TByteWindow(source)).TimeTaken();
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace pictrim
