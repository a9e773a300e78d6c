// Metadata of picture files. TMetadata reads the header segments of a JPEG
// (or the first directory block of a TIFF-family file) as raw bytes, has the
// EXIF block parsed by TExifInfo into a text listing and a tag list, and
// writes a new JPEG with the source's segments in front of it.
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "image/JpegImage.h"
#include "image/PictureMetadata.h"
#include "platform/FileTimes.h"

namespace pictrim {

class TMetadata;
class TExifInfo;
class TIptcData;

using TBytes = std::vector<uint8_t>;

// ---------------------------------------------------------------------------
// Tag records

// Special formatting of a value text (e.g. the flash bits spelled out).
using TTagFormatter = std::string (*)(const std::string& Text);
// A maker-note value decoder: formats the value text of the entry being walked
// and may add named lines to the walking TExifInfo (AddTextTag) and ask for
// the detailed text to be listed as well (SetMakerDetailedText).
using TMakerFormatter = std::string (*)(const std::string& Text, TExifInfo& Info);

// One row of a constant tag table (EXIF, GPS and the makers' tables).
struct TTagRow {
  constexpr TTagRow(uint16_t Number = 0, std::string_view Name = {},
                    std::string_view RowCaption = {}, std::string_view RowDecode = {},
                    std::string_view RowPattern = {}, TTagFormatter RowFormatter = nullptr)
      : TagNumber(Number),
        TagName(Name),
        Caption(RowCaption),
        Decode(RowDecode),
        Pattern(RowPattern),
        Formatter(RowFormatter) {}
  // A maker-table row whose value is decoded with the help of the walk.
  constexpr TTagRow(uint16_t Number, std::string_view Name, std::string_view RowCaption,
                    std::string_view RowDecode, std::string_view RowPattern,
                    TMakerFormatter RowDecoder)
      : TagNumber(Number),
        TagName(Name),
        Caption(RowCaption),
        Decode(RowDecode),
        Pattern(RowPattern),
        MakerFormatter(RowDecoder) {}

  uint16_t TagNumber = 0;
  std::string_view TagName;
  std::string_view Caption;  // empty: the listing uses the name split at its capitals
  std::string_view Decode;   // "number:text" pairs separated by commas
  std::string_view Pattern;  // "%s" applied to the text, or a number pattern such as "%5.2f"
  TTagFormatter Formatter = nullptr;
  TMakerFormatter MakerFormatter = nullptr;  // used instead of Formatter when set
};

// One decoded tag (also the record of the IPTC and maker-note tag lists).
struct TTagEntry {
  int32_t Origin = 0;         // 0: copied from a constant table; 1: added by a decoder
  uint16_t Format = 0;        // TIFF field type of the value (1 BYTE .. 12 DOUBLE)
  uint16_t RecordNumber = 0;  // IPTC record number; 0 for EXIF tags
  uint16_t TagNumber = 0;     // 0 marks an empty entry
  std::string TagName;
  std::string Caption;
  std::string Decode;
  std::string Value;     // the formatted value
  std::string RawBytes;  // the value's bytes as stored
  int32_t Position = 0;  // 1-based position of the value's bytes in the buffer
  std::string Pattern;
  int32_t ByteCount = 0;  // length of RawBytes
  TTagFormatter Formatter = nullptr;

  // A copy of a table row (caption as the row holds it).
  static TTagEntry FromRow(const TTagRow& Row);
};

// TagNumber of the entries added by AddTextTag.
inline constexpr uint16_t TextTagNumber = 0xFFFF;

// Which table names a directory's tags.
enum class TDirectoryKind { Main, Gps };

// The constant tables: 251 main rows (row 250 is the default "Unknown" row)
// and 31 GPS rows for the GPS tags 0..30.
inline constexpr int MainTagRows = 251;
inline constexpr int GpsTagRows = 31;
extern const std::array<TTagRow, MainTagRows> ExifMainTags;
extern const std::array<TTagRow, GpsTagRows> ExifGpsTags;

// The caption the listing shows for a row of the main or GPS table: the
// row's own caption, or SplitCamelCase of its name.
const std::string& TableCaption(TDirectoryKind Kind, size_t Row);

// A copy (with its caption) of the last main-table row (rows 0..249), or
// GPS-table row, with this tag number; the default row when none matches.
TTagEntry FindTagDefinition(uint16_t TagNumber, TDirectoryKind Kind);

// Index of the first main-table row (0..249) whose name equals Name ignoring
// case; -1 when none.
int MainTableIndex(std::string_view Name);

// ---------------------------------------------------------------------------
// Text helpers of the parser

// Bytes per value of a TIFF field type (0 for type 0); a type above 12 is a
// range error.
int TypeSize(int Format);

// "ExposureTime" -> "Exposure Time": a blank before every capital A-Z whose
// predecessor is not a capital.
std::string SplitCamelCase(std::string_view Name);

// The text after "Key:" in a "1:One,2:Two" list, up to the next comma; empty
// when the key is not listed. Blanks in the list count.
std::string LookupCode(std::string_view Decode, std::string_view Key);

// The first 50 characters (never half a UTF-8 character), every control
// character replaced by ".".
std::string MakePrintable(std::string_view Text);

// "3/4" -> 0.75, "1 1/2" -> 1.5; 0 for a text that is no fraction or has a
// zero denominator.
double RationalTextToFloat(std::string_view Text);

// The text without leading and trailing blanks and control characters.
std::string TrimText(std::string_view Text);

// The first Count characters of a UTF-8 text (a character being a lead byte
// with at most three continuation bytes).
std::string Utf8Left(std::string_view Text, size_t Count);

// UTF-16 code units as UTF-8 (a lone surrogate becomes U+FFFD).
std::string Utf16ToUtf8(const std::vector<char32_t>& Units);

// Value rounded to the nearest integer (halves to even); a result beyond 32
// bits is a range error.
int32_t RoundToInt32(double Value);

// Applies a printf-style pattern with one conversion ("%s", "%d", "%5.2f")
// to a text or a number. Numbers always use "." as decimal separator.
std::string ApplyPattern(std::string_view Pattern, std::string_view Text);
std::string ApplyPattern(std::string_view Pattern, double Value);

// The value formatters named in the tables (text in, text out; a value they
// cannot read raises, and the caller keeps the unformatted text).
std::string ComponentsFormatter(const std::string& Text);
std::string ShutterSpeedFormatter(const std::string& Text);
std::string FlashFormatter(const std::string& Text);
std::string UserCommentFormatter(const std::string& Text);
std::string XpTextFormatter(const std::string& Text);
std::string GpsPositionFormatter(const std::string& Text);
std::string GpsTimeFormatter(const std::string& Text);

// ---------------------------------------------------------------------------
// Readers

// A byte buffer read in a chosen byte order. Positions are 1-based; a read
// outside the buffer is a range error (ERangeError).
class TByteOrderReader {
 public:
  bool BigEndian() const { return BigEndian_; }
  void SetBigEndian(bool Value) { BigEndian_ = Value; }
  const TBytes& Buffer() const { return Buffer_; }
  void SetBuffer(TBytes Bytes) { Buffer_ = std::move(Bytes); }

  // Unsigned 16-bit value of the bytes at Pos and Pos+1.
  uint16_t Read16(int64_t Pos) const;
  // Signed 32-bit value of the bytes Pos..Pos+3.
  int32_t Read32(int64_t Pos) const;

 protected:
  // The Count bytes from Pos on; a range error when they are not all there.
  const uint8_t* BytesAt(int64_t Pos, int64_t Count) const;

  bool BigEndian_ = false;  // true for an "MM" block, false for "II"
  TBytes Buffer_;
};

// One stored header segment of a JPEG file.
struct tSection {
  TBytes Data;         // the two length bytes and the payload, as in the file
  int32_t Marker = 0;  // marker code without its 0xFF prefix (225 for APP1)
  int32_t Size = 0;    // the segment's length field (counts itself and the payload)
};

// The parsed EXIF block of one file: a walk over its directories that builds a
// text listing ("\r\n" + caption + " = " + value per entry) and a tag list,
// and keeps the values and positions the writer and the renaming job need.
class TExifInfo : public TByteOrderReader {
 public:
  // ListMode: 2 = build the listing, 4 = build the tag list, 255 = both.
  TExifInfo(TMetadata& Owner, int ListMode);
  virtual ~TExifInfo() = default;
  TExifInfo(const TExifInfo&) = delete;
  TExifInfo& operator=(const TExifInfo&) = delete;

  // Walks the directory at DirStart (1-based in Buffer) and its
  // sub-directories; a stored offset X means position X + OffsetBase.
  // A range error ends the walk of this directory and passes on.
  void ReadDirectory(int64_t DirStart, int64_t OffsetBase, int64_t Length, TDirectoryKind Kind);

  // Lookups by tag name (ignoring case) in the tag list.
  virtual int IndexOfTag(const std::string& Name) const;        // -1 when absent
  virtual std::string TagValue(const std::string& Name) const;  // "" when absent
  TTagEntry TagByName(const std::string& Name) const;           // empty entry when absent
  double NumericTagValue(const std::string& Name) const;        // 0 when absent
  int32_t IntegerTagValue(const std::string& Name) const;       // rounded; range error if too big

  // Appends a copy unless its TagNumber is 0; returns TagCount() - 1.
  int AddTag(const TTagEntry& Entry);
  // Adds a decoder's named text to the tag list (list modes 4 and 255).
  void AddTextTag(const std::string& Name, const std::string& Value, int Format);
  // Walks one directory of a maker note (DirStart: 0-based offset into Data)
  // with a maker's table, appending to MakerListing() and the tag list. A
  // value offset X means position X + DirStart + 2 - Adjust in Data; values
  // outside Data are taken from the EXIF segment at X + FallbackBase. False
  // when an error ended the walk ("Error Detected = " in the owner's ErrorText).
  bool ReadMakerNoteDirectory(const TBytes& Data, std::span<const TTagRow> Table, int64_t DirStart,
                              int64_t Adjust, int64_t FallbackBase);
  // Adds a computed FocalLengthIn35mmFilm entry when the block has none.
  void AddFocalLength35mm();
  // Writes the new size into the stored width and height entries of the
  // owner's EXIF segment; raises ERangeError for a position outside it.
  void UpdateDimensions(int32_t NewHeight, int32_t NewWidth);

  // Value decoding in this block's byte order.
  std::string FormatValues(std::string_view Raw, int Format, std::string_view Decode,
                           std::string_view Pattern) const;
  double NumericValue(std::string_view Raw, int Format) const;
  int32_t BytesToInt(std::string_view Bytes) const;

  // The maker-note decoders report a formatted value whose detailed text
  // should be listed as well.
  void SetMakerDetailedText(bool Value) { MakerDetailedText_ = Value; }
  bool MakerDetailedText() const { return MakerDetailedText_; }
  void SetTiffSource(bool Value) { TiffSource_ = Value; }

  TMetadata& Owner() const { return Owner_; }
  const std::vector<TTagEntry>& Tags() const { return Tags_; }
  int TagCount() const { return static_cast<int>(Tags_.size()); }
  int ListMode() const { return ListMode_; }
  const std::string& VersionText() const { return VersionText_; }
  const std::string& MakeText() const { return MakeText_; }
  const std::string& ModelText() const { return ModelText_; }
  const std::string& DateText() const { return DateText_; }
  int32_t StoredHeight() const { return StoredHeight_; }
  int32_t StoredWidth() const { return StoredWidth_; }
  int32_t HeightPos() const { return HeightPos_; }
  int32_t WidthPos() const { return WidthPos_; }
  int32_t FlashCode() const { return FlashCode_; }
  const TBytes& MakerNote() const { return MakerNote_; }
  bool TiffSource() const { return TiffSource_; }
  const std::string& CommentText() const { return CommentText_; }
  int32_t CommentPos() const { return CommentPos_; }
  int32_t CommentLength() const { return CommentLength_; }
  int32_t DateTimePos() const { return DateTimePos_; }
  int32_t DateTimeOriginalPos() const { return DateTimeOriginalPos_; }
  int32_t DateTimeDigitizedPos() const { return DateTimeDigitizedPos_; }
  const std::string& Listing() const { return Listing_; }
  const std::string& MakerListing() const { return MakerListing_; }
  uint8_t MakerNoteResult() const { return MakerNoteResult_; }
  int32_t MakerNotePos() const { return MakerNotePos_; }

  // Limits of one walk, so that a hostile block cannot exhaust memory or time.
  static constexpr int MaxDirectories = 64;
  static constexpr int64_t MaxEntries = 8192;
  static constexpr int64_t MaxValueBytes = 16 * 1024 * 1024;

 private:
  friend class TMetadata;
  bool WantsListing() const { return ListMode_ == 2 || ListMode_ == 255; }
  bool WantsTags() const { return ListMode_ == 4 || ListMode_ == 255; }
  void ReadEntry(int64_t Entry, int64_t OffsetBase, int64_t Length, TDirectoryKind Kind);
  void FollowDirectory(int64_t ValuePos, int64_t OffsetBase, int64_t Length, TDirectoryKind Kind);
  void DecodeMakerNote();
  void ReadMakerNoteEntry(const TBytes& Data, std::span<const TTagRow> Table, int64_t Entry,
                          int64_t Base, int64_t FallbackBase, const TBytes& Segment);
  std::string TakeValue(const TBytes& From, int64_t Pos, int64_t Count);
  void ChargeEntries(int64_t Count);

  TMetadata& Owner_;
  std::vector<TTagEntry> Tags_;
  std::string VersionText_;
  std::string MakeText_;
  std::string ModelText_;
  std::string DateText_;
  int32_t StoredHeight_ = 0;
  int32_t StoredWidth_ = 0;
  int32_t HeightPos_ = 0;
  int32_t WidthPos_ = 0;
  int32_t FlashCode_ = 0;
  int ListMode_;
  TBytes MakerNote_;
  bool TiffSource_ = false;
  std::string CommentText_;
  int32_t CommentPos_ = 0;
  int32_t CommentLength_ = 0;
  int32_t DateTimePos_ = 0;
  int32_t DateTimeOriginalPos_ = 0;
  int32_t DateTimeDigitizedPos_ = 0;
  std::string Listing_;
  std::string MakerListing_;
  uint8_t MakerNoteResult_ = 0;
  int32_t MakerNotePos_ = 0;
  bool MakerDetailedText_ = false;
  // Directories walked, as (offset base, start): a pointer back to one of
  // them is not followed again.
  std::set<std::pair<int64_t, int64_t>> Visited_;
  int DirectoriesRead_ = 0;
  int64_t EntriesRead_ = 0;
  int64_t ValueBytesRead_ = 0;
};

// The metadata container of one picture file. One container serves a whole
// batch; every read starts afresh and describes the file read last. Besides
// the numbered slots it keeps, outside them, the colour profile's APP2
// segments and the XMP packet's APP1 segments of a JPEG file.
class TMetadata : public TByteOrderReader {
 public:
  static constexpr int MaxSections = 20;       // segments kept per file
  static constexpr int TiffReadSize = 256000;  // bytes taken from a TIFF-family file

  // ListMode is handed to every TExifInfo (2 listing, 4 tag list, 255 both).
  explicit TMetadata(int ListMode = 255);
  ~TMetadata();
  TMetadata(const TMetadata&) = delete;
  TMetadata& operator=(const TMetadata&) = delete;

  // Forgets the last file (slot contents stay, no longer counted).
  void Reset();
  // Reads the header segments and the EXIF block of a .jpg/.jpeg/.jpe file,
  // or the first directory of a .tif/.tiff/.nef file, or the metadata blocks
  // of a HEIC, HEIF or AVIF file (told by its name or its first bytes; the
  // decoder process reads them). True when metadata was found; ErrorText()
  // tells the outcome. Raises nothing.
  bool ReadMetadata(const std::string& FileName);
  // ReadMetadata, then HasMetadata().
  bool ReadHasMetadata(const std::string& FileName);
  // The same for a file whose bytes are already in memory (a JPEG is then
  // not read from disk again).
  bool ReadMetadataFromBytes(const std::string& FileName, const TBytes& Bytes);
  bool ReadHasMetadataFromBytes(const std::string& FileName, const TBytes& Bytes);
  // Takes the metadata blocks that the decoder handed over with the picture
  // of FileName as a JPEG file's segments: the EXIF block as the EXIF
  // section, the colour profile's APP2 segments, the XMP packet's APP1
  // segment (a block too large for its segments is left out). Upright: the
  // pixels come turned as they are shown, so the EXIF Orientation is set to
  // 1. True when metadata was taken; ErrorText() tells the outcome.
  bool ReadDecodedBlocks(const std::string& FileName, const TPictureMetadata& Blocks, bool Upright);
  // An EXIF, comment or IPTC section, a colour profile or an XMP packet is
  // present.
  bool HasMetadata() const;
  bool HasExif() const { return ExifSection_ != 0; }

  // Writes DestName: with the metadata of SourceName (DestName when empty)
  // when that file has an EXIF, IPTC or comment section, else the picture as
  // it is. Raises on failure.
  void SaveJpegKeepingMetadata(const TJpegImage& Image, const std::string& DestName,
                               bool AdjustSize, const std::string& SourceName);
  // Writes DestName as SOI, the sections of the last read and the picture's
  // own encoded data behind its header; with AdjustSize the stored EXIF
  // dimensions, and those of the XMP packet where its length allows, become
  // the picture's. The file is written whole or not at all.
  void WriteJpegWithMetadata(const TJpegImage& Image, const std::string& DestName, bool AdjustSize);
  // The file WriteJpegWithMetadata writes, as bytes.
  TBytes JpegWithMetadata(const TJpegImage& Image, bool AdjustSize);
  // Writes SOI and the metadata segments: the EXIF section (else the APP0
  // section, else a fixed JFIF header), the IPTC section, the comment.
  // Returns the number of bytes written after the SOI.
  // Behind the EXIF (or APP0) segment come the XMP packet, its extension, the
  // colour profile's segments, then the IPTC section and the comment.
  int WriteHeaderSections(std::ostream& Out) const;
  // The same into a byte buffer (appended).
  int AppendHeaderSections(TBytes& Out) const;

  // The colour profile's APP2 segments in file order: a complete set of
  // numbered chunks, else none (an incomplete profile is left out).
  const std::vector<tSection>& IccSegments() const { return IccSegments_; }
  bool HasColourProfile() const { return !IccSegments_.empty(); }
  // The profile itself and the text of its description tag ("" when it has
  // none that can be read).
  TBytes ColourProfile() const;
  std::string ColourProfileDescription() const;
  // The first APP1 segment holding an XMP packet, or null. An XMP packet that
  // is the first APP1 segment stands in the EXIF slot and is that slot.
  const tSection* XmpSection() const;
  bool HasXmp() const { return XmpSection() != nullptr; }
  // The segments of the packet's extension: all of it, else none.
  const std::vector<tSection>& ExtendedXmpSections() const { return ExtendedXmp_; }

  int ListMode() const { return ListMode_; }
  int SectionCount() const { return SectionCount_; }
  // Slot Number (1..MaxSections + 1).
  const tSection& Section(int Number) const {
    return Sections_.at(static_cast<size_t>(Number - 1));
  }
  // The referenced slots, or null.
  const tSection* ExifSection() const { return SlotOrNull(ExifSection_); }
  const tSection* IptcSection() const { return SlotOrNull(IptcSection_); }
  const tSection* CommentSection() const { return SlotOrNull(CommentSection_); }
  const tSection* App0Section() const { return SlotOrNull(App0Section_); }
  bool TiffSource() const { return TiffSource_; }
  const std::string& SourceName() const { return SourceName_; }
  const TFileTime& SourceTime() const { return SourceTime_; }
  int64_t SourceSize() const { return SourceSize_; }
  // "<none>" after a successful read, else what went wrong.
  const std::string& ErrorText() const { return ErrorText_; }
  TExifInfo* ExifInfo() { return ExifInfo_.get(); }
  const TExifInfo* ExifInfo() const { return ExifInfo_.get(); }
  // The IPTC record object bound to IptcSection() (module Iptc), or null.
  TIptcData* IptcInfo() { return IptcInfo_.get(); }
  const TIptcData* IptcInfo() const { return IptcInfo_.get(); }

  // The EXIF listing and the maker-note listing of the last read ("" when
  // there is no EXIF block).
  std::string ExifListing() const;
  std::string MakerNoteListing() const;
  // The IPTC entries of the last read, one "\r\n" + description + " = " +
  // value per entry ("" when there are none).
  std::string IptcListing() const;

 private:
  friend class TExifInfo;
  const tSection* SlotOrNull(int Number) const;
  void ReadFileInfo(const std::string& FileName);
  bool ReadFrom(const std::string& FileName, const TBytes* Bytes);
  bool ReadJpegFile(const std::string& FileName);
  bool ReadJpegBytes(const TBytes& Bytes);
  bool ScanJpeg(std::istream& In);
  bool ScanJpegSections(std::istream& In);
  void ParseExifSection();
  bool KeepProfileSegment(tSection& Slot);
  void KeepXmpSegment(tSection& Slot);
  void SettleCarriedSegments();
  int AppendSections(TBytes& Out, bool AdjustXmp, int64_t Width, int64_t Height) const;
  bool ReadTiffFile(const std::string& FileName);
  bool ScanTiffFile(std::istream& In);
  bool ReadHeifFile(const std::string& FileName);
  bool TakeDecodedBlocks(const TPictureMetadata& Blocks, bool Upright);

  std::array<tSection, MaxSections + 1> Sections_;
  bool TiffSource_ = false;
  int ListMode_;
  int SectionCount_ = 0;
  int ExifSection_ = 0;  // slot numbers, 0 = none
  int IptcSection_ = 0;
  int CommentSection_ = 0;
  int App0Section_ = 0;
  bool ExifFromTiff_ = false;  // the EXIF slot holds a TIFF block, not a JPEG segment
  enum class TXmpPlace { None, OwnSegment, ExifSlot };
  TXmpPlace XmpPlace_ = TXmpPlace::None;
  tSection Xmp_;
  std::vector<tSection> ExtendedXmp_;
  std::vector<tSection> IccSegments_;
  std::string SourceName_;
  TFileTime SourceTime_;
  int64_t SourceSize_ = 0;
  std::string ErrorText_;
  std::unique_ptr<TExifInfo> ExifInfo_;
  std::unique_ptr<TIptcData> IptcInfo_;
};

}  // namespace pictrim
