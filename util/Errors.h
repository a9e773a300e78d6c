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
  using std::runtime_error::runtime_error;
};

}  // namespace pictrim
