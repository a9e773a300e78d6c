// Writing a new JPEG with a source's metadata segments: which segments go in
// front, what changes inside the EXIF block, and what happens on failure.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "image/JpegImage.h"
#include "metadata/Exif.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPictures.h"
#include "tests/metadata/MetadataBytes.h"
#include "util/Errors.h"

namespace pictrim {
namespace {

using namespace std::string_literals;
using test::Segment;
using test::TBytes;
using test::TExifBlock;

constexpr uint8_t APP0 = 0xE0, APP1 = 0xE1, APP13 = 0xED, COM = 0xFE, SOS = 0xDA;

const TBytes JfifApp0 = {0xFF, 0xE0, 0x00, 0x10, 'J',  'F',  'I',  'F',  0x00,
                         0x01, 0x02, 0x01, 0x01, 0x2C, 0x01, 0x2C, 0x00, 0x00};

class ExifTransfer : public ::testing::Test {
 protected:
  ExifTransfer() { Image_.Assign(test::MakeNaturalImage(1200, 800)); }

  // A source file: a small picture behind the given header segments.
  std::string Source(std::initializer_list<TBytes> Segments, const std::string& Name = "src.jpg") {
    test::WriteBytes(Dir_ / Name, test::WithHeader(test::EncodedPicture(16, 16), Segments));
    return Dir_ / Name;
  }
  // Writes the picture with the metadata of SourcePath and returns the bytes.
  TBytes Transfer(const std::string& SourcePath) {
    Metadata_.SaveJpegKeepingMetadata(Image_, Dir_ / "out.jpg", true, SourcePath);
    return test::ReadBytes(Dir_ / "out.jpg");
  }
  // The encoded picture without its SOI and its own JFIF header.
  TBytes PictureData() const {
    const TBytes& all = Image_.EncodedData();
    const size_t skip = 2 + 2 + (size_t{all[4]} << 8 | all[5]);
    return TBytes(all.begin() + static_cast<std::ptrdiff_t>(skip), all.end());
  }
  static std::vector<size_t> DifferingBytes(const TBytes& A, const TBytes& B) {
    std::vector<size_t> at;
    for (size_t i = 0; i < std::min(A.size(), B.size()); ++i) {
      if (A[i] != B[i]) at.push_back(i);
    }
    return at;
  }
  // A block of a 3000 x 2000 picture with the size in IFD0 and in the Exif directory.
  static TExifBlock CameraBlock(bool BigEndian) {
    TExifBlock block(BigEndian);
    block.AddLong(0, 256, 3000);
    block.AddLong(0, 257, 2000);
    block.AddAscii(0, 271, "Camera maker\0"s);
    block.AddShort(0, 274, {6});
    const int exif = block.AddDirectory();
    block.AddPointer(0, 34665, exif);
    block.AddLong(exif, 40962, 3000);
    block.AddLong(exif, 40963, 2000);
    block.AddUndefined(exif, 37500, test::Bytes("Maker note bytes\0\1\2"s));
    return block;
  }

  test::TTempDir Dir_;
  TMetadata Metadata_{255};
  TJpegImage Image_;
};

TEST_F(ExifTransfer, writesTheNewSizeIntoTheExifBlockAndChangesNothingElse) {
  const TExifBlock block = CameraBlock(false);
  const TBytes app1 = block.App1();
  const TBytes out = Transfer(Source({app1}));
  const std::vector<test::TFoundSegment> segments = test::ListSegments(out);
  ASSERT_FALSE(segments.empty());
  ASSERT_EQ(segments[0].Marker, APP1);
  ASSERT_EQ(segments[0].Bytes.size(), app1.size());
  EXPECT_EQ(TBytes(segments[0].Bytes.begin(), segments[0].Bytes.begin() + 4),
            TBytes(app1.begin(), app1.begin() + 4));
  // Only the Exif directory's entries (read last) take the new size: eight
  // bytes of value fields, LONG, little-endian.
  const size_t width = block.ValueFieldOffset(1, 0) + 10,
               height = block.ValueFieldOffset(1, 1) + 10;
  EXPECT_EQ(DifferingBytes(segments[0].Bytes, app1),
            (std::vector<size_t>{width, width + 1, height, height + 1}));
  EXPECT_EQ(TBytes(segments[0].Bytes.begin() + static_cast<std::ptrdiff_t>(width),
                   segments[0].Bytes.begin() + static_cast<std::ptrdiff_t>(width + 4)),
            (TBytes{0xB0, 0x04, 0, 0}));
  // Behind the EXIF segment: the picture's own data without its header.
  EXPECT_EQ(TBytes(out.begin() + 2 + static_cast<std::ptrdiff_t>(app1.size()), out.end()),
            PictureData());
  TMetadata copy(255);
  ASSERT_TRUE(copy.ReadMetadata(Dir_ / "out.jpg"));
  EXPECT_EQ(copy.ExifInfo()->StoredWidth(), 1200);
  EXPECT_EQ(copy.ExifInfo()->StoredHeight(), 800);
  EXPECT_EQ(copy.ExifInfo()->MakeText(), "Camera maker");
  EXPECT_EQ(copy.ExifInfo()->MakerNote(), test::Bytes("Maker note bytes\0\1\2"s));
}

TEST_F(ExifTransfer, patchesShortSizeEntriesOfABigEndianBlock) {
  TExifBlock block(true);
  block.AddShort(0, 256, {3000});
  block.AddShort(0, 257, {2000});
  const TBytes app1 = block.App1();
  const TBytes out = Transfer(Source({app1}));
  const TBytes exif = test::ListSegments(out).at(0).Bytes;
  const size_t width = block.ValueFieldOffset(0, 0) + 10,
               height = block.ValueFieldOffset(0, 1) + 10;
  EXPECT_EQ(TBytes(exif.begin() + static_cast<std::ptrdiff_t>(width),
                   exif.begin() + static_cast<std::ptrdiff_t>(width + 4)),
            (TBytes{0x04, 0xB0, 0, 0}));
  EXPECT_EQ(TBytes(exif.begin() + static_cast<std::ptrdiff_t>(height),
                   exif.begin() + static_cast<std::ptrdiff_t>(height + 4)),
            (TBytes{0x03, 0x20, 0, 0}));
  TMetadata copy(255);
  ASSERT_TRUE(copy.ReadMetadata(Dir_ / "out.jpg"));
  EXPECT_EQ(copy.ExifInfo()->StoredWidth(), 1200);
  EXPECT_EQ(copy.ExifInfo()->StoredHeight(), 800);
}

TEST_F(ExifTransfer, carriesABlockWithoutSizeOrWithTheSameSizeUnchanged) {
  TExifBlock noSize(false);
  noSize.AddAscii(0, 271, "Maker\0"s);
  EXPECT_EQ(test::ListSegments(Transfer(Source({noSize.App1()}))).at(0).Bytes, noSize.App1());
  TExifBlock sameSize(false);
  sameSize.AddLong(0, 256, 1200);
  sameSize.AddLong(0, 257, 800);
  EXPECT_EQ(test::ListSegments(Transfer(Source({sameSize.App1()}))).at(0).Bytes, sameSize.App1());
}

TEST_F(ExifTransfer, writesTheSameBytesForTheSameSizeAgain) {
  Metadata_.ReadMetadata(Source({CameraBlock(true).App1()}));
  Metadata_.WriteJpegWithMetadata(Image_, Dir_ / "first.jpg", true);
  Metadata_.WriteJpegWithMetadata(Image_, Dir_ / "second.jpg", true);
  EXPECT_EQ(test::ReadBytes(Dir_ / "first.jpg"), test::ReadBytes(Dir_ / "second.jpg"));
  // Without AdjustSize the stored size stays as read.
  TMetadata unadjusted(255);
  unadjusted.ReadMetadata(Dir_ / "src.jpg");
  unadjusted.WriteJpegWithMetadata(Image_, Dir_ / "third.jpg", false);
  EXPECT_EQ(test::ListSegments(test::ReadBytes(Dir_ / "third.jpg")).at(0).Bytes,
            CameraBlock(true).App1());
}

TEST_F(ExifTransfer, putsTheSourcesApp0OrAJfifHeaderInFrontOfACommentOnlySource) {
  const TBytes app0 = Segment(APP0, "JFIF\0\1\1\1\0\x48\0\x48\0\0"s);
  const TBytes comment = Segment(COM, "A comment");
  TBytes out = Transfer(Source({app0, comment}));
  EXPECT_EQ(TBytes(out.begin(),
                   out.begin() + 2 + static_cast<std::ptrdiff_t>(app0.size() + comment.size())),
            test::Concat({TBytes{0xFF, 0xD8}, app0, comment}));
  out = Transfer(Source({comment}));
  EXPECT_EQ(TBytes(out.begin(),
                   out.begin() + 2 + static_cast<std::ptrdiff_t>(JfifApp0.size() + comment.size())),
            test::Concat({TBytes{0xFF, 0xD8}, JfifApp0, comment}));
  EXPECT_EQ(TBytes(out.begin() + 2 + static_cast<std::ptrdiff_t>(JfifApp0.size() + comment.size()),
                   out.end()),
            PictureData());
}

TEST_F(ExifTransfer, letsAPictureWithoutSourceMetadataSaveItself) {
  const TBytes out = Transfer(Source({Segment(APP0, "JFIF\0\1\1\0\0\1\0\1\0\0"s)}));
  EXPECT_EQ(out, Image_.EncodedData());
}

TEST_F(ExifTransfer, carriesIptcAndCommentByteForByteAndDropsTheApp0BesideExif) {
  TBytes photoshop =
      test::Bytes("Photoshop 3.0\08BIM\x04\x04\0\0\0\0\0\x0B\x1C\x02\x19\0\x05Hello"s);
  const TBytes iptc = Segment(APP13, photoshop);
  const TBytes comment = Segment(COM, "Comment text");
  const TBytes app1 = CameraBlock(false).App1();
  const TBytes out =
      Transfer(Source({Segment(APP0, "JFIF\0\1\1\0\0\1\0\1\0\0"s), app1, iptc, comment}));
  const std::vector<test::TFoundSegment> segments = test::ListSegments(out);
  ASSERT_GE(segments.size(), 4u);
  EXPECT_EQ(segments[0].Marker, APP1);
  EXPECT_EQ(segments[1].Bytes, iptc);
  EXPECT_EQ(segments[2].Bytes, comment);
  for (size_t i = 3; i < segments.size(); ++i) {
    EXPECT_NE(segments[i].Marker, APP0);
    EXPECT_NE(segments[i].Marker, APP1);
    EXPECT_NE(segments[i].Marker, APP13);
    EXPECT_NE(segments[i].Marker, COM);
  }
  EXPECT_EQ(segments.back().Marker, SOS);
}

TEST_F(ExifTransfer, leavesExactlyOneSoiAndOneHeaderWhateverTheEncoderWrote) {
  // A picture that brings its own JFIF, EXIF, IPTC and comment segments.
  TExifBlock own(false);
  own.AddAscii(0, 271, "Encoder\0"s);
  TJpegImage loaded;
  loaded.LoadFromBytes(test::WithHeader(
      test::EncodedPicture(64, 48),
      {JfifApp0, own.App1(), Segment(APP13, "encoder iptc"), Segment(COM, "encoder comment")}));
  const TBytes app1 = CameraBlock(true).App1();
  Metadata_.ReadMetadata(Source({app1}));
  Metadata_.WriteJpegWithMetadata(loaded, Dir_ / "out.jpg", true);
  const TBytes out = test::ReadBytes(Dir_ / "out.jpg");
  EXPECT_EQ(test::CountSoi(out), 1);
  const std::vector<test::TFoundSegment> segments = test::ListSegments(out);
  ASSERT_GE(segments.size(), 2u);
  EXPECT_EQ(segments[0].Marker, APP1);
  for (size_t i = 1; i < segments.size(); ++i) {
    EXPECT_TRUE(segments[i].Marker < APP0 || segments[i].Marker > APP13) << i;
    EXPECT_NE(segments[i].Marker, COM) << i;
  }
  TJpegImage decoded;
  decoded.LoadFromBytes(out);
  EXPECT_EQ(decoded.Width(), 64u);
  EXPECT_FALSE(decoded.ToBitmap().isNull());
  EXPECT_EQ(decoded.DecodeWarnings(), 0);
  // The copy's EXIF block carries the picture's size.
  TMetadata copy(255);
  copy.ReadMetadata(Dir_ / "out.jpg");
  EXPECT_EQ(copy.ExifInfo()->StoredWidth(), 64);
  EXPECT_EQ(copy.ExifInfo()->StoredHeight(), 48);
}

TEST_F(ExifTransfer, readsTheDestinationItselfWhenNoSourceIsNamed) {
  const std::string dest = Source({CameraBlock(false).App1()}, "out.jpg");
  Metadata_.SaveJpegKeepingMetadata(Image_, dest, true, "");
  TMetadata copy(255);
  ASSERT_TRUE(copy.ReadMetadata(dest));
  EXPECT_EQ(copy.ExifInfo()->MakeText(), "Camera maker");
  EXPECT_EQ(copy.ExifInfo()->StoredWidth(), 1200);
}

TEST_F(ExifTransfer, refusesASizePositionOutsideTheSegmentAndLeavesTheDestination) {
  // The width entry is the last one and its value field is cut off behind
  // its first byte.
  TExifBlock block(false);
  block.AddShort(0, 257, {2000});
  block.AddShort(0, 256, {3000});
  TBytes tiff = block.Tiff();
  tiff.resize(block.ValueFieldOffset(0, 1) + 1);
  const TBytes app1 = Segment(APP1, test::Concat({test::Bytes("Exif\0\0"s), tiff}));
  test::WriteBytes(Dir_ / "out.jpg", test::Bytes("old copy"));
  EXPECT_THROW(Transfer(Source({app1})), ERangeError);
  EXPECT_EQ(test::ReadBytes(Dir_ / "out.jpg"), test::Bytes("old copy"));
}

TEST_F(ExifTransfer, raisesWhenTheDestinationCannotBeWritten) {
  Metadata_.ReadMetadata(Source({CameraBlock(false).App1()}));
  EXPECT_THROW(Metadata_.WriteJpegWithMetadata(Image_, Dir_ / "missing/out.jpg", true),
               EInOutError);
  EXPECT_FALSE(std::filesystem::exists(Dir_ / "missing"));
}

TEST_F(ExifTransfer, writesAPlainJfifHeaderForATiffSource) {
  TExifBlock block(false);
  block.AddLong(0, 256, 4000);
  block.AddLong(0, 257, 3000);
  test::WriteBytes(Dir_ / "src.tif", block.Tiff());
  ASSERT_TRUE(Metadata_.ReadHasMetadata(Dir_ / "src.tif"));
  ASSERT_TRUE(Metadata_.HasExif());
  Metadata_.WriteJpegWithMetadata(Image_, Dir_ / "out.jpg", true);
  EXPECT_EQ(test::ReadBytes(Dir_ / "out.jpg"),
            test::Concat({TBytes{0xFF, 0xD8}, JfifApp0, PictureData()}));
}

TEST_F(ExifTransfer, writesTheHeaderSectionsIntoAStream) {
  const TBytes app1 = CameraBlock(false).App1();
  const TBytes comment = Segment(COM, "c");
  Metadata_.ReadMetadata(Source({app1, comment}));
  std::ostringstream out;
  EXPECT_EQ(Metadata_.WriteHeaderSections(out), static_cast<int>(app1.size() + comment.size()));
  EXPECT_EQ(test::Bytes(out.str()), test::Concat({TBytes{0xFF, 0xD8}, app1, comment}));
}

TEST_F(ExifTransfer, readsAndWritesTheSameFromBytesInMemory) {
  const std::string source =
      Source({CameraBlock(true).App1(), Segment(APP13, "iptc"), Segment(COM, "comment")});
  TMetadata fromBytes(255);
  ASSERT_TRUE(fromBytes.ReadHasMetadataFromBytes(source, test::ReadBytes(source)));
  ASSERT_TRUE(Metadata_.ReadMetadata(source));
  EXPECT_EQ(fromBytes.ErrorText(), "<none>");
  EXPECT_EQ(fromBytes.SectionCount(), Metadata_.SectionCount());
  EXPECT_EQ(fromBytes.ExifListing(), Metadata_.ExifListing());
  Metadata_.WriteJpegWithMetadata(Image_, Dir_ / "out.jpg", true);
  EXPECT_EQ(fromBytes.JpegWithMetadata(Image_, true), test::ReadBytes(Dir_ / "out.jpg"));
  // Cut bytes end the scan as the end of a file does.
  TBytes cut = test::ReadBytes(source);
  cut.resize(40);
  EXPECT_FALSE(fromBytes.ReadMetadataFromBytes(source, cut));
  EXPECT_FALSE(fromBytes.HasMetadata());
}

}  // namespace
}  // namespace pictrim
