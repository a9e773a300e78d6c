// Source files opened for reading without ever blocking: only a regular file
// is opened (a FIFO, socket or device put where a listed file stood is
// refused at once, never waited on), and it is read at chosen positions, a
// piece at a time, so that no caller has to hold a whole file to read it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

namespace pictrim {

class TSourceFile {
 public:
  // Opens FileName for reading; raises EInOutError when it cannot be opened
  // or is not a regular file.
  explicit TSourceFile(const std::string& FileName);
  ~TSourceFile();
  TSourceFile(const TSourceFile&) = delete;
  TSourceFile& operator=(const TSourceFile&) = delete;

  const std::string& Name() const { return Name_; }
  int Fd() const { return Fd_; }
  // The size when the file was opened.
  uint64_t Size() const { return Size_; }

  // Reads up to Count bytes from Offset on; fewer only at the end of the
  // file. Raises EInOutError when reading fails.
  size_t ReadAt(uint64_t Offset, void* Buffer, size_t Count) const;
  // The whole file; raises EInOutError when it holds more than MaxBytes.
  std::vector<uint8_t> ReadAll(uint64_t MaxBytes) const;

 private:
  std::string Name_;
  int Fd_ = -1;
  uint64_t Size_ = 0;
};

// A source file read as a stream, a buffer at a time.
class TSourceStream : public std::istream {
 public:
  // Raises EInOutError as TSourceFile does.
  explicit TSourceStream(const std::string& FileName);
  ~TSourceStream() override;

 private:
  class TBuffer;
  std::unique_ptr<TBuffer> Buffer_;
};

}  // namespace pictrim
