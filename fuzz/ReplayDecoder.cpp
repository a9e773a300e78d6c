// A stand-in for pictrim-decoder in the fuzz target: answers with the bytes
// of the file named by PICTRIM_REPLAY_ANSWER, whatever was asked, ends its
// side of the socket, then drains its standard input (the socket) until the
// program closes it, so that the program's go-ahead finds it listening.
// Built bare (no sanitizers, no libraries) so that starting it costs little.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

int main() {
  const char* path = std::getenv("PICTRIM_REPLAY_ANSWER");
  std::FILE* file = path != nullptr ? std::fopen(path, "rb") : nullptr;
  if (file == nullptr) return 2;
  char buffer[1 << 16];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    for (size_t done = 0; done < got;) {
      const ssize_t put = ::write(0, buffer + done, got - done);
      if (put <= 0) return 0;
      done += static_cast<size_t>(put);
    }
  }
  std::fclose(file);
  ::shutdown(0, SHUT_WR);  // the answer ends here
  while (::read(0, buffer, sizeof buffer) > 0) {
  }
  return 0;
}
