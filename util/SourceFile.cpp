#include "util/SourceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "util/Errors.h"
#include "util/Texts.h"

namespace pictrim {

TSourceFile::TSourceFile(const std::string& FileName) : Name_(FileName) {
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
  Fd_ = ::open(FileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (Fd_ < 0) {
    const std::string reason = std::strerror(errno);
    throw EInOutError("Cannot open " + FileName + ": " + reason, reason);
  }
  struct stat info {};
  if (::fstat(Fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(Fd_);
    Fd_ = -1;
    throw EInOutError("Cannot open " + FileName + ": not a regular file",
                      Text(TTextId::ReasonNotRegularFile));
  }
  Size_ = static_cast<uint64_t>(info.st_size);
}

TSourceFile::~TSourceFile() {
  if (Fd_ >= 0) ::close(Fd_);
}

size_t TSourceFile::ReadAt(uint64_t Offset, void* Buffer, size_t Count) const {
  auto* at = static_cast<uint8_t*>(Buffer);
  size_t got = 0;
  while (got < Count) {
    const ssize_t n = ::pread(Fd_, at + got, Count - got, static_cast<off_t>(Offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const std::string reason = std::strerror(errno);
      throw EInOutError("Cannot read " + Name_ + ": " + reason, reason);
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return got;
}

std::vector<uint8_t> TSourceFile::ReadAll(uint64_t MaxBytes) const {
  if (Size_ > MaxBytes) {
    throw EInOutError("Cannot read " + Name_ + ": " + std::to_string(Size_) +
                      " bytes are more than can be held");
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(Size_));
  bytes.resize(ReadAt(0, bytes.data(), bytes.size()));
  return bytes;
}

// Reads the file through a buffer of its own; seeking moves the position.
class TSourceStream::TBuffer : public std::streambuf {
 public:
  explicit TBuffer(const std::string& FileName) : File_(FileName) {}

 protected:
  int_type underflow() override {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    Start_ += static_cast<uint64_t>(egptr() - eback());
    const size_t got = File_.ReadAt(Start_, Data_, sizeof Data_);
    setg(Data_, Data_, Data_ + got);
    return got == 0 ? traits_type::eof() : traits_type::to_int_type(*gptr());
  }

  pos_type seekoff(off_type Offset, std::ios_base::seekdir Dir, std::ios_base::openmode) override {
    const auto here = static_cast<off_type>(Start_ + static_cast<uint64_t>(gptr() - eback()));
    const off_type base = Dir == std::ios_base::beg   ? 0
                          : Dir == std::ios_base::cur ? here
                                                      : static_cast<off_type>(File_.Size());
    return seekpos(pos_type(base + Offset), std::ios_base::in);
  }

  pos_type seekpos(pos_type Position, std::ios_base::openmode) override {
    if (Position < 0) return pos_type(off_type(-1));
    Start_ = static_cast<uint64_t>(static_cast<off_type>(Position));
    setg(Data_, Data_, Data_);
    return Position;
  }

 private:
  TSourceFile File_;
  uint64_t Start_ = 0;  // file offset of the buffer's first byte
  char Data_[64 * 1024];
};

TSourceStream::TSourceStream(const std::string& FileName)
    : std::istream(nullptr), Buffer_(std::make_unique<TBuffer>(FileName)) {
  rdbuf(Buffer_.get());
}

TSourceStream::~TSourceStream() = default;

}  // namespace pictrim
