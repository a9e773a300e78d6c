// Fuzz target of the image library's own loader for one format
// (FUZZ_FORMAT, set at build time): the input is handed to
// FreeImage_LoadFromMemory as it is. The library is not ours and is run in
// the decoder process for that reason; this target finds files that crash
// or hang it, to test that a batch over them still completes.
#include <FreeImage.h>

#include <cstdint>

namespace {
void Quiet(FREE_IMAGE_FORMAT, const char*) {}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static const bool quiet = (FreeImage_SetOutputMessage(Quiet), true);
  (void)quiet;
  // An empty stream makes the PICT loader loop for ever; known, and kept
  // out so that the search gets past it.
  if (Size == 0) return 0;
  FIMEMORY* stream = FreeImage_OpenMemory(const_cast<BYTE*>(Data), static_cast<DWORD>(Size));
  if (stream == nullptr) return 0;
  FIBITMAP* picture = FreeImage_LoadFromMemory(FUZZ_FORMAT, stream, 0);
  if (picture != nullptr) FreeImage_Unload(picture);
  FreeImage_CloseMemory(stream);
  return 0;
}
