// Metadata of JPEG files: the container that reads a source's header segments
// and writes them into a new JPEG.
#pragma once

#include <string>

#include "image/JpegImage.h"

namespace pictrim {

class TMetadata {
 public:
  explicit TMetadata(int ListMode = 255) : ListMode_(ListMode) {}

  // Writes Image to DestName carrying the metadata of SourceName.
  void SaveJpegKeepingMetadata(const TJpegImage& Image, const std::string& DestName,
                               bool AdjustSize, const std::string& SourceName);

 private:
  int ListMode_;
};

}  // namespace pictrim
