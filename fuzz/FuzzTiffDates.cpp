// Fuzz target of the dates of a TIFF structure (a raw file, an EXIF block,
// a Panasonic raw's embedded JPEG) and of the EXIF segment of a JPEG stream:
// the input is read as both.
#include <cstdint>

#include "metadata/ExifDates.h"
#include "util/Errors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const pictrim::TMemorySource source({Data, Size});
  const pictrim::TByteWindow window(source);
  try {
    pictrim::TiffTakenDates(window).TimeTaken();
  } catch (const pictrim::ERangeError&) {
  }
  try {
    if (std::optional<pictrim::TByteWindow> block = pictrim::JpegExifBlock(window))
      pictrim::TiffTakenDates(*block);
  } catch (const pictrim::ERangeError&) {
  }
  return 0;
}
