#pragma once
// The HEVC decoder behind HEIC files in the decoder process: libavcodec's,
// handed to libheif as a decoder of its own. HEVC decoding is exact, so the
// pixels are the same as those of libheif's own decoder; libavcodec's comes
// to them in about half the time, and HEVC decoding is most of the work of
// copying a phone's photo.

#include <cstdint>

namespace pictrim::decoding {

// Makes libheif decode HEVC pictures with libavcodec from now on. Returns
// false (and libheif keeps its own decoder) when libavcodec has no HEVC
// decoder or libheif refuses the registration.
bool UseLibavcodecForHevc();

// Bounds the pixels of a decoded HEVC picture (a tile of a tiled photo
// included) by about the program's pixel limit: the coded data may claim a
// far larger picture than the container did.
void LimitHevcPictures(uint64_t Pixels);

}  // namespace pictrim::decoding
