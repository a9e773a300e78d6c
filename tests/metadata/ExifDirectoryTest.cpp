// The EXIF directory walk: what is listed, what enters the tag list, which
// values and positions are kept, and how hostile blocks end.
#include <gtest/gtest.h>

#include <memory>

#include "metadata/Exif.h"
#include "tests/common/TempDir.h"
#include "tests/metadata/MetadataBytes.h"
#include "util/Errors.h"

namespace pictrim {
namespace {

using namespace std::string_literals;
using test::TExifBlock;

class ExifDirectories : public ::testing::Test {
 protected:
  // Reads a JPEG whose only segment is Block's APP1.
  TExifInfo& Walk(const TExifBlock& Block, int ListMode = 255) {
    return WalkSegment(Block.App1(), ListMode);
  }
  TExifInfo& WalkSegment(const test::TBytes& App1, int ListMode = 255) {
    Metadata_ = std::make_unique<TMetadata>(ListMode);
    test::WriteBytes(Dir_ / "a.jpg", test::JpegFile({App1}));
    Ok_ = Metadata_->ReadMetadata(Dir_ / "a.jpg");
    return *Metadata_->ExifInfo();
  }
  static int Occurrences(const std::string& Text, const std::string& Piece) {
    int count = 0;
    for (size_t at = Text.find(Piece); at != std::string::npos; at = Text.find(Piece, at + 1))
      ++count;
    return count;
  }
  // Position in the segment's Data of an offset counted from the TIFF header.
  static int32_t Pos(uint32_t TiffOffset) { return static_cast<int32_t>(TiffOffset) + 9; }

  test::TTempDir Dir_;
  std::unique_ptr<TMetadata> Metadata_;
  bool Ok_ = false;
};

TEST_F(ExifDirectories, listsEveryEntryWithItsCaptionAndWalksSubDirectoriesWhenMet) {
  TExifBlock block(false);
  block.AddAscii(0, 271, "Maker\0"s);
  const int exif = block.AddDirectory();
  block.AddPointer(0, 34665, exif);
  block.AddAscii(0, 306, "2001:01:01 00:00:00\0"s);
  block.AddRationals(exif, 33434, {{1, 60}});
  block.AddShort(exif, 37385, {89});
  block.AddAscii(exif, 36867, "2002:02:02 02:02:02\0"s);
  const TExifInfo& info = Walk(block);
  ASSERT_TRUE(Ok_);
  // The pointer entry is listed, then its directory is walked at once.
  EXPECT_EQ(info.Listing(),
            "\r\nMake = Maker\r\nExif Offset = " + std::to_string(block.DirectoryOffset(exif)) +
                "\r\nExposure Time = 1/60 sec"
                "\r\nFlash = On, auto mode, red-eye reduction"
                "\r\nDate Time Original = 2002:02:02 02:02:02"
                "\r\nDate Time = 2001:01:01 00:00:00");
  EXPECT_EQ(Metadata_->ExifListing(), info.Listing());
  // DateTime is read after DateTimeOriginal here, so it wins the date text.
  EXPECT_EQ(info.DateText(), "2001:01:01 00:00:00");
  EXPECT_EQ(info.FlashCode(), 89);
  EXPECT_EQ(info.DateTimePos(), Pos(block.DirectoryOffset(0) + 2 + 3 * 12 + 4 + 6));
  ASSERT_EQ(info.TagCount(), 6);
  const TTagEntry exposure = info.TagByName("exposuretime");
  EXPECT_EQ(exposure.TagNumber, 33434);
  EXPECT_EQ(exposure.Format, 5);
  EXPECT_EQ(exposure.Value, "1/60 sec");
  EXPECT_EQ(exposure.ByteCount, 8);
  EXPECT_EQ(exposure.Origin, 0);
  EXPECT_EQ(exposure.Pattern, "%s sec");
  EXPECT_EQ(info.NumericTagValue("ExposureTime"), 1.0 / 60);
}

TEST_F(ExifDirectories, letsTheExifDirectoryWinTheDateAndTheStoredSize) {
  TExifBlock block(false);
  block.AddLong(0, 256, 3000);
  block.AddLong(0, 257, 2000);
  block.AddAscii(0, 306, "2001:01:01 00:00:00\0"s);
  const int exif = block.AddDirectory();
  block.AddPointer(0, 34665, exif);
  block.AddAscii(exif, 36867, "2002:02:02 02:02:02\0"s);
  block.AddShort(exif, 40962, {1500});
  block.AddShort(exif, 40963, {1000});
  const TExifInfo& info = Walk(block);
  EXPECT_EQ(info.DateText(), "2002:02:02 02:02:02");
  EXPECT_EQ(info.StoredWidth(), 1500);
  EXPECT_EQ(info.StoredHeight(), 1000);
  EXPECT_EQ(info.WidthPos(), Pos(block.ValueFieldOffset(exif, 1)));
  EXPECT_EQ(info.HeightPos(), Pos(block.ValueFieldOffset(exif, 2)));
}

TEST_F(ExifDirectories, walksEveryDirectoryOnceWhenPointersLoop) {
  TExifBlock block(true);
  block.AddAscii(0, 271, "Maker\0"s);
  const int exif = block.AddDirectory();
  block.AddPointer(0, 34665, exif);
  block.AddPointer(0, 330, 0);          // IFD0 points at itself
  block.AddPointer(exif, 34665, 0);     // back to the parent
  block.AddPointer(exif, 40965, exif);  // at itself
  block.AddAscii(exif, 36867, "2002:02:02 02:02:02\0"s);
  const TExifInfo& info = Walk(block);
  ASSERT_TRUE(Ok_);
  EXPECT_EQ(Occurrences(info.Listing(), "Make = "), 1);
  EXPECT_EQ(Occurrences(info.Listing(), "Date Time Original = "), 1);
}

TEST_F(ExifDirectories, stopsALongChainOfDirectories) {
  TExifBlock block(false);
  constexpr int chain = 200;
  for (int d = 1; d < chain; ++d) {
    block.AddDirectory();
    block.AddPointer(d - 1, 34665, d);
  }
  const TExifInfo& info = Walk(block);
  EXPECT_TRUE(Ok_);
  EXPECT_EQ(Occurrences(info.Listing(), "Exif Offset = "), TExifInfo::MaxDirectories);
}

TEST_F(ExifDirectories, skipsEntriesWithoutValueBytes) {
  TExifBlock block(false);
  block.Add(0, 305, 2, 0, {});         // count 0
  block.Add(0, 315, 0, 5, {1, 2, 3});  // type 0
  block.AddAscii(0, 271, "M\0"s);
  const TExifInfo& info = Walk(block);
  EXPECT_EQ(info.Listing(), "\r\nMake = M");
  EXPECT_EQ(info.TagCount(), 1);
}

TEST_F(ExifDirectories, endsADirectoryAtATypeAboveTwelve) {
  TExifBlock block(false);
  const int exif = block.AddDirectory();
  block.AddPointer(0, 34665, exif);
  block.AddAscii(0, 271, "After\0"s);
  block.AddAscii(exif, 272, "Before\0"s);
  block.Add(exif, 305, 13, 1, {1, 2, 3, 4});
  block.AddAscii(exif, 315, "Never\0"s);
  const TExifInfo& info = Walk(block);
  ASSERT_TRUE(Ok_);
  EXPECT_EQ(info.ModelText(), "Before");
  EXPECT_EQ(info.MakeText(), "After");  // the parent goes on
  EXPECT_EQ(Occurrences(info.Listing(), "Never"), 0);
  // In the first directory the range error fails the read.
  TExifBlock first(false);
  first.Add(0, 305, 13, 1, {1});
  Walk(first);
  EXPECT_FALSE(Ok_);
  EXPECT_EQ(Metadata_->ErrorText(), "Not an EXIF file");
  EXPECT_TRUE(Metadata_->HasExif());
}

TEST_F(ExifDirectories, listsUnknownTagsButKeepsOnlyKnownOnes) {
  TExifBlock block(false);
  block.AddShort(0, 0xABCD, {7});
  const int gps = block.AddDirectory();
  block.AddPointer(0, 34853, gps);
  block.Add(gps, 0, 1, 4, {2, 2, 0, 0});
  block.AddShort(gps, 30, {1});
  block.AddAscii(gps, 1, "N\0"s);
  const TExifInfo& info = Walk(block);
  EXPECT_EQ(info.Listing(),
            "\r\nUnknown = 7\r\nGPSInfo = " + std::to_string(block.DirectoryOffset(gps)) +
                "\r\nGPSVersion ID = 2, 2, 0, 0\r\nGPSDifferential = 1"
                "\r\nGPSLatitude Ref = N");
  EXPECT_EQ(info.IndexOfTag("Unknown"), -1);
  EXPECT_EQ(info.IndexOfTag("GPSVersionID"), -1);
  EXPECT_EQ(info.TagValue("GPSDifferential"), "1");
  EXPECT_EQ(info.TagByName("GPSLatitudeRef").TagNumber, 1);
  EXPECT_EQ(info.TagCount(), 3);
}

TEST_F(ExifDirectories, formatsTextsListsAndSignedValues) {
  TExifBlock block(false);
  block.AddAscii(0, 305, "Abcde\0"s);
  block.AddAscii(0, 315, "Abcde\0\0"s);
  block.AddRationals(0, 319, {{1, 1}, {30, 1}, {4500, 100}});
  block.AddSShort(0, 280, -1);
  block.AddUndefined(0, 36864, {'0', '2', '2', '0'});
  block.AddShort(0, 274, {6});
  block.AddShort(0, 262, {2});  // the blank in "1:Monochrome, 2:RGB" hides RGB
  const TExifInfo& info = Walk(block);
  EXPECT_EQ(info.TagValue("Software"), "Abcde");
  EXPECT_EQ(info.TagValue("Artist"), "Abcde.");
  EXPECT_EQ(info.TagValue("PrimaryChromaticities"), "1/1, 30/1, 4500/100");
  EXPECT_EQ(info.TagValue("MinSampleValue"), "65535");
  EXPECT_EQ(info.TagValue("ExifVersion"), "\"0220\"");
  EXPECT_EQ(info.VersionText(), "0220");
  EXPECT_EQ(info.TagValue("Orientation"), "CounterClockwise 90°");
  EXPECT_EQ(info.TagValue("PhotometricInterpretation"), "");
}

TEST_F(ExifDirectories, keepsTheUserCommentFromItsNinthByte) {
  TExifBlock block(true);
  block.AddUndefined(0, 37510, test::Bytes("ASCII\0\0\0  Hello world \0\0"s));
  const TExifInfo& info = Walk(block);
  EXPECT_EQ(info.CommentText(), "Hello world");
  EXPECT_EQ(info.TagValue("UserComment"), "Hello world");
  EXPECT_EQ(info.Listing(), "\r\nUser Comment = Hello world");
  EXPECT_EQ(info.CommentPos(), Pos(block.DirectoryOffset(0) + 2 + 12 + 4));
  EXPECT_EQ(info.CommentLength(), 24 - 9);
  EXPECT_EQ(info.TagByName("UserComment").RawBytes.size(), 24u);
}

// 2848 x 2136 pixels behind a 7.4 mm lens, with a resolution unit (in tag
// UnitTag) and the focal-plane resolution in pixels per unit.
TExifBlock SensorBlock(uint16_t UnitTag, uint16_t Unit, uint32_t Resolution) {
  TExifBlock block(false);
  block.AddLong(0, 256, 2848);
  block.AddLong(0, 257, 2136);
  block.AddRationals(0, 37386, {{74, 10}});
  block.AddShort(0, UnitTag, {Unit});
  block.AddRationals(0, 41486, {{Resolution, 1}});
  block.AddRationals(0, 41487, {{Resolution, 1}});
  return block;
}

TEST_F(ExifDirectories, addsAComputedFocalLengthIn35mmFilm) {
  // At 10160 pixels per inch the sensor is 7.12 x 5.34 mm, 8.9 mm across.
  const TExifInfo& info = Walk(SensorBlock(41488, 2, 10160));
  EXPECT_EQ(info.TagValue("FocalLength"), " 7.40 mm");
  const TTagEntry focal35 = info.TagByName("FocalLengthIn35mmFilm");
  EXPECT_EQ(focal35.TagNumber, 41989);
  EXPECT_EQ(focal35.Value, "35.97");
  EXPECT_EQ(focal35.Format, 10);
  EXPECT_EQ(focal35.Pattern, "%s mm");
  EXPECT_TRUE(focal35.RawBytes.empty());
  EXPECT_TRUE(info.Listing().ends_with("\r\nFocal Length in 35mm Film = 35.97"));
  // Without a focal-plane unit the resolution unit serves (3 = centimetres).
  EXPECT_EQ(Walk(SensorBlock(296, 3, 4000)).TagValue("FocalLengthin35mmFilm"), "35.97");
}

TEST_F(ExifDirectories, addsNoFocalLengthWhenOneIsStoredOrCannotBeComputed) {
  TExifBlock stored = SensorBlock(41488, 2, 10160);
  stored.AddShort(0, 41989, {50});
  const TExifInfo& info = Walk(stored);
  EXPECT_EQ(info.TagValue("FocalLengthIn35mmFilm"), "50.00 mm");
  EXPECT_EQ(info.TagCount(), 7);
  EXPECT_EQ(Walk(SensorBlock(41488, 2, 0)).IndexOfTag("FocalLengthIn35mmFilm"), -1);
  EXPECT_EQ(Walk(SensorBlock(41488, 4, 10160)).IndexOfTag("FocalLengthIn35mmFilm"), -1);
}

TEST_F(ExifDirectories, buildsTheListingTheTagListOrBoth) {
  TExifBlock block(false);
  block.AddAscii(0, 271, "Maker\0"s);
  block.AddUndefined(0, 37510, test::Bytes("ASCII\0\0\0note"s));
  const TExifInfo& listing = Walk(block, 2);
  EXPECT_EQ(listing.Listing(), "\r\nMake = Maker\r\nUser Comment = note");
  EXPECT_EQ(listing.TagCount(), 0);
  EXPECT_EQ(listing.MakeText(), "Maker");
  const TExifInfo& tags = Walk(block, 4);
  EXPECT_EQ(tags.Listing(), "");
  EXPECT_EQ(tags.TagValue("Make"), "Maker");
  EXPECT_EQ(tags.CommentText(), "note");
  EXPECT_EQ(tags.MakeText(), "Maker");
}

TEST_F(ExifDirectories, keepsTheMakerNoteBytesAndPosition) {
  TExifBlock block(false);
  block.AddAscii(0, 271, "Unknown Maker\0"s);
  const int exif = block.AddDirectory();
  block.AddPointer(0, 34665, exif);
  block.AddUndefined(exif, 37500, test::Bytes("NOTE\0\1\2\3\4\5"s));
  const TExifInfo& info = Walk(block);
  EXPECT_EQ(info.MakerNote(), test::Bytes("NOTE\0\1\2\3\4\5"s));
  const uint32_t valueOffset = block.DirectoryOffset(exif) + 2 + 12 + 4;
  EXPECT_EQ(info.MakerNotePos(), Pos(valueOffset));
  EXPECT_EQ(info.MakerNoteResult(), 0);
  EXPECT_EQ(info.TagValue("MakerNote"), "\"NOTE\"");
}

TEST_F(ExifDirectories, endsHostileBlocksWithoutReadingOutside) {
  // A value offset that wraps, a count of 2^31, an offset before the block,
  // a pointer far outside, a maker note running past the end.
  TExifBlock block(false);
  block.Add(0, 270, 2, 100, block.U32(0x7FFFFFFF));
  block.Add(0, 305, 2, 100, block.U32(0xFFFFFFF0));
  block.Add(0, 34665, 4, 1, block.U32(0x7FFFFFF8));
  block.Add(0, 34853, 4, 1, block.U32(0x80000000));
  block.Add(0, 37500, 7, 100000, block.U32(40));
  block.AddAscii(0, 271, "Still read\0"s);
  const TExifInfo& info = Walk(block);
  ASSERT_TRUE(Ok_);
  EXPECT_EQ(info.MakeText(), "Still read");
  EXPECT_EQ(info.TagByName("ImageDescription").RawBytes, "");
  // Data: two length bytes, six signature bytes, the TIFF block.
  EXPECT_EQ(info.MakerNote().size(), block.Tiff().size() + 8 - Pos(40) + 1);

  TExifBlock hugeCount(false);
  hugeCount.Add(0, 271, 2, 0x80000000u, block.U32(8));
  Walk(hugeCount);
  EXPECT_FALSE(Ok_);
  EXPECT_EQ(Metadata_->ErrorText(), "Not an EXIF file");

  // A directory that claims more entries than the block can hold.
  TExifBlock tooMany(false);
  const int exif = tooMany.AddDirectory();
  tooMany.AddPointer(0, 34665, exif);
  tooMany.AddAscii(0, 271, "Parent\0"s);
  test::TBytes segment = tooMany.App1();
  const uint32_t countAt = tooMany.DirectoryOffset(exif) + 4 + 6;
  segment[countAt] = 0xFF;
  segment[countAt + 1] = 0xFF;
  EXPECT_EQ(WalkSegment(segment).MakeText(), "Parent");
  EXPECT_TRUE(Ok_);
}

TEST_F(ExifDirectories, reportsAnIllegallySizedDirectoryToTheOwner) {
  TMetadata owner(255);
  TExifInfo info(owner, 255);
  // 2 entries announced, 14 bytes of block: 2 + 24 > 14 + 0.
  info.SetBuffer({2, 0, 1, 1, 2, 0, 1, 0, 0, 0, 'A', 0, 0, 0});
  info.ReadDirectory(1, 0, 14, TDirectoryKind::Main);
  EXPECT_EQ(owner.ErrorText(), "Illegally sized directory");
  EXPECT_EQ(info.Listing(), "");
  EXPECT_THROW(info.ReadDirectory(14, 0, 14, TDirectoryKind::Main), ERangeError);
}

// A maker's table for the walker: row 0 only names, "Skip" rows are passed over.
std::string Doubled(const std::string& Text) {
  return Text + Text;
}
TExifInfo* DetailedInfo = nullptr;
std::string Detailed(const std::string& Text) {
  DetailedInfo->SetMakerDetailedText(true);
  return "\r\nPart = " + Text;
}
constexpr TTagRow MakerTable[] = {
    {1, "Version"},
    {2, "Quality", "", "1:Fine,2:Normal"},
    {3, "Skip"},
    {4, "Firmware", "", "", "", Doubled},
    {5, "Details", "", "", "", Detailed},
    {6, "Outside"},
};

TEST_F(ExifDirectories, walksAMakerNoteDirectoryWithAMakersTable) {
  TExifBlock block(false);
  block.AddAscii(0, 271, "Maker\0"s);
  TExifInfo& info = Walk(block);
  DetailedInfo = &info;
  const test::TBytes segment = info.Buffer();
  // The note: 8 bytes of signature, then the directory (little-endian).
  TExifBlock note(false);
  const auto u16 = [&note](uint16_t V) { return note.U16(V); };
  const auto u32 = [&note](uint32_t V) { return note.U32(V); };
  const auto entry = [&](uint16_t Tag, uint16_t Type, uint32_t Count, const test::TBytes& Field) {
    return test::Concat({u16(Tag), u16(Type), u32(Count), Field});
  };
  // Offsets in this note are counted from its start.
  const test::TBytes data = test::Concat(
      {test::Bytes("MAKERNT\0"s), u16(7), entry(1, 3, 1, u32(9)), entry(2, 3, 1, u32(2)),
       entry(3, 3, 1, u32(1)), entry(4, 2, 6, u32(8 + 2 + 7 * 12)),
       entry(5, 3, 2, test::TBytes{1, 0, 2, 0}), entry(6, 2, 5, u32(0x10000)),
       entry(99, 3, 1, u32(5)), test::Bytes("ABCDE\0"s)});
  // Adjust 9: an offset X is position X + 1 of the note. The value outside
  // the note is found in the segment at the Make text.
  const int64_t makeAt = Pos(block.DirectoryOffset(0) + 2 + 12 + 4);
  info.ReadMakerNoteDirectory(data, MakerTable, 8, 9, makeAt - 0x10000);
  EXPECT_EQ(info.MakerListing(),
            "\r\nVersion = 9\r\nQuality = Normal\r\nFirmware = \"ABCDE\"\"ABCDE\""
            "\r\nPart = 1, 2\r\nDetails = 1, 2\r\nOutside = \"Maker\"\r\nUnknown = 5");
  EXPECT_EQ(Metadata_->MakerNoteListing(), info.MakerListing());
  EXPECT_EQ(info.Buffer(), segment);
  const TTagEntry quality = info.TagByName("Quality");
  EXPECT_EQ(quality.Origin, 1);
  EXPECT_EQ(quality.Value, "Normal");
  EXPECT_EQ(info.TagValue("Details"), "1, 2");
  EXPECT_EQ(info.TagValue("Outside"), "\"Maker\"");
  EXPECT_EQ(info.IndexOfTag("Version"), -1);
  EXPECT_EQ(info.IndexOfTag("Skip"), -1);

  // A note that ends early ends its walk with an error text.
  info.ReadMakerNoteDirectory(test::TBytes{5, 0, 1}, MakerTable, 0, 0, 0);
  EXPECT_TRUE(Metadata_->ErrorText().starts_with("Error Detected = ")) << Metadata_->ErrorText();
  EXPECT_EQ(info.Buffer(), segment);
}

TEST_F(ExifDirectories, addsDecoderTextsToTheTagList) {
  TExifBlock block(false);
  block.AddAscii(0, 271, "Maker\0"s);
  TExifInfo& both = Walk(block, 255);
  both.AddTextTag("Macro mode", "Normal", 2);
  const TTagEntry entry = both.TagByName("macro mode");
  EXPECT_EQ(entry.Origin, 1);
  EXPECT_EQ(entry.Caption, "Macro mode");
  EXPECT_EQ(entry.Value, "Normal");
  EXPECT_EQ(entry.RawBytes, "Normal");
  EXPECT_EQ(entry.ByteCount, 6);
  EXPECT_EQ(entry.Format, 2);
  EXPECT_NE(entry.TagNumber, 0);
  TExifInfo& listingOnly = Walk(block, 2);
  listingOnly.AddTextTag("Macro mode", "Normal", 2);
  EXPECT_EQ(listingOnly.TagCount(), 0);
}

TEST_F(ExifDirectories, looksTagsUpByName) {
  TExifBlock block(false);
  block.AddRationals(0, 282, {{72, 1}});
  block.AddRationals(0, 283, {{5, 2}});
  block.AddAscii(0, 271, "Maker\0"s);
  const TExifInfo& info = Walk(block);
  EXPECT_EQ(info.IndexOfTag("MAKE"), 2);
  EXPECT_EQ(info.TagValue("XResolution"), "72.00");
  EXPECT_EQ(info.TagValue("Model"), "");
  EXPECT_EQ(info.TagByName("Model").TagNumber, 0);
  EXPECT_EQ(info.NumericTagValue("XResolution"), 72.0);
  EXPECT_EQ(info.NumericTagValue("Model"), 0.0);
  EXPECT_EQ(info.IntegerTagValue("YResolution"), 2);  // 2.5 rounds to even
  EXPECT_EQ(info.TagByName("XResolution").Position, Pos(block.DirectoryOffset(0) + 2 + 36 + 4));
}

TEST_F(ExifDirectories, refusesToRoundAValueBeyond32Bits) {
  // Found by fuzzing: Make stored as FLOAT (type 11) holding 1.0e20.
  const test::TBytes app1 = {0xFF, 0xE1, 0x00, 0x1E, 'E',  'x',  'i',  'f',  0x00, 0x00, 'M',
                             'M',  0x00, 0x2A, 0x00, 0x00, 0x00, 0x08, 0x00, 0x01, 0x01, 0x0F,
                             0x00, 0x0B, 0x00, 0x00, 0x00, 0x01, 0x60, 0xAD, 0x78, 0xEC};
  const TExifInfo& info = WalkSegment(app1);
  EXPECT_TRUE(Ok_);
  EXPECT_FLOAT_EQ(static_cast<float>(info.NumericTagValue("Make")), 1.0e20f);
  EXPECT_THROW(info.IntegerTagValue("Make"), ERangeError);
}

}  // namespace
}  // namespace pictrim
