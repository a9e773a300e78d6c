// Fuzz target of the search for a HEIF file's Exif item in process: the
// item boxes read through a window over the input (as the renaming reads a
// phone's file), and the input as a run of boxes walked to the reader's cap
// (as the CR3 reader walks them).
#include <cstdint>

#include "image/HeifFormat.h"
#include "image/IsoBoxes.h"
#include "util/Errors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const pictrim::TMemorySource source({Data, Size});
  const pictrim::TByteWindow window(source);
  try {
    pictrim::HeifExifBlock(window);
  } catch (const pictrim::ERangeError&) {
  }
  pictrim::TBoxReader reader(window);
  while (std::optional<pictrim::TIsoBox> box = reader.Next()) {
    pictrim::FindBox(box->Contents, pictrim::FourCC("uuid"));
  }
  return 0;
}
