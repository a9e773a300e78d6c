// The EXIF directory walk: entries decoded, formatted, listed and kept in the
// tag list; the stored size, make, model, dates and maker note remembered.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "metadata/Exif.h"
#include "metadata/MakerNotes.h"
#include "util/Errors.h"

namespace pictrim {
namespace {

bool SameTextIgnoringCase(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i) {
    const auto lower = [](char C) { return C >= 'A' && C <= 'Z' ? static_cast<char>(C + 32) : C; };
    if (lower(A[i]) != lower(B[i])) return false;
  }
  return true;
}

// A position kept in a 32-bit field; 0 for one that no buffer can hold.
int32_t Position32(int64_t Pos) {
  return Pos >= 0 && Pos <= std::numeric_limits<int32_t>::max() ? static_cast<int32_t>(Pos) : 0;
}

// Up to Count bytes of Bytes from offset Start (0-based), cut at its end.
std::string_view Slice(std::string_view Bytes, size_t Start, size_t Count) {
  if (Start >= Bytes.size()) return {};
  return Bytes.substr(Start, Count);
}

// The text of an UNDEFINED value: its bytes up to the first zero, quoted.
std::string QuotedUpToZero(const std::string& Raw) {
  return '"' + Raw.substr(0, Raw.find('\0')) + '"';
}

}  // namespace

// ---------------------------------------------------------------------------
// Table rows and the byte-order reader

TTagEntry TTagEntry::FromRow(const TTagRow& Row) {
  TTagEntry entry;
  entry.TagNumber = Row.TagNumber;
  entry.TagName = Row.TagName;
  entry.Caption = Row.Caption;
  entry.Decode = Row.Decode;
  entry.Pattern = Row.Pattern;
  entry.Formatter = Row.Formatter;
  return entry;
}

TTagEntry FindTagDefinition(uint16_t TagNumber, TDirectoryKind Kind) {
  const auto definition = [Kind](const TTagRow& Row, size_t Index) {
    TTagEntry entry = TTagEntry::FromRow(Row);
    entry.Caption = TableCaption(Kind, Index);
    return entry;
  };
  if (Kind == TDirectoryKind::Gps) {
    for (size_t i = ExifGpsTags.size(); i-- > 0;) {
      if (ExifGpsTags[i].TagNumber == TagNumber) return definition(ExifGpsTags[i], i);
    }
  } else {
    for (size_t i = MainTagRows - 1; i-- > 0;) {
      if (ExifMainTags[i].TagNumber == TagNumber) return definition(ExifMainTags[i], i);
    }
  }
  const size_t defaultRow = MainTagRows - 1;
  TTagEntry entry = TTagEntry::FromRow(ExifMainTags[defaultRow]);
  entry.Caption = TableCaption(TDirectoryKind::Main, defaultRow);
  return entry;
}

int MainTableIndex(std::string_view Name) {
  for (size_t i = 0; i + 1 < MainTagRows; ++i) {
    if (SameTextIgnoringCase(ExifMainTags[i].TagName, Name)) return static_cast<int>(i);
  }
  return -1;
}

const uint8_t* TByteOrderReader::BytesAt(int64_t Pos, int64_t Count) const {
  const auto size = static_cast<int64_t>(Buffer_.size());
  if (Pos < 1 || size < Count || Pos > size - Count + 1) {
    throw ERangeError(std::to_string(Count) + "-byte read at " + std::to_string(Pos) + " outside " +
                      std::to_string(size) + " bytes");
  }
  return Buffer_.data() + (Pos - 1);
}

uint16_t TByteOrderReader::Read16(int64_t Pos) const {
  const uint8_t* p = BytesAt(Pos, 2);
  return BigEndian_ ? static_cast<uint16_t>(p[0] << 8 | p[1])
                    : static_cast<uint16_t>(p[1] << 8 | p[0]);
}

int32_t TByteOrderReader::Read32(int64_t Pos) const {
  const uint8_t* p = BytesAt(Pos, 4);
  const uint32_t value =
      BigEndian_ ? (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3])
                 : (uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
  return static_cast<int32_t>(value);
}

// ---------------------------------------------------------------------------
// TExifInfo

TExifInfo::TExifInfo(TMetadata& Owner, int ListMode) : Owner_(Owner), ListMode_(ListMode) {
  TableCaption(TDirectoryKind::Main, 0);  // the captions are filled by the first instance
}

void TExifInfo::ChargeEntries(int64_t Count) {
  if (Count > MaxEntries - EntriesRead_) throw ERangeError("too many directory entries");
  EntriesRead_ += Count;
}

std::string TExifInfo::TakeValue(const TBytes& From, int64_t Pos, int64_t Count) {
  const auto size = static_cast<int64_t>(From.size());
  if (Pos < 1 || Pos > size || Count <= 0) return {};
  const int64_t n = std::min(Count, size - Pos + 1);
  if (n > MaxValueBytes - ValueBytesRead_) throw ERangeError("EXIF values too large");
  ValueBytesRead_ += n;
  return std::string(reinterpret_cast<const char*>(From.data()) + (Pos - 1),
                     static_cast<size_t>(n));
}

void TExifInfo::ReadDirectory(int64_t DirStart, int64_t OffsetBase, int64_t Length,
                              TDirectoryKind Kind) {
  Visited_.emplace(OffsetBase, DirStart);
  const int64_t count = Read16(DirStart);
  const bool tooLarge = DirStart + 2 + 12 * count > DirStart + OffsetBase + Length;
  if (tooLarge || DirectoriesRead_ >= MaxDirectories || count > MaxEntries - EntriesRead_) {
    Owner_.ErrorText_ = "Illegally sized directory";
    return;
  }
  ++DirectoriesRead_;
  EntriesRead_ += count;
  for (int64_t k = 0; k < count; ++k) {
    ReadEntry(DirStart + 2 + 12 * k, OffsetBase, Length, Kind);
  }
}

void TExifInfo::ReadEntry(int64_t Entry, int64_t OffsetBase, int64_t Length, TDirectoryKind Kind) {
  const uint16_t tag = Read16(Entry);
  const int type = Read16(Entry + 2);
  const int32_t count = Read32(Entry + 4);
  if (count < 0) throw ERangeError("negative value count");
  const int64_t bytes = int64_t{count} * TypeSize(type);
  if (bytes == 0) return;
  const int64_t valuePos = bytes <= 4 ? Entry + 8 : int64_t{Read32(Entry + 8)} + OffsetBase;
  const std::string raw = TakeValue(Buffer_, valuePos, bytes);

  // The definition and the value text serve both the listing and the tag list.
  TTagEntry definition;
  std::string text;
  if (WantsListing() || WantsTags()) {
    definition = FindTagDefinition(tag, Kind);
    if (type == 2) {
      text = raw;
      if (!text.empty() && text.back() == '\0') text.pop_back();
    } else if (type == 7) {
      text = QuotedUpToZero(raw);
    } else {
      text = FormatValues(raw, type, definition.Decode, definition.Pattern);
    }
    try {
      text = definition.TagNumber > 0 && definition.Formatter != nullptr
                 ? definition.Formatter(text)
                 : MakePrintable(text);
    } catch (const std::exception&) {
      // A value the formatter cannot read keeps its plain text.
    }
    if (tag == 37510) {
      CommentText_ = TrimText(Slice(raw, 8, std::string::npos));
      text = CommentText_;
      CommentPos_ = Position32(valuePos);
      CommentLength_ = static_cast<int32_t>(std::clamp<int64_t>(bytes - 9, 0, INT32_MAX));
    }
    if (WantsListing()) Listing_ += "\r\n" + definition.Caption + " = " + text;
  }

  switch (tag) {
    case 256:
    case 40962:
      WidthPos_ = Position32(Entry + 8);
      StoredWidth_ = RoundToInt32(NumericValue(raw, type));
      break;
    case 257:
    case 40963:
      HeightPos_ = Position32(Entry + 8);
      StoredHeight_ = RoundToInt32(NumericValue(raw, type));
      break;
    case 271:
      MakeText_ = Utf8Left(text, 32);
      break;
    case 272:
      ModelText_ = Utf8Left(text, 40);
      break;
    case 306:
      DateTimePos_ = Position32(valuePos);
      DateText_ = Utf8Left(text, 20);
      break;
    case 36867:
      DateTimeOriginalPos_ = Position32(valuePos);
      DateText_ = Utf8Left(text, 20);
      break;
    case 36868:
      DateTimeDigitizedPos_ = Position32(valuePos);
      break;
    case 36864:
      VersionText_ = raw.substr(0, 6);
      break;
    case 37385:
      FlashCode_ = RoundToInt32(NumericValue(raw, type));
      break;
    case 330:
    case 34665:
    case 40965:
      FollowDirectory(valuePos, OffsetBase, Length, TDirectoryKind::Main);
      break;
    case 34853:
      FollowDirectory(valuePos, OffsetBase, Length, TDirectoryKind::Gps);
      break;
    case 37500:
      MakerNote_.assign(raw.begin(), raw.end());
      MakerNotePos_ = Position32(valuePos);
      DecodeMakerNote();
      break;
    default:
      break;
  }

  if (WantsTags()) {
    try {
      TTagEntry entry = definition;
      entry.Value = text;
      entry.RawBytes = raw;
      entry.ByteCount = static_cast<int32_t>(raw.size());
      entry.Position = Position32(valuePos);
      entry.Format = static_cast<uint16_t>(type);
      AddTag(entry);
    } catch (const std::exception&) {
      // The tag list is best effort; the walk goes on.
    }
  }
}

void TExifInfo::FollowDirectory(int64_t ValuePos, int64_t OffsetBase, int64_t Length,
                                TDirectoryKind Kind) {
  try {
    // For a list of directories (SubIFDs) only the first is followed.
    const int64_t start = int64_t{Read32(ValuePos)} + OffsetBase;
    if (Visited_.contains({OffsetBase, start})) return;
    ReadDirectory(start, OffsetBase, Length, Kind);
  } catch (const std::exception&) {
    // A broken sub-directory leaves the rest of its parent readable.
  }
}

void TExifInfo::DecodeMakerNote() {
  TMakerNoteDecoder decoder(TiffSource_, *this);
  MakerNoteResult_ = decoder.Decode() ? 1 : 0;
}

int TExifInfo::IndexOfTag(const std::string& Name) const {
  for (size_t i = 0; i < Tags_.size(); ++i) {
    if (SameTextIgnoringCase(Tags_[i].TagName, Name)) return static_cast<int>(i);
  }
  return -1;
}

std::string TExifInfo::TagValue(const std::string& Name) const {
  const int index = IndexOfTag(Name);
  return index < 0 ? std::string() : Tags_[static_cast<size_t>(index)].Value;
}

TTagEntry TExifInfo::TagByName(const std::string& Name) const {
  const int index = IndexOfTag(Name);
  return index < 0 ? TTagEntry() : Tags_[static_cast<size_t>(index)];
}

double TExifInfo::NumericTagValue(const std::string& Name) const {
  const int index = IndexOfTag(Name);
  if (index < 0) return 0;
  const TTagEntry& entry = Tags_[static_cast<size_t>(index)];
  return NumericValue(entry.RawBytes, entry.Format);
}

int32_t TExifInfo::IntegerTagValue(const std::string& Name) const {
  return RoundToInt32(NumericTagValue(Name));
}

int TExifInfo::AddTag(const TTagEntry& Entry) {
  if (Entry.TagNumber != 0) Tags_.push_back(Entry);
  return TagCount() - 1;
}

void TExifInfo::AddTextTag(const std::string& Name, const std::string& Value, int Format) {
  if (!WantsTags()) return;
  try {
    ChargeEntries(1);  // a decoder's lines count against the walk's entry budget
    TTagEntry entry;
    entry.Origin = 1;
    entry.Format = static_cast<uint16_t>(Format);
    entry.TagNumber = TextTagNumber;
    entry.TagName = Name;
    entry.Caption = Name;
    entry.Value = Value;
    entry.RawBytes = Value;
    entry.ByteCount = static_cast<int32_t>(std::min<size_t>(Value.size(), INT32_MAX));
    Tags_.push_back(std::move(entry));
  } catch (const std::exception&) {
    // A decoder's extra line is not worth failing the read for.
  }
}

bool TExifInfo::ReadMakerNoteDirectory(const TBytes& Data, std::span<const TTagRow> Table,
                                       int64_t DirStart, int64_t Adjust, int64_t FallbackBase) {
  // The walk reads the note in this object's byte order; the EXIF segment
  // comes back as the buffer afterwards, whatever happens.
  TBytes note(Data);
  const TBytes segment = std::exchange(Buffer_, std::move(note));
  struct TRestore {
    TBytes& Target;
    const TBytes& Saved;
    ~TRestore() { Target = Saved; }
  } restore{Buffer_, segment};
  try {
    const int64_t start = DirStart + 1;
    const int64_t base = start - Adjust + 1;
    const int64_t count = Read16(start);
    ChargeEntries(count);
    for (int64_t k = 0; k < count; ++k) {
      ReadMakerNoteEntry(Buffer_, Table, start + 2 + 12 * k, base, FallbackBase, segment);
    }
  } catch (const std::exception& e) {
    Owner_.ErrorText_ = std::string("Error Detected = ") + e.what();
    return false;
  }
  return true;
}

void TExifInfo::ReadMakerNoteEntry(const TBytes& Data, std::span<const TTagRow> Table,
                                   int64_t Entry, int64_t Base, int64_t FallbackBase,
                                   const TBytes& Segment) {
  const uint16_t tag = Read16(Entry);
  const int type = Read16(Entry + 2);
  const int32_t count = Read32(Entry + 4);
  if (count < 0) throw ERangeError("negative value count");
  const int64_t bytes = int64_t{count} * TypeSize(type);
  int64_t offset = 0;
  int64_t valuePos = Entry + 8;
  if (bytes > 4) {
    offset = Read32(Entry + 8);
    valuePos = offset + Base;
  }
  // A value inside the note is read there; one that is not is looked for in
  // the EXIF segment, where some makers' offsets point.
  const auto noteSize = static_cast<int64_t>(Data.size());
  const bool inNote = valuePos >= 1 && bytes <= noteSize - valuePos + 1;
  const std::string raw =
      inNote ? TakeValue(Data, valuePos, bytes) : TakeValue(Segment, offset + FallbackBase, bytes);

  int row = -1;
  for (size_t i = 0; i < Table.size(); ++i) {
    if (Table[i].TagNumber == tag) {
      row = static_cast<int>(i);
      break;
    }
  }
  const std::string name =
      row >= 0 ? std::string(Table[static_cast<size_t>(row)].TagName) : "Unknown";
  if (SameTextIgnoringCase(name, "SKIP") || !WantsTags()) return;

  std::string text;
  if (type == 2) {
    text = QuotedUpToZero(raw);
  } else if (type == 7) {
    text = '"' + raw + '"';
  } else {
    try {
      std::string_view decode;
      for (const TTagRow& r : Table) {
        if (r.TagNumber == tag) decode = r.Decode;
      }
      const std::string_view pattern =
          row >= 0 ? Table[static_cast<size_t>(row)].Pattern : std::string_view();
      text = FormatValues(raw, type, decode, pattern);
    } catch (const std::exception&) {
      text = '"' + raw + '"';
    }
  }
  MakerDetailedText_ = false;
  const TTagRow* formatted = row >= 1 ? &Table[static_cast<size_t>(row)] : nullptr;
  std::string shown;
  if (formatted != nullptr && formatted->MakerFormatter != nullptr) {
    shown = formatted->MakerFormatter(text, *this);
  } else if (formatted != nullptr && formatted->Formatter != nullptr) {
    shown = formatted->Formatter(text);
  } else {
    shown = MakePrintable(text);
  }
  if (MakerDetailedText_) {
    MakerListing_ += shown + "\r\n" + name + " = " + text;
  } else {
    MakerListing_ += "\r\n" + name + " = " + shown;
  }
  if (row >= 1) {
    TTagEntry entry = TTagEntry::FromRow(Table[static_cast<size_t>(row)]);
    entry.Origin = 1;
    entry.Format = static_cast<uint16_t>(type);
    entry.Value = MakerDetailedText_ ? text : shown;
    entry.RawBytes = raw;
    entry.ByteCount = static_cast<int32_t>(raw.size());
    AddTag(entry);
  }
}

void TExifInfo::AddFocalLength35mm() {
  if (IndexOfTag("FocalLengthin35mmFilm") >= 0) return;
  int32_t unit = IntegerTagValue("FocalPlaneResolutionUnit");
  if (unit < 1) unit = IntegerTagValue("ResolutionUnit");
  const double millimetres = unit == 2 ? 25.4 : (unit == 3 ? 10.0 : 0.0);
  const double focalLength = NumericTagValue("FocalLength");
  if (millimetres == 0 || focalLength == 0) return;
  const int32_t xResolution = IntegerTagValue("FocalPlaneXResolution");
  const double width = xResolution > 0 ? StoredWidth_ * millimetres / xResolution : 0;
  const int32_t yResolution = IntegerTagValue("FocalPlaneYResolution");
  const double height = yResolution > 0 ? StoredHeight_ * millimetres / yResolution : 0;
  if (!(width * height > 0)) return;
  // 43.27 mm is the diagonal of a 35-mm film frame.
  const double focal35 = focalLength * 43.26661531 / std::sqrt(width * width + height * height);
  const int row = MainTableIndex("FocalLengthIn35mmFilm");
  TTagEntry entry = TTagEntry::FromRow(ExifMainTags[static_cast<size_t>(row)]);
  entry.Caption = TableCaption(TDirectoryKind::Main, static_cast<size_t>(row));
  entry.Value = ApplyPattern("%5.2f", focal35);
  entry.Pattern = "%s mm";
  entry.Format = 10;
  AddTag(entry);
  Listing_ += "\r\n" + entry.Caption + " = " + entry.Value;
}

void TExifInfo::UpdateDimensions(int32_t NewHeight, int32_t NewWidth) {
  if (StoredHeight_ <= 0 || StoredWidth_ <= 0) return;
  if (NewWidth == StoredWidth_ && NewHeight == StoredHeight_) return;
  if (Owner_.ExifSection_ == 0) throw ERangeError("no EXIF section to update");
  TBytes& data = Owner_.Sections_.at(static_cast<size_t>(Owner_.ExifSection_ - 1)).Data;
  const bool bigEndian = Owner_.BigEndian_;
  // Each value field must lie in the segment together with its type field.
  for (const int64_t pos : {int64_t{HeightPos_}, int64_t{WidthPos_}}) {
    if (pos < 7 || pos > static_cast<int64_t>(data.size()) - 3) {
      throw ERangeError("stored dimension position " + std::to_string(pos) +
                        " outside the EXIF segment");
    }
  }
  const auto patch = [&data, bigEndian](int64_t Pos, int32_t Value) {
    uint8_t* type = data.data() + (Pos - 7);
    uint8_t* field = data.data() + (Pos - 1);
    const unsigned fieldType = bigEndian ? (type[0] << 8 | type[1]) : (type[1] << 8 | type[0]);
    const auto v = static_cast<uint32_t>(Value);
    const uint8_t b[4] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                          static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    if (fieldType == 3) {  // SHORT: 16 bits in the first two bytes
      field[0] = bigEndian ? b[2] : b[3];
      field[1] = bigEndian ? b[3] : b[2];
      field[2] = field[3] = 0;
    } else if (bigEndian) {
      std::memcpy(field, b, 4);
    } else {
      field[0] = b[3], field[1] = b[2], field[2] = b[1], field[3] = b[0];
    }
  };
  patch(HeightPos_, NewHeight);
  patch(WidthPos_, NewWidth);
}

// ---------------------------------------------------------------------------
// Value decoding

int32_t TExifInfo::BytesToInt(std::string_view Bytes) const {
  // At most eight steps fit the accumulator; the low 32 bits are the value.
  uint64_t value = 0;
  const size_t steps = std::min<size_t>(Bytes.size(), 8);
  for (size_t i = 0; i < steps; ++i) {
    const size_t index = BigEndian_ ? i : Bytes.size() - 1 - i;
    value = value * 256 + static_cast<unsigned char>(Bytes[index]);
  }
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

double TExifInfo::NumericValue(std::string_view Raw, int Format) const {
  switch (Format) {
    case 1:
    case 3:
    case 4:
    case 6:
    case 8:
    case 9:
      return BytesToInt(Raw);
    case 5:
    case 10: {
      const int32_t denominator = BytesToInt(Slice(Raw, 4, 4));
      if (denominator == 0) return 0;
      return static_cast<double>(BytesToInt(Slice(Raw, 0, 4))) / denominator;
    }
    case 11:
    case 12: {
      // IEEE values in the block's byte order; 0 for anything not finite.
      const size_t size = Format == 11 ? 4 : 8;
      if (Raw.size() < size) return 0;
      uint64_t bits = 0;
      for (size_t i = 0; i < size; ++i) {
        bits = bits << 8 | static_cast<unsigned char>(Raw[BigEndian_ ? i : size - 1 - i]);
      }
      const double value =
          Format == 11 ? static_cast<double>(std::bit_cast<float>(static_cast<uint32_t>(bits)))
                       : std::bit_cast<double>(bits);
      return std::isfinite(value) ? value : 0;
    }
    default:
      return 0;
  }
}

std::string TExifInfo::FormatValues(std::string_view Raw, int Format, std::string_view Decode,
                                    std::string_view Pattern) const {
  const auto size = static_cast<size_t>(TypeSize(Format));
  if (size == 0) return "0";
  const size_t count = std::min<size_t>(Raw.size() / size, 128);
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) text += ", ";
    const std::string_view group = Raw.substr(i * size, size);
    switch (Format) {
      case 2:
      case 7:
        text += "?";
        break;
      case 5:
      case 10:
        text += std::to_string(BytesToInt(group.substr(0, 4))) + "/" +
                std::to_string(BytesToInt(group.substr(4, 4)));
        if (!Decode.empty()) text += LookupCode(Decode, text);
        break;
      case 11:
      case 12:
        text += "-9999.99";
        break;
      default: {
        const std::string number = std::to_string(BytesToInt(group));
        text += Decode.empty() ? number : LookupCode(Decode, number);
        break;
      }
    }
  }
  if (Pattern.empty()) return text;
  if (Pattern.find("%s") != std::string_view::npos) return ApplyPattern(Pattern, text);
  return ApplyPattern(Pattern, NumericValue(Raw, Format));
}

}  // namespace pictrim
