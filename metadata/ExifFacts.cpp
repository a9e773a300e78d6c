#include "metadata/ExifFacts.h"

#include <chrono>

#include "metadata/Exif.h"

namespace pictrim {
namespace {

// The first entry of tag Number that the walk took from the block itself
// (not one a maker-note decoder added), or null.
const TTagEntry* FindBlockTag(const TExifInfo& Info, uint16_t Number) {
  for (const TTagEntry& entry : Info.Tags()) {
    if (entry.TagNumber == Number && entry.Origin == 0) return &entry;
  }
  return nullptr;
}

// The value of Count decimal digits at Text[Start]; -1 when one is no digit.
int DigitsAt(std::string_view Text, size_t Start, size_t Count) {
  int value = 0;
  for (size_t i = Start; i < Start + Count; ++i) {
    if (Text[i] < '0' || Text[i] > '9') return -1;
    value = value * 10 + (Text[i] - '0');
  }
  return value;
}

}  // namespace

int ExifOrientation(const TExifInfo& Info) {
  const TTagEntry* entry = FindBlockTag(Info, OrientationTag);
  // One SHORT (or LONG) value; anything else is no orientation.
  const bool single = entry != nullptr && ((entry->Format == 3 && entry->RawBytes.size() == 2) ||
                                           (entry->Format == 4 && entry->RawBytes.size() == 4));
  if (!single) return 1;
  const double value = Info.NumericValue(entry->RawBytes, entry->Format);
  for (int orientation = 1; orientation <= 8; ++orientation) {
    if (value == orientation) return orientation;
  }
  return 1;
}

bool IsQuarterTurn(int Orientation) {
  return Orientation >= 5 && Orientation <= 8;
}

std::optional<std::tm> ParseExifDateTime(std::string_view Text) {
  Text = Text.substr(0, Text.find('\0'));
  while (!Text.empty() && Text.back() == ' ') Text.remove_suffix(1);
  static constexpr std::string_view Form = "YYYY:MM:DD HH:MM:SS";
  if (Text.size() != Form.size()) return std::nullopt;
  for (size_t i = 0; i < Form.size(); ++i) {
    const bool separator = Form[i] == ':' || Form[i] == ' ';
    if (separator && Text[i] != Form[i]) return std::nullopt;
  }
  const int year = DigitsAt(Text, 0, 4);
  const int month = DigitsAt(Text, 5, 2);
  const int day = DigitsAt(Text, 8, 2);
  const int hour = DigitsAt(Text, 11, 2);
  const int minute = DigitsAt(Text, 14, 2);
  const int second = DigitsAt(Text, 17, 2);
  if (year < 1 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0) return std::nullopt;
  const std::chrono::year_month_day date{std::chrono::year{year},
                                         std::chrono::month{static_cast<unsigned>(month)},
                                         std::chrono::day{static_cast<unsigned>(day)}};
  if (!date.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  std::tm time{};
  time.tm_year = year - 1900;
  time.tm_mon = month - 1;
  time.tm_mday = day;
  time.tm_hour = hour;
  time.tm_min = minute;
  time.tm_sec = second;
  time.tm_isdst = -1;
  return time;
}

}  // namespace pictrim
