// The JPEG section reader: which segments are kept and referenced, when a
// file is given up, and how the reads report.
#include <gtest/gtest.h>

#include <filesystem>

#include "metadata/Exif.h"
#include "tests/common/TempDir.h"
#include "tests/metadata/MetadataBytes.h"

namespace pictrim {
namespace {

using test::Bytes;
using test::FilledSegment;
using test::JpegFile;
using test::Segment;
using test::TExifBlock;

constexpr uint8_t APP0 = 0xE0, APP1 = 0xE1, APP2 = 0xE2, APP13 = 0xED, COM = 0xFE, DQT = 0xDB;

class JpegSections : public ::testing::Test {
 protected:
  // Writes Bytes as Name in the temporary folder and reads it.
  bool Read(const test::TBytes& Bytes, const std::string& Name = "a.jpg") {
    test::WriteBytes(Dir_ / Name, Bytes);
    return Metadata_.ReadMetadata(Dir_ / Name);
  }
  static test::TBytes Exif() {
    TExifBlock block(false);
    block.AddAscii(0, 271, std::string("Maker\0", 6));
    return block.App1();
  }
  std::vector<int> Markers() const { return test::SectionMarkers(Metadata_); }

  test::TTempDir Dir_;
  TMetadata Metadata_{255};
};

TEST_F(JpegSections, keepsTheHeaderSegmentsAndReferencesTheMetadataOnes) {
  const test::TBytes app0 = Segment(APP0, std::string("JFIF\0\1\1\0\0\1\0\1\0\0", 14));
  const test::TBytes iptc = Segment(APP13, "Photoshop 3.0");
  const test::TBytes comment = Segment(COM, "a comment");
  ASSERT_TRUE(Read(JpegFile({app0, Exif(), iptc, comment, FilledSegment(DQT, 65)})));
  EXPECT_EQ(Metadata_.ErrorText(), "<none>");
  EXPECT_EQ(Markers(), (std::vector<int>{APP0, APP1, APP13, COM, DQT, 0xDA}));
  EXPECT_EQ(Metadata_.App0Section(), &Metadata_.Section(1));
  EXPECT_EQ(Metadata_.ExifSection(), &Metadata_.Section(2));
  EXPECT_EQ(Metadata_.IptcSection(), &Metadata_.Section(3));
  EXPECT_EQ(Metadata_.CommentSection(), &Metadata_.Section(4));
  // Data is the length field and payload, exactly as in the file.
  EXPECT_EQ(Metadata_.IptcSection()->Data, test::TBytes(iptc.begin() + 2, iptc.end()));
  EXPECT_EQ(Metadata_.IptcSection()->Size, 15);
  EXPECT_TRUE(Metadata_.HasExif());
  EXPECT_EQ(Metadata_.ExifInfo()->MakeText(), "Maker");
  EXPECT_EQ(Metadata_.SourceName(), Dir_ / "a.jpg");
  EXPECT_EQ(Metadata_.SourceSize(), static_cast<int64_t>(test::ReadBytes(Dir_ / "a.jpg").size()));
}

TEST_F(JpegSections, laterSegmentsReplaceApp0AndCommentButNotIptc) {
  ASSERT_TRUE(Read(JpegFile({Segment(COM, "one"), Segment(APP13, "first"), Segment(APP0, "x"),
                             Segment(APP13, "second"), Segment(COM, "two"), Segment(APP0, "y")})));
  EXPECT_EQ(Metadata_.IptcSection(), &Metadata_.Section(2));
  EXPECT_EQ(Metadata_.CommentSection(), &Metadata_.Section(5));
  EXPECT_EQ(Metadata_.App0Section(), &Metadata_.Section(6));
  EXPECT_FALSE(Metadata_.HasExif());
}

TEST_F(JpegSections, givesUpWhenTheFirstFourSegmentsHoldNoMetadata) {
  EXPECT_FALSE(Read(JpegFile({Segment(APP0, "x"), FilledSegment(DQT, 4), FilledSegment(DQT, 4),
                              FilledSegment(APP2, 4), Segment(COM, "late"), Exif()})));
  EXPECT_EQ(Metadata_.ErrorText(), "Not an EXIF file");
  EXPECT_FALSE(Metadata_.HasMetadata());
  // The fifth segment was read into its slot but never looked at.
  EXPECT_EQ(Metadata_.SectionCount(), 5);
}

TEST_F(JpegSections, takesAnApp1InFifthPlaceOnlyAfterEarlierMetadata) {
  ASSERT_TRUE(Read(JpegFile({Segment(COM, "c"), FilledSegment(DQT, 4), FilledSegment(DQT, 4),
                             FilledSegment(DQT, 4), Exif()})));
  EXPECT_EQ(Metadata_.ExifSection(), &Metadata_.Section(5));
  EXPECT_FALSE(Read(JpegFile({FilledSegment(DQT, 4), FilledSegment(DQT, 4), FilledSegment(DQT, 4),
                              FilledSegment(DQT, 4), Exif()})));
  EXPECT_FALSE(Metadata_.HasExif());
}

TEST_F(JpegSections, dropsAnApp1ThatIsTheSixthSegment) {
  ASSERT_TRUE(Read(JpegFile({Segment(COM, "c"), FilledSegment(DQT, 4), FilledSegment(DQT, 4),
                             FilledSegment(DQT, 4), FilledSegment(DQT, 4), Exif()})));
  EXPECT_FALSE(Metadata_.HasExif());
  // The dropped segment's slot went to the next one (SOS).
  EXPECT_EQ(Markers(), (std::vector<int>{COM, DQT, DQT, DQT, DQT, 0xDA}));
}

TEST_F(JpegSections, dropsEveryApp1BehindTheFirst) {
  const test::TBytes xmp = Segment(APP1, "http://ns.adobe.com/xap/1.0/ <x:xmpmeta/>");
  ASSERT_TRUE(Read(JpegFile({Exif(), xmp, Segment(COM, "c")})));
  EXPECT_EQ(Markers(), (std::vector<int>{APP1, COM, 0xDA}));
  EXPECT_EQ(Metadata_.ExifInfo()->MakeText(), "Maker");
}

TEST_F(JpegSections, takesAnXmpPacketStandingAsTheFirstApp1) {
  const test::TBytes xmp = Segment(APP1, std::string("http://ns.adobe.com/xap/1.0/\0<x/>", 33));
  ASSERT_TRUE(Read(JpegFile({xmp, Exif()})));
  EXPECT_TRUE(Metadata_.HasExif());
  EXPECT_EQ(Metadata_.ExifSection()->Data, test::TBytes(xmp.begin() + 2, xmp.end()));
  EXPECT_EQ(Metadata_.ExifInfo()->MakeText(), "");
  EXPECT_EQ(Metadata_.ExifListing(), "");
  // The header complaint stays visible when the read fails later on.
  const test::TBytes failing =
      test::Concat({test::TBytes{0xFF, 0xD8}, xmp, test::TBytes{0xFF, 0xFE, 0x00, 0x01, 0x00}});
  EXPECT_FALSE(Read(failing));
  EXPECT_EQ(Metadata_.ErrorText(), "Incorrect Exif header");
  EXPECT_TRUE(Metadata_.HasExif());
}

TEST_F(JpegSections, reportsAnUnknownByteOrderWhenTheReadFailsLater) {
  test::TBytes payload = TExifBlock(false).App1Payload();
  payload[6] = 'X';
  const test::TBytes failing = test::Concat(
      {test::TBytes{0xFF, 0xD8}, Segment(APP1, payload), test::TBytes{0xFF, 0xFE, 0x00, 0x00}});
  EXPECT_FALSE(Read(failing));
  EXPECT_EQ(Metadata_.ErrorText(), "Invalid Exif alignment marker");
  EXPECT_TRUE(Read(JpegFile({Segment(APP1, payload)})));
  EXPECT_EQ(Metadata_.ErrorText(), "<none>");
}

TEST_F(JpegSections, readsAFirstDirectoryOffsetOfZeroAsEight) {
  TExifBlock block(true);
  block.AddAscii(0, 272, std::string("Model\0", 6));
  block.SetFirstDirectoryOffset(0);
  ASSERT_TRUE(Read(JpegFile({block.App1()})));
  EXPECT_EQ(Metadata_.ExifInfo()->ModelText(), "Model");
}

TEST_F(JpegSections, stopsAfterTwentySegments) {
  test::TBytes file = {0xFF, 0xD8};
  const test::TBytes comment = Segment(COM, "c");
  file.insert(file.end(), comment.begin(), comment.end());
  for (int i = 0; i < 24; ++i) {
    const test::TBytes dqt = FilledSegment(DQT, 3, static_cast<uint8_t>(i));
    file.insert(file.end(), dqt.begin(), dqt.end());
  }
  const test::TBytes lateComment = Segment(COM, "late");
  file.insert(file.end(), lateComment.begin(), lateComment.end());
  ASSERT_TRUE(Read(file));
  EXPECT_EQ(Metadata_.SectionCount(), 20);
  EXPECT_EQ(Metadata_.Section(20).Data.back(), 18);  // the 19th DQT
  EXPECT_EQ(Metadata_.CommentSection(), &Metadata_.Section(1));
}

TEST_F(JpegSections, countsAnEmptyCommentWithoutReferencingIt) {
  const test::TBytes empty = {0xFF, COM, 0x00, 0x02};
  ASSERT_TRUE(Read(JpegFile({Segment(COM, "kept"), empty, FilledSegment(DQT, 4)})));
  EXPECT_EQ(Markers(), (std::vector<int>{COM, COM, DQT, 0xDA}));
  EXPECT_EQ(Metadata_.CommentSection(), &Metadata_.Section(1));
  EXPECT_EQ(Metadata_.Section(2).Data, (test::TBytes{0x00, 0x02}));
}

TEST_F(JpegSections, takesTheEndOfTheFileForTheEndOfThePicture) {
  const test::TBytes head = test::Concat({test::TBytes{0xFF, 0xD8}, Segment(COM, "c")});
  // Behind the comment: nothing, a lone marker, half a length, a cut payload.
  for (const test::TBytes& tail :
       {test::TBytes{}, test::TBytes{0xFF, 0xFF}, test::TBytes{0xFF, DQT, 0x00},
        test::TBytes{0xFF, DQT, 0x00, 0x40, 1, 2, 3}}) {
    ASSERT_TRUE(Read(test::Concat({head, tail}))) << tail.size();
    EXPECT_EQ(Metadata_.SectionCount(), 1) << tail.size();
    EXPECT_EQ(Metadata_.ErrorText(), "<none>");
  }
  // A cut EXIF segment is not kept: the file has no metadata then.
  const test::TBytes exif = Exif();
  EXPECT_FALSE(Read(test::TBytes(exif.begin(), exif.end() - 3)));
  EXPECT_FALSE(
      Read(test::Concat({test::TBytes{0xFF, 0xD8}, test::TBytes(exif.begin(), exif.end() - 3)})));
  EXPECT_FALSE(Metadata_.HasMetadata());
}

TEST_F(JpegSections, failsOnASegmentLengthBelowTwoKeepingWhatWasFound) {
  const test::TBytes file = test::Concat(
      {test::TBytes{0xFF, 0xD8}, Exif(), Segment(COM, "c"), test::TBytes{0xFF, DQT, 0x00, 0x01}});
  EXPECT_FALSE(Read(file));
  EXPECT_EQ(Metadata_.ErrorText(), "Not an EXIF file");
  EXPECT_TRUE(Metadata_.HasExif());
  EXPECT_TRUE(Metadata_.HasMetadata());
}

TEST_F(JpegSections, refusesWhatIsNotAJpegOrHasNoMetadata) {
  EXPECT_FALSE(Read(Bytes("GIF89a....")));
  EXPECT_EQ(Metadata_.ErrorText(), "Not an EXIF file");
  EXPECT_FALSE(Read(JpegFile({FilledSegment(DQT, 4)})));
  EXPECT_EQ(Metadata_.ErrorText(), "Not an EXIF file");
  EXPECT_EQ(Metadata_.SectionCount(), 2);
}

TEST_F(JpegSections, choosesTheReaderByTheExtensionIgnoringCase) {
  const test::TBytes file = JpegFile({Exif()});
  for (const char* name : {"a.JPG", "b.jpeg", "c.Jpe"}) {
    EXPECT_TRUE(Read(file, name)) << name;
  }
  for (const char* name : {"d.jfif", "e", "f.png"}) {
    EXPECT_FALSE(Read(file, name)) << name;
    EXPECT_EQ(Metadata_.ErrorText(), "Not an EXIF file") << name;
    EXPECT_FALSE(Metadata_.HasMetadata()) << name;
  }
  // A dot in a folder name is no extension.
  std::filesystem::create_directories(Dir_ / "x.jpg");
  EXPECT_FALSE(Read(file, "x.jpg/noextension"));
}

TEST_F(JpegSections, readsNothingFromAMissingFileAndForgetsTheLastOne) {
  ASSERT_TRUE(Read(JpegFile({Exif(), Segment(COM, "c")})));
  EXPECT_FALSE(Metadata_.ReadMetadata(Dir_ / "missing.jpg"));
  EXPECT_EQ(Metadata_.ErrorText(), "");
  EXPECT_FALSE(Metadata_.HasMetadata());
  EXPECT_EQ(Metadata_.ExifInfo(), nullptr);
  EXPECT_EQ(Metadata_.SectionCount(), 0);
  EXPECT_EQ(Metadata_.SourceName(), "");
  EXPECT_FALSE(Metadata_.ReadHasMetadata(Dir_ / "missing.jpg"));
}

TEST_F(JpegSections, readsTheFirstDirectoryOfATiffFile) {
  for (const bool bigEndian : {false, true}) {
    TExifBlock block(bigEndian);
    block.AddLong(0, 256, 4000);
    block.AddShort(0, 257, {3000});
    block.AddAscii(0, 271, std::string("TiffMaker\0", 10));
    const int exif = block.AddDirectory();
    block.AddPointer(0, 34665, exif);
    block.AddAscii(exif, 36867, std::string("2020:01:02 03:04:05\0", 20));
    // The header's own offset is not looked at: the directory is taken at 8.
    block.SetFirstDirectoryOffset(12345);
    const std::string name = bigEndian ? "b.TIFF" : "a.nef";
    ASSERT_TRUE(Read(block.Tiff(), name)) << name;
    EXPECT_EQ(Metadata_.ErrorText(), "<none>");
    const TExifInfo* info = Metadata_.ExifInfo();
    EXPECT_TRUE(info->TiffSource());
    EXPECT_FALSE(Metadata_.TiffSource());
    EXPECT_EQ(info->BigEndian(), bigEndian);
    EXPECT_EQ(info->StoredWidth(), 4000);
    EXPECT_EQ(info->StoredHeight(), 3000);
    EXPECT_EQ(info->MakeText(), "TiffMaker");
    EXPECT_EQ(info->DateText(), "2020:01:02 03:04:05");
    EXPECT_EQ(Metadata_.ExifSection()->Data.size(), size_t{TMetadata::TiffReadSize});
    // File offset X is buffer position X - 7.
    EXPECT_EQ(info->WidthPos(), static_cast<int32_t>(block.ValueFieldOffset(0, 0)) - 7);
  }
  EXPECT_FALSE(Read(Bytes("XX*\0\x08\0\0\0"), "c.tif"));
  EXPECT_FALSE(Read(Bytes("II*"), "d.tif"));
}

}  // namespace
}  // namespace pictrim
