// The program's few exception types. A range error is an out-of-range
// position or count (also a read outside a buffer); an input/output error is a
// failing file operation.
#pragma once

#include <stdexcept>
#include <string>

namespace pictrim {

using ERangeError = std::out_of_range;

class EInOutError : public std::runtime_error {
 public:
  explicit EInOutError(const std::string& What, int Error = 0)
      : std::runtime_error(What), Error_(Error) {}
  // The system's error number of the failed operation; 0 when none is known.
  int Error() const { return Error_; }

 private:
  int Error_;
};

}  // namespace pictrim
