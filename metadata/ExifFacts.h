// What the jobs take from a picture's EXIF block beyond copying it: the
// orientation the picture is shown in, and the form of the dates that tell
// when it was taken (read from camera files by PhotoDates.h).
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace pictrim {

class TExifInfo;

inline constexpr uint16_t OrientationTag = 274;
inline constexpr uint16_t DateTimeTag = 306;
inline constexpr uint16_t DateTimeOriginalTag = 36867;
inline constexpr uint16_t DateTimeDigitizedTag = 36868;

// The Orientation of the block (1..8): the first entry of the tag read in the
// walk, which is the first directory's in any well-formed block. 1 when the
// block has none, or one that is not a single value from 1 to 8.
int ExifOrientation(const TExifInfo& Info);

// The orientations 5..8 show the stored picture turned by a quarter: its
// stored width is its height as shown.
bool IsQuarterTurn(int Orientation);

// A date and time of the EXIF form "YYYY:MM:DD HH:MM:SS", with any zero bytes
// and blanks behind it, broken down as local time (tm_isdst -1). Nothing
// unless it has exactly that form and names a real day of a year from 1 to
// 9999 and a real time of day.
std::optional<std::tm> ParseExifDateTime(std::string_view Text);

}  // namespace pictrim
