// Maker recognition, the note walk with the maker's table, and the decoders
// of packed maker-note values.
#include "metadata/MakerNotes.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "util/MoreStr.h"

namespace pictrim {
namespace {

// The character of the model behind its first blank (its first character
// when it has no blank); 0 when there is none.
char ModelLetter(const std::string& Model) {
  const size_t blank = Model.find(' ');
  const size_t at = blank == std::string::npos ? 0 : blank + 1;
  return at < Model.size() ? Model[at] : '\0';
}

bool LayoutHolds(const TMakerLayout& Layout, const TExifInfo& Info, bool TiffSource) {
  switch (Layout.Test) {
    case TMakerTest::Always:
      return true;
    case TMakerTest::NewNikonFormat:
      // Byte-wise text comparison: "0220" is above "0210".
      return Info.VersionText() > "0210" ||
             (Info.VersionText().empty() && ModelLetter(Info.ModelText()) == 'D' && TiffSource);
    case TMakerTest::NoteBegins: {
      const TBytes& note = Info.MakerNote();
      return note.size() >= Layout.NotePrefix.size() &&
             std::equal(Layout.NotePrefix.begin(), Layout.NotePrefix.end(), note.begin(),
                        [](char P, uint8_t B) { return static_cast<uint8_t>(P) == B; });
    }
  }
  return false;
}

// The pieces of a text between the commas.
std::vector<std::string_view> Fields(std::string_view Text) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  while (true) {
    const size_t comma = Text.find(',', start);
    fields.push_back(Text.substr(start, comma == std::string_view::npos ? comma : comma - start));
    if (comma == std::string_view::npos) return fields;
    start = comma + 1;
  }
}

// One decoded line: listed and added to the tag list unless its value is
// blank.
void AddLine(std::string& Out, std::string_view Name, const std::string& Value, TExifInfo& Info) {
  if (TrimText(Value).empty()) return;
  Out += "\r\n" + std::string(Name) + " = " + Value;
  Info.AddTextTag(std::string(Name), Value, 2);
}

// The lines of a packed value read field by field: a coded field translated
// through its code list ("0" when the value has no such field), a plain
// field as it stands.
std::string FieldLines(const std::string& Text, std::span<const TCanonField> Layout,
                       TExifInfo& Info) {
  const std::vector<std::string_view> fields = Fields(Text);
  std::string out;
  for (const TCanonField& field : Layout) {
    std::string value;
    if (!field.Codes.empty()) {
      value = field.Position < fields.size() ? LookupCode(field.Codes, fields[field.Position])
                                             : std::string("0");
    } else if (field.Position >= 1 && field.Position <= fields.size()) {
      value = TrimText(fields[field.Position - 1]);
    }
    AddLine(out, field.Name, value, Info);
  }
  Info.SetMakerDetailedText(true);
  return out;
}

// Restores a byte order when the walk is over, however it ends.
class TByteOrderRestore {
 public:
  explicit TByteOrderRestore(TExifInfo& Info) : Info_(Info), BigEndian_(Info.BigEndian()) {}
  ~TByteOrderRestore() { Info_.SetBigEndian(BigEndian_); }
  TByteOrderRestore(const TByteOrderRestore&) = delete;
  TByteOrderRestore& operator=(const TByteOrderRestore&) = delete;

 private:
  TExifInfo& Info_;
  bool BigEndian_;
};

}  // namespace

const TMakerLayout* SelectMakerLayout(const TExifInfo& ExifInfo, bool TiffSource) {
  const std::string make = Utf8Left(UpperCase(ExifInfo.MakeText()), 5);
  for (const TMakerLayout& layout : MakerLayouts) {
    if (layout.Make == make && LayoutHolds(layout, ExifInfo, TiffSource)) return &layout;
  }
  return nullptr;
}

bool TMakerNoteDecoder::Decode() {
  const TMakerLayout* layout = SelectMakerLayout(ExifInfo_, TiffSource_);
  if (layout == nullptr) return false;
  const int64_t adjust =
      layout->AdjustFromNote ? int64_t{ExifInfo_.MakerNotePos()} + layout->Adjust : layout->Adjust;
  const TByteOrderRestore restore(ExifInfo_);
  if (layout->IntelOrder) ExifInfo_.SetBigEndian(false);
  return ExifInfo_.ReadMakerNoteDirectory(ExifInfo_.MakerNote(), layout->Table, layout->DirStart,
                                          adjust, layout->FallbackBase);
}

// ---------------------------------------------------------------------------
// Decoders

std::string NikonColorMode(const std::string& Text) {
  const std::string mode = Text.substr(std::min<size_t>(1, Text.size()), 5);
  if (mode == "MODE1") return "Mode1 (sRGB)";
  if (mode == "MODE2") return "Mode 2 (Adobe RGB)";
  if (mode == "MODE3") return "Mode 3 (sRGB): higher saturation";
  return mode;
}

std::string NikonLensRange(const std::string& Text) {
  std::vector<double> values;
  size_t start = 0;
  while (values.size() < 4) {
    const size_t at = Text.find(", ", start);
    values.push_back(RationalTextToFloat(std::string_view(Text).substr(start, at - start)));
    if (at == std::string::npos) break;
    start = at + 2;
  }
  if (values.size() < 4) return Text;
  return ApplyPattern("%0.1f", values[0]) + "-" + ApplyPattern("%0.1f", values[1]) + "(mm)  F" +
         ApplyPattern("%0.1f", values[2]) + "-F" + ApplyPattern("%0.1f", values[3]);
}

std::string CanonExposureInfo1(const std::string& Text, TExifInfo& Info) {
  return FieldLines(Text, CanonExposureInfo1Fields, Info);
}

std::string CanonExposureInfo2(const std::string& Text, TExifInfo& Info) {
  return FieldLines(Text, CanonExposureInfo2Fields, Info);
}

std::string CanonCustomFunctions(const std::string& Text, TExifInfo& Info) {
  // Field 0 is the value's byte count; each further field packs a function
  // number (high byte) and its setting (low byte).
  const std::vector<std::string_view> fields = Fields(Text);
  std::string out;
  for (size_t n = 1; n < fields.size(); ++n) {
    const std::string field = TrimText(fields[n]);
    int value = 0;
    const char* end = field.data() + field.size();
    const auto [ptr, ec] = std::from_chars(field.data(), end, value);
    if (field.empty() || ec != std::errc() || ptr != end) continue;
    if (value < 0 || value > 4095) continue;
    const int function = value / 256;
    if (function == 0) continue;
    const TCanonField& entry = CanonCustomFunctionFields[static_cast<size_t>(function - 1)];
    AddLine(out, entry.Name, LookupCode(entry.Codes, std::to_string(value % 256)), Info);
  }
  Info.SetMakerDetailedText(true);
  return out;
}

}  // namespace pictrim
