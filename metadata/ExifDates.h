// The three dates of an EXIF block (DateTimeOriginal, DateTimeDigitized,
// DateTime), read where the block lies in a camera file: a TIFF-structured
// file or block (raw files among them, with the other header numbers of
// Olympus and Panasonic raws), or the EXIF segment of a JPEG stream. Only
// the first directory, its Exif directory and the values of the date tags
// are read, through a window, so a file of any size costs a few small reads.
#pragma once

#include <ctime>
#include <optional>

#include "util/ByteWindow.h"

namespace pictrim {

struct TTakenDates {
  std::optional<std::tm> Original;
  std::optional<std::tm> Digitized;
  std::optional<std::tm> Modified;  // DateTime

  // Takes from More the dates this one lacks.
  void Fill(const TTakenDates& More);
  // The time taken: Original, else Digitized, else Modified.
  std::optional<std::tm> TimeTaken() const;
};

// The dates of the TIFF structure that begins the window: a date tag of the
// first directory or of the Exif directory it points to, whose value is
// text of the form ParseExifDateTime takes. A Panasonic raw that names no
// DateTimeOriginal there takes the dates of its embedded JPEG as well. Dates of a directory that
// cannot be read whole are kept when they were read before it broke off.
TTakenDates TiffTakenDates(const TByteWindow& Tiff);

// The TIFF block of the EXIF segment (APP1, "Exif" and two zero bytes) of
// the JPEG stream that begins the window; nothing when the stream has none
// before its picture data.
std::optional<TByteWindow> JpegExifBlock(const TByteWindow& Jpeg);

}  // namespace pictrim
