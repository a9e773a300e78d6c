// A stand-in for pictrim-decoder in the fuzz target: takes the request from
// its standard input (a socket) and answers with the bytes of the file named
// by PICTRIM_REPLAY_ANSWER, whatever was asked.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "image/DecodeProtocol.h"

namespace {

class TFdSource : public pictrim::decoding::TByteSource {
 public:
  bool Read(void* Data, size_t Size) override {
    auto* bytes = static_cast<char*>(Data);
    while (Size > 0) {
      const ssize_t got = ::read(0, bytes, Size);
      if (got <= 0) return false;
      bytes += got;
      Size -= static_cast<size_t>(got);
    }
    return true;
  }
};

}  // namespace

int main() {
  TFdSource source;
  pictrim::decoding::TRequest request;
  if (!pictrim::decoding::ReadRequest(source, request)) return 2;
  const char* path = std::getenv("PICTRIM_REPLAY_ANSWER");
  std::FILE* file = path != nullptr ? std::fopen(path, "rb") : nullptr;
  if (file == nullptr) return 2;
  std::vector<char> buffer(1 << 16);
  size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
    for (size_t done = 0; done < got;) {
      const ssize_t put = ::write(0, buffer.data() + done, got - done);
      if (put <= 0) return 0;
      done += static_cast<size_t>(put);
    }
  }
  std::fclose(file);
  return 0;
}
