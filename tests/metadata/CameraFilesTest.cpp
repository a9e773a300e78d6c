// Real camera files: what the reader finds in them, their listings, and the
// resize batch carrying their metadata into the copies.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/Resize.h"
#include "image/JpegImage.h"
#include "metadata/Exif.h"
#include "metadata/Xmp.h"
#include "platform/BatchTarget.h"
#include "tests/common/TempDir.h"
#include "tests/metadata/MetadataBytes.h"

namespace pictrim {
namespace {

namespace fs = std::filesystem;
using test::TBytes;

// What an independent reader found in the files (trailing blanks and the
// closing zero byte left out of Make and Model).
struct TCameraFile {
  const char* Name;
  const char* Order;
  const char* Make;
  const char* Model;
  const char* Date;  // DateTimeOriginal, else DateTime
  int Width;         // ExifImageWidth x ExifImageHeight
  int Height;
};

constexpr TCameraFile CameraFiles[] = {
    {"Canon_40D.jpg", "II", "Canon", "Canon EOS 40D", "2008:05:30 15:56:01", 100, 68},
    {"Canon_40D_photoshop_import.jpg", "MM", "", "", "2008:07:31 10:05:49", 100, 77},
    {"Casio_EX.jpg", "MM", "CASIO COMPUTER CO.,LTD", "EX-Z3", "2003:06:18 16:54:37", 2048, 1536},
    {"Casio_QV.jpg", "MM", "CASIO", "QV-3000EX", "2000:03:31 10:44:15", 2048, 1536},
    {"DSCN0010.jpg", "II", "NIKON", "COOLPIX P6000", "2008:10:22 16:28:39", 640, 480},
    {"Fujifilm_FinePix_E500.jpg", "MM", "FUJIFILM", "FinePix E500", "2006:08:17 09:24:48", 59, 100},
    {"Konica_Minolta_DiMAGE_Z3.jpg", "MM", "KONICA MINOLTA", "DiMAGE Z3", "2005:03:10 15:10:48", 70,
     100},
    {"Nikon_COOLPIX_P1.jpg", "II", "NIKON", "COOLPIX P1", "2008:03:07 09:55:46", 100, 75},
    {"Nikon_D70.jpg", "II", "NIKON CORPORATION", "NIKON D70", "2008:03:15 09:52:01", 100, 66},
    {"Olympus_C8080WZ.jpg", "II", "OLYMPUS CORPORATION", "C8080WZ", "2006:10:22 15:44:29", 100, 72},
    {"Pentax_K10D.jpg", "II", "PENTAX Corporation", "PENTAX K10D", "2008:05:04 16:47:24", 100, 72},
    {"Samsung_Digimax_i50_MP3.jpg", "II", "Samsung Techwin", "<Digimax i50 MP3, Samsung #1 MP3>",
     "2006:08:15 17:50:57", 100, 75},
    {"canon-ixus.jpg", "II", "Canon", "Canon DIGITAL IXUS", "2001:06:09 15:17:32", 640, 480},
    {"fujifilm-dx10.jpg", "II", "FUJIFILM", "DX-10", "2001:04:12 20:33:14", 1024, 768},
    {"image01137.jpg", "", "", "", "", 0, 0},
    {"image02206.jpg", "", "", "", "", 0, 0},
    {"kodak-dc210.jpg", "MM", "Eastman Kodak Company", "DC210 Zoom (V05.00)", "2000:10:26 16:46:51",
     0, 0},
    {"landscape_6.jpg", "MM", "", "", "", 450, 600},
    {"long_description.jpg", "MM", "", "", "2008:07:31 10:50:00", 100, 73},
    {"nikon-e950.jpg", "II", "NIKON", "E950", "2001:04:06 11:51:40", 1600, 1200},
    {"olympus-c960.jpg", "II", "OLYMPUS OPTICAL CO.,LTD", "C960Z,D460Z", "2000:11:07 10:41:43",
     1280, 960},
    {"portrait_6.jpg", "MM", "", "", "", 600, 450},
    {"ricoh-rdc5300.jpg", "MM", "RICOH", "RDC-5300", "2000:05:31 21:50:40", 1792, 1200},
    {"sanyo-vpcsx550.jpg", "II", "SANYO Electric Co.,Ltd.", "SX113", "2000:11:18 21:14:19", 640,
     480},
    {"sony-d700.jpg", "MM", "SONY", "DSC-D700", "1998:12:01 14:22:36", 1344, 1024},
};

// The listing text shows blanks as they are stored and each further zero
// byte as ".": Text is Expected followed by nothing but those.
::testing::AssertionResult ShownAs(const std::string& Text, const std::string& Expected) {
  if (Text.starts_with(Expected) &&
      Text.find_first_not_of(" .", Expected.size()) == std::string::npos) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "\"" << Text << "\" is not \"" << Expected << "\"";
}

TEST(CameraFiles, readWithoutErrorAndAgreeWithAnIndependentReader) {
  PICTRIM_REQUIRE_TESTDATA();
  TMetadata metadata(255);
  for (const TCameraFile& file : CameraFiles) {
    SCOPED_TRACE(file.Name);
    ASSERT_TRUE(metadata.ReadMetadata(test::TestDataDir() + file.Name));
    EXPECT_EQ(metadata.ErrorText(), "<none>");
    ASSERT_TRUE(metadata.HasExif());
    const TExifInfo& info = *metadata.ExifInfo();
    if (*file.Order != '\0') {
      EXPECT_EQ(info.BigEndian(), std::string(file.Order) == "MM");
    }
    EXPECT_TRUE(ShownAs(info.MakeText(), file.Make));
    EXPECT_TRUE(ShownAs(info.ModelText(), file.Model));
    EXPECT_EQ(info.DateText(), file.Date);
    EXPECT_EQ(info.StoredWidth(), file.Width);
    EXPECT_EQ(info.StoredHeight(), file.Height);
  }
}

TEST(CameraFiles, keepTheirCommentsIptcAndMakerNotes) {
  PICTRIM_REQUIRE_TESTDATA();
  TMetadata metadata(255);
  ASSERT_TRUE(metadata.ReadMetadata(test::TestDataDir() + "kodak-dc210.jpg"));
  const tSection* comment = metadata.CommentSection();
  ASSERT_NE(comment, nullptr);
  EXPECT_EQ(std::string(comment->Data.begin() + 2, comment->Data.end()),
            "Lovely smoke effect here, of which I'm secretly very proud.");
  ASSERT_TRUE(metadata.ReadMetadata(test::TestDataDir() + "nikon-e950.jpg"));
  ASSERT_NE(metadata.IptcSection(), nullptr);
  EXPECT_EQ(metadata.IptcSection()->Size, 5132);
  const TExifInfo& nikon = *metadata.ExifInfo();
  EXPECT_TRUE(std::string(nikon.MakerNote().begin(), nikon.MakerNote().end()).starts_with("Nikon"));
  EXPECT_EQ(nikon.VersionText(), "0210");
  // The XMP packet of this file is the second APP1 and takes no slot.
  ASSERT_TRUE(metadata.ReadMetadata(test::TestDataDir() + "DSCN0010.jpg"));
  for (int i = 2; i <= metadata.SectionCount(); ++i) EXPECT_NE(metadata.Section(i).Marker, 225);
}

// The listings of a few files, compared with the expected text beside this test.
TEST(CameraFiles, listTheirExifBlocksAsExpected) {
  PICTRIM_REQUIRE_TESTDATA();
  TMetadata metadata(255);
  for (const char* name : {"Canon_40D", "DSCN0010", "sony-d700", "nikon-e950"}) {
    SCOPED_TRACE(name);
    std::ifstream in(std::string(PICTRIM_METADATA_LISTINGS) + "/" + name + ".txt",
                     std::ios::binary);
    ASSERT_TRUE(in) << name;
    std::stringstream expected;
    expected << in.rdbuf();
    ASSERT_TRUE(metadata.ReadMetadata(test::TestDataDir() + name + ".jpg"));
    // Each line is "\r\n" + caption + " = " + value.
    const std::string listing = metadata.ExifListing();
    ASSERT_TRUE(listing.starts_with("\r\n"));
    std::string lines;
    for (size_t at = 2;;) {
      const size_t next = listing.find("\r\n", at);
      lines += listing.substr(at, next - at) + "\n";
      if (next == std::string::npos) break;
      at = next + 2;
    }
    EXPECT_EQ(lines, expected.str());
  }
}

// ---------------------------------------------------------------------------
// The resize batch over a tree of the camera files.

class ResizeWithMetadata : public ::testing::Test {
 protected:
  void SetUp() override {
    PICTRIM_REQUIRE_TESTDATA();
    CancelRequested = false;
    Source_ = Dir_ / "photos/";
    int i = 0;
    for (const TCameraFile& file : CameraFiles) {
      // Half of them one folder down.
      const std::string folder = Source_ + (i++ % 2 == 0 ? "" : "sub/");
      fs::create_directories(folder);
      fs::copy_file(test::TestDataDir() + file.Name, folder + file.Name);
      Sources_.push_back(folder + file.Name);
    }
  }

  // Runs the batch and checks every copy against its source.
  void RunAndCompare(uint32_t Size, const std::string& Text) {
    TErrorLog log;
    TQueuedBatchTarget window([](const TBatchMessage&) {});
    ASSERT_EQ(ConvertPICsWholeTree(&window, Source_, "", Size, Size, Text, TextAtTop,
                                   WM_BATCH_PROGRESS, WM_BATCH_FILE, false, log),
              0);
    EXPECT_TRUE(log.empty()) << (log.empty() ? "" : log.front());
    const std::string output = ResizeOutputFolder(Source_, Size, Size);
    for (const std::string& source : Sources_) {
      SCOPED_TRACE(source);
      CompareCopy(source, output + source.substr(Source_.size()));
    }
  }

  void CompareCopy(const std::string& SourcePath, const std::string& CopyPath) {
    TMetadata source(255);
    ASSERT_TRUE(source.ReadMetadata(SourcePath));
    const TBytes copyBytes = test::ReadBytes(CopyPath);
    ASSERT_FALSE(copyBytes.empty());
    EXPECT_EQ(test::CountSoi(copyBytes), 1);
    const std::vector<test::TFoundSegment> sourceSegments =
        test::ListSegments(test::ReadBytes(SourcePath));
    const std::vector<test::TFoundSegment> copySegments = test::ListSegments(copyBytes);
    ASSERT_GE(copySegments.size(), 2u);

    // Head: the EXIF segment (or an APP0), then IPTC and comment if the
    // source has them, then only the encoder's picture segments.
    size_t at = 0;
    const test::TFoundSegment* firstApp1 = nullptr;
    const test::TFoundSegment* firstApp13 = nullptr;
    const test::TFoundSegment* lastCom = nullptr;
    for (const test::TFoundSegment& s : sourceSegments) {
      if (s.Marker == 0xE1 && firstApp1 == nullptr) firstApp1 = &s;
      if (s.Marker == 0xED && firstApp13 == nullptr) firstApp13 = &s;
      if (s.Marker == 0xFE) lastCom = &s;
    }
    ASSERT_NE(firstApp1, nullptr);
    TJpegImage copy;
    copy.LoadFromFile(CopyPath);
    const auto segment = [](const tSection& Section, const TBytes& Data) {
      TBytes bytes = {0xFF, static_cast<uint8_t>(Section.Marker)};
      bytes.insert(bytes.end(), Data.begin(), Data.end());
      return bytes;
    };
    const TBytes& exif = copySegments[at++].Bytes;
    ASSERT_EQ(exif.size(), firstApp1->Bytes.size());
    const tSection* xmp = source.XmpSection();
    if (xmp != nullptr && xmp == source.ExifSection()) {
      // An XMP packet standing first gets the copy's size as its own.
      EXPECT_EQ(exif, segment(*xmp, XmpWithDimensions(xmp->Data, copy.Width(), copy.Height())));
    }
    // Only the two stored dimension values may differ (Data position p is
    // index p + 1 of the segment).
    const TExifInfo& info = *source.ExifInfo();
    for (size_t i = 0; xmp != source.ExifSection() && i < exif.size(); ++i) {
      if (exif[i] == firstApp1->Bytes[i]) continue;
      const auto p = static_cast<int32_t>(i) - 1;
      EXPECT_TRUE((p >= info.WidthPos() && p < info.WidthPos() + 4) ||
                  (p >= info.HeightPos() && p < info.HeightPos() + 4))
          << "byte " << i;
    }
    // Then the XMP packet (with the copy's size), its extension and the
    // colour profile, as the reader kept them.
    std::vector<TBytes> carried;
    if (xmp != nullptr && xmp != source.ExifSection()) {
      carried.push_back(segment(*xmp, XmpWithDimensions(xmp->Data, copy.Width(), copy.Height())));
    }
    for (const tSection& piece : source.ExtendedXmpSections()) {
      carried.push_back(segment(piece, piece.Data));
    }
    for (const tSection& chunk : source.IccSegments()) carried.push_back(segment(chunk, chunk.Data));
    for (const TBytes& expected : carried) EXPECT_EQ(copySegments.at(at++).Bytes, expected);
    if (firstApp13 != nullptr) {
      EXPECT_EQ(copySegments.at(at++).Bytes, firstApp13->Bytes);
    }
    if (lastCom != nullptr) {
      EXPECT_EQ(copySegments.at(at++).Bytes, lastCom->Bytes);
    }
    for (; at < copySegments.size(); ++at) {
      const uint8_t marker = copySegments[at].Marker;
      EXPECT_TRUE(marker != 0xE0 && marker != 0xE1 && marker != 0xE2 && marker != 0xED &&
                  marker != 0xFE)
          << "segment " << at << " marker " << int{marker};
    }

    // The stored size is the copy's size; the picture decodes cleanly.
    EXPECT_FALSE(copy.ToBitmap().isNull());
    EXPECT_EQ(copy.DecodeWarnings(), 0);
    TMetadata copied(255);
    ASSERT_TRUE(copied.ReadMetadata(CopyPath));
    if (info.StoredWidth() > 0 && info.StoredHeight() > 0) {
      EXPECT_EQ(copied.ExifInfo()->StoredWidth(), static_cast<int32_t>(copy.Width()));
      EXPECT_EQ(copied.ExifInfo()->StoredHeight(), static_cast<int32_t>(copy.Height()));
    }
  }

  test::TTempDir Dir_;
  std::string Source_;
  std::vector<std::string> Sources_;
};

TEST_F(ResizeWithMetadata, carriesEverySourcesSegmentsIntoItsCopy) {
  RunAndCompare(64, "");
}

TEST_F(ResizeWithMetadata, carriesThemIntoStampedCopiesAsWell) {
  RunAndCompare(48, "Pictrim");
}

}  // namespace
}  // namespace pictrim
