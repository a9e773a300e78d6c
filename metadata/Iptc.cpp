// The IPTC record: parsing an APP13 segment's datasets into named entries,
// the comma texts of the list datasets, and the lookups and changes by name.
#include "metadata/Iptc.h"

#include <algorithm>
#include <unordered_set>

#include "util/Errors.h"
#include "util/MoreStr.h"

namespace pictrim {
namespace {

constexpr uint8_t DatasetMark = 0x1C;
constexpr std::string_view PhotoshopSignature = "Photoshop 3.0";
// Where the dataset search starts in a segment without the signature (the
// 13th byte of the data).
constexpr size_t UnsignedSearchStart = 12;

char AsciiLower(char C) {
  return C >= 'A' && C <= 'Z' ? static_cast<char>(C + ('a' - 'A')) : C;
}

bool SameName(std::string_view A, std::string_view B) {
  return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char X, char Y) {
           return AsciiLower(X) == AsciiLower(Y);
         });
}

// A blank in the sense of comma texts: a control character or a space.
bool IsBlank(char C) {
  return C != '\0' && static_cast<unsigned char>(C) <= ' ';
}

TTagEntry EntryOf(const TIptcTag& Tag) {
  TTagEntry entry;
  entry.RecordNumber = Tag.RecordNumber;
  entry.TagNumber = Tag.DatasetNumber;
  entry.TagName = Tag.Name;
  entry.Caption = Tag.Description;
  entry.ByteCount = Tag.MaxLength;
  return entry;
}

// The entry for one dataset of record 2 or 8: a copy of its table row, or a
// custom entry for a dataset the table does not name.
TTagEntry DatasetEntry(uint8_t Record, uint8_t Dataset, std::string_view Value) {
  const auto row = std::find_if(IptcTags.begin(), IptcTags.end(), [&](const TIptcTag& Tag) {
    return Tag.RecordNumber == Record && Tag.DatasetNumber == Dataset;
  });
  TTagEntry entry;
  if (row != IptcTags.end() && !SameName(row->Name, "SKIP")) {
    entry = EntryOf(*row);
  } else {
    entry.RecordNumber = Record;
    entry.TagNumber = Dataset;
    entry.TagName = "Custom_" + std::to_string(Dataset);
    entry.Caption = entry.TagName;
    entry.ByteCount = 64;
  }
  entry.Value = Value;
  return entry;
}

}  // namespace

bool IsIptcListDataset(uint16_t DatasetNumber) {
  return DatasetNumber == 20 || DatasetNumber == 25;
}

// ---------------------------------------------------------------------------
// Comma texts

std::vector<std::string> SplitCommaText(std::string_view Text) {
  Text = Text.substr(0, Text.find('\0'));  // a zero byte ends the text
  std::vector<std::string> items;
  const size_t n = Text.size();
  size_t p = 0;
  while (p < n && IsBlank(Text[p])) ++p;
  while (p < n) {
    std::string item;
    if (Text[p] == '"') {
      // Quoted: two double quotes stand for one; the closing one ends it.
      for (++p; p < n; ++p) {
        if (Text[p] != '"') {
          item += Text[p];
        } else if (p + 1 < n && Text[p + 1] == '"') {
          item += '"';
          ++p;
        } else {
          ++p;
          break;
        }
      }
    } else {
      const size_t start = p;
      while (p < n && !IsBlank(Text[p]) && Text[p] != ',') ++p;
      item = Text.substr(start, p - start);
    }
    items.push_back(std::move(item));
    while (p < n && IsBlank(Text[p])) ++p;
    if (p < n && Text[p] == ',') {
      if (p + 1 == n) items.emplace_back();  // a closing comma ends with an empty item
      do {
        ++p;
      } while (p < n && IsBlank(Text[p]));
    }
  }
  return items;
}

std::string JoinCommaText(const std::vector<std::string>& Items) {
  if (Items.size() == 1 && Items[0].empty()) return "\"\"";
  std::string text;
  for (size_t i = 0; i < Items.size(); ++i) {
    const std::string& item = Items[i];
    if (i > 0) text += ',';
    const bool quoted = std::any_of(item.begin(), item.end(), [](char C) {
      return static_cast<unsigned char>(C) <= ' ' || C == '"' || C == ',';
    });
    if (!quoted) {
      text += item;
      continue;
    }
    text += '"';
    for (const char c : item) {
      if (c == '"') text += '"';  // a double quote is written twice
      text += c;
    }
    text += '"';
  }
  return text;
}

std::string MergeCommaText(std::string_view Old, std::string_view Value) {
  std::vector<std::string> items = SplitCommaText(Old);
  // The items held, in lower case: a long list is merged in linear time.
  std::unordered_set<std::string> held;
  for (const std::string& item : items) held.insert(LowerCase(item));
  for (const std::string& item : SplitCommaText(Value)) {
    std::string trimmed = TrimText(item);
    // An empty item is no keyword.
    if (trimmed.empty() || !held.insert(LowerCase(trimmed)).second) continue;
    items.push_back(std::move(trimmed));
  }
  return JoinCommaText(items);
}

// ---------------------------------------------------------------------------
// TIptcData

int TIptcData::FindTag(const std::string& TagName) const {
  for (size_t i = 0; i < Entries_.size(); ++i) {
    if (SameName(Entries_[i].TagName, TagName)) return static_cast<int>(i);
  }
  return -1;
}

void TIptcData::RemoveTag(const std::string& TagName) {
  const int index = FindTag(TagName);
  if (index >= 0) Entries_.erase(Entries_.begin() + index);
}

int TIptcData::SetTag(const std::string& TagName, const std::string& Value) {
  const int index = FindTag(TagName);
  if (index >= 0) {
    if (!Value.empty()) Entries_[static_cast<size_t>(index)].Value = Value;
    return index;
  }
  const int row = TableIndex(TagName);
  if (row < 0) return -1;
  TTagEntry entry = EntryOf(IptcTags[static_cast<size_t>(row)]);
  entry.Value = Value;
  return AddEntry(entry);
}

int TIptcData::AppendToList(const std::string& TagName, const std::string& Value) {
  const int index = FindTag(TagName);
  if (index < 0) return SetTag(TagName, MergeCommaText("", Value));
  if (!Value.empty()) {
    std::string& held = Entries_[static_cast<size_t>(index)].Value;
    held = MergeCommaText(held, Value);
  }
  return index;
}

int TIptcData::WriteTag(const std::string& TagName, const std::string& Value) {
  const int row = TableIndex(TagName);
  if (row < 0) return -1;
  return IsIptcListDataset(IptcTags[static_cast<size_t>(row)].DatasetNumber)
             ? AppendToList(TagName, Value)
             : SetTag(TagName, Value);
}

std::string TIptcData::GetTag(const std::string& TagName, const std::string& Default) const {
  const int index = FindTag(TagName);
  return index < 0 ? Default : Entries_[static_cast<size_t>(index)].Value;
}

bool TIptcData::ReadFile(const std::string& FileName) {
  Reset();
  // The file is read by a container of its own: a read by the owner would
  // free the owner's IPTC object, which may be this one.
  TMetadata reader(Owner_.ListMode());
  reader.ReadMetadata(FileName);
  if (const tSection* section = reader.IptcSection()) ParseSegment(section->Data);
  return HasData();
}

bool TIptcData::ReadSection() {
  Reset();
  if (const tSection* section = Owner_.IptcSection()) ParseSegment(section->Data);
  return HasData();
}

void TIptcData::ParseSegment(const TBytes& Data) {
  Reset();
  const std::string_view data(reinterpret_cast<const char*>(Data.data()), Data.size());
  const size_t signature = data.find(PhotoshopSignature);
  size_t at = signature == std::string_view::npos ? UnsignedSearchStart
                                                  : signature + PhotoshopSignature.size();
  // The first dataset mark followed by record 2 or 8; the resource blocks
  // around it are not walked.
  while (at + 1 < data.size() && !(static_cast<uint8_t>(data[at]) == DatasetMark &&
                                   (data[at + 1] == 2 || data[at + 1] == 8))) {
    ++at;
  }
  if (at + 1 >= data.size()) return;
  // From each record-number byte: record, dataset, 16-bit length, value; the
  // next dataset mark is stepped over unchecked.
  for (size_t record = at + 1; record <= data.size() && data.size() - record >= 4;) {
    const auto recordNumber = static_cast<uint8_t>(data[record]);
    const auto datasetNumber = static_cast<uint8_t>(data[record + 1]);
    const size_t length = size_t{static_cast<uint8_t>(data[record + 2])} << 8 |
                          static_cast<uint8_t>(data[record + 3]);
    // A dataset cut short by the end of the segment ends the parse.
    if (length > data.size() - record - 4) break;
    const std::string_view value = data.substr(record + 4, length);
    record += 4 + length + 1;
    TTagEntry entry;  // datasets of other records stay empty and are dropped
    if (recordNumber == 2 || recordNumber == 8) {
      entry = DatasetEntry(recordNumber, datasetNumber, value);
    }
    if (IsIptcListDataset(entry.TagNumber)) {
      AppendToList(entry.TagName, entry.Value);
    } else {
      AddEntry(entry);
    }
  }
}

void TIptcData::SetCount(int Value) {
  if (Value < 0 || Value > Count()) {
    throw ERangeError("IPTC entry count " + std::to_string(Value) + " outside 0.." +
                      std::to_string(Count()));
  }
  Entries_.resize(static_cast<size_t>(Value));
}

TTagEntry TIptcData::EntryAt(int Index) const {
  if (Index < 0 || Index >= Count()) {
    throw ERangeError("IPTC entry " + std::to_string(Index) + " outside 0.." +
                      std::to_string(Count() - 1));
  }
  return Entries_[static_cast<size_t>(Index)];
}

int TIptcData::TableIndex(std::string_view Name) {
  for (size_t i = 0; i < IptcTags.size(); ++i) {
    if (SameName(IptcTags[i].Name, Name)) return static_cast<int>(i);
  }
  return -1;
}

int TIptcData::AddEntry(const TTagEntry& Entry) {
  if (Entry.TagNumber != 0) Entries_.push_back(Entry);
  return Count() - 1;
}

std::string TIptcData::Listing() const {
  std::string text;
  for (const TTagEntry& entry : Entries_) {
    std::string value = entry.Value;
    for (char& c : value) {
      if (static_cast<unsigned char>(c) < 32) c = '.';
    }
    text += "\r\n" + entry.Caption + " = " + value;
  }
  return text;
}

}  // namespace pictrim
