// The time taken as the renaming reads it from the files cameras and phones
// write: EXIF blocks, JPEG streams, TIFF-structured raw files, RAF, CR3 and
// HEIF, well-formed, cut short and hostile.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>

#include <string>
#include <vector>

#include "image/HeifFormat.h"
#include "metadata/PhotoDates.h"
#include "tests/common/HeifPictures.h"
#include "tests/common/TempDir.h"
#include "tests/metadata/CameraFileBytes.h"
#include "tests/metadata/MetadataBytes.h"
#include "util/Errors.h"

namespace pictrim {
namespace {

using namespace std::string_literals;
using test::DatedBlock;
using test::DateText;
using test::TBytes;
using test::TExifBlock;

const std::string Taken = "2019:06:15 10:20:30";
const std::string TakenText = "2019-06-15 10:20:30";

TTakenDates DatesOf(const TBytes& Bytes) {
  const TMemorySource source(Bytes);
  return CameraTakenDates(TByteWindow(source));
}

// The time taken, "none" also where the bytes claim what they do not hold
// (the range error that the renaming takes as no date).
std::string TakenOf(const TBytes& Bytes) {
  try {
    return DateText(DatesOf(Bytes).TimeTaken());
  } catch (const ERangeError&) {
    return "none";
  }
}

TCameraContainer ContainerOf(const TBytes& Bytes) {
  const TMemorySource source(Bytes);
  return CameraContainerOf(TByteWindow(source));
}

TBytes DatedTiff(bool BigEndian = false) {
  return DatedBlock(BigEndian, Taken, "2001:01:01 01:01:01").Tiff();
}

TBytes DatedJpeg() {
  return test::JpegFile({DatedBlock(true, Taken).App1()});
}

// Writes Bytes at Offset of Path (a sparse file grows around them).
void WriteAt(const std::string& Path, uint64_t Offset, const TBytes& Bytes) {
  const int fd = ::open(Path.c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::pwrite(fd, Bytes.data(), Bytes.size(), static_cast<off_t>(Offset)),
            static_cast<ssize_t>(Bytes.size()));
  ::close(fd);
}

TEST(PhotoDates, theTimeTakenIsTheFirstRealOfOriginalDigitizedAndDateTime) {
  const auto taken = [](const TExifBlock& Block) {
    const TBytes tiff = Block.Tiff();
    const TMemorySource source(tiff);
    return DateText(TiffTakenDates(TByteWindow(source)).TimeTaken());
  };
  const std::string a = "2001:01:01 01:01:01";
  const std::string b = "2002:02:02 02:02:02";
  const std::string c = "2003:03:03 03:03:03";
  EXPECT_EQ(taken(DatedBlock(false, b, a, c)), "2002-02-02 02:02:02");
  EXPECT_EQ(taken(DatedBlock(true, "", a, c)), "2003-03-03 03:03:03");
  EXPECT_EQ(taken(DatedBlock(false, "", a, "")), "2001-01-01 01:01:01");
  EXPECT_EQ(taken(DatedBlock(false, "", "", "")), "none");
  // A date that is no date counts as missing.
  EXPECT_EQ(taken(DatedBlock(false, "2002:13:02 02:02:02", a, c)), "2003-03-03 03:03:03");
  EXPECT_EQ(taken(DatedBlock(false, "0000:00:00 00:00:00", a, "junk")), "2001-01-01 01:01:01");
  EXPECT_EQ(taken(DatedBlock(false, "x", "2001:01:00 01:01:01", "")), "none");

  // A date stored as another type of one-byte units is read by its bytes.
  TExifBlock undefined(false);
  undefined.AddUndefined(0, 306, test::Bytes(b));
  EXPECT_EQ(taken(undefined), "2002-02-02 02:02:02");
  TExifBlock shorts(false);
  shorts.AddShort(0, 306, {2019, 6, 15});
  EXPECT_EQ(taken(shorts), "none");
  // The Exif directory's dates stand in the first directory of a CR3's own
  // block, and are read there as well.
  TExifBlock first(true);
  first.AddAscii(0, 36867, b + '\0');
  EXPECT_EQ(taken(first), "2002-02-02 02:02:02");
}

TEST(PhotoDates, everyContainerLeadsToItsDates) {
  const TBytes tiff = DatedTiff();
  EXPECT_EQ(ContainerOf(DatedJpeg()), TCameraContainer::Jpeg);
  EXPECT_EQ(TakenOf(DatedJpeg()), TakenText);
  // Raw files named .CR2, .NEF, .ARW, .DNG: a TIFF structure in either order.
  for (const bool big : {false, true}) {
    const TBytes raw = test::RawTiff(DatedTiff(big));
    EXPECT_EQ(ContainerOf(raw), TCameraContainer::Tiff);
    EXPECT_EQ(TakenOf(raw), TakenText) << big;
  }
  // Olympus and Panasonic raws have header numbers of their own.
  for (const uint16_t number : {0x4F52, 0x5352, 0x55}) {
    EXPECT_EQ(TakenOf(test::RawTiff(tiff, number)), TakenText) << number;
  }
  EXPECT_EQ(TakenOf(test::RawTiff(tiff, 43)), "none");
  EXPECT_EQ(TakenOf(test::SmallDng("DNG", Taken)), TakenText);

  const TBytes raf = test::RafWithJpeg(DatedJpeg());
  EXPECT_EQ(ContainerOf(raf), TCameraContainer::Raf);
  EXPECT_EQ(TakenOf(raf), TakenText);

  // CR3: DateTime in CMT1, DateTimeOriginal in CMT2, which wins.
  TExifBlock cmt1(false);
  cmt1.AddAscii(0, 306, "2001:01:01 01:01:01\0"s);
  TExifBlock cmt2(false);
  cmt2.AddAscii(0, 36867, Taken + '\0');
  const TBytes cr3 = test::Cr3WithExif(cmt1.Tiff(), cmt2.Tiff());
  EXPECT_EQ(ContainerOf(cr3), TCameraContainer::Cr3);
  EXPECT_EQ(TakenOf(cr3), TakenText);
  EXPECT_EQ(TakenOf(test::Cr3WithExif(cmt1.Tiff(), TExifBlock(false).Tiff())),
            "2001-01-01 01:01:01");

  const TBytes heif = test::HeifWithExif(tiff);
  EXPECT_EQ(ContainerOf(heif), TCameraContainer::Heif);
  EXPECT_EQ(TakenOf(heif), TakenText);
  EXPECT_EQ(ContainerOf(test::Bytes("GIF89a and more bytes")), TCameraContainer::Unknown);
}

TEST(PhotoDates, theExifItemOfAHeifFileIsFoundInEveryLayoutOfItsBoxes) {
  const TBytes tiff = DatedTiff(true);
  std::vector<test::THeifExifLayout> layouts;
  for (const uint8_t info : {0, 1})
    for (const uint8_t entry : {2, 3})
      for (const uint8_t location : {0, 1, 2})
        for (const uint8_t size : {4, 8}) layouts.push_back({info, entry, location, size});
  test::THeifExifLayout inData;
  inData.InDataBox = true;
  test::THeifExifLayout prefixed;
  prefixed.ExifPrefix = true;
  test::THeifExifLayout numbered;
  numbered.ExifNumber = 70000;
  numbered.EntryVersion = 3;
  numbered.LocationVersion = 2;
  layouts.insert(layouts.end(), {inData, prefixed, numbered});
  for (const test::THeifExifLayout& layout : layouts) {
    EXPECT_EQ(TakenOf(test::HeifWithExif(tiff, layout)), TakenText)
        << int(layout.InfoVersion) << int(layout.EntryVersion) << int(layout.LocationVersion)
        << int(layout.OffsetSize) << layout.InDataBox << layout.ExifPrefix;
  }
  // Version 0 of the location box knows no data box: the item is not found.
  test::THeifExifLayout noDataBox = inData;
  noDataBox.LocationVersion = 0;
  EXPECT_EQ(TakenOf(test::HeifWithExif(tiff, noDataBox)), "none");

  // An Exif item of up to 4 MiB is read; a byte more is not.
  TBytes padded = tiff;
  padded.resize((size_t(4) << 20) - 4);
  EXPECT_EQ(TakenOf(test::HeifWithExif(padded)), TakenText);
  padded.push_back(0);
  EXPECT_EQ(TakenOf(test::HeifWithExif(padded)), "none");
}

TEST(PhotoDates, phoneFilesMadeByTheEncoderGiveTheirExifDate) {
  test::TTempDir dir;
  test::WritePhoneHeic(dir / "IMG_0001.HEIC", "2021:03:04 05:06:07");
  QImage picture(64, 48, QImage::Format_RGB32);
  picture.fill(Qt::darkCyan);
  test::THeifOptions options;
  options.Exif = test::PhoneExifBlock(test::TPhoneExif());
  test::WriteHeifGrid(dir / "IMG_0002.HEIC", picture, 2, 2, options);
  options.Avif = true;
  test::WriteHeif(dir / "IMG_0003.AVIF", picture, options);
  EXPECT_EQ(DateText(ReadCameraTimeTaken(dir / "IMG_0001.HEIC")), "2021-03-04 05:06:07");
  // The others have the phone block's own date.
  for (const char* name : {"IMG_0002.HEIC", "IMG_0003.AVIF"}) {
    EXPECT_EQ(DateText(ReadCameraTimeTaken(dir / name)), "2023-06-15 10:20:30") << name;
  }
  // Without an Exif item the file has no time taken.
  test::WriteHeif(dir / "IMG_0004.HEIC", picture);
  EXPECT_EQ(DateText(ReadCameraTimeTaken(dir / "IMG_0004.HEIC")), "none");
  EXPECT_EQ(DateText(ReadCameraTimeTaken(dir / "missing.heic")), "none");
}

TEST(PhotoDates, filesCutShortOrChangedAnywhereGiveTheirDateOrNoneAndNeverMore) {
  TExifBlock cmt(false);
  cmt.AddAscii(0, 36867, Taken + '\0');
  const std::vector<TBytes> files = {DatedJpeg(),
                                     test::RawTiff(DatedTiff(), 42, 16),
                                     test::RafWithJpeg(DatedJpeg()),
                                     test::Cr3WithExif(cmt.Tiff(), cmt.Tiff()),
                                     test::HeifWithExif(DatedTiff()),
                                     test::SmallDng("DNG", Taken)};
  for (const TBytes& file : files) {
    for (size_t length = 0; length <= file.size(); ++length) {
      const TBytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
      const std::string taken = TakenOf(cut);
      // A file cut before its Exif directory still has its DateTime.
      EXPECT_TRUE(taken == "none" || taken == TakenText || taken == "2001-01-01 01:01:01")
          << length << " " << taken;
    }
    // Any other exception, or a crash, fails the test.
    for (size_t at = 0; at < file.size(); ++at) {
      TBytes changed = file;
      changed[at] ^= 0xFF;
      const std::string taken = TakenOf(changed);
      EXPECT_FALSE(taken.empty()) << at;
    }
  }
}

TEST(PhotoDates, boxesAndDirectoriesThatClaimWhatTheyDoNotHoldGiveNoDate) {
  const TBytes tiff = DatedTiff(true);
  const TBytes heif = test::HeifWithExif(tiff);
  const auto at = [&heif](const std::string& Type) {
    const std::string text(heif.begin(), heif.end());
    return text.find(Type) - 4;
  };
  const auto patched = [](TBytes Bytes, size_t At, const TBytes& With) {
    std::copy(With.begin(), With.end(), Bytes.begin() + static_cast<std::ptrdiff_t>(At));
    return Bytes;
  };
  // A meta box larger than the file, an item information box larger than
  // its meta box, a location box that lists the picture only, an Exif item
  // beyond the file, and an item whose TIFF header lies behind its end.
  const auto readsNone = [](const TBytes& Bytes) { return TakenOf(Bytes) == "none"; };
  EXPECT_TRUE(readsNone(patched(heif, at("meta"), {0x7F, 0xFF, 0xFF, 0xFF})));
  EXPECT_TRUE(readsNone(patched(heif, at("iinf"), {0x00, 0x0F, 0xFF, 0xFF})));
  EXPECT_TRUE(readsNone(patched(heif, at("iloc") + 14, {0x00, 0x01})));
  // The location box: its header (12 bytes), the sizes and the count (4),
  // the picture's item (16), then the Exif item's number, method, data
  // reference and extent count (8) before its offset.
  EXPECT_TRUE(readsNone(patched(heif, at("iloc") + 40, {0xFF, 0xFF, 0xFF, 0x00})));
  const std::string text(heif.begin(), heif.end());
  const size_t item = text.rfind(std::string(tiff.begin(), tiff.begin() + 4)) - 4;
  EXPECT_TRUE(readsNone(patched(heif, item, {0x7F, 0xFF, 0xFF, 0xF0})));
  EXPECT_EQ(TakenOf(heif), TakenText);  // the file as written still reads

  // A directory that points back at itself, a directory of 65535 entries of
  // which none is there, a date beyond the block, a date of four thousand
  // million characters.
  TExifBlock loop(false);
  loop.AddAscii(0, 306, Taken + '\0');
  loop.AddPointer(0, 34665, 0);
  EXPECT_EQ(TakenOf(loop.Tiff()), TakenText);
  EXPECT_EQ(TakenOf(test::Concat({test::Bytes("II*\0\x08\0\0\0"s), {0xFF, 0xFF}})), "none");
  TExifBlock beyond(false);
  beyond.Add(0, 306, 2, 20, test::Bytes("\xF0\xFF\x00\x00"s));
  EXPECT_EQ(TakenOf(beyond.Tiff()), "none");
  // Of a date that claims four thousand million characters the first 64
  // are read: a date among them counts, a value shorter than that is none.
  TExifBlock endless(false);
  endless.Add(0, 306, 2, 0xFFFFFFFF, test::Bytes("\x1A\0\0\0"s));
  const TBytes endlessTiff = test::Concat({endless.Tiff(), test::Bytes(Taken + '\0')});
  EXPECT_EQ(TakenOf(endlessTiff), "none");
  EXPECT_EQ(TakenOf(test::Concat({endlessTiff, TBytes(44, 0)})), TakenText);
  // A Panasonic raw whose embedded JPEG is the raw itself.
  TExifBlock self(false);
  self.Add(0, 46, 7, 64, test::Bytes("\0\0\0\0"s));
  EXPECT_EQ(TakenOf(test::RawTiff(self.Tiff(), 0x55)), "none");
  // A RAF whose JPEG lies beyond the file.
  TBytes raf = test::RafWithJpeg(DatedJpeg());
  raf = patched(raf, 84, {0x7F, 0xFF, 0xFF, 0xFF});
  EXPECT_TRUE(readsNone(raf));
}

TEST(PhotoDates, anExifItemOfNoBytesInADataBoxThatIsNotThereIsNoItem) {
  // Found by the fuzz target: the item's one extent is "to the end" of the
  // item data box, and the meta box has none.
  using test::BigEndianBytes;
  const TBytes entry = test::FullBox(
      "infe", 2,
      test::Concat({BigEndianBytes(1, 2), BigEndianBytes(0, 2), test::Bytes("Exif"), {0}}));
  const TBytes location = test::FullBox("iloc", 1,
                                        test::Concat({{0x44, 0x00},
                                                      BigEndianBytes(1, 2),
                                                      BigEndianBytes(1, 2),
                                                      BigEndianBytes(1, 2),
                                                      BigEndianBytes(0, 2),
                                                      BigEndianBytes(1, 2),
                                                      BigEndianBytes(0, 8)}));
  const TBytes meta = test::FullBox(
      "meta", 0,
      test::Concat(
          {test::FullBox("iinf", 0, test::Concat({BigEndianBytes(1, 2), entry})), location}));
  const TBytes file =
      test::Concat({test::Box("ftyp", test::Bytes(std::string("heic\0\0\0\0mif1", 12))), meta});
  EXPECT_EQ(TakenOf(file), "none");
}

TEST(PhotoDates, aPanasonicRawWithoutItsOwnDateTakesThatOfItsEmbeddedJpeg) {
  const TBytes jpeg = DatedJpeg();
  TExifBlock block(false);
  block.AddAscii(0, 306, "2001:01:01 01:01:01\0"s);  // no DateTimeOriginal of its own
  block.Add(0, 46, 7, static_cast<uint32_t>(jpeg.size()), test::Bytes("\0\0\0\0"s));
  TBytes raw = block.Tiff();
  const auto offset = static_cast<uint32_t>(raw.size());
  const TBytes pointer = {static_cast<uint8_t>(offset), static_cast<uint8_t>(offset >> 8), 0, 0};
  // The entry's value field lies behind the count, the header and the tag.
  std::copy(pointer.begin(), pointer.end(), raw.begin() + 8 + 2 + 12 + 8);
  raw = test::RawTiff(test::Concat({raw, jpeg}), 0x55, 0);
  EXPECT_EQ(TakenOf(raw), TakenText);
}

TEST(PhotoDates, onlyTheFewPlacesThatLeadToTheDatesAreRead) {
  test::TTempDir dir;
  // A raw whose Exif directory lies half a terabyte into a sparse file.
  // A raw of a terabyte, sparse, whose Exif directory lies at 3 GiB.
  const std::string raw = dir / "far.NEF";
  TExifBlock first(false);
  first.AddLong(0, 34665, 0);  // the pointer, set below
  WriteAt(raw, 0, first.Tiff());
  ASSERT_EQ(::truncate(raw.c_str(), off_t{1} << 40), 0);
  const uint32_t directory = 3u << 30;
  WriteAt(raw, 8 + 2 + 8,
          {static_cast<uint8_t>(directory), static_cast<uint8_t>(directory >> 8),
           static_cast<uint8_t>(directory >> 16), static_cast<uint8_t>(directory >> 24)});
  TExifBlock exif(false);
  exif.AddAscii(0, 36867, Taken + '\0');
  TBytes exifTiff = exif.Tiff();
  // Its directory (at 8 in its own block) and its value, moved to 3 GiB.
  const TBytes moved(exifTiff.begin() + 8, exifTiff.end());
  TBytes placed = moved;
  const uint32_t value = directory + static_cast<uint32_t>(2 + 12 + 4);
  for (int i = 0; i < 4; ++i) placed[2 + 8 + i] = static_cast<uint8_t>(value >> (8 * i));
  WriteAt(raw, directory, placed);
  {
    const TFileSource source(raw);
    EXPECT_EQ(DateText(CameraTakenDates(TByteWindow(source)).TimeTaken()), TakenText);
    EXPECT_LE(source.BlocksRead(), 3);
  }

  // A directory of 300 dates, each in a block of its own and none a real
  // date: the reads stop at the cap of one file, and there is no date.
  const std::string many = dir / "many.CR2";
  TExifBlock dates(false);
  for (int i = 0; i < 300; ++i) {
    dates.Add(0, 306, 2, 20, {0, 0, 0, 0});
  }
  TBytes manyHead = dates.Tiff();
  for (uint32_t i = 0; i < 300; ++i) {
    const uint32_t where = (i + 1) * static_cast<uint32_t>(TFileSource::BlockSize);
    for (uint32_t b = 0; b < 4; ++b)
      manyHead[8 + 2 + 12 * i + 8 + b] = static_cast<uint8_t>(where >> (8 * b));
    WriteAt(many, where, test::Bytes("2019:13:15 10:20:30\0"s));
  }
  WriteAt(many, 0, manyHead);
  const TFileSource source(many);
  EXPECT_EQ(DateText(CameraTakenDates(TByteWindow(source)).TimeTaken()), "none");
  EXPECT_EQ(source.BlocksRead(), TFileSource::MaxBlocks);
  EXPECT_EQ(DateText(ReadCameraTimeTaken(many)), "none");
}

}  // namespace
}  // namespace pictrim
