#include "metadata/Exif.h"

namespace pictrim {

void TMetadata::SaveJpegKeepingMetadata(const TJpegImage& Image, const std::string& DestName,
                                        bool /*AdjustSize*/, const std::string& /*SourceName*/) {
  // The section reader is not there yet: the picture writes itself.
  Image.SaveToFile(DestName);
}

}  // namespace pictrim
