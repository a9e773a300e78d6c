// Modification times of files at full precision: read from one file, set on
// another (a copy keeps the time of its source).
#pragma once

#include <ctime>
#include <optional>
#include <string>

namespace pictrim {

// A file's modification time in seconds and nanoseconds since the epoch.
struct TFileTime {
  std::time_t Seconds = 0;
  long Nanoseconds = 0;
  bool operator==(const TFileTime&) const = default;
};

// The modification time of Path, or nothing when the file cannot be read.
std::optional<TFileTime> GetFileModTime(const std::string& Path);

// Sets the modification time of Path (the access time becomes the same);
// false when the file cannot be changed.
bool SetFileModTime(const std::string& Path, const TFileTime& Time);

// The modification time broken down in local time (for names that carry the date).
std::tm LocalTimeOf(const TFileTime& Time);

}  // namespace pictrim
