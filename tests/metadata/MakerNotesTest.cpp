// Camera makers' notes: which maker's table the make selects, how the note is
// walked in the real camera files and in notes built byte by byte, the
// decoders of packed values, and notes that point anywhere.
#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "metadata/MakerNotes.h"
#include "tests/common/TempDir.h"
#include "tests/metadata/MetadataBytes.h"

namespace pictrim {
namespace {

using namespace std::string_literals;
using test::TBytes;
using test::TExifBlock;

// The value of the first maker-note entry (not an EXIF tag) named Name.
std::string MakerValue(const TExifInfo& Info, const std::string& Name) {
  for (const TTagEntry& entry : Info.Tags()) {
    if (entry.Origin == 1 && entry.TagName == Name) return entry.Value;
  }
  return "<absent>";
}

// The value the maker listing shows for the first line named Name.
std::string Listed(const TExifInfo& Info, const std::string& Name) {
  const std::string& listing = Info.MakerListing();
  const std::string key = "\r\n" + Name + " = ";
  const size_t at = listing.find(key);
  if (at == std::string::npos) return "<absent>";
  const size_t start = at + key.size();
  return listing.substr(start, listing.find("\r\n", start) - start);
}

std::string TableOf(const TExifInfo& Info, bool TiffSource = false) {
  const TMakerLayout* layout = SelectMakerLayout(Info, TiffSource);
  return layout == nullptr ? "<none>" : std::string(layout->TableName);
}

// ---------------------------------------------------------------------------
// The real camera files

struct TNoteFile {
  const char* Name;
  const char* Table;
  std::vector<std::pair<std::string, std::string>> Values;  // entry name, shown value
};

// Values read off the notes' bytes with an independent dump.
const std::vector<TNoteFile>& NoteFiles() {
  static const std::vector<TNoteFile> files = {
      {"canon-ixus.jpg",
       "Canon",
       {{"OwnerName", "\"Tom Rowan and Sarah Clifton\""},
        {"FirmwareVersion", "\"Firmware Version 1.0\""},
        {"ImageNumber", "1010163"},
        {"Macro mode", "Normal"},
        {"Image Size", "Small"},
        {"Easy Shoot", "Manual"},
        {"White balance", "Auto"},
        {"OpticalZoom Step", "4"}}},
      {"Casio_EX.jpg",
       "Casio B",
       {{"Quality", "Fine"}, {"RecordMode", "Normal"}, {"TimeZone", "\"New York\""}}},
      {"Casio_QV.jpg",
       "Casio A",
       {{"RecordingMode", "Single Shutter"},
        {"FlashMode", "Red Eye Reduction"},
        {"ObjectDistance", "2500"},
        {"DigitalZoom", "Off"},
        {"CCDSensitivity", "Normal"}}},
      {"DSCN0010.jpg", "Nikon B", {{"Quality", "\"FINE   \""}, {"ColorMode", "\"COLOR\""}}},
      {"Nikon_COOLPIX_P1.jpg", "Nikon B", {{"Quality", "\"NORMAL\""}, {"FocusMode", "\"AF-S  \""}}},
      {"nikon-e950.jpg",
       "Nikon A",
       {{"FamilyID", "\"08.00\""},
        {"Quality", "2 Mpixel Fine"},
        {"ImageAdjustment", "Contrast+"},
        {"Converter", "Not used"}}},
      {"Fujifilm_FinePix_E500.jpg",
       "Fuji",
       {{"Quality", "\"FINE   \""},
        {"FlashMode", "Off"},
        {"Macro", "On"},
        {"BlurWarning", "No blur warning"}}},
      {"olympus-c960.jpg",
       "Olympus",
       {{"JpegQual", "HQ"}, {"Firmware", "\"SR874\""}, {"DigiZoom", "0/10"}}},
      {"sanyo-vpcsx550.jpg", "Sanyo", {{"JpegQuality", "258"}, {"DigiZoom", "0/10"}}},
  };
  return files;
}

TEST(CameraMakerNotes, areRecognisedAndWalkedWithoutErrorWithTheirValues) {
  PICTRIM_REQUIRE_TESTDATA();
  TMetadata metadata(255);
  for (const TNoteFile& file : NoteFiles()) {
    SCOPED_TRACE(file.Name);
    ASSERT_TRUE(metadata.ReadMetadata(test::TestDataDir() + file.Name));
    const TExifInfo& info = *metadata.ExifInfo();
    EXPECT_EQ(TableOf(info), file.Table);
    EXPECT_EQ(info.MakerNoteResult(), 1);
    EXPECT_EQ(info.MakerListing().find("Error Detected"), std::string::npos);
    for (const auto& [name, value] : file.Values) EXPECT_EQ(Listed(info, name), value) << name;
  }
}

TEST(CameraMakerNotes, carryTheNikonVersionsTheIndependentReaderFound) {
  PICTRIM_REQUIRE_TESTDATA();
  TMetadata metadata(255);
  // Maker note version 2.10 as text; 2.00 as the bytes 0 2 0 0, each shown
  // as ".". The first row of a table names its tag but adds no tag entry.
  ASSERT_TRUE(metadata.ReadMetadata(test::TestDataDir() + "DSCN0010.jpg"));
  EXPECT_EQ(Listed(*metadata.ExifInfo(), "FamilyID"), "\"0210\"");
  EXPECT_EQ(MakerValue(*metadata.ExifInfo(), "FamilyID"), "<absent>");
  ASSERT_TRUE(metadata.ReadMetadata(test::TestDataDir() + "Nikon_COOLPIX_P1.jpg"));
  EXPECT_EQ(Listed(*metadata.ExifInfo(), "FamilyID"), "\"....\"");
}

TEST(CameraMakerNotes, fujiNoteOfAMotorolaFileIsReadInIntelOrderAndTheFileOrderComesBack) {
  PICTRIM_REQUIRE_TESTDATA();
  TMetadata metadata(255);
  ASSERT_TRUE(metadata.ReadMetadata(test::TestDataDir() + "Fujifilm_FinePix_E500.jpg"));
  const TExifInfo& info = *metadata.ExifInfo();
  EXPECT_TRUE(info.BigEndian());
  EXPECT_EQ(Listed(info, "Version"), "\"0130\"");
  EXPECT_EQ(Listed(info, "WhiteBalance"), "Auto");
  // Entries behind the note in the Exif directory are still read in order.
  EXPECT_EQ(info.StoredWidth(), 59);
  EXPECT_EQ(info.StoredHeight(), 100);
}

TEST(CameraMakerNotes, canonPackedValuesAreListedLineByLineAndWithTheirRawText) {
  PICTRIM_REQUIRE_TESTDATA();
  TMetadata metadata(255);
  ASSERT_TRUE(metadata.ReadMetadata(test::TestDataDir() + "canon-ixus.jpg"));
  const std::string listing = metadata.MakerNoteListing();
  EXPECT_TRUE(listing.starts_with("\r\nMacro mode = Normal\r\nSelf Timer = 2\r\n")) << listing;
  EXPECT_NE(listing.find("\r\nFocus Mode = 0\r\nExposureInfo1 = 38, 2, 0, 3, 1,"),
            std::string::npos);
  // The tag list keeps the raw text for the packed entry itself.
  EXPECT_EQ(MakerValue(*metadata.ExifInfo(), "ExposureInfo1"),
            "38, 2, 0, 3, 1, 0, 0, 1, 0, 1, 2, 1, 0, 0, 0, 0, 0, 0, 1");
}

TEST(CameraMakerNotes, ofMakersWithoutADecoderStayUndecoded) {
  PICTRIM_REQUIRE_TESTDATA();
  TMetadata metadata(255);
  for (const char* name : {"Konica_Minolta_DiMAGE_Z3.jpg", "kodak-dc210.jpg", "ricoh-rdc5300.jpg",
                           "Samsung_Digimax_i50_MP3.jpg"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(metadata.ReadMetadata(test::TestDataDir() + name));
    const TExifInfo& info = *metadata.ExifInfo();
    EXPECT_FALSE(info.MakerNote().empty());
    EXPECT_EQ(TableOf(info), "<none>");
    EXPECT_EQ(info.MakerNoteResult(), 0);
    EXPECT_EQ(info.MakerListing(), "");
  }
}

// The sample collection's notes say these files have makers' notes; the
// copies here were saved without them.
TEST(CameraMakerNotes, areAbsentFromTheFilesSavedWithoutThem) {
  PICTRIM_REQUIRE_TESTDATA();
  TMetadata metadata(255);
  for (const char* name : {"Canon_40D.jpg", "Nikon_D70.jpg", "Olympus_C8080WZ.jpg",
                           "Pentax_K10D.jpg", "fujifilm-dx10.jpg", "sony-d700.jpg"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(metadata.ReadMetadata(test::TestDataDir() + name));
    EXPECT_TRUE(metadata.ExifInfo()->MakerNote().empty());
    EXPECT_EQ(metadata.MakerNoteListing(), "");
  }
}

// Batches read files on several threads, one container each.
TEST(CameraMakerNotes, readOnSeveralThreadsAtOnceGiveTheSameListings) {
  PICTRIM_REQUIRE_TESTDATA();
  std::vector<std::string> expected;
  TMetadata metadata(255);
  for (const TNoteFile& file : NoteFiles()) {
    metadata.ReadMetadata(test::TestDataDir() + file.Name);
    expected.push_back(metadata.ExifListing() + metadata.MakerNoteListing());
  }
  std::vector<int> mismatches(4, 0);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < mismatches.size(); ++t) {
    threads.emplace_back([&, t] {
      TMetadata own(255);
      for (int round = 0; round < 5; ++round) {
        for (size_t i = 0; i < NoteFiles().size(); ++i) {
          own.ReadMetadata(test::TestDataDir() + NoteFiles()[i].Name);
          if (own.ExifListing() + own.MakerNoteListing() != expected[i]) ++mismatches[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

// ---------------------------------------------------------------------------
// Notes built byte by byte

// One entry of a note directory; Value in the note's byte order.
struct TNoteEntry {
  uint16_t Tag;
  uint16_t Type;
  uint32_t Count;
  TBytes Value;
};

// Head, then a directory of Entries in the given byte order; values longer
// than four bytes follow it and their offsets count Origin at the note's
// first byte.
TBytes NoteBytes(bool BigEndian, const std::string& Head, const std::vector<TNoteEntry>& Entries,
                 int64_t Origin = 0) {
  const TExifBlock order(BigEndian);
  TBytes note = test::Bytes(Head);
  const auto append = [&note](const TBytes& B) { note.insert(note.end(), B.begin(), B.end()); };
  TBytes values;
  size_t valueAt = note.size() + 2 + 12 * Entries.size() + 4;
  append(order.U16(static_cast<uint16_t>(Entries.size())));
  for (const TNoteEntry& e : Entries) {
    append(order.U16(e.Tag));
    append(order.U16(e.Type));
    append(order.U32(e.Count));
    if (e.Value.size() <= 4) {
      TBytes field = e.Value;
      field.resize(4, 0);
      append(field);
    } else {
      append(order.U32(static_cast<uint32_t>(static_cast<int64_t>(valueAt) + Origin)));
      values.insert(values.end(), e.Value.begin(), e.Value.end());
      valueAt += e.Value.size();
    }
  }
  append(order.U32(0));
  append(values);
  return note;
}

TBytes Shorts(bool BigEndian, std::initializer_list<uint16_t> Values) {
  const TExifBlock order(BigEndian);
  TBytes out;
  for (const uint16_t v : Values) {
    const TBytes b = order.U16(v);
    out.insert(out.end(), b.begin(), b.end());
  }
  return out;
}

// A camera whose EXIF block holds Make (and Model) in the first directory
// and ExifVersion, the maker note and ExifImageWidth in the Exif directory.
struct TCamera {
  bool BigEndian = false;
  std::string Make;
  std::string Model;
  std::string Version;  // ExifVersion; none when empty
};

TExifBlock CameraBlock(const TCamera& Camera, const TBytes& Note) {
  TExifBlock block(Camera.BigEndian);
  block.AddAscii(0, 271, Camera.Make + '\0');
  if (!Camera.Model.empty()) block.AddAscii(0, 272, Camera.Model + '\0');
  const int exif = block.AddDirectory();
  block.AddPointer(0, 34665, exif);
  if (!Camera.Version.empty()) block.AddUndefined(exif, 36864, test::Bytes(Camera.Version));
  block.AddUndefined(exif, 37500, Note);
  block.AddLong(exif, 40962, 640);
  return block;
}

// The offset (from the TIFF header) at which a note of Size bytes stands.
uint32_t NoteOffset(const TCamera& Camera, size_t Size) {
  const TExifBlock block = CameraBlock(Camera, TBytes(Size, 0));
  const uint32_t entries = Camera.Version.empty() ? 2 : 3;
  return block.DirectoryOffset(1) + 2 + 12 * entries + 4;
}

class MakerNotes : public ::testing::Test {
 protected:
  // Reads a JPEG (or a TIFF file) made of the camera's EXIF block.
  const TExifInfo& Read(const TCamera& Camera, const TBytes& Note, bool AsTiff = false) {
    const TExifBlock block = CameraBlock(Camera, Note);
    Metadata_ = std::make_unique<TMetadata>(255);
    const std::string path = Dir_ / (AsTiff ? "camera.tif" : "camera.jpg");
    test::WriteBytes(path, AsTiff ? block.Tiff() : test::JpegFile({block.App1()}));
    EXPECT_TRUE(Metadata_->ReadMetadata(path));
    TiffSource_ = AsTiff;
    return *Metadata_->ExifInfo();
  }
  std::string Table() const { return TableOf(*Metadata_->ExifInfo(), TiffSource_); }

  test::TTempDir Dir_;
  std::unique_ptr<TMetadata> Metadata_;
  bool TiffSource_ = false;
};

// A Nikon note of the newer kind: its own TIFF header at offset 10 and the
// directory behind it; offsets count from that header.
TBytes NewNikonNote(const std::vector<TNoteEntry>& Entries) {
  return NoteBytes(false, "Nikon\0\2\x10\0\0II*\0\x08\0\0\0"s, Entries, -10);
}

TEST_F(MakerNotes, nikonWithAVersionAbove0210ReadsTheNewerNoteAndDecodesLensAndColourMode) {
  const TExifBlock le(false);
  TBytes lens;
  for (const uint32_t v : {60u, 10u, 180u, 10u, 28u, 10u, 45u, 10u}) {
    const TBytes b = le.U32(v);
    lens.insert(lens.end(), b.begin(), b.end());
  }
  const TBytes note = NewNikonNote({{2, 3, 2, Shorts(false, {0, 100})},
                                    {132, 5, 4, lens},
                                    {141, 2, 7, test::Bytes("MODE2 \0"s)}});
  const TExifInfo& info = Read({false, "NIKON", "", "0220"}, note);
  EXPECT_EQ(Table(), "Nikon B");
  EXPECT_EQ(info.MakerNoteResult(), 1);
  EXPECT_EQ(info.MakerListing(),
            "\r\nISOSpeed = 0, 100"
            "\r\nLensInformation = 6.0-18.0(mm)  F2.8-F4.5"
            "\r\nColorMode = Mode 2 (Adobe RGB)");
  EXPECT_EQ(info.StoredWidth(), 640);
}

TEST_F(MakerNotes, nikonUpTo0210ChoosesByHowTheNoteBegins) {
  // "Nikon" in front: the older note with its directory at offset 8.
  TBytes note = NoteBytes(false, "Nikon\0\1\0"s, {{3, 3, 1, Shorts(false, {6})}});
  const TExifInfo& a = Read({false, "NIKON", "", "0210"}, note);
  EXPECT_EQ(Table(), "Nikon A");
  // The code list lacks the comma between its sixth and seventh pair.
  EXPECT_EQ(a.MakerListing(), "\r\nQuality = SXGA Fine10:2 Mpixel Basic");
  // Anything else: a bare directory at offset 0.
  note = NoteBytes(false, "", {{3, 3, 1, Shorts(false, {1})}});
  const TExifInfo& b = Read({false, "NIKON", "", "0210"}, note);
  EXPECT_EQ(Table(), "Nikon B");
  EXPECT_EQ(b.MakerListing(), "\r\nColorMode = 1");
}

TEST_F(MakerNotes, nikonDModelsWithoutAVersionReadTheNewerNoteOnlyFromTiffFiles) {
  const TBytes note = NewNikonNote({{4, 2, 5, test::Bytes("FINE\0"s)}});
  const TExifInfo& tiff = Read({false, "NIKON CORPORATION", "NIKON D1", ""}, note, true);
  EXPECT_EQ(Table(), "Nikon B");
  EXPECT_EQ(tiff.MakerListing(), "\r\nQuality = \"FINE\"");
  Read({false, "NIKON CORPORATION", "NIKON D1", ""}, note);
  EXPECT_EQ(Table(), "Nikon A");
  Read({false, "NIKON CORPORATION", "NIKON E1", ""}, note, true);
  EXPECT_EQ(Table(), "Nikon A");
}

TEST_F(MakerNotes, makeIsComparedByItsFirstFiveLettersInUpperCase) {
  const TBytes note = NoteBytes(true, "", {{0, 3, 1, Shorts(true, {7})}});
  const TExifInfo& minolta = Read({true, "Minolta Co., Ltd.", "", ""}, note);
  EXPECT_EQ(Table(), "Minolta");
  EXPECT_EQ(minolta.MakerListing(), "\r\nModelID = 7");
  Read({true, "Nikon Corporation", "", "0220"}, NewNikonNote({}));
  EXPECT_EQ(Table(), "Nikon B");
  for (const char* make : {"Cano", "", "KONICA MINOLTA", "Leica"}) {
    const TExifInfo& other = Read({true, make, "", ""}, note);
    EXPECT_EQ(Table(), "<none>") << make;
    EXPECT_EQ(other.MakerNoteResult(), 0) << make;
    EXPECT_EQ(other.MakerListing(), "") << make;
  }
}

TEST_F(MakerNotes, casioNotesBeginningWithQvcHaveTheirDirectoryAtOffsetSix) {
  const TBytes qvc = NoteBytes(true, "QVC\0\0\0"s, {{12290, 3, 1, Shorts(true, {3})}});
  EXPECT_EQ(Read({true, "CASIO COMPUTER CO.,LTD", "", ""}, qvc).MakerListing(),
            "\r\nQuality = Fine");
  EXPECT_EQ(Table(), "Casio B");
  const TBytes plain = NoteBytes(true, "", {{2, 3, 1, Shorts(true, {3})}});
  EXPECT_EQ(Read({true, "CASIO", "", ""}, plain).MakerListing(), "\r\nQuality = Fine");
  EXPECT_EQ(Table(), "Casio A");
}

TEST_F(MakerNotes, fujiNoteIsReadInIntelOrderInsideAMotorolaFile) {
  const TBytes note = NoteBytes(false, "FUJIFILM\x0c\0\0\0"s,
                                {{4096, 2, 5, test::Bytes("FINE\0"s)},
                                 {4098, 3, 1, Shorts(false, {256})},
                                 {4145, 3, 1, Shorts(false, {512})}});
  const TExifInfo& info = Read({true, "FUJIFILM", "", ""}, note);
  EXPECT_EQ(info.MakerListing(),
            "\r\nQuality = \"FINE\"\r\nWhiteBalance = Daylight\r\nPictureMode = Shutter prior AE");
  EXPECT_TRUE(info.BigEndian());
  EXPECT_EQ(info.StoredWidth(), 640);  // read behind the note, in Motorola order
}

TEST_F(MakerNotes, valuesOfNotesWhoseOffsetsCountFromTheExifHeaderAreFound) {
  // Olympus: directory at 8, offsets from the TIFF header of the EXIF block.
  const TCamera camera{false, "OLYMPUS OPTICAL CO.,LTD", "", "0210"};
  const std::vector<TNoteEntry> entries = {{519, 2, 6, test::Bytes("SR874\0"s)},
                                           {513, 3, 1, Shorts(false, {3})}};
  const size_t size = NoteBytes(false, "OLYMP\0\1\0"s, entries).size();
  const TBytes note = NoteBytes(false, "OLYMP\0\1\0"s, entries, NoteOffset(camera, size));
  EXPECT_EQ(Read(camera, note).MakerListing(), "\r\nFirmware = \"SR874\"\r\nJpegQual = SHQ");
  EXPECT_EQ(Table(), "Olympus");
}

TEST_F(MakerNotes, canonCustomFunctionsTranslateFunctionAndSetting) {
  // 257: function 1 (Noise Reduction), setting 1; the first field is the count.
  const TBytes note = NoteBytes(false, "", {{15, 3, 2, Shorts(false, {4, 257})}});
  const TExifInfo& info = Read({false, "Canon", "", ""}, note);
  EXPECT_EQ(info.MakerListing(), "\r\nNoise Reduction =  On\r\nCustomFunctions = 4, 257");
  EXPECT_EQ(MakerValue(info, "Noise Reduction"), " On");
  EXPECT_EQ(MakerValue(info, "CustomFunctions"), "4, 257");
}

// ---------------------------------------------------------------------------
// Hostile notes

TEST_F(MakerNotes, aDirectoryRunningPastTheNoteEndsItsWalkAndNothingElse) {
  TBytes note = NoteBytes(false, "", {{6, 2, 4, test::Bytes("IMG\0"s)}});
  note[0] = 0xFF, note[1] = 0x00;  // 255 entries in a note of one
  const TExifInfo& info = Read({false, "Canon", "", ""}, note);
  EXPECT_EQ(info.MakerNoteResult(), 0);
  EXPECT_EQ(info.MakerListing(), "\r\nImageType = \"IMG\"");
  EXPECT_EQ(info.StoredWidth(), 640);
  EXPECT_EQ(Metadata_->ErrorText(), "<none>");
}

TEST_F(MakerNotes, offsetsPointingAnywhereReadNothingOutsideTheBlock) {
  for (const uint32_t offset : {0x7FFFFFFFu, 0xFFFFFFF0u, 0x80000000u, 3u}) {
    SCOPED_TRACE(offset);
    const TExifBlock le(false);
    TBytes note = NoteBytes(false, "", {{9, 2, 4000, le.U32(offset)}, {8, 4, 1, le.U32(77)}});
    const TExifInfo& info = Read({false, "Canon", "", ""}, note);
    EXPECT_EQ(MakerValue(info, "ImageNumber"), "77");
    EXPECT_EQ(info.StoredWidth(), 640);
  }
  // A Canon count that makes the value larger than any block.
  const TBytes huge = NoteBytes(false, "", {{1, 3, 0x7FFFFFFF, TExifBlock(false).U32(0)}});
  const TExifInfo& info = Read({false, "Canon", "", ""}, huge);
  EXPECT_EQ(info.StoredWidth(), 640);
}

// ---------------------------------------------------------------------------
// The decoders on their own

TEST(MakerNoteDecoders, lensRangeFormatsFourRationals) {
  EXPECT_EQ(NikonLensRange("180/10, 700/10, 35/10, 45/10"), "18.0-70.0(mm)  F3.5-F4.5");
  EXPECT_EQ(NikonLensRange("0/0, 50/1, 0/0, 14/10"), "0.0-50.0(mm)  F0.0-F1.4");
  // Fewer than four values are shown as they are.
  EXPECT_EQ(NikonLensRange("180/10, 700/10"), "180/10, 700/10");
}

TEST(MakerNoteDecoders, canonFieldsGiveLinesTagsAndTheDetailedTextFlag) {
  TMetadata owner(255);
  TExifInfo info(owner, 255);
  // Custom functions: out-of-range values, function 0, non-numbers and
  // settings without a meaning give no line.
  // AEB Sequence's code list lacks a comma before setting 1.
  const std::string custom =
      CanonCustomFunctions("10, 257, 5000, 100, x, 3329, -1, 1793, 1794, 4095", info);
  EXPECT_EQ(custom,
            "\r\nNoise Reduction =  On\r\nSensor Cleaning = Enable"
            "\r\nAEB Sequence =  -");
  EXPECT_TRUE(info.MakerDetailedText());
  // Exposure information 2: coded fields count from 0, plain ones from 1; a
  // missing coded field reads "0".
  const std::string info2 = CanonExposureInfo2("0, 1, 2, 3, 4, 5, 6, 3, 8, 9, 10, 11", info);
  EXPECT_EQ(info2,
            "\r\nWhite balance = Tungsten\r\nSequence Number = 8\r\nOpticalZoom Step = 10"
            "\r\nFlash bias = 0");
  EXPECT_EQ(info.TagValue("White balance"), "Tungsten");
  EXPECT_EQ(info.TagValue("Sequence Number"), "8");
}

}  // namespace
}  // namespace pictrim
