#include "image/HeifGrid.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "image/DecoderMemory.h"
#include "image/HeifHandles.h"
#include "image/HevcDecoder.h"
#include "image/PictureShrink.h"

namespace pictrim::decoding {
namespace {

// The library's own limit on a side, as for whole pictures.
constexpr int MaxSide = 1 << 20;
// Properties a tile's own container may carry (a 7-bit index each).
constexpr size_t MaxTileProperties = 100;
// A grid's description is a dozen bytes.
constexpr uint64_t MaxGridDescriptionBytes = 64;

struct TBitmapUnload {
  void operator()(FIBITMAP* Dib) const { FreeImage_Unload(Dib); }
};
using TBitmapPtr = std::unique_ptr<FIBITMAP, TBitmapUnload>;

// Boxes written big-endian, each with its size in front.
class TBoxWriter {
 public:
  size_t Begin(const char* Type) {
    const size_t at = Out.size();
    U32(0);
    Out.insert(Out.end(), Type, Type + 4);
    return at;
  }
  size_t BeginFull(const char* Type, uint8_t Version) {
    const size_t at = Begin(Type);
    U32(uint32_t{Version} << 24);
    return at;
  }
  void End(size_t At) {
    const auto size = static_cast<uint32_t>(Out.size() - At);
    for (int i = 0; i < 4; ++i) Out[At + i] = static_cast<uint8_t>(size >> (24 - 8 * i));
  }
  void U8(uint32_t Value) { Out.push_back(static_cast<uint8_t>(Value)); }
  void U16(uint32_t Value) {
    U8(Value >> 8);
    U8(Value);
  }
  void U32(uint32_t Value) {
    U16(Value >> 16);
    U16(Value);
  }
  void Bytes(const std::vector<uint8_t>& Data) { Out.insert(Out.end(), Data.begin(), Data.end()); }
  std::vector<uint8_t> Out;
};

// The properties that change where a grid's pixels are shown.
bool IsTransformation(const std::string& Type) {
  return Type == "irot" || Type == "imir" || Type == "clap";
}

// Properties a grid may carry that the tile road can honour or ignore: its
// size, pixel depths, colours; every other essential one sends the picture
// to libheif's own road.
bool GridRoadTakes(const std::string& Type) {
  return Type == "ispe" || Type == "pixi" || Type == "colr" || Type == "irot" || Type == "imir";
}

// The rotation's quarter turns (anticlockwise) or the mirror's axis.
std::optional<uint32_t> TransformValue(const THeifProperty& Property) {
  if (Property.Box.size() < 9) return std::nullopt;
  return Property.Box[8] & (Property.Type == "irot" ? 3u : 1u);
}

// Turns the grid's placement a quarter anticlockwise: the shown picture's
// top-right corner becomes its top-left.
void TurnQuarter(THeifGridPlan& Plan) {
  const int32_t xx = Plan.Xx, xy = Plan.Xy;
  const int64_t x0 = Plan.X0;
  Plan.Xx = Plan.Yx;
  Plan.Xy = Plan.Yy;
  Plan.X0 = Plan.Y0;
  Plan.Yx = -xx;
  Plan.Yy = -xy;
  Plan.Y0 = int64_t{Plan.ShownWidth} - 1 - x0;
  std::swap(Plan.ShownWidth, Plan.ShownHeight);
}

// Mirrors the shown picture as libheif does, and with it the viewers that
// use it: Axis 0 makes top and bottom change places, Axis 1 left and right.
void Mirror(THeifGridPlan& Plan, uint32_t Axis) {
  if (Axis == 1) {
    Plan.Xx = -Plan.Xx;
    Plan.Xy = -Plan.Xy;
    Plan.X0 = int64_t{Plan.ShownWidth} - 1 - Plan.X0;
  } else {
    Plan.Yx = -Plan.Yx;
    Plan.Yy = -Plan.Yy;
    Plan.Y0 = int64_t{Plan.ShownHeight} - 1 - Plan.Y0;
  }
}

// The grid's transformations in their order; false for one the tile road
// does not take or cannot read.
bool PlanPlacement(const THeifMeta& Meta, const THeifItem& Grid, THeifGridPlan& Plan) {
  for (const THeifAssociation& association : Grid.Properties) {
    if (association.Index >= Meta.Properties.size()) return false;
    const THeifProperty& property = Meta.Properties[association.Index];
    if (!GridRoadTakes(property.Type)) {
      if (association.Essential || IsTransformation(property.Type)) return false;
      continue;
    }
    if (property.Type != "irot" && property.Type != "imir") continue;
    const std::optional<uint32_t> value = TransformValue(property);
    if (!value) return false;
    if (property.Type == "irot") {
      for (uint32_t turn = 0; turn < *value; ++turn) TurnQuarter(Plan);
    } else {
      Mirror(Plan, *value);
    }
  }
  return true;
}

// The tiles: all there, of one coding, without transformations of their own.
bool PlanTiles(const THeifMeta& Meta, const THeifItem& Grid, THeifGridPlan& Plan) {
  Plan.Tiles = Meta.ReferencedBy(Grid.Id, "dimg");
  if (Plan.Tiles.empty() || Plan.Tiles.size() != uint64_t{Plan.Shape.Rows} * Plan.Shape.Columns)
    return false;
  for (const uint32_t id : Plan.Tiles) {
    const THeifItem* tile = Meta.Item(id);
    if (tile == nullptr || tile->Extents.empty() || tile->Properties.size() > MaxTileProperties)
      return false;
    if (Plan.TileType.empty()) Plan.TileType = tile->Type;
    if (tile->Type != Plan.TileType) return false;
    for (const THeifAssociation& association : tile->Properties) {
      if (association.Index >= Meta.Properties.size() ||
          IsTransformation(Meta.Properties[association.Index].Type))
        return false;
    }
  }
  if (Plan.TileType != "hvc1" && Plan.TileType != "av01") return false;
  // The tiles' size is the first one's, as libheif takes it.
  const THeifProperty* extent = Meta.PropertyOf(*Meta.Item(Plan.Tiles.front()), "ispe");
  if (extent == nullptr) return false;
  const auto size = ReadSpatialExtent(extent->Box);
  if (!size || size->first == 0 || size->second == 0 || size->first > MaxSide ||
      size->second > MaxSide)
    return false;
  Plan.TileWidth = size->first;
  Plan.TileHeight = size->second;
  return true;
}

// Copies the rows of a decoded tile (interleaved red, green, blue) into the
// picture at its place, each pixel where the grid's transformations show it.
template <typename TPut>
void LayTile(const THeifGridPlan& Plan, uint32_t Left, uint32_t Top, const uint8_t* Pixels,
             size_t Stride, uint32_t Width, uint32_t Height, TPut Put) {
  const uint32_t columns = std::min({Width, Plan.TileWidth, Plan.Shape.Width - Left});
  const uint32_t rows = std::min({Height, Plan.TileHeight, Plan.Shape.Height - Top});
  for (uint32_t y = 0; y < rows; ++y) {
    const uint8_t* in = Pixels + size_t{y} * Stride;
    const int64_t gy = int64_t{Top} + y;
    int64_t x = Plan.Xx * int64_t{Left} + Plan.Xy * gy + Plan.X0;
    int64_t yShown = Plan.Yx * int64_t{Left} + Plan.Yy * gy + Plan.Y0;
    for (uint32_t column = 0; column < columns; ++column, in += 3) {
      Put(static_cast<uint32_t>(x), static_cast<uint32_t>(yShown), in);
      x += Plan.Xx;
      yShown += Plan.Yx;
    }
  }
}

struct TTileImage {
  THeifContextPtr Context;
  THeifHandlePtr Handle;
  THeifImagePtr Image;
};

// Decodes one tile's container as libheif decodes a whole picture: RGB at 8
// bits. The library's message on failure.
std::string DecodeTile(const std::vector<uint8_t>& Container, TTileImage& Tile) {
  Tile.Context.reset(heif_context_alloc());
  if (!Tile.Context) return "no memory for a tile";
  heif_context_set_maximum_image_size_limit(Tile.Context.get(), MaxSide);
  heif_context_set_max_decoding_threads(Tile.Context.get(), 0);
  heif_error error = heif_context_read_from_memory_without_copy(
      Tile.Context.get(), Container.data(), Container.size(), nullptr);
  heif_image_handle* handle = nullptr;
  if (error.code == heif_error_Ok)
    error = heif_context_get_primary_image_handle(Tile.Context.get(), &handle);
  Tile.Handle.reset(handle);
  if (error.code == heif_error_Ok) {
    const THeifOptionsPtr options(heif_decoding_options_alloc());
    if (options) options->convert_hdr_to_8bit = 1;
    heif_image* image = nullptr;
    error = heif_decode_image(Tile.Handle.get(), &image, heif_colorspace_RGB,
                              heif_chroma_interleaved_RGB, options.get());
    Tile.Image.reset(image);
  }
  if (error.code == heif_error_Ok) return {};
  if (error.code == heif_error_Memory_allocation_error) return OutOfGrantedMemory;
  std::string text = "the library could not decode a tile";
  if (error.message != nullptr && *error.message != '\0') text += std::string(": ") + error.message;
  return text;
}

}  // namespace

std::optional<THeifGridPlan> PlanGrid(const THeifMeta& Meta, const THeifReadFn& Read,
                                      uint64_t FileSize, uint32_t ShownWidth,
                                      uint32_t ShownHeight) {
  const THeifItem* grid = Meta.Item(Meta.Primary);
  if (grid == nullptr || grid->Type != "grid") return std::nullopt;
  const std::optional<std::vector<uint8_t>> data =
      ReadItemData(Meta, *grid, Read, FileSize, MaxGridDescriptionBytes);
  if (!data) return std::nullopt;
  const std::optional<THeifGridShape> shape = ReadGridShape(*data);
  if (!shape) return std::nullopt;
  THeifGridPlan plan;
  plan.Shape = *shape;
  plan.ShownWidth = shape->Width;
  plan.ShownHeight = shape->Height;
  if (!PlanTiles(Meta, *grid, plan) || !PlanPlacement(Meta, *grid, plan)) return std::nullopt;
  if (plan.ShownWidth != ShownWidth || plan.ShownHeight != ShownHeight) return std::nullopt;
  if (const THeifProperty* colour = Meta.PropertyOf(*grid, "colr")) plan.Colour = colour->Box;
  return plan;
}

std::vector<uint8_t> TileContainer(const THeifMeta& Meta, const THeifGridPlan& Plan,
                                   const THeifItem& Tile, const std::vector<uint8_t>& Data) {
  std::vector<const THeifProperty*> properties;
  std::vector<bool> essential;
  bool hasColour = false;
  for (const THeifAssociation& association : Tile.Properties) {
    const THeifProperty& property = Meta.Properties[association.Index];
    properties.push_back(&property);
    essential.push_back(association.Essential);
    hasColour = hasColour || property.Type == "colr";
  }
  const THeifProperty colour{"colr", Plan.Colour};
  if (!hasColour && !Plan.Colour.empty()) {
    properties.push_back(&colour);
    essential.push_back(false);
  }
  const auto meta = [&](uint32_t DataStart) {
    TBoxWriter b;
    const size_t metaBox = b.BeginFull("meta", 0);
    const size_t hdlr = b.BeginFull("hdlr", 0);
    b.U32(0);
    b.Out.insert(b.Out.end(), {'p', 'i', 'c', 't'});
    for (int i = 0; i < 3; ++i) b.U32(0);
    b.U8(0);
    b.End(hdlr);
    const size_t pitm = b.BeginFull("pitm", 0);
    b.U16(1);
    b.End(pitm);
    const size_t iinf = b.BeginFull("iinf", 0);
    b.U16(1);
    const size_t infe = b.BeginFull("infe", 2);
    b.U16(1);
    b.U16(0);
    b.Out.insert(b.Out.end(), Plan.TileType.begin(), Plan.TileType.end());
    b.U8(0);
    b.End(infe);
    b.End(iinf);
    const size_t iprp = b.Begin("iprp");
    const size_t ipco = b.Begin("ipco");
    for (const THeifProperty* property : properties) b.Bytes(property->Box);
    b.End(ipco);
    const size_t ipma = b.BeginFull("ipma", 0);
    b.U32(1);
    b.U16(1);
    b.U8(static_cast<uint32_t>(properties.size()));
    for (size_t i = 0; i < properties.size(); ++i)
      b.U8((essential[i] ? 0x80u : 0u) | static_cast<uint32_t>(i + 1));
    b.End(ipma);
    b.End(iprp);
    const size_t iloc = b.BeginFull("iloc", 0);
    b.U8(0x44);  // offsets and lengths of four bytes
    b.U8(0);
    b.U16(1);
    b.U16(1);
    b.U16(0);
    b.U16(1);
    b.U32(DataStart);
    b.U32(static_cast<uint32_t>(Data.size()));
    b.End(iloc);
    b.End(metaBox);
    return b.Out;
  };
  TBoxWriter file;
  const size_t ftyp = file.Begin("ftyp");
  const bool av1 = Plan.TileType == "av01";
  const char* brand = av1 ? "avif" : "heic";
  file.Out.insert(file.Out.end(), brand, brand + 4);
  file.U32(0);
  file.Out.insert(file.Out.end(), {'m', 'i', 'f', '1'});
  file.Out.insert(file.Out.end(), brand, brand + 4);
  file.End(ftyp);
  const size_t dataStart = file.Out.size() + meta(0).size() + 8;
  file.Bytes(meta(static_cast<uint32_t>(dataStart)));
  const size_t mdat = file.Begin("mdat");
  file.Bytes(Data);
  file.End(mdat);
  return file.Out;
}

std::string DecodingWarning(heif_image* Image) {
  // Our HEVC decoder keeps its own words; libheif passes on only a code.
  if (std::string damage = HevcDamage(); !damage.empty()) return damage;
  heif_error warning{};
  if (heif_image_get_decoding_warnings(Image, 0, &warning, 1) < 1) return {};
  std::string text = warning.message != nullptr ? warning.message : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text.empty() ? "the coded data has errors" : text;
}

uint64_t TileDecodeBytes(const THeifGridPlan& Plan, uint32_t BitsPerSample) {
  // The coded planes twice (the decoder's and libheif's copy, at most three
  // full planes), the colour conversion's picture twice, and the coded data.
  const uint64_t sample = BitsPerSample > 8 ? 2 : 1;
  const uint64_t pixels = uint64_t{Plan.TileWidth} * Plan.TileHeight;
  return pixels * (2 * 3 * sample + 2 * 3) + MaxItemBytes / 4;
}

TGridDecode DecodeGrid(const THeifMeta& Meta, const THeifGridPlan& Plan, const THeifReadFn& Read,
                       uint64_t FileSize, uint32_t Factor) {
  TGridDecode result;
  TBitmapPtr whole;
  std::optional<TBlockAverages> blocks;
  if (Factor > 1) {
    blocks.emplace(Plan.ShownWidth, Plan.ShownHeight, Factor);
    if (!blocks->Valid()) {
      result.Failure = "no memory for the picture";
      return result;
    }
  } else {
    whole.reset(FreeImage_Allocate(static_cast<int>(Plan.ShownWidth),
                                   static_cast<int>(Plan.ShownHeight), 24, FI_RGBA_RED_MASK,
                                   FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK));
    if (!whole) {
      result.Failure = "no memory for the picture";
      return result;
    }
  }
  const auto put = [&](uint32_t X, uint32_t Y, const uint8_t* Rgb) {
    if (blocks) {
      blocks->Add(X, Y, Rgb);
      return;
    }
    BYTE* at = FreeImage_GetScanLine(whole.get(), static_cast<int>(Plan.ShownHeight - 1 - Y)) +
               size_t{X} * 3;
    at[FI_RGBA_RED] = Rgb[0];
    at[FI_RGBA_GREEN] = Rgb[1];
    at[FI_RGBA_BLUE] = Rgb[2];
  };
  TTileImage decoded;
  uint32_t decodedId = 0;  // the item decoded last: a grid may lay one tile many times
  for (size_t i = 0; i < Plan.Tiles.size(); ++i) {
    const uint32_t left = static_cast<uint32_t>(i % Plan.Shape.Columns) * Plan.TileWidth;
    const uint32_t top = static_cast<uint32_t>(i / Plan.Shape.Columns) * Plan.TileHeight;
    // Tiles wholly outside the picture are cropped away unseen.
    if (left >= Plan.Shape.Width || top >= Plan.Shape.Height) continue;
    if (!decoded.Image || Plan.Tiles[i] != decodedId) {
      const THeifItem& tile = *Meta.Item(Plan.Tiles[i]);
      const std::optional<std::vector<uint8_t>> data = ReadItemData(Meta, tile, Read, FileSize);
      if (!data) {
        result.Failure = "the library could not decode the file: a tile's data lies outside the file";
        return result;
      }
      decoded = TTileImage();
      if (std::string failure = DecodeTile(TileContainer(Meta, Plan, tile, *data), decoded);
          !failure.empty()) {
        result.Failure = std::move(failure);
        return result;
      }
      decodedId = Plan.Tiles[i];
    }
    heif_image* image = decoded.Image.get();
    int stride = 0;
    const uint8_t* pixels = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(image, heif_channel_interleaved);
    const int height = heif_image_get_height(image, heif_channel_interleaved);
    if (pixels == nullptr || width <= 0 || height <= 0 || stride < width * 3) {
      result.Failure = "the library gave a tile of no known kind";
      return result;
    }
    if (result.Damage.empty()) result.Damage = DecodingWarning(image);
    LayTile(Plan, left, top, pixels, static_cast<size_t>(stride), static_cast<uint32_t>(width),
            static_cast<uint32_t>(height), put);
  }
  if (uint64_t{Plan.Shape.Columns} * Plan.TileWidth < Plan.Shape.Width ||
      uint64_t{Plan.Shape.Rows} * Plan.TileHeight < Plan.Shape.Height) {
    if (result.Damage.empty()) result.Damage = "its tiles do not cover its picture";
  }
  result.Picture = blocks ? blocks->Finish() : whole.release();
  if (result.Picture == nullptr) result.Failure = "no memory for the picture";
  return result;
}

}  // namespace pictrim::decoding
