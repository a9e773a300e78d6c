// Fuzz target of the metadata reader: the input is written once as a .jpg
// and once as a .tif file and read by TMetadata; whatever was found is then
// listed (EXIF, maker note, IPTC, colour profile description, XMP lengths),
// its maker note walked with every maker's layout, and written back as header
// segments and as a whole copy with a new picture size. The input is also
// read once more from memory, walked as a maker note on its own with every
// layout, parsed as an IPTC segment, read as a colour profile and patched as
// an XMP segment.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <QImage>

#include "image/JpegImage.h"
#include "metadata/ColourProfile.h"
#include "metadata/Exif.h"
#include "metadata/Iptc.h"
#include "metadata/MakerNotes.h"
#include "metadata/Xmp.h"
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

// Walks Note with every registry layout, each on a fresh walker in both byte
// orders; NotePos stands for the note's position in its EXIF block.
void WalkWithEveryLayout(pictrim::TMetadata& Owner, const pictrim::TBytes& Note, int64_t NotePos) {
  for (const pictrim::TMakerLayout& layout : pictrim::MakerLayouts) {
    for (const bool bigEndian : {false, true}) {
      pictrim::TExifInfo walker(Owner, 255);
      walker.SetBigEndian(bigEndian);
      const int64_t adjust = layout.AdjustFromNote ? NotePos + layout.Adjust : layout.Adjust;
      walker.ReadMakerNoteDirectory(Note, layout.Table, layout.DirStart, adjust,
                                    layout.FallbackBase);
      static_cast<void>(walker.MakerListing());
    }
  }
}

// Parses Data as an IPTC segment and changes the entries found by name.
void ExerciseIptc(pictrim::TIptcData& Record, const pictrim::TBytes& Data) {
  Record.ParseSegment(Data);
  const int count = std::min(Record.Count(), 8);
  for (int i = 0; i < count; ++i) {
    const pictrim::TTagEntry entry = Record.EntryAt(i);
    Record.WriteTag(entry.TagName, entry.Value);
    Record.AppendToList("Keywords", entry.Value);
    Record.SetTag(entry.TagName, entry.Value + "," + Record.GetTag("Keywords", ""));
  }
  static_cast<void>(Record.Listing());
  if (Record.HasData()) Record.RemoveTag(Record.EntryAt(0).TagName);
}

// A small encoded picture for the copies.
const pictrim::TJpegImage& Picture() {
  static const pictrim::TJpegImage picture = [] {
    QImage image(9, 7, QImage::Format_RGB32);
    image.fill(0xFF808080);
    pictrim::TJpegImage jpeg;
    jpeg.Assign(image);
    return jpeg;
  }();
  return picture;
}

// Patches Data as an XMP segment; the patch never changes its length.
void PatchXmp(const pictrim::TBytes& Data) {
  if (pictrim::XmpWithDimensions(Data, 12345, 7).size() != Data.size()) std::abort();
}

// The colour profile, the XMP packet and its extension of the last read.
void ExerciseProfileAndXmp(const pictrim::TMetadata& Metadata) {
  static_cast<void>(Metadata.ColourProfileDescription());
  if (const pictrim::tSection* xmp = Metadata.XmpSection()) {
    static_cast<void>(pictrim::XmpPacketLength(xmp->Data));
    PatchXmp(xmp->Data);
    for (const pictrim::tSection& piece : Metadata.ExtendedXmpSections()) {
      static_cast<void>(pictrim::ExtendedXmpLength(piece.Data));
    }
  }
}

void Exercise(pictrim::TMetadata& Metadata, const std::string& Path) {
  Metadata.ReadMetadata(Path);
  static_cast<void>(Metadata.ExifListing());
  pictrim::TExifInfo* info = Metadata.ExifInfo();
  if (info != nullptr) {
    static_cast<void>(Metadata.MakerNoteListing());
    if (!info->MakerNote().empty()) {
      WalkWithEveryLayout(Metadata, info->MakerNote(), info->MakerNotePos());
    }
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
  static_cast<void>(Metadata.IptcListing());
  if (pictrim::TIptcData* record = Metadata.IptcInfo()) {
    if (const pictrim::tSection* section = Metadata.IptcSection()) {
      ExerciseIptc(*record, section->Data);
    }
    // The owner's own record object reads the file once more and lives on.
    record->ReadFile(Path);
    static_cast<void>(record->Listing());
  }
  ExerciseProfileAndXmp(Metadata);
  pictrim::TBytes header;
  Metadata.AppendHeaderSections(header);
  if (header.size() < 2 || header[0] != 0xFF || header[1] != 0xD8) std::abort();
  try {
    static_cast<void>(Metadata.JpegWithMetadata(Picture(), true));
  } catch (const std::out_of_range&) {
    // A stored size position outside the EXIF segment is refused.
  }
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
  const pictrim::TBytes bytes(Data, Data + Size);
  metadata.ReadMetadataFromBytes(WorkFolder() + "input.jpg", bytes);
  static_cast<void>(metadata.ExifListing());
  // The bytes as a maker note and as an IPTC segment of their own.
  WalkWithEveryLayout(metadata, bytes, 100);
  pictrim::TIptcData record(metadata);
  ExerciseIptc(record, bytes);
  // The bytes as a colour profile, as an XMP segment and as one extension piece.
  static_cast<void>(pictrim::IccDescription(bytes));
  PatchXmp(bytes);
  static_cast<void>(pictrim::CompleteExtendedXmp(bytes, {pictrim::tSection{bytes, 0xE1, 0}}));
  return 0;
}
