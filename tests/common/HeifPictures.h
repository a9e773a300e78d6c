// HEIC and AVIF files made at test time through libheif's encoders, as a
// phone writes them: the pixels stored turned, with the rotation and
// mirroring in the container, and EXIF, a colour profile and XMP attached.
#pragma once

#include <QImage>

#include <cstdint>
#include <string>
#include <vector>

namespace pictrim::test {

struct THeifOptions {
  bool Avif = false;                   // AV1 instead of HEVC
  int Orientation = 1;                 // 1..8 as in EXIF: how the stored pixels are shown
  std::vector<uint8_t> Exif;           // attached as the Exif item (a TIFF block)
  std::vector<uint8_t> ColourProfile;  // an ICC profile
  std::string Xmp;                     // an XMP packet
  int Quality = 90;
  int BitDepth = 8;         // 8, or 10 as some phones write (no alpha then)
  int ThumbnailSide = 0;    // > 0: a thumbnail that fits a square of this side
  bool CropByGrid = false;  // a size the coder pads is cropped by a grid of one tile
  std::string Chroma;       // the coder's subsampling ("420", "422", "444"); empty: its own
  int Matrix = 0;           // > 0: the colour matrix stated (H.273), with
  bool FullRange = true;    //      the range of the samples
  // Grids only (WriteHeifGrid):
  int Mirror = -1;             // 0 or 1: mirrored about a vertical or horizontal axis, after the turn
  uint32_t GridWidth = 0;      // > 0: the size the grid declares instead of the picture's,
  uint32_t GridHeight = 0;     //      beyond what its tiles cover
  enum { ColourOnGrid, ColourOnTiles, NoColour } GridColour = ColourOnGrid;
};

// Encodes Stored (the pixels as stored; with alpha when it has an alpha
// channel) into Path; EncodeHeif gives the file's bytes.
void WriteHeif(const std::string& Path, const QImage& Stored, const THeifOptions& Options = {});
std::string EncodeHeif(const QImage& Stored, const THeifOptions& Options = {});

// A HEIC file as phone cameras write their photos: Stored cut into Columns x
// Rows tiles, each coded on its own (with the quality, depth, subsampling
// and colours of Options), put together by a grid (the last tiles cropped),
// shown turned by a rotation of the container (Orientation 1, 3, 6 or 8) and
// mirrored as Options say, with the EXIF block of Options as an item
// describing the grid.
void WriteHeifGrid(const std::string& Path, const QImage& Stored, int Columns, int Rows,
                   const THeifOptions& Options = {});

// A small HEIC file as a phone writes it, with an EXIF block that says it
// was taken at DateTaken (EXIF form).
void WritePhoneHeic(const std::string& Path, const std::string& DateTaken);

// What a phone's EXIF block says about a photo.
struct TPhoneExif {
  int Orientation = 1;
  std::string DateTaken = "2023:06:15 10:20:30";
  uint32_t Width = 0;  // the stored pixel size; 0: not stated
  uint32_t Height = 0;
  std::string Make = "Pictrim";
  std::string Model = "Test Phone";
};

// A little-endian EXIF (TIFF) block: Make, Model, Orientation and DateTime
// in the first directory; DateTimeOriginal, DateTimeDigitized and the pixel
// size in the Exif directory.
std::vector<uint8_t> PhoneExifBlock(const TPhoneExif& Exif);

// A small valid ICC profile (display class, RGB, one 'desc' tag) whose
// description is Description.
std::vector<uint8_t> SmallColourProfile(const std::string& Description);

// An XMP packet naming the creator tool and the stored pixel size.
std::string SmallXmpPacket(uint32_t Width, uint32_t Height);

}  // namespace pictrim::test
