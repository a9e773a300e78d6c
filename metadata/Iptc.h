// IPTC records of a JPEG's APP13 segment: TIptcData turns the datasets of
// records 2 and 8 into named tag entries (keywords and supplemental
// categories gathered into one comma text each) and looks them up, changes
// and removes them by name.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "metadata/Exif.h"

namespace pictrim {

// One known dataset: record and dataset number, name, description and the
// maximum length of its value.
struct TIptcTag {
  uint16_t RecordNumber;
  uint16_t DatasetNumber;
  std::string_view Name;
  std::string_view Description;
  int32_t MaxLength;
};

inline constexpr int IptcTagRows = 49;
extern const std::array<TIptcTag, IptcTagRows> IptcTags;

// The datasets whose repeated occurrences are gathered into one entry
// (supplemental categories and keywords).
bool IsIptcListDataset(uint16_t DatasetNumber);

// Comma texts: items separated by commas or blanks, a double-quoted item
// taken whole; an item holding a blank, a comma, a double quote or a control
// character is written in double quotes.
std::vector<std::string> SplitCommaText(std::string_view Text);
std::string JoinCommaText(const std::vector<std::string>& Items);
// Old with each item of Value (trimmed) that it lacks, ignoring letter case.
std::string MergeCommaText(std::string_view Old, std::string_view Value);

// The IPTC entries of one segment. An entry is a TTagEntry with the record
// number in RecordNumber, the dataset number in TagNumber, the name in
// TagName, the description in Caption, the value in Value and the maximum
// length in ByteCount.
class TIptcData {
 public:
  // Owner: the container whose IPTC section ReadSection() parses.
  explicit TIptcData(const TMetadata& Owner) : Owner_(Owner) {}
  virtual ~TIptcData() = default;
  TIptcData(const TIptcData&) = delete;
  TIptcData& operator=(const TIptcData&) = delete;

  // Index of the entry named TagName (ignoring case), -1 when none.
  virtual int FindTag(const std::string& TagName) const;
  // Removes that entry, closing the gap; nothing when there is none.
  virtual void RemoveTag(const std::string& TagName);
  // Replaces the value of an existing entry (unless Value is empty), or adds
  // a copy of the table's dataset of that name with Value. The entry's
  // index; -1 for a name neither in the list nor in the table.
  virtual int SetTag(const std::string& TagName, const std::string& Value);
  // Merges Value into the comma text of a list entry (creating it when
  // absent). The entry's index, -1 as SetTag.
  virtual int AppendToList(const std::string& TagName, const std::string& Value);
  // AppendToList for a list dataset, SetTag for any other; -1 for a name
  // that is not in the table.
  virtual int WriteTag(const std::string& TagName, const std::string& Value);
  // The value of the entry named TagName, or Default.
  virtual std::string GetTag(const std::string& TagName, const std::string& Default) const;
  // Reads the file's segments and parses its first APP13 segment; true when
  // at least one entry was found.
  virtual bool ReadFile(const std::string& FileName);

  // Parses the owner's IPTC section (none: an empty list); true when at
  // least one entry was found.
  bool ReadSection();
  // Parses one APP13 segment's data (length bytes and payload).
  void ParseSegment(const TBytes& Data);

  int Count() const { return static_cast<int>(Entries_.size()); }
  // Keeps the first Value entries; a count outside 0..Count() is a range error.
  void SetCount(int Value);
  // A copy of entry Index; a range error outside 0..Count() - 1.
  TTagEntry EntryAt(int Index) const;
  // Row of the tag table named Name (ignoring case), -1 when none.
  static int TableIndex(std::string_view Name);
  // Appends an entry unless its TagNumber is 0; returns Count() - 1.
  int AddEntry(const TTagEntry& Entry);
  void Reset() { Entries_.clear(); }
  bool HasData() const { return !Entries_.empty(); }

  // The entries, one "\r\n" + description + " = " + value each (control
  // characters shown as ".").
  std::string Listing() const;

 private:
  const TMetadata& Owner_;
  std::vector<TTagEntry> Entries_;
};

}  // namespace pictrim
