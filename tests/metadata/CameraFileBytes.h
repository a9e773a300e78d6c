// Camera and phone files built at test time around EXIF blocks, as bytes:
// the boxes of HEIF and CR3 files, a RAF header with its JPEG, TIFF-structured
// raw files with the header numbers of other makers, and a small DNG.
#pragma once

#include <cstdint>
#include <string>

#include "tests/metadata/MetadataBytes.h"

namespace pictrim::test {

// Size bytes of Value, most significant first.
TBytes BigEndianBytes(uint64_t Value, size_t Size);

// A box of the ISO media container: its size, Type and Contents; a full
// box has a version byte and three flag bytes in front of its contents.
TBytes Box(const std::string& Type, const TBytes& Contents);
TBytes FullBox(const std::string& Type, uint8_t Version, const TBytes& Contents);

// How the Exif item of a HEIF file is written.
struct THeifExifLayout {
  uint8_t InfoVersion = 0;      // the item information box: 0 (16-bit count) or 1
  uint8_t EntryVersion = 2;     // its entries: 2 (16-bit item numbers) or 3
  uint8_t LocationVersion = 1;  // the item location box: 0, 1 or 2
  uint8_t OffsetSize = 4;       // bytes of an extent's offset and length: 0, 4 or 8
  bool InDataBox = false;       // the item in the metadata's data box, not the file
  bool ExifPrefix = false;      // "Exif\0\0" in front of the TIFF header (offset 6)
  uint32_t ExifNumber = 2;      // the Exif item's number (the picture is 1)
};

// A HEIF file (brands heic, mif1) whose Exif item holds Tiff, placed as
// Layout says, behind a picture item whose bytes stand first in the media
// data box.
TBytes HeifWithExif(const TBytes& Tiff, const THeifExifLayout& Layout = {});

// A CR3 file: the file-type box "crx ", a movie box with Canon's metadata box
// holding Cmt1 (the first directory) and Cmt2 (the Exif directory).
TBytes Cr3WithExif(const TBytes& Cmt1, const TBytes& Cmt2);

// A RAF file: Fujifilm's header pointing at Jpeg, then raw bytes.
TBytes RafWithJpeg(const TBytes& Jpeg);

// The TIFF block with Number in place of 42, then Padding bytes as raw data.
TBytes RawTiff(const TBytes& Tiff, uint16_t Number = 42, size_t Padding = 4096);

// A TIFF block with DateTime in its first directory and DateTimeOriginal and
// DateTimeDigitized in an Exif directory (an empty text: left out).
TExifBlock DatedBlock(bool BigEndian, const std::string& Original, const std::string& DateTime = "",
                      const std::string& Digitized = "");

// A DNG of 2 x 2 raw samples (16-bit, colour filter array) from a camera
// named Model, taken at Original.
TBytes SmallDng(const std::string& Model, const std::string& Original);

}  // namespace pictrim::test
