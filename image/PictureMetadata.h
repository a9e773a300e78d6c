// Metadata blocks that the decoder process takes out of a picture file whose
// container keeps them apart from the pixels (HEIC, HEIF and AVIF), handed
// to the program with the picture so that its copy can carry them.
#pragma once

#include <cstdint>
#include <vector>

namespace pictrim {

struct TPictureMetadata {
  std::vector<uint8_t> Exif;           // the EXIF block, from its TIFF header on
  std::vector<uint8_t> ColourProfile;  // the ICC profile
  std::vector<uint8_t> Xmp;            // the XMP packet

  bool Empty() const { return Exif.empty() && ColourProfile.empty() && Xmp.empty(); }
};

}  // namespace pictrim
