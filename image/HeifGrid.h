// Phone photos are grids of tiles: the decoder process decodes such a
// picture one tile at a time and lays each tile into the picture as it is
// shown (turned and mirrored as the container says), whole or already
// shrunk by a whole factor. A grid then costs one tile's decode besides the
// picture it gives, however large it declares itself. Each tile is decoded
// by libheif (through the same decoders and colour conversion as a whole
// picture) from a small container made for it alone.
#pragma once

#include <FreeImage.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/HeifBoxes.h"

struct heif_image;

namespace pictrim::decoding {

// A grid picture the decoder can lay out tile by tile.
struct THeifGridPlan {
  THeifGridShape Shape;
  uint32_t TileWidth = 0;
  uint32_t TileHeight = 0;
  std::string TileType;               // "hvc1" or "av01"
  std::vector<uint32_t> Tiles;        // item ids, row by row
  std::vector<uint8_t> Colour;        // the grid's colour box, for tiles without one
  // The picture as shown: where each pixel of the grid goes. Shown x is
  // Xx * x + Xy * y + X0, shown y likewise.
  int32_t Xx = 1, Xy = 0, Yx = 0, Yy = 1;
  int64_t X0 = 0, Y0 = 0;
  uint32_t ShownWidth = 0;
  uint32_t ShownHeight = 0;
};

// The plan for the primary picture of Meta when it is a grid of HEVC or AV1
// tiles whose only transformations are rotations and mirrorings, shown at
// ShownWidth x ShownHeight as libheif says; none otherwise (libheif then
// decodes it whole).
std::optional<THeifGridPlan> PlanGrid(const THeifMeta& Meta, const THeifReadFn& Read,
                                      uint64_t FileSize, uint32_t ShownWidth,
                                      uint32_t ShownHeight);

// The container of one tile: its data with its properties (and the grid's
// colours when it states none), as a file libheif reads.
std::vector<uint8_t> TileContainer(const THeifMeta& Meta, const THeifGridPlan& Plan,
                                   const THeifItem& Tile, const std::vector<uint8_t>& Data);

struct TGridDecode {
  FIBITMAP* Picture = nullptr;  // owned by the caller; null on failure
  std::string Failure;          // why there is none
  std::string Damage;           // the file is damaged: the picture may be incomplete
};

// Decodes the tiles of the grid and lays them into the shown picture,
// shrunk by Factor (1: whole; pixels as libheif's whole decode gives them).
// Tiles the grid does not cover stay black, and the picture is named as
// damaged; a tile that cannot be decoded fails the picture, as libheif's
// own decode of a grid does.
TGridDecode DecodeGrid(const THeifMeta& Meta, const THeifGridPlan& Plan, const THeifReadFn& Read,
                       uint64_t FileSize, uint32_t Factor);

// The first warning the HEVC decoder or libheif gave while Image was
// decoded: why the picture may be incomplete; empty when none was given.
std::string DecodingWarning(heif_image* Image);

// Memory the decode of one tile takes at most (the coded data, the decoded
// planes, the colour conversion), besides the picture being laid out.
uint64_t TileDecodeBytes(const THeifGridPlan& Plan, uint32_t BitsPerSample);

}  // namespace pictrim::decoding
