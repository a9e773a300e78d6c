// The program's few exception types. A range error is an out-of-range
// position or count (also a read outside a buffer); an input/output error is a
// failing file operation.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace pictrim {

using ERangeError = std::out_of_range;

class EInOutError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  // What names the file; Reason is the system's words why it failed, Error
  // its error number (0 when none is known).
  EInOutError(const std::string& What, std::string Reason, int Error = 0)
      : std::runtime_error(What), Reason_(std::move(Reason)), Error_(Error) {}
  // The system's words, or the whole message when none were kept apart.
  std::string Reason() const { return Reason_.empty() ? what() : Reason_; }
  int Error() const { return Error_; }

 private:
  std::string Reason_;
  int Error_ = 0;
};

// Why Error happened, in words a line that names the file can end with.
inline std::string ReasonOf(const std::exception& Error) {
  if (const auto* io = dynamic_cast<const EInOutError*>(&Error)) return io->Reason();
  return Error.what();
}

}  // namespace pictrim
