// Fuzz target of the reader of the time taken: the input as a whole camera
// file (JPEG stream, TIFF-structured raw, RAF, CR3 or HEIF, told by its first
// bytes), read from memory and, through the block reader, from a file.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "metadata/PhotoDates.h"
#include "util/Errors.h"

namespace {

// A file in memory-backed storage when there is one.
const std::string& WorkFile() {
  static const std::string file = [] {
    std::string pattern = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
    pattern += "/pictrim-fuzz-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) std::abort();
    return std::string(buffer.data()) + "/photo.raw";
  }();
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const pictrim::TMemorySource source({Data, Size});
  const pictrim::TByteWindow window(source);
  pictrim::CameraContainerOf(window);
  try {
    pictrim::CameraTakenDates(window).TimeTaken();
  } catch (const pictrim::ERangeError&) {
  }
  {
    std::ofstream out(WorkFile(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(Data), static_cast<std::streamsize>(Size));
  }
  pictrim::ReadCameraTimeTaken(WorkFile());
  return 0;
}
