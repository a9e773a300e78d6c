// The decoder process's road for HEIC, HEIF and AVIF files (libheif): the
// primary picture with its rotation, mirroring and cropping applied, as
// 8-bit colour (with its alpha channel when it has one), and the EXIF block,
// colour profile and XMP packet the file keeps beside it. Built into
// pictrim-decoder only: the program never parses these files itself.
#pragma once

#include <cstdint>
#include <vector>

#include "image/DecodeProtocol.h"

namespace pictrim::decoding {

// How the decoder ended a request.
enum class TServed {
  Whole,        // the answer is complete: the next request may come
  FailureSent,  // the answer is a failure (or a refusal from the header)
  Broken,       // the answer could not be written
};

// Answers a HEIF request (the picture, or its metadata alone).
TServed ServeHeif(const TRequest& Request, TByteSource& Source, TByteSink& Sink);

// The EXIF block of an Exif item as the container stores it (a 4-byte
// big-endian offset, then the block, which some writers begin with
// "Exif\0\0"): the block from its TIFF header on; empty when the item holds
// none.
std::vector<uint8_t> ExifBlockOfItem(const std::vector<uint8_t>& Item);

}  // namespace pictrim::decoding
