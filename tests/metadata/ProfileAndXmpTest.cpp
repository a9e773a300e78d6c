// The colour profile and the XMP packet of a JPEG: which of their segments
// the reader keeps, the profile's description, the XMP size patch, and the
// copies the writer and the batches make of them.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "engine/Resize.h"
#include "image/JpegImage.h"
#include "metadata/ColourProfile.h"
#include "metadata/Exif.h"
#include "metadata/Xmp.h"
#include "platform/BatchTarget.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPictures.h"
#include "tests/metadata/MetadataBytes.h"

namespace pictrim {
namespace {

using namespace std::string_literals;
using test::Segment;
using test::TBytes;

constexpr uint8_t APP0 = 0xE0, APP1 = 0xE1, APP2 = 0xE2, APP13 = 0xED, COM = 0xFE, SOS = 0xDA;
const std::string Guid = "0123456789ABCDEF0123456789ABCDEF";

void Put32(TBytes& Out, size_t At, uint32_t Value) {
  for (int i = 0; i < 4; ++i) Out[At + i] = static_cast<uint8_t>(Value >> (24 - 8 * i));
}

// A profile with one tag, 'desc', holding Tag (type signature first), and
// Filler bytes behind it.
TBytes ProfileWithDescription(const TBytes& Tag, size_t Filler = 0) {
  TBytes profile(144, 0);
  Put32(profile, 128, 1);
  const std::string entry = "desc";
  std::copy(entry.begin(), entry.end(), profile.begin() + 132);
  Put32(profile, 136, 144);
  Put32(profile, 140, static_cast<uint32_t>(Tag.size()));
  profile.insert(profile.end(), Tag.begin(), Tag.end());
  profile.resize(profile.size() + Filler, 0x5A);
  Put32(profile, 0, static_cast<uint32_t>(profile.size()));
  return profile;
}

// The older text description: signature, reserved, count with the zero, text.
TBytes TextDescription(const std::string& Text) {
  TBytes tag = test::Bytes("desc\0\0\0\0"s + "\0\0\0\0"s + Text + '\0');
  Put32(tag, 8, static_cast<uint32_t>(Text.size() + 1));
  return tag;
}

// A multi-localised text with one record per (language, text), UTF-16BE.
TBytes LocalisedDescription(const std::vector<std::pair<std::string, std::u16string>>& Records) {
  TBytes tag = test::Bytes("mluc\0\0\0\0"s);
  tag.resize(16 + 12 * Records.size(), 0);
  Put32(tag, 8, static_cast<uint32_t>(Records.size()));
  Put32(tag, 12, 12);
  for (size_t i = 0; i < Records.size(); ++i) {
    const size_t record = 16 + 12 * i;
    std::copy(Records[i].first.begin(), Records[i].first.end(), tag.begin() + record);
    Put32(tag, record + 4, static_cast<uint32_t>(2 * Records[i].second.size()));
    Put32(tag, record + 8, static_cast<uint32_t>(tag.size()));
    for (char16_t c : Records[i].second) {
      tag.push_back(static_cast<uint8_t>(c >> 8));
      tag.push_back(static_cast<uint8_t>(c & 0xFF));
    }
  }
  return tag;
}

TBytes IccChunk(uint8_t Number, uint8_t Count, const TBytes& Piece) {
  TBytes payload = test::Bytes("ICC_PROFILE\0"s);
  payload.push_back(Number);
  payload.push_back(Count);
  payload.insert(payload.end(), Piece.begin(), Piece.end());
  return Segment(APP2, payload);
}

// Profile cut into Count numbered chunks.
std::vector<TBytes> IccChunks(const TBytes& Profile, int Count) {
  std::vector<TBytes> chunks;
  const size_t piece = (Profile.size() + Count - 1) / Count;
  for (int i = 0; i < Count; ++i) {
    const size_t from = std::min(Profile.size(), i * piece);
    const size_t to = std::min(Profile.size(), from + piece);
    chunks.push_back(IccChunk(static_cast<uint8_t>(i + 1), static_cast<uint8_t>(Count),
                              TBytes(Profile.begin() + from, Profile.begin() + to)));
  }
  return chunks;
}

// A packet with the given properties and Padding blanks in front of its end.
std::string XmpPacket(const std::string& Properties, size_t Padding) {
  return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
         "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
         "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
         "<rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" "
         "xmp:Rating=\"4\"" +
         Properties + "</rdf:Description></rdf:RDF></x:xmpmeta>" + std::string(Padding, ' ') +
         "<?xpacket end=\"w\"?>";
}

// Both forms of stored size: exif attributes and tiff elements.
std::string SizeProperties(int Width, int Height) {
  return " exif:PixelXDimension=\"" + std::to_string(Width) + "\" exif:PixelYDimension = '" +
         std::to_string(Height) + "'>\n<tiff:ImageWidth>" + std::to_string(Width) +
         "</tiff:ImageWidth><tiff:ImageLength> " + std::to_string(Height) +
         " </tiff:ImageLength>\n<xmpNote:HasExtendedXMP>" + Guid + "</xmpNote:HasExtendedXMP>";
}

TBytes XmpSegment(const std::string& Packet) {
  return Segment(APP1, "http://ns.adobe.com/xap/1.0/\0"s + Packet);
}

TBytes ExtensionSegment(const std::string& Id, uint32_t Full, uint32_t Offset,
                        const std::string& Piece) {
  TBytes payload = test::Bytes("http://ns.adobe.com/xmp/extension/\0"s + Id + "12345678" + Piece);
  Put32(payload, 35 + 32, Full);
  Put32(payload, 35 + 36, Offset);
  return Segment(APP1, payload);
}

// The segment bytes as the reader keeps them (without 0xFF and the marker).
TBytes DataOf(const TBytes& Segment) {
  return TBytes(Segment.begin() + 2, Segment.end());
}

std::vector<TBytes> DataOf(const std::vector<tSection>& Sections) {
  std::vector<TBytes> data;
  for (const tSection& section : Sections) data.push_back(section.Data);
  return data;
}

TBytes ExifBlock(uint32_t Width, uint32_t Height) {
  test::TExifBlock block(false);
  block.AddLong(0, 256, Width);
  block.AddLong(0, 257, Height);
  block.AddAscii(0, 271, "Maker\0"s);
  return block.App1();
}

class ProfileAndXmp : public ::testing::Test {
 protected:
  ProfileAndXmp() { Image_.Assign(test::MakeNaturalImage(1200, 800)); }

  bool Read(std::initializer_list<TBytes> Segments) {
    test::WriteBytes(Dir_ / "src.jpg", test::JpegFile(Segments));
    return Metadata_.ReadMetadata(Dir_ / "src.jpg");
  }
  // The copy of a source made of these header segments and a small picture.
  std::vector<test::TFoundSegment> Copy(std::initializer_list<TBytes> Segments) {
    test::WriteBytes(Dir_ / "src.jpg", test::WithHeader(test::EncodedPicture(16, 16), Segments));
    Metadata_.SaveJpegKeepingMetadata(Image_, Dir_ / "out.jpg", true, Dir_ / "src.jpg");
    return test::ListSegments(test::ReadBytes(Dir_ / "out.jpg"));
  }
  std::vector<int> Markers() const { return test::SectionMarkers(Metadata_); }

  test::TTempDir Dir_;
  TMetadata Metadata_{255};
  TJpegImage Image_;
};

TEST_F(ProfileAndXmp, keepsAOneSegmentAndAThreeSegmentProfileOutsideTheSlots) {
  const TBytes profile = ProfileWithDescription(TextDescription("Test RGB"), 300);
  const std::vector<TBytes> one = IccChunks(profile, 1);
  // A profile alone is metadata enough, also as the second segment.
  ASSERT_TRUE(Read({Segment(APP0, "JFIF\0"s), one[0]}));
  EXPECT_EQ(Markers(), (std::vector<int>{APP0, SOS}));
  EXPECT_EQ(DataOf(Metadata_.IccSegments()), std::vector<TBytes>{DataOf(one[0])});
  EXPECT_EQ(Metadata_.ColourProfile(), profile);
  EXPECT_EQ(Metadata_.ColourProfileDescription(), "Test RGB");

  const std::vector<TBytes> three = IccChunks(profile, 3);
  ASSERT_TRUE(Read({ExifBlock(4, 3), three[0], three[1], Segment(COM, "c"), three[2]}));
  EXPECT_EQ(Markers(), (std::vector<int>{APP1, COM, SOS}));
  EXPECT_EQ(DataOf(Metadata_.IccSegments()),
            (std::vector<TBytes>{DataOf(three[0]), DataOf(three[1]), DataOf(three[2])}));
  EXPECT_EQ(Metadata_.ColourProfile(), profile);
  EXPECT_EQ(Metadata_.ExifInfo()->MakeText(), "Maker");
}

TEST_F(ProfileAndXmp, leavesOutAnIncompleteProfileAndStillWritesTheCopy) {
  const std::vector<TBytes> c = IccChunks(ProfileWithDescription(TextDescription("x"), 90), 3);
  const std::map<std::string, std::vector<TBytes>> broken = {
      {"truncated", {c[0], c[1]}},
      {"out of order", {c[1], c[0], c[2]}},
      {"twice", {c[0], c[1], c[2], c[2]}},
      {"counts differ", {c[0], IccChunk(2, 2, {1, 2}), c[2]}},
      {"no chunk header", {Segment(APP2, "ICC_PROFILE\0"s)}}};
  for (const auto& [name, chunks] : broken) {
    SCOPED_TRACE(name);
    const TBytes tail = test::JpegFile({Segment(COM, "c")});
    TBytes file = {0xFF, 0xD8};
    for (const TBytes& chunk : chunks) file = test::Concat({file, chunk});
    file.insert(file.end(), tail.begin() + 2, tail.end());
    test::WriteBytes(Dir_ / "src.jpg", file);
    EXPECT_TRUE(Metadata_.ReadMetadata(Dir_ / "src.jpg"));
    EXPECT_FALSE(Metadata_.HasColourProfile());
    EXPECT_EQ(Metadata_.ColourProfileDescription(), "");
  }
  const auto out = Copy({ExifBlock(4, 3), c[0], c[2], Segment(COM, "c")});
  ASSERT_GE(out.size(), 3u);
  EXPECT_EQ(out[0].Marker, APP1);
  EXPECT_EQ(out[1].Marker, COM);
  for (const auto& segment : out) EXPECT_NE(segment.Marker, APP2);
  EXPECT_EQ(out.back().Marker, SOS);
}

TEST_F(ProfileAndXmp, readsBothDescriptionTypesAndNothingFromABrokenProfile) {
  EXPECT_EQ(IccDescription(ProfileWithDescription(TextDescription("Adobe RGB (1998)"))),
            "Adobe RGB (1998)");
  EXPECT_EQ(IccDescription(ProfileWithDescription(
                LocalisedDescription({{"deDE", u"Farbraum"}, {"enUS", u"Display P3 \u00e9"}}))),
            "Display P3 \xC3\xA9");
  EXPECT_EQ(IccDescription(ProfileWithDescription(LocalisedDescription({{"frFR", u"Espace"}}))),
            "Espace");
  // Offsets, counts and sizes pointing outside the profile or the tag.
  TBytes beyond = ProfileWithDescription(TextDescription("abc"));
  Put32(beyond, 136, 0xFFFFFFF0);
  TBytes longText = ProfileWithDescription(TextDescription("abc"));
  Put32(longText, 144 + 8, 0x7FFFFFFF);
  TBytes badRecord = ProfileWithDescription(LocalisedDescription({{"enUS", u"abc"}}));
  Put32(badRecord, 144 + 16 + 8, 0xFFFFFFFE);
  TBytes zeroRecordSize = ProfileWithDescription(LocalisedDescription({{"enUS", u"abc"}}));
  Put32(zeroRecordSize, 144 + 12, 0);
  TBytes manyTags = ProfileWithDescription(TextDescription("abc"));
  Put32(manyTags, 128, 0xFFFFFFFF);
  Put32(manyTags, 132, 0);
  for (const TBytes& profile : {beyond, longText, badRecord, zeroRecordSize, manyTags,
                                TBytes(100, 0), TBytes{}}) {
    EXPECT_EQ(IccDescription(profile), "");
  }
}

TEST_F(ProfileAndXmp, keepsTheFirstXmpPacketAndItsExtensionWhenComplete) {
  const TBytes xmp = XmpSegment(XmpPacket(SizeProperties(40, 30), 50));
  const TBytes first = ExtensionSegment(Guid, 10, 0, "abcd");
  const TBytes second = ExtensionSegment(Guid, 10, 4, "efghij");
  const TBytes stranger = ExtensionSegment("FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", 3, 0, "xyz");
  const TBytes later = XmpSegment(XmpPacket("", 10));
  ASSERT_TRUE(Read({ExifBlock(4, 3), second, xmp, stranger, later, first}));
  EXPECT_EQ(Markers(), (std::vector<int>{APP1, SOS}));
  ASSERT_TRUE(Metadata_.HasXmp());
  EXPECT_EQ(Metadata_.XmpSection()->Data, DataOf(xmp));
  EXPECT_EQ(DataOf(Metadata_.ExtendedXmpSections()),
            (std::vector<TBytes>{DataOf(second), DataOf(first)}));
  // A missing piece, or an extension the packet does not name, is left out.
  ASSERT_TRUE(Read({ExifBlock(4, 3), xmp, first}));
  EXPECT_TRUE(Metadata_.ExtendedXmpSections().empty());
  ASSERT_TRUE(Read({ExifBlock(4, 3), later, first, second}));
  EXPECT_TRUE(Metadata_.ExtendedXmpSections().empty());
  ASSERT_TRUE(Read({ExifBlock(4, 3), xmp, first, ExtensionSegment(Guid, 10, 3, "defghij")}));
  EXPECT_TRUE(Metadata_.ExtendedXmpSections().empty());
}

// The pieces must cover the extension once: pieces whose lengths add up to
// the full length but that overlap or repeat leave a gap elsewhere.
TEST_F(ProfileAndXmp, leavesOutAnExtensionWhosePiecesOverlapOrRepeat) {
  const TBytes xmp = XmpSegment(XmpPacket(SizeProperties(40, 30), 50));
  const TBytes head = ExtensionSegment(Guid, 10, 0, "abcdef");
  ASSERT_TRUE(Read({ExifBlock(4, 3), xmp, head, ExtensionSegment(Guid, 10, 6, "ghij")}));
  EXPECT_EQ(Metadata_.ExtendedXmpSections().size(), 2u);
  ASSERT_TRUE(Read({ExifBlock(4, 3), xmp, head, ExtensionSegment(Guid, 10, 2, "cdef")}));
  EXPECT_TRUE(Metadata_.ExtendedXmpSections().empty());
  const TBytes half = ExtensionSegment(Guid, 10, 0, "abcde");
  ASSERT_TRUE(Read({ExifBlock(4, 3), xmp, half, half}));
  EXPECT_TRUE(Metadata_.ExtendedXmpSections().empty());
  // Pieces that disagree on the full length belong to no one extension.
  ASSERT_TRUE(Read({ExifBlock(4, 3), xmp, head, ExtensionSegment(Guid, 4, 6, "ghij")}));
  EXPECT_TRUE(Metadata_.ExtendedXmpSections().empty());
}

TEST_F(ProfileAndXmp, writesEverySegmentOnceInItsPlaceAndByteForByteButTheSize) {
  const std::vector<TBytes> icc =
      IccChunks(ProfileWithDescription(TextDescription("Wide"), 2000), 3);
  const TBytes exif = ExifBlock(3000, 2000);
  const TBytes xmp = XmpSegment(XmpPacket(SizeProperties(3000, 2000), 40));
  const TBytes extension = ExtensionSegment(Guid, 5, 0, "12345");
  const TBytes iptc = Segment(APP13, "Photoshop 3.0\0"s + "8BIM");
  const TBytes comment = Segment(COM, "a comment");
  // In the source the segments stand in another order.
  const auto out = Copy({Segment(APP0, "JFIF\0"s), exif, comment, icc[0], iptc, extension, xmp,
                         icc[1], icc[2]});
  // 1200 x 800: both heights lose a digit, the padding gains two blanks.
  const TBytes xmpCopy = XmpSegment(XmpPacket(SizeProperties(1200, 800), 42));
  const TBytes exifCopy = ExifBlock(1200, 800);
  const std::vector<TBytes> expected = {exifCopy, xmpCopy, extension, icc[0], icc[1],
                                        icc[2],   iptc,    comment};
  ASSERT_GT(out.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(out[i].Bytes, expected[i]);
  }
  for (size_t i = expected.size(); i < out.size(); ++i) {
    EXPECT_LT(out[i].Marker, APP0) << "a header segment twice at " << i;
  }
}

TEST_F(ProfileAndXmp, anXmpPacketInTheExifSlotIsWrittenOnceWithTheNewSize) {
  const TBytes xmp = XmpSegment(XmpPacket(SizeProperties(3000, 2000), 0));
  const auto out = Copy({xmp, Segment(COM, "c")});
  ASSERT_GE(out.size(), 3u);
  EXPECT_EQ(Metadata_.XmpSection(), Metadata_.ExifSection());
  // Without padding the shorter numbers still leave blanks in front of the end.
  EXPECT_EQ(out[0].Bytes, XmpSegment(XmpPacket(SizeProperties(1200, 800), 2)));
  EXPECT_EQ(out[1].Marker, COM);
  EXPECT_NE(out[2].Marker, APP1);
}

TEST_F(ProfileAndXmp, patchesTheStoredSizeOnlyWhereThePacketKeepsItsLength) {
  const auto patched = [](const std::string& Packet, int64_t Width, int64_t Height) {
    const TBytes data = DataOf(XmpSegment(Packet));
    const TBytes out = XmpWithDimensions(data, Width, Height);
    EXPECT_EQ(out.size(), data.size());
    return std::string(out.begin() + 31, out.end());
  };
  // Longer numbers take blanks from the padding.
  EXPECT_EQ(patched(XmpPacket(SizeProperties(40, 30), 14), 12000, 9000),
            XmpPacket(SizeProperties(12000, 9000), 4));
  // Ten more digits: a padding of exactly ten is used up, nine is too short.
  EXPECT_EQ(patched(XmpPacket(SizeProperties(40, 30), 10), 12000, 9000),
            XmpPacket(SizeProperties(12000, 9000), 0));
  const std::string tight = XmpPacket(SizeProperties(40, 30), 9);
  EXPECT_EQ(patched(tight, 12000, 9000), tight);
  // Without the closing instruction only numbers of the same length change.
  const std::string open = "<x exif:PixelXDimension=\"40\" tiff:ImageLength='30'/>";
  EXPECT_EQ(patched(open, 12, 34), "<x exif:PixelXDimension=\"12\" tiff:ImageLength='34'/>");
  EXPECT_EQ(patched(open, 120, 34), open);
  EXPECT_EQ(patched(open, 4, 34), open);
  // Look-alike names, closing tags and values that are no plain number stay.
  const std::string others = XmpPacket(
      " exif:PixelXDimensions=\"40\" xexif:PixelYDimension=\"30\" exif:PixelYDimension=\"3a\">"
      "<tiff:ImageWidth>4.0</tiff:ImageWidth><tiff:ImageLength>"
      "<rdf:Seq/></tiff:ImageLength>",
      20);
  EXPECT_EQ(patched(others, 1, 2), others);
}

TEST_F(ProfileAndXmp, theEncodersOwnProfileGivesWayToTheSources) {
  const TBytes own = IccChunk(1, 1, ProfileWithDescription(TextDescription("encoder")));
  Image_.LoadFromBytes(test::WithHeader(
      test::EncodedPicture(24, 16), {Segment(APP0, "JFIF\0\1\2\0\0\1\0\1\0\0"s), own, own}));
  const TBytes source = IccChunk(1, 1, ProfileWithDescription(TextDescription("source")));
  const auto out = Copy({Segment(COM, "c"), source});
  int profiles = 0;
  for (const auto& segment : out) profiles += segment.Marker == APP2;
  EXPECT_EQ(profiles, 1);
  ASSERT_GE(out.size(), 3u);
  EXPECT_EQ(out[1].Bytes, source);
}

// The batches that copy JPEG sources: every copy carries the profile and the
// packet, the file-size copy within its target together with them.
class ProfileAndXmpBatches : public ProfileAndXmp {
 protected:
  void WriteSource(const std::string& Name, std::initializer_list<TBytes> Segments) {
    std::filesystem::create_directories(Dir_ / "src");
    test::WriteBytes(Dir_ / ("src/" + Name), test::WithHeader(test::EncodedPicture(800, 600), Segments));
  }
  void ExpectCarried(const std::string& Copy, const std::vector<TBytes>& Icc, int Width,
                     bool WithXmp) {
    SCOPED_TRACE(Copy);
    TMetadata copy;
    ASSERT_TRUE(copy.ReadMetadata(Copy));
    std::vector<TBytes> expected;
    for (const TBytes& chunk : Icc) expected.push_back(DataOf(chunk));
    EXPECT_EQ(DataOf(copy.IccSegments()), expected);
    if (!WithXmp) return;
    ASSERT_TRUE(copy.HasXmp());
    const std::string packet(copy.XmpSection()->Data.begin(), copy.XmpSection()->Data.end());
    EXPECT_NE(packet.find("exif:PixelXDimension=\"" + std::to_string(Width) + "\""),
              std::string::npos);
  }
  std::string SourceFolder() const { return Dir_ / "src/"; }

  TErrorLog Log_;
};

TEST_F(ProfileAndXmpBatches, resizeFileSizeAndUnattendedCopiesCarryBoth) {
  const std::vector<TBytes> icc =
      IccChunks(ProfileWithDescription(TextDescription("Wide"), 18000), 3);
  const TBytes xmp = XmpSegment(XmpPacket(SizeProperties(800, 600), 100));
  WriteSource("exif.jpg", {ExifBlock(800, 600), xmp, icc[0], icc[1], icc[2]});
  WriteSource("first.jpg", {Segment(APP0, "JFIF\0"s), icc[0], icc[1], icc[2], xmp});
  WriteSource("profile.jpg", {Segment(APP0, "JFIF\0"s), icc[0], icc[1], icc[2]});

  ASSERT_EQ(ConvertPICsWholeTree(nullptr, SourceFolder(), Dir_ / "resized/", 400, 400, "", 0,
                                 WM_BATCH_PROGRESS, WM_BATCH_FILE, false, Log_),
            0);
  ASSERT_EQ(SaveJPEGtreeDownSized(nullptr, SourceFolder(), Dir_ / "unattended/", 400, 0, "",
                                  WM_BATCH_PROGRESS, WM_BATCH_FILE, false, Log_),
            0);
  constexpr uint32_t TargetKB = 40;
  ASSERT_EQ(ConvertPICsWholeTree2(nullptr, SourceFolder(), Dir_ / "sized/", "", TargetKB, "", 0,
                                  WM_BATCH_PROGRESS, WM_BATCH_FILE, false, true, Log_),
            0);
  EXPECT_TRUE(Log_.empty()) << Log_.front();
  for (const std::string name : {"exif.jpg", "first.jpg", "profile.jpg"}) {
    const bool xmp = name != "profile.jpg";
    ExpectCarried(Dir_ / ("resized/" + name), icc, 400, xmp);
    ExpectCarried(Dir_ / ("unattended/" + name), icc, 400, xmp);
    const std::string sized = Dir_ / ("sized/" + name);
    TJpegImage picture;
    picture.LoadFromFile(sized);
    ExpectCarried(sized, icc, static_cast<int>(picture.Width()), xmp);
    // Within the search's tolerance above the target (1 %, at least 1 kB).
    EXPECT_LE(std::filesystem::file_size(sized), TargetKB * 1024u + 1023u);
    EXPECT_LT(picture.Width(), 800u);
  }
}

}  // namespace
}  // namespace pictrim
