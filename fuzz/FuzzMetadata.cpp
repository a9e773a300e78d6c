// Fuzz target of the metadata reader: the input is written once as a .jpg
// and once as a .tif file and read by TMetadata; whatever was found is then
// listed, walked as a maker note and written back as header segments with a
// new picture size. Last the input is read once more from memory.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "metadata/Exif.h"
#include "util/MoreDialogs.h"

namespace {

// A folder in memory-backed storage when there is one.
const std::string& WorkFolder() {
  static const std::string folder = [] {
    std::string pattern = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
    pattern += "/pictrim-fuzz-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) std::abort();
    return std::string(buffer.data()) + "/";
  }();
  return folder;
}

void WriteInput(const std::string& Path, const uint8_t* Data, size_t Size) {
  std::ofstream out(Path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(Data), static_cast<std::streamsize>(Size));
}

// A maker's table as the decoders hand it over: a naming row 0, a coded row,
// a skipped row and a formatted row.
constexpr pictrim::TTagRow MakerTable[] = {
    {0, "Version"},
    {1, "Quality", "", "1:Fine,2:Normal"},
    {2, "Skip"},
    {3, "Firmware", "", "", "%s!", pictrim::FlashFormatter},
    {4, "Shutter", "", "", "", pictrim::ShutterSpeedFormatter},
};

void Exercise(pictrim::TMetadata& Metadata, const std::string& Path) {
  Metadata.ReadMetadata(Path);
  static_cast<void>(Metadata.ExifListing());
  pictrim::TExifInfo* info = Metadata.ExifInfo();
  if (info != nullptr) {
    const pictrim::TBytes note = info->MakerNote();
    info->ReadMakerNoteDirectory(note, MakerTable, 8, info->MakerNotePos(), 9);
    info->ReadMakerNoteDirectory(note, MakerTable, 0, int64_t{info->MakerNotePos()} - 8, 0);
    try {
      static_cast<void>(info->IntegerTagValue("FocalPlaneXResolution"));
    } catch (const std::out_of_range&) {
      // A value beyond 32 bits is a range error.
    }
    try {
      info->UpdateDimensions(7, 9);
    } catch (const std::out_of_range&) {
      // A stored position outside the segment is refused.
    }
  }
  pictrim::TBytes header;
  Metadata.AppendHeaderSections(header);
  if (header.size() < 2 || header[0] != 0xFF || header[1] != 0xD8) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  pictrim::SetMessageHandler([](const std::string&) {});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  pictrim::TMetadata metadata(255);
  for (const char* name : {"input.jpg", "input.tif"}) {
    const std::string path = WorkFolder() + name;
    WriteInput(path, Data, Size);
    Exercise(metadata, path);
  }
  // The same bytes handed over in memory, as the resize batch does.
  metadata.ReadMetadataFromBytes(WorkFolder() + "input.jpg", pictrim::TBytes(Data, Data + Size));
  static_cast<void>(metadata.ExifListing());
  return 0;
}
