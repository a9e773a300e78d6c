#include "tests/common/HeifPictures.h"

#include <libheif/heif.h>

#include <QPainter>

#include <filesystem>
#include <stdexcept>

#include "tests/common/TempDir.h"

namespace pictrim::test {
namespace {

void Check(const heif_error& Error, const char* Step) {
  if (Error.code != heif_error_Ok) {
    throw std::runtime_error(std::string(Step) + ": " + (Error.message ? Error.message : ""));
  }
}

void Put16(std::vector<uint8_t>& Out, size_t At, uint16_t Value) {
  Out[At] = static_cast<uint8_t>(Value);
  Out[At + 1] = static_cast<uint8_t>(Value >> 8);
}

void Put32(std::vector<uint8_t>& Out, size_t At, uint32_t Value) {
  for (int i = 0; i < 4; ++i) Out[At + i] = static_cast<uint8_t>(Value >> (8 * i));
}

void Put32BigEndian(std::vector<uint8_t>& Out, size_t At, uint32_t Value) {
  for (int i = 0; i < 4; ++i) Out[At + i] = static_cast<uint8_t>(Value >> (24 - 8 * i));
}

// One directory entry of a little-endian TIFF block: a value of up to four
// bytes stands in the entry, a longer one behind the directories.
struct TEntry {
  uint16_t Tag;
  uint16_t Type;
  uint32_t Count;
  std::vector<uint8_t> Value;
};

TEntry Ascii(uint16_t Tag, const std::string& Text) {
  std::vector<uint8_t> value(Text.begin(), Text.end());
  value.push_back(0);
  return {Tag, 2, static_cast<uint32_t>(value.size()), value};
}

TEntry Short(uint16_t Tag, uint16_t Value) {
  return {Tag, 3, 1, {static_cast<uint8_t>(Value), static_cast<uint8_t>(Value >> 8), 0, 0}};
}

TEntry Long(uint16_t Tag, uint32_t Value) {
  std::vector<uint8_t> value(4);
  Put32(value, 0, Value);
  return {Tag, 4, 1, value};
}

// Appends a directory at the end of Out; values longer than four bytes
// follow it. Returns the position of each entry's value field.
std::vector<size_t> AppendDirectory(std::vector<uint8_t>& Out, const std::vector<TEntry>& Entries) {
  const size_t start = Out.size();
  Out.resize(start + 2 + 12 * Entries.size() + 4, 0);
  Put16(Out, start, static_cast<uint16_t>(Entries.size()));
  std::vector<size_t> fields;
  for (size_t i = 0; i < Entries.size(); ++i) {
    const TEntry& e = Entries[i];
    const size_t at = start + 2 + 12 * i;
    Put16(Out, at, e.Tag);
    Put16(Out, at + 2, e.Type);
    Put32(Out, at + 4, e.Count);
    fields.push_back(at + 8);
    if (e.Value.size() <= 4) {
      std::copy(e.Value.begin(), e.Value.end(), Out.begin() + static_cast<std::ptrdiff_t>(at + 8));
    } else {
      Put32(Out, at + 8, static_cast<uint32_t>(Out.size()));
      Out.insert(Out.end(), e.Value.begin(), e.Value.end());
      if (Out.size() % 2 != 0) Out.push_back(0);
    }
  }
  return fields;
}

heif_error AppendBytes(heif_context*, const void* Data, size_t Size, void* Out) {
  static_cast<std::string*>(Out)->append(static_cast<const char*>(Data), Size);
  return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

}  // namespace

std::string EncodeHeif(const QImage& Stored, const THeifOptions& Options) {
  const bool alpha = Stored.hasAlphaChannel();
  const QImage pixels =
      Stored.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
  heif_context* context = heif_context_alloc();
  heif_encoder* encoder = nullptr;
  heif_image* image = nullptr;
  heif_encoding_options* options = heif_encoding_options_alloc();
  std::string file;
  try {
    Check(heif_context_get_encoder_for_format(
              context, Options.Avif ? heif_compression_AV1 : heif_compression_HEVC, &encoder),
          "encoder");
    Check(heif_encoder_set_lossy_quality(encoder, Options.Quality), "quality");
    if (!Options.Chroma.empty())
      Check(heif_encoder_set_parameter(encoder, "chroma", Options.Chroma.c_str()), "chroma");
    const bool deep = Options.BitDepth > 8 && !alpha;
    const heif_chroma chroma = deep    ? heif_chroma_interleaved_RRGGBB_LE
                               : alpha ? heif_chroma_interleaved_RGBA
                                       : heif_chroma_interleaved_RGB;
    Check(heif_image_create(pixels.width(), pixels.height(), heif_colorspace_RGB, chroma, &image),
          "image");
    Check(heif_image_add_plane(image, heif_channel_interleaved, pixels.width(), pixels.height(),
                               deep ? Options.BitDepth : 8),
          "plane");
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    const size_t line = static_cast<size_t>(pixels.width()) * (alpha ? 4 : 3);
    for (int y = 0; y < pixels.height(); ++y) {
      const uchar* in = pixels.constScanLine(y);
      uint8_t* out = plane + static_cast<size_t>(y) * stride;
      if (!deep) {
        std::copy_n(in, line, out);
        continue;
      }
      for (size_t i = 0; i < line; ++i) {  // each sample as 16 bits, little-endian
        const unsigned value = unsigned{in[i]} << (Options.BitDepth - 8);
        out[2 * i] = static_cast<uint8_t>(value);
        out[2 * i + 1] = static_cast<uint8_t>(value >> 8);
      }
    }
    if (Options.Matrix > 0) {
      heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc();
      heif_nclx_color_profile_set_matrix_coefficients(nclx, static_cast<uint16_t>(Options.Matrix));
      nclx->full_range_flag = Options.FullRange ? 1 : 0;
      const heif_error set = heif_image_set_nclx_color_profile(image, nclx);
      heif_nclx_color_profile_free(nclx);
      Check(set, "colours");
    }
    if (!Options.ColourProfile.empty()) {
      Check(heif_image_set_raw_color_profile(image, "prof", Options.ColourProfile.data(),
                                             Options.ColourProfile.size()),
            "profile");
    }
    options->image_orientation = static_cast<heif_orientation>(Options.Orientation);
    options->macOS_compatibility_workaround = Options.CropByGrid ? 1 : 0;
    heif_image_handle* handle = nullptr;
    Check(heif_context_encode_image(context, image, encoder, options, &handle), "encode");
    if (Options.ThumbnailSide > 0) {
      heif_image_handle* thumbnail = nullptr;
      Check(heif_context_encode_thumbnail(context, image, handle, encoder, options,
                                          Options.ThumbnailSide, &thumbnail),
            "thumbnail");
      if (thumbnail != nullptr) heif_image_handle_release(thumbnail);
    }
    if (!Options.Exif.empty()) {
      Check(heif_context_add_exif_metadata(context, handle, Options.Exif.data(),
                                           static_cast<int>(Options.Exif.size())),
            "exif");
    }
    if (!Options.Xmp.empty()) {
      Check(heif_context_add_XMP_metadata(context, handle, Options.Xmp.data(),
                                          static_cast<int>(Options.Xmp.size())),
            "xmp");
    }
    heif_image_handle_release(handle);
    heif_writer writer{1, &AppendBytes};
    Check(heif_context_write(context, &writer, &file), "write");
  } catch (...) {
    heif_encoding_options_free(options);
    if (image != nullptr) heif_image_release(image);
    if (encoder != nullptr) heif_encoder_release(encoder);
    heif_context_free(context);
    throw;
  }
  heif_encoding_options_free(options);
  heif_image_release(image);
  heif_encoder_release(encoder);
  heif_context_free(context);
  return file;
}

void WriteHeif(const std::string& Path, const QImage& Stored, const THeifOptions& Options) {
  WriteTextFile(Path, EncodeHeif(Stored, Options));
}

namespace {

// Boxes of the container written big-endian, each with its size in front.
class TBoxes {
 public:
  size_t Begin(const char* Type) {
    const size_t at = Out.size();
    U32(0);
    Out.append(Type, 4);
    return at;
  }
  size_t BeginFull(const char* Type, uint8_t Version, uint32_t Flags) {
    const size_t at = Begin(Type);
    U32(uint32_t{Version} << 24 | Flags);
    return at;
  }
  void End(size_t At) { Put32(At, static_cast<uint32_t>(Out.size() - At)); }
  void U8(uint8_t Value) { Out.push_back(static_cast<char>(Value)); }
  void U16(uint16_t Value) {
    U8(static_cast<uint8_t>(Value >> 8));
    U8(static_cast<uint8_t>(Value));
  }
  void U32(uint32_t Value) {
    U16(static_cast<uint16_t>(Value >> 16));
    U16(static_cast<uint16_t>(Value));
  }
  void Put32(size_t At, uint32_t Value) {
    for (int i = 0; i < 4; ++i) Out[At + i] = static_cast<char>(Value >> (24 - 8 * i));
  }
  std::string Out;
};

// The whole box of Type in a file libheif wrote (the first one found);
// empty when there is none.
std::string BoxOf(const std::string& File, const char* Type) {
  const size_t at = File.find(Type);
  if (at == std::string::npos || at < 4) return {};
  const auto byte = [&](size_t I) { return uint32_t(static_cast<uint8_t>(File[at - 4 + I])); };
  const uint32_t size = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
  return File.substr(at - 4, size);
}

// The coded data of a file libheif wrote with one picture and nothing else:
// all that its media data box holds.
std::string CodedDataOf(const std::string& File) {
  const size_t at = File.rfind("mdat");
  if (at == std::string::npos || at < 4) throw std::runtime_error("no media data");
  return File.substr(at + 4);
}

// The rotation box's angle (counter-clockwise, in quarter turns) that shows
// the stored pixels as Orientation does; orientations with a mirror are not
// made here.
uint8_t QuarterTurnsFor(int Orientation) {
  switch (Orientation) {
    case 3:
      return 2;
    case 6:
      return 3;
    case 8:
      return 1;
    default:
      return 0;
  }
}

struct TItem {
  uint16_t Id;
  const char* Type;
  std::string Data;
  bool Hidden;  // a part of another picture, not one to show on its own
};

}  // namespace

void WriteHeifGrid(const std::string& Path, const QImage& Stored, int Columns, int Rows,
                   const THeifOptions& Options) {
  const int tileWidth = (Stored.width() + Columns - 1) / Columns;
  const int tileHeight = (Stored.height() + Rows - 1) / Rows;
  THeifOptions tileOptions;
  tileOptions.Quality = Options.Quality;
  tileOptions.BitDepth = Options.BitDepth;
  tileOptions.Chroma = Options.Chroma;
  tileOptions.Matrix = Options.Matrix;
  tileOptions.FullRange = Options.FullRange;
  tileOptions.Avif = Options.Avif;
  std::vector<TItem> items;
  std::vector<std::string> configs;  // each tile's coder set-up, as coded with it
  std::string colour;
  for (int row = 0; row < Rows; ++row) {
    for (int column = 0; column < Columns; ++column) {
      // The last tiles reach past the picture; the grid's size crops them.
      QImage tile(tileWidth, tileHeight, QImage::Format_RGB888);
      tile.fill(Qt::black);
      QPainter painter(&tile);
      painter.drawImage(QPoint(-column * tileWidth, -row * tileHeight), Stored);
      painter.end();
      const std::string file = EncodeHeif(tile, tileOptions);
      configs.push_back(BoxOf(file, Options.Avif ? "av1C" : "hvcC"));
      if (configs.back().empty()) throw std::runtime_error("a tile without its coder's set-up");
      if (colour.empty()) colour = BoxOf(file, "colr");
      items.push_back({static_cast<uint16_t>(items.size() + 1), Options.Avif ? "av01" : "hvc1",
                       CodedDataOf(file), true});
    }
  }
  const auto tiles = static_cast<uint16_t>(items.size());
  const uint16_t gridId = tiles + 1;
  TBoxes descriptor;  // version, flags, rows and columns less one, output size
  descriptor.U16(0);
  descriptor.U8(static_cast<uint8_t>(Rows - 1));
  descriptor.U8(static_cast<uint8_t>(Columns - 1));
  const uint32_t gridWidth = Options.GridWidth > 0 ? Options.GridWidth : uint32_t(Stored.width());
  const uint32_t gridHeight =
      Options.GridHeight > 0 ? Options.GridHeight : uint32_t(Stored.height());
  descriptor.U16(static_cast<uint16_t>(gridWidth));
  descriptor.U16(static_cast<uint16_t>(gridHeight));
  items.push_back({gridId, "grid", descriptor.Out, false});
  const uint16_t exifId = gridId + 1;
  if (!Options.Exif.empty()) {
    std::string item(4, '\0');  // no bytes before the TIFF header
    item.append(Options.Exif.begin(), Options.Exif.end());
    items.push_back({exifId, "Exif", item, false});
  }

  const auto meta = [&](uint32_t DataStart) {
    TBoxes b;
    const size_t metaBox = b.BeginFull("meta", 0, 0);
    const size_t hdlr = b.BeginFull("hdlr", 0, 0);
    b.U32(0);
    b.Out += "pict";
    for (int i = 0; i < 3; ++i) b.U32(0);
    b.U8(0);
    b.End(hdlr);
    const size_t pitm = b.BeginFull("pitm", 0, 0);
    b.U16(gridId);
    b.End(pitm);
    const size_t iinf = b.BeginFull("iinf", 0, 0);
    b.U16(static_cast<uint16_t>(items.size()));
    for (const TItem& item : items) {
      const size_t infe = b.BeginFull("infe", 2, item.Hidden ? 1 : 0);
      b.U16(item.Id);
      b.U16(0);
      b.Out.append(item.Type, 4);
      b.U8(0);
      b.End(infe);
    }
    b.End(iinf);
    const size_t iref = b.BeginFull("iref", 0, 0);
    const size_t dimg = b.Begin("dimg");
    b.U16(gridId);
    b.U16(tiles);
    for (uint16_t id = 1; id <= tiles; ++id) b.U16(id);
    b.End(dimg);
    if (!Options.Exif.empty()) {
      const size_t cdsc = b.Begin("cdsc");
      b.U16(exifId);
      b.U16(1);
      b.U16(gridId);
      b.End(cdsc);
    }
    b.End(iref);
    // Properties: 1 .. tiles each tile's coder set-up, then the tile size,
    // the grid's size, the rotation, the colours (when the tiles state them),
    // the mirror.
    const auto tileSize = static_cast<uint8_t>(tiles + 1);
    const auto gridSize = static_cast<uint8_t>(tiles + 2);
    const auto rotation = static_cast<uint8_t>(tiles + 3);
    const auto colours = static_cast<uint8_t>(tiles + 4);
    const auto mirror = static_cast<uint8_t>(tiles + 5);
    const bool coloured = !colour.empty() && Options.GridColour != THeifOptions::NoColour;
    const bool gridColours = coloured && Options.GridColour == THeifOptions::ColourOnGrid;
    const bool tileColours = coloured && Options.GridColour == THeifOptions::ColourOnTiles;
    const size_t iprp = b.Begin("iprp");
    const size_t ipco = b.Begin("ipco");
    for (const std::string& config : configs) b.Out += config;
    for (const auto& [w, h] : {std::pair{uint32_t(tileWidth), uint32_t(tileHeight)},
                               std::pair{gridWidth, gridHeight}}) {
      const size_t ispe = b.BeginFull("ispe", 0, 0);
      b.U32(w);
      b.U32(h);
      b.End(ispe);
    }
    const size_t irot = b.Begin("irot");
    b.U8(QuarterTurnsFor(Options.Orientation));
    b.End(irot);
    if (coloured) {
      b.Out += colour;
    } else {  // a placeholder, so that the mirror keeps its index
      const size_t free = b.Begin("free");
      b.End(free);
    }
    const size_t imir = b.Begin("imir");
    b.U8(static_cast<uint8_t>(Options.Mirror == 1 ? 1 : 0));
    b.End(imir);
    b.End(ipco);
    const size_t ipma = b.BeginFull("ipma", 0, 0);
    b.U32(static_cast<uint32_t>(tiles) + 1);
    for (uint16_t id = 1; id <= tiles; ++id) {
      b.U16(id);
      b.U8(tileColours ? 3 : 2);
      b.U8(static_cast<uint8_t>(0x80 | id));
      b.U8(tileSize);
      if (tileColours) b.U8(colours);
    }
    b.U16(gridId);
    b.U8(static_cast<uint8_t>(2 + (gridColours ? 1 : 0) + (Options.Mirror >= 0 ? 1 : 0)));
    b.U8(gridSize);
    b.U8(0x80 | rotation);
    if (Options.Mirror >= 0) b.U8(0x80 | mirror);
    if (gridColours) b.U8(colours);
    b.End(ipma);
    b.End(iprp);
    // Where each item's data lies in the media data box.
    const size_t iloc = b.BeginFull("iloc", 0, 0);
    b.U8(0x44);  // offsets and lengths of four bytes
    b.U8(0x00);  // no base offset
    b.U16(static_cast<uint16_t>(items.size()));
    uint32_t at = DataStart;
    for (const TItem& item : items) {
      b.U16(item.Id);
      b.U16(0);
      b.U16(1);
      b.U32(at);
      b.U32(static_cast<uint32_t>(item.Data.size()));
      at += static_cast<uint32_t>(item.Data.size());
    }
    b.End(iloc);
    b.End(metaBox);
    return b.Out;
  };

  TBoxes file;
  const size_t ftyp = file.Begin("ftyp");
  file.Out += Options.Avif ? std::string("avif\0\0\0\0mif1avif", 16)
                          : std::string("heic\0\0\0\0mif1heic", 16);
  file.End(ftyp);
  const size_t head = file.Out.size() + meta(0).size();
  file.Out += meta(static_cast<uint32_t>(head + 8));
  const size_t mdat = file.Begin("mdat");
  for (const TItem& item : items) file.Out += item.Data;
  file.End(mdat);
  WriteTextFile(Path, file.Out);
}

std::vector<uint8_t> PhoneExifBlock(const TPhoneExif& Exif) {
  std::vector<uint8_t> block = {'I', 'I', 42, 0, 8, 0, 0, 0};
  std::vector<TEntry> first = {Ascii(0x010F, Exif.Make), Ascii(0x0110, Exif.Model),
                               Short(0x0112, static_cast<uint16_t>(Exif.Orientation)),
                               Ascii(0x0132, Exif.DateTaken), Long(0x8769, 0)};
  const std::vector<size_t> fields = AppendDirectory(block, first);
  Put32(block, fields.back(), static_cast<uint32_t>(block.size()));
  std::vector<TEntry> exif = {Ascii(0x9003, Exif.DateTaken), Ascii(0x9004, Exif.DateTaken)};
  if (Exif.Width > 0 && Exif.Height > 0) {
    exif.push_back(Long(0xA002, Exif.Width));
    exif.push_back(Long(0xA003, Exif.Height));
  }
  AppendDirectory(block, exif);
  return block;
}

std::vector<uint8_t> SmallColourProfile(const std::string& Description) {
  std::vector<uint8_t> profile(144, 0);
  Put32BigEndian(profile, 8, 0x02100000);  // version 2.1
  const std::string header[] = {"mntr", "RGB ", "XYZ "};
  for (int i = 0; i < 3; ++i) std::copy_n(header[i].begin(), 4, profile.begin() + 12 + 4 * i);
  std::copy_n("acsp", 4, profile.begin() + 36);
  Put32BigEndian(profile, 128, 1);  // one tag
  std::copy_n("desc", 4, profile.begin() + 132);
  Put32BigEndian(profile, 136, 144);
  // The text description type: signature, reserved, count with the zero, text.
  std::vector<uint8_t> tag = {'d', 'e', 's', 'c', 0, 0, 0, 0, 0, 0, 0, 0};
  Put32BigEndian(tag, 8, static_cast<uint32_t>(Description.size() + 1));
  tag.insert(tag.end(), Description.begin(), Description.end());
  tag.push_back(0);
  tag.resize(tag.size() + 79, 0);  // the Unicode and Macintosh parts, empty
  Put32BigEndian(profile, 140, static_cast<uint32_t>(tag.size()));
  profile.insert(profile.end(), tag.begin(), tag.end());
  while (profile.size() % 4 != 0) profile.push_back(0);
  Put32BigEndian(profile, 0, static_cast<uint32_t>(profile.size()));
  return profile;
}

std::string SmallXmpPacket(uint32_t Width, uint32_t Height) {
  return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
         "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
         "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
         "<rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" "
         "xmlns:exif=\"http://ns.adobe.com/exif/1.0/\" xmp:CreatorTool=\"Pictrim test\" "
         "exif:PixelXDimension=\"" +
         std::to_string(Width) + "\" exif:PixelYDimension=\"" + std::to_string(Height) +
         "\"/></rdf:RDF></x:xmpmeta>\n" + std::string(200, ' ') + "\n<?xpacket end=\"w\"?>";
}

void WritePhoneHeic(const std::string& Path, const std::string& DateTaken) {
  QImage picture(32, 24, QImage::Format_RGB32);
  picture.fill(Qt::darkCyan);
  THeifOptions options;
  TPhoneExif exif;
  exif.DateTaken = DateTaken;
  options.Exif = PhoneExifBlock(exif);
  WriteHeif(Path, picture, options);
}

}  // namespace pictrim::test
