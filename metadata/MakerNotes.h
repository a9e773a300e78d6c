// Camera makers' notes: the decoder that the EXIF walk hands the MakerNote
// tag to. It recognises the maker from the camera make, looks up that maker's
// table and directory position in a registry and lets
// TExifInfo::ReadMakerNoteDirectory walk the note with the table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "metadata/Exif.h"

namespace pictrim {

// A further condition of a registry row on how the file and its note look.
enum class TMakerTest {
  Always,
  NewNikonFormat,  // ExifVersion above "0210", or none in a TIFF file of a "D" model
  NoteBegins,      // the note begins with the row's NotePrefix
};

// One row of the maker registry: which make it serves, under which
// condition, and where the note's directory lies.
struct TMakerLayout {
  std::string_view Make;  // the first five characters of the upper-cased make
  TMakerTest Test;
  std::string_view NotePrefix;  // for TMakerTest::NoteBegins
  std::string_view TableName;   // "Nikon A", "Canon", ...
  std::span<const TTagRow> Table;
  int64_t DirStart;     // 0-based offset of the directory in the note
  int64_t Adjust;       // handed on as it is, or added to the note's position
  bool AdjustFromNote;  // Adjust counts from the note's position in the EXIF block
  int64_t FallbackBase;
  bool IntelOrder;  // the note is read in Intel byte order whatever the file's order
};

// One field of a Canon packed value: coded fields (with a code list) sit at a
// position counted from 0, plain fields (shown as they stand) from 1.
struct TCanonField {
  std::string_view Name;
  size_t Position;
  std::string_view Codes;  // empty for a plain field
};

// The makers' tables, Canon's packed fields and the registry (in
// MakerNoteTables.cpp).
extern const std::array<TTagRow, 11> NikonATags;
extern const std::array<TTagRow, 28> NikonBTags;
extern const std::array<TTagRow, 33> OlympusTags;
extern const std::array<TTagRow, 26> CasioATags;
extern const std::array<TTagRow, 45> CasioBTags;
extern const std::array<TTagRow, 18> FujiTags;
extern const std::array<TTagRow, 16> CanonTags;
extern const std::array<TTagRow, 12> SeikoTags;
extern const std::array<TTagRow, 6> SanyoTags;
extern const std::array<TTagRow, 2> MinoltaTags;
extern const std::array<TCanonField, 20> CanonExposureInfo1Fields;
extern const std::array<TCanonField, 6> CanonExposureInfo2Fields;
extern const std::array<TCanonField, 15> CanonCustomFunctionFields;  // functions 1 to 15
extern const std::array<TMakerLayout, 11> MakerLayouts;

// The registry row for the make, version, model and note of a walked EXIF
// block (first match in registry order); null for a maker without a decoder.
const TMakerLayout* SelectMakerLayout(const TExifInfo& ExifInfo, bool TiffSource);

class TMakerNoteDecoder {
 public:
  // TiffSource: the block comes from a TIFF-family file.
  TMakerNoteDecoder(bool TiffSource, TExifInfo& ExifInfo)
      : TiffSource_(TiffSource), ExifInfo_(ExifInfo) {}

  // Recognises the maker and walks its note with the maker's table; true when
  // a maker was recognised and its note walked without an error.
  bool Decode();

 private:
  bool TiffSource_;
  TExifInfo& ExifInfo_;
};

// The decoders that maker-table rows name for packed values; each takes the
// value text the walk made ("a, b, c" for several values).

// Nikon colour mode: the five characters behind the opening quote, "MODE1" to
// "MODE3" spelled out.
std::string NikonColorMode(const std::string& Text);
// Nikon lens range: four rationals as "6.0-18.0(mm)  F2.8-F4.5"; a value
// without four of them is shown as it is.
std::string NikonLensRange(const std::string& Text);
// Canon's packed fields: one "\r\n" + name + " = " + value line per known
// field, each also added to the tag list; the walk lists the raw text too.
std::string CanonExposureInfo1(const std::string& Text, TExifInfo& Info);
std::string CanonExposureInfo2(const std::string& Text, TExifInfo& Info);
std::string CanonCustomFunctions(const std::string& Text, TExifInfo& Info);

}  // namespace pictrim
