// ICC colour profiles as JPEG files carry them: one profile split over APP2
// segments, each "ICC_PROFILE", a zero byte, its chunk number (from 1), the
// number of chunks and a piece of the profile.
#pragma once

#include <string>
#include <vector>

#include "metadata/Exif.h"

namespace pictrim {

// A profile has at most this many chunks (the count is one byte).
inline constexpr size_t MaxIccChunks = 255;

// Whether a segment's Data (length bytes first) begins with the ICC signature.
bool IsIccSegment(const TBytes& Data);
// Whether Segments are the chunks 1..m of one m-chunk profile, in that order,
// each holding its chunk header.
bool IsCompleteIccSet(const std::vector<tSection>& Segments);
// The profile: the chunks' pieces joined (Segments must be a complete set).
TBytes JoinIccChunks(const std::vector<tSection>& Segments);
// The APP2 segments that carry Profile, as many chunks as it needs; none
// for an empty profile or one too large for MaxIccChunks.
std::vector<tSection> SplitIccProfile(const TBytes& Profile);
// The text of the profile's description tag ('desc'), stored as the older
// text description type or as a multi-localised text (the English one when
// there is one, else the first); "" when the profile has none or it cannot
// be read.
std::string IccDescription(const TBytes& Profile);

}  // namespace pictrim
