// Telling HEIC, HEIF and AVIF files (pictures in the ISO media container)
// apart from other files, by the brands of their leading file-type box and,
// failing that, by their extension; and finding their EXIF block among the
// boxes. Nothing here decodes them: that is the decoder process's work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "util/ByteWindow.h"

namespace pictrim {

// True when the bytes begin with a file-type box ("ftyp") whose major or one
// of whose compatible brands names a HEIF picture (heic, heix, mif1, avif,
// and their kin). Size is what the caller holds; brands beyond it are not
// looked at.
bool IsHeifHeader(const uint8_t* Data, size_t Size);

// True for the extensions .heic, .heif, .hif and .avif (any letter case).
bool HasHeifExtension(const std::string& FileName);

// True when the first bytes of the regular file at Path are a HEIF header;
// false for anything that cannot be read.
bool StartsAsHeif(const std::string& Path);

// The TIFF block of the file's Exif item (found by its type among the
// items the item boxes describe), its leading offset to the TIFF header
// skipped. Nothing when the window holds no HEIF file, no such item, or
// one that does not lie inside it or is larger than 4 MiB.
std::optional<std::vector<uint8_t>> HeifExifBlock(const TByteWindow& File);

}  // namespace pictrim
