#include "tests/metadata/CameraFileBytes.h"

namespace pictrim::test {
namespace {

const std::string CanonMetadataName =
    "\x85\xc0\xb6\x87\x82\x0f\x11\xe0\x81\x11\xf4\xce\x46\x2b\x6a\x48";

TBytes ItemEntry(uint8_t Version, uint32_t Number, const std::string& Type) {
  const TBytes number = BigEndianBytes(Number, Version == 2 ? 2 : 4);
  return FullBox("infe", Version, Concat({number, BigEndianBytes(0, 2), Bytes(Type), {0}}));
}

// One item of the location box: a single extent at Offset of Length bytes.
TBytes ItemLocation(const THeifExifLayout& Layout, uint32_t Number, uint16_t Method,
                    uint64_t Offset, uint64_t Length) {
  const size_t numberSize = Layout.LocationVersion < 2 ? 2 : 4;
  TBytes item = BigEndianBytes(Number, numberSize);
  if (Layout.LocationVersion > 0) item = Concat({item, BigEndianBytes(Method, 2)});
  return Concat({item, BigEndianBytes(0, 2), BigEndianBytes(1, 2),
                 BigEndianBytes(Offset, Layout.OffsetSize),
                 BigEndianBytes(Length, Layout.OffsetSize)});
}

TBytes HeifMeta(const THeifExifLayout& Layout, const TBytes& Item, uint64_t MediaStart,
                uint64_t PictureSize) {
  const TBytes handler =
      FullBox("hdlr", 0, Concat({BigEndianBytes(0, 4), Bytes("pict"), TBytes(12, 0), {0}}));
  const TBytes info = FullBox("iinf", Layout.InfoVersion,
                              Concat({BigEndianBytes(2, Layout.InfoVersion == 0 ? 2 : 4),
                                      ItemEntry(Layout.EntryVersion, 1, "hvc1"),
                                      ItemEntry(Layout.EntryVersion, Layout.ExifNumber, "Exif")}));
  const uint64_t exifAt = Layout.InDataBox ? 0 : MediaStart + PictureSize;
  const auto sizes = static_cast<uint8_t>(Layout.OffsetSize << 4 | Layout.OffsetSize);
  const TBytes location =
      FullBox("iloc", Layout.LocationVersion,
              Concat({{sizes, 0},
                      BigEndianBytes(2, Layout.LocationVersion < 2 ? 2 : 4),
                      ItemLocation(Layout, 1, 0, MediaStart, PictureSize),
                      ItemLocation(Layout, Layout.ExifNumber, Layout.InDataBox ? 1 : 0, exifAt,
                                   Item.size())}));
  const TBytes data = Layout.InDataBox ? Box("idat", Item) : TBytes();
  return FullBox("meta", 0, Concat({handler, info, location, data}));
}

}  // namespace

TBytes BigEndianBytes(uint64_t Value, size_t Size) {
  TBytes bytes(Size);
  for (size_t i = 0; i < Size; ++i) bytes[Size - 1 - i] = static_cast<uint8_t>(Value >> (8 * i));
  return bytes;
}

TBytes Box(const std::string& Type, const TBytes& Contents) {
  return Concat({BigEndianBytes(Contents.size() + 8, 4), Bytes(Type), Contents});
}

TBytes FullBox(const std::string& Type, uint8_t Version, const TBytes& Contents) {
  return Box(Type, Concat({{Version, 0, 0, 0}, Contents}));
}

TBytes HeifWithExif(const TBytes& Tiff, const THeifExifLayout& Layout) {
  const TBytes fileType = Box("ftyp", Bytes(std::string("heic\0\0\0\0mif1heic", 16)));
  const TBytes item =
      Concat({BigEndianBytes(Layout.ExifPrefix ? 6 : 0, 4),
              Layout.ExifPrefix ? Bytes(std::string("Exif\0\0", 6)) : TBytes(), Tiff});
  const TBytes picture(100, 0x5A);
  // The offsets do not change the meta box's size, so a first build measures it.
  const uint64_t mediaStart =
      fileType.size() + HeifMeta(Layout, item, 0, picture.size()).size() + 8;
  const TBytes media = Layout.InDataBox ? picture : Concat({picture, item});
  return Concat({fileType, HeifMeta(Layout, item, mediaStart, picture.size()), Box("mdat", media)});
}

TBytes Cr3WithExif(const TBytes& Cmt1, const TBytes& Cmt2) {
  const TBytes fileType = Box("ftyp", Bytes(std::string("crx \0\0\0\x01"
                                                        "crx isom",
                                                        16)));
  const TBytes canon = Box("uuid", Concat({Bytes(CanonMetadataName),
                                           Box("CNCV", Bytes("CanonCR3_001/00.09.00/00.00.00")),
                                           Box("CMT1", Cmt1), Box("CMT2", Cmt2)}));
  return Concat({fileType, Box("moov", Concat({canon, Box("trak", TBytes(32, 0))})),
                 Box("mdat", TBytes(64, 0x33))});
}

TBytes RafWithJpeg(const TBytes& Jpeg) {
  std::string camera = "Test Camera";
  camera.resize(32, '\0');
  TBytes header =
      Concat({Bytes("FUJIFILMCCD-RAW 0201FF383501"), Bytes(camera), Bytes("0100"), TBytes(20, 0)});
  const uint64_t jpegAt = 148;
  header = Concat({header, BigEndianBytes(jpegAt, 4), BigEndianBytes(Jpeg.size(), 4)});
  header.resize(jpegAt, 0);
  return Concat({header, Jpeg, TBytes(256, 0x77)});
}

TBytes RawTiff(const TBytes& Tiff, uint16_t Number, size_t Padding) {
  TBytes raw = Tiff;
  const bool big = raw[0] == 'M';
  raw[2] = static_cast<uint8_t>(big ? Number >> 8 : Number);
  raw[3] = static_cast<uint8_t>(big ? Number : Number >> 8);
  raw.resize(raw.size() + Padding, 0x11);
  return raw;
}

TExifBlock DatedBlock(bool BigEndian, const std::string& Original, const std::string& DateTime,
                      const std::string& Digitized) {
  TExifBlock block(BigEndian);
  if (!DateTime.empty()) block.AddAscii(0, 306, DateTime + '\0');
  const int exif = block.AddDirectory();
  block.AddPointer(0, 34665, exif);
  if (!Original.empty()) block.AddAscii(exif, 36867, Original + '\0');
  if (!Digitized.empty()) block.AddAscii(exif, 36868, Digitized + '\0');
  return block;
}

TBytes SmallDng(const std::string& Model, const std::string& Original) {
  const auto build = [&](uint32_t StripOffset) {
    TExifBlock block(false);
    block.AddLong(0, 254, 0);  // the main raw picture
    block.AddLong(0, 256, 2);
    block.AddLong(0, 257, 2);
    block.AddShort(0, 258, {16});
    block.AddShort(0, 259, {1});      // no compression
    block.AddShort(0, 262, {32803});  // colour filter array
    block.AddAscii(0, 271, std::string("Pictrim") + '\0');
    block.AddAscii(0, 272, Model + '\0');
    block.AddLong(0, 273, StripOffset);
    block.AddShort(0, 274, {1});
    block.AddShort(0, 277, {1});
    block.AddLong(0, 278, 2);
    block.AddLong(0, 279, 8);
    block.AddShort(0, 284, {1});
    block.AddAscii(0, 306, Original + '\0');
    block.AddShort(0, 33421, {2, 2});
    block.Add(0, 33422, 1, 4, {0, 1, 1, 2});  // red, green / green, blue
    const int exif = block.AddDirectory();
    block.AddPointer(0, 34665, exif);
    block.Add(0, 50706, 1, 4, {1, 4, 0, 0});  // DNG 1.4
    block.Add(0, 50707, 1, 4, {1, 1, 0, 0});
    block.AddAscii(0, 50708, "Pictrim " + Model + '\0');
    block.AddAscii(exif, 36867, Original + '\0');
    return block.Tiff();
  };
  const TBytes tiff = build(static_cast<uint32_t>(build(0).size()));
  return Concat({tiff, {0x00, 0x10, 0x00, 0x20, 0x00, 0x20, 0x00, 0x30}});
}

}  // namespace pictrim::test
