// The time a photo was taken, read from the file a camera or phone wrote,
// whatever its container: a JPEG stream, a TIFF-structured raw file (CR2,
// NEF, NRW, ARW, DNG, PEF, SRW, and ORF and RW2 with their own header
// numbers), Fujifilm's RAF (whose header points at a JPEG with the EXIF
// block), Canon's CR3 (EXIF directories in boxes of its own) and HEIC, HEIF
// and AVIF (the Exif item). The kind is told by the first bytes, not the
// name. Only the few places that lead to the dates are read.
#pragma once

#include <ctime>
#include <optional>
#include <string>

#include "metadata/ExifDates.h"
#include "util/ByteWindow.h"

namespace pictrim {

enum class TCameraContainer { Unknown, Jpeg, Tiff, Raf, Cr3, Heif };

// The container the window's first bytes announce.
TCameraContainer CameraContainerOf(const TByteWindow& File);

// The dates of the EXIF blocks the file holds; none for a container not
// known. Raises a range error where the file claims what it does not hold.
TTakenDates CameraTakenDates(const TByteWindow& File);

// The time the photo of the file at Path was taken (DateTimeOriginal, else
// DateTimeDigitized, else DateTime); nothing when the file cannot be read,
// has no such date, or is damaged where the dates would be. Raises nothing.
std::optional<std::tm> ReadCameraTimeTaken(const std::string& Path);

}  // namespace pictrim
