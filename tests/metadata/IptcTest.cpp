// IPTC records: the datasets of an APP13 segment as named entries, the comma
// texts of keywords and categories, the operations by name, and the record
// object of the section reader.
#include <gtest/gtest.h>

#include <stdexcept>

#include "metadata/Iptc.h"
#include "tests/common/TempDir.h"
#include "tests/metadata/MetadataBytes.h"

namespace pictrim {
namespace {

using namespace std::string_literals;
using test::TBytes;

// One dataset: mark, record, dataset number, 16-bit length, value.
TBytes Dataset(uint8_t Record, uint8_t Number, const std::string& Value) {
  return test::Concat({{0x1C, Record, Number, static_cast<uint8_t>(Value.size() >> 8),
                        static_cast<uint8_t>(Value.size())},
                       test::Bytes(Value)});
}

// An APP13 payload as image programs write it: the signature and one
// resource block (type 0x0404) holding the datasets.
TBytes PhotoshopPayload(const std::vector<TBytes>& Datasets) {
  TBytes data;
  for (const TBytes& d : Datasets) data.insert(data.end(), d.begin(), d.end());
  const auto size = static_cast<uint32_t>(data.size());
  TBytes out = test::Concat({test::Bytes("Photoshop 3.0\0008BIM\x04\x04\0\0"s),
                             {static_cast<uint8_t>(size >> 24), static_cast<uint8_t>(size >> 16),
                              static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size)},
                             data});
  if (size % 2 == 1) out.push_back(0);
  return out;
}

// The section data of a payload: its two length bytes in front.
TBytes SectionData(const TBytes& Payload) {
  const TBytes segment = test::Segment(0xED, Payload);
  return TBytes(segment.begin() + 2, segment.end());
}

class IptcRecords : public ::testing::Test {
 protected:
  TIptcData& Parse(const std::vector<TBytes>& Datasets) {
    Record_.ParseSegment(SectionData(PhotoshopPayload(Datasets)));
    return Record_;
  }

  TMetadata Owner_{255};
  TIptcData Record_{Owner_};
};

TEST_F(IptcRecords, takeNamedDatasetsOfRecordsTwoAndEightOnly) {
  const TIptcData& record =
      Parse({Dataset(1, 90, "\x1b%G"), Dataset(2, 0, "\0\4"s), Dataset(2, 5, "Sunset"),
             Dataset(2, 90, "K\xC3\xB6ln"), Dataset(3, 5, "other record"), Dataset(8, 10, "ab")});
  ASSERT_EQ(record.Count(), 3);
  const TTagEntry name = record.EntryAt(0);
  EXPECT_EQ(name.RecordNumber, 2);
  EXPECT_EQ(name.TagNumber, 5);
  EXPECT_EQ(name.TagName, "ObjectName");
  EXPECT_EQ(name.Caption, "Object name");
  EXPECT_EQ(name.Value, "Sunset");
  EXPECT_EQ(name.ByteCount, 64);
  EXPECT_EQ(record.GetTag("city", "-"), "K\xC3\xB6ln");
  const TTagEntry subfile = record.EntryAt(2);
  EXPECT_EQ(subfile.RecordNumber, 8);
  EXPECT_EQ(subfile.TagName, "Subfile");
  EXPECT_EQ(subfile.ByteCount, 2);
}

TEST_F(IptcRecords, gatherKeywordsIntoOneCommaTextKeepingEachOnceWhateverItsCase) {
  const TIptcData& record =
      Parse({Dataset(2, 25, "a"), Dataset(2, 5, "Sunset"), Dataset(2, 25, "b"), Dataset(2, 25, "A"),
             Dataset(2, 20, "Sport"), Dataset(2, 25, "New York")});
  ASSERT_EQ(record.Count(), 3);
  EXPECT_EQ(record.EntryAt(0).TagName, "Keywords");
  // A blank splits a keyword as a comma separates two.
  EXPECT_EQ(record.GetTag("Keywords", ""), "a,b,New,York");
  EXPECT_EQ(record.GetTag("SuppCategory", ""), "Sport");
}

TEST_F(IptcRecords, giveUnknownDatasetsCustomEntries) {
  const TIptcData& record = Parse({Dataset(2, 200, "x"), Dataset(8, 11, "y")});
  ASSERT_EQ(record.Count(), 2);
  const TTagEntry custom = record.EntryAt(0);
  EXPECT_EQ(custom.TagName, "Custom_200");
  EXPECT_EQ(custom.Caption, "Custom_200");
  EXPECT_EQ(custom.RecordNumber, 2);
  EXPECT_EQ(custom.TagNumber, 200);
  EXPECT_EQ(custom.ByteCount, 64);
  EXPECT_EQ(custom.Value, "x");
  EXPECT_EQ(record.EntryAt(1).TagName, "Custom_11");
}

TEST_F(IptcRecords, withoutTheSignatureAreLookedForFromTheThirteenthByte) {
  // Data bytes 3-8 hold a dataset the search never sees.
  const TBytes payload =
      test::Concat({Dataset(2, 5, "a"), TBytes(6, 0), Dataset(2, 90, "Paris"), Dataset(2, 5, "b")});
  Record_.ParseSegment(SectionData(payload));
  ASSERT_EQ(Record_.Count(), 2);
  EXPECT_EQ(Record_.EntryAt(0).Value, "Paris");
  EXPECT_EQ(Record_.EntryAt(1).Value, "b");
  // No dataset mark followed by record 2 or 8: nothing.
  Record_.ParseSegment(SectionData(test::Bytes("Photoshop 3.0\0008BIM\x1c\x03\x1c"s)));
  EXPECT_FALSE(Record_.HasData());
}

TEST_F(IptcRecords, endAtADatasetCutShortByTheSegment) {
  TBytes payload = PhotoshopPayload({Dataset(2, 5, "Sunset"), Dataset(2, 90, "Paris")});
  payload.resize(payload.size() - 3);
  Record_.ParseSegment(SectionData(payload));
  ASSERT_EQ(Record_.Count(), 1);
  EXPECT_EQ(Record_.EntryAt(0).Value, "Sunset");
  // A length field that is itself cut short.
  Record_.ParseSegment(SectionData(test::Bytes("Photoshop 3.0\x1c\x02\x05"s)));
  EXPECT_EQ(Record_.Count(), 0);
}

TEST_F(IptcRecords, areFoundChangedAndRemovedByName) {
  Parse({Dataset(2, 5, "Sunset"), Dataset(2, 25, "a")});
  EXPECT_EQ(Record_.FindTag("OBJECTNAME"), 0);
  EXPECT_EQ(Record_.FindTag("City"), -1);
  // Set: an existing entry keeps its value when the new one is empty.
  EXPECT_EQ(Record_.SetTag("ObjectName", "Dawn"), 0);
  EXPECT_EQ(Record_.SetTag("ObjectName", ""), 0);
  EXPECT_EQ(Record_.GetTag("ObjectName", ""), "Dawn");
  EXPECT_EQ(Record_.SetTag("city", "Paris"), 2);
  EXPECT_EQ(Record_.EntryAt(2).TagName, "City");
  EXPECT_EQ(Record_.SetTag("Nowhere", "x"), -1);
  // Write merges list datasets and sets any other.
  EXPECT_EQ(Record_.WriteTag("Keywords", "b, \"Old Town\",a"), 1);
  EXPECT_EQ(Record_.GetTag("Keywords", ""), "a,b,\"Old Town\"");
  EXPECT_EQ(Record_.WriteTag("SuppCategory", "x y"), 3);
  EXPECT_EQ(Record_.GetTag("SuppCategory", ""), "x,y");
  EXPECT_EQ(Record_.WriteTag("City", "Rome"), 2);
  EXPECT_EQ(Record_.GetTag("City", ""), "Rome");
  EXPECT_EQ(Record_.WriteTag("Custom_200", "x"), -1);
  // Remove closes the gap.
  Record_.RemoveTag("keywords");
  Record_.RemoveTag("Keywords");
  ASSERT_EQ(Record_.Count(), 3);
  EXPECT_EQ(Record_.EntryAt(1).TagName, "City");
  EXPECT_EQ(Record_.GetTag("Keywords", "none"), "none");
}

TEST_F(IptcRecords, countAndIndexesOutsideTheListAreRangeErrors) {
  Parse({Dataset(2, 5, "a"), Dataset(2, 90, "b")});
  TTagEntry empty;
  EXPECT_EQ(Record_.AddEntry(empty), 1);  // ignored, answered with Count() - 1
  EXPECT_EQ(Record_.Count(), 2);
  EXPECT_THROW(Record_.EntryAt(2), std::out_of_range);
  EXPECT_THROW(Record_.EntryAt(-1), std::out_of_range);
  EXPECT_THROW(Record_.SetCount(3), std::out_of_range);
  Record_.SetCount(1);
  EXPECT_EQ(Record_.Count(), 1);
  Record_.Reset();
  EXPECT_FALSE(Record_.HasData());
  EXPECT_EQ(TIptcData::TableIndex("keywords"), 11);
  EXPECT_EQ(TIptcData::TableIndex("Subfile"), 48);
  EXPECT_EQ(TIptcData::TableIndex("Custom_200"), -1);
}

TEST(IptcCommaText, quotesItemsWithBlanksCommasOrQuotesAndReadsThemBack) {
  const std::vector<std::string> items = {"a b", "c\"d", "e,f", "g"};
  const std::string text = JoinCommaText(items);
  EXPECT_EQ(text, "\"a b\",\"c\"\"d\",\"e,f\",g");
  EXPECT_EQ(SplitCommaText(text), items);
  EXPECT_EQ(SplitCommaText("  x ,y z,"), (std::vector<std::string>{"x", "y", "z", ""}));
  EXPECT_EQ(MergeCommaText("a,b", " B ,c,,"), "a,b,c");
}

// ---------------------------------------------------------------------------
// The record object of the section reader

TEST(IptcSections, firstApp13GetsTheRecordObjectAndItsEntriesAreListed) {
  test::TTempDir dir;
  const TBytes first = test::Segment(
      0xED, PhotoshopPayload({Dataset(2, 5, "Sunset"), Dataset(2, 25, "a"), Dataset(2, 25, "b")}));
  const TBytes second = test::Segment(0xED, PhotoshopPayload({Dataset(2, 5, "Later")}));
  test::WriteBytes(dir / "iptc.jpg", test::JpegFile({first, second}));
  test::WriteBytes(
      dir / "other.jpg",
      test::JpegFile({test::Segment(0xED, PhotoshopPayload({Dataset(2, 90, "Rome")}))}));
  test::WriteBytes(dir / "plain.jpg", test::JpegFile({test::Segment(0xFE, "comment")}));

  TMetadata metadata(255);
  ASSERT_TRUE(metadata.ReadMetadata(dir / "iptc.jpg"));
  ASSERT_NE(metadata.IptcInfo(), nullptr);
  EXPECT_EQ(metadata.IptcSection(), &metadata.Section(1));
  EXPECT_EQ(metadata.IptcListing(), "\r\nObject name = Sunset\r\nKeywords = a,b");
  // The object parses its section when asked.
  TIptcData& record = *metadata.IptcInfo();
  EXPECT_FALSE(record.HasData());
  EXPECT_TRUE(record.ReadSection());
  EXPECT_EQ(record.GetTag("ObjectName", ""), "Sunset");
  // It may read another file through a container of its own and lives on.
  EXPECT_TRUE(record.ReadFile(dir / "other.jpg"));
  EXPECT_EQ(record.GetTag("City", ""), "Rome");
  EXPECT_EQ(metadata.SourceName(), dir / "iptc.jpg");
  EXPECT_FALSE(record.ReadFile(dir / "plain.jpg"));

  ASSERT_TRUE(metadata.ReadMetadata(dir / "plain.jpg"));
  EXPECT_EQ(metadata.IptcInfo(), nullptr);
  EXPECT_EQ(metadata.IptcListing(), "");
}

TEST(IptcSections, ofTheCameraFilesHoldNoDatasets) {
  PICTRIM_REQUIRE_TESTDATA();
  TMetadata metadata(255);
  // A Photoshop segment of image resources without any IPTC dataset.
  ASSERT_TRUE(metadata.ReadMetadata(test::TestDataDir() + "nikon-e950.jpg"));
  ASSERT_NE(metadata.IptcInfo(), nullptr);
  EXPECT_FALSE(metadata.IptcInfo()->ReadSection());
  EXPECT_EQ(metadata.IptcListing(), "");
  // Despite its name this copy carries no APP13 segment at all.
  ASSERT_TRUE(metadata.ReadMetadata(test::TestDataDir() + "Canon_40D_photoshop_import.jpg"));
  EXPECT_EQ(metadata.IptcSection(), nullptr);
  EXPECT_EQ(metadata.IptcInfo(), nullptr);
}

}  // namespace
}  // namespace pictrim
