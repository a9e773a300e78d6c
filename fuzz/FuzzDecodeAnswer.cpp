// Fuzz target of what the program does with one file that the image library
// decodes: the input is split into the file's bytes and the decoder's
// answer. The file's bytes go through the container's load (format from the
// first bytes, else from the name), which starts a stand-in decoder that
// replies with the answer bytes; the answer is parsed and checked, the
// picture rebuilt, and then rescaled, made fit for JPEG and encoded as the
// resize batch does. Input: 2 bytes (little-endian) = length of the file
// part, the file part, the answer.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "image/ImageBitmap.h"
#include "image/IsolatedDecode.h"

namespace {

std::string AnswerFile() {
  static const std::string path = [] {
    std::string folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return folder + "/pictrim-fuzz-answer-" + std::to_string(::getpid());
  }();
  return path;
}

void Setup() {
  static bool done = false;
  if (done) return;
  done = true;
  ::setenv("PICTRIM_REPLAY_ANSWER", AnswerFile().c_str(), 1);
  pictrim::SetDecoderProgram(FUZZ_REPLAY_DECODER);
  pictrim::TDecodeLimits limits;
  limits.MaxPixels = 4'000'000;  // keeps single inputs quick
  limits.Seconds = 5;
  pictrim::SetDecodeLimits(limits);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  Setup();
  if (Size < 2) return 0;
  const size_t headSize = std::min<size_t>(Data[0] | Data[1] << 8, Size - 2);
  const std::vector<uint8_t> file(Data + 2, Data + 2 + headSize);
  {
    std::ofstream answer(AnswerFile(), std::ios::binary | std::ios::trunc);
    answer.write(reinterpret_cast<const char*>(Data + 2 + headSize),
                 static_cast<std::streamsize>(Size - 2 - headSize));
  }
  // The name gives a readable format when the bytes tell none.
  pictrim::TDisplayBitmap picture;
  if (!picture.LoadFromBytes(file, "input.tif", 0)) return 0;
  const uint32_t width = picture.GetWidth(), height = picture.GetHeight();
  if (width < 2 || height < 2) return 0;
  picture.Rescale(width / 2 + 1, height / 2 + 1, FILTER_BOX);
  std::vector<uint8_t> jpeg;
  if (picture.ConvertForJpeg()) picture.SaveToBytes(FIF_JPEG, jpeg, JPEG_DEFAULT);
  return 0;
}
