// The decoder process's memory for one decode: its address space is held to
// what it had plus what the program admitted for the decode (and a little
// room), so that a decode needing more than was admitted fails for want of
// memory instead of taking it from the machine. Built into pictrim-decoder.
#pragma once

#include <sys/resource.h>

#include <cstdint>

namespace pictrim::decoding {

// Room beyond the grant: the libraries' small buffers and the heap's slack.
inline constexpr uint64_t DecodeMemoryRoom = uint64_t(64) << 20;

class TDecodeMemoryCap {
 public:
  explicit TDecodeMemoryCap(uint64_t GrantedBytes);
  // Lifts the cap again.
  ~TDecodeMemoryCap();
  TDecodeMemoryCap(const TDecodeMemoryCap&) = delete;
  TDecodeMemoryCap& operator=(const TDecodeMemoryCap&) = delete;

 private:
  rlimit Before_{};
  bool Set_ = false;
};

// The process's address space now, in bytes (0 when it cannot be read).
uint64_t AddressSpaceBytes();

// The failure text of a decode that ran out of the memory it was granted.
inline constexpr const char* OutOfGrantedMemory = "the picture needs more memory than allowed";

}  // namespace pictrim::decoding
