#pragma once
// The HEVC decoder behind HEIC files in the decoder process: libde265 used
// directly and handed to libheif as a decoder of its own. The pixels are the
// same as those of libheif's own decoder, which uses the same library; what
// it adds is the library's warnings. A tile whose coded data was damaged
// (a flipped bit throws the arithmetic decoder off its track) still gives a
// picture, concealed as well as the library can, but the library notices
// that a slice or a row of blocks does not end where it must: that warning
// names the picture as damaged, or refuses it in strict decoding.

#include <cstdint>
#include <string>

namespace pictrim::decoding {

// Makes libheif decode HEVC pictures with this decoder from now on. Returns
// false (and libheif keeps its own decoder) when libheif refuses the
// registration.
bool RegisterHevcDecoder();

// Bounds the pixels of a decoded HEVC picture (a tile of a tiled photo
// included) by about the program's pixel limit: the coded data may claim a
// far larger picture than the container did.
void LimitHevcPictures(uint64_t Pixels);

// Why the pictures this thread decoded since the last call were damaged (the
// library's first warning that said so); empty when none was. Cleared by
// the call.
std::string HevcDamage();

}  // namespace pictrim::decoding
