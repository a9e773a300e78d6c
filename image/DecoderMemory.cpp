#include "image/DecoderMemory.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace pictrim::decoding {

uint64_t AddressSpaceBytes() {
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr) return 0;
  unsigned long long pages = 0;
  const int read = std::fscanf(statm, "%llu", &pages);
  std::fclose(statm);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  return read == 1 && pageSize > 0 ? pages * static_cast<uint64_t>(pageSize) : 0;
}

TDecodeMemoryCap::TDecodeMemoryCap(uint64_t GrantedBytes) {
  const uint64_t now = AddressSpaceBytes();
  if (now == 0 || ::getrlimit(RLIMIT_AS, &Before_) != 0) return;
  const uint64_t room = std::min<uint64_t>(GrantedBytes, UINT64_MAX / 2) + DecodeMemoryRoom;
  rlimit capped = Before_;
  capped.rlim_cur = std::min<uint64_t>(now + room, Before_.rlim_max);
  Set_ = ::setrlimit(RLIMIT_AS, &capped) == 0;
}

TDecodeMemoryCap::~TDecodeMemoryCap() {
  if (Set_) ::setrlimit(RLIMIT_AS, &Before_);
}

}  // namespace pictrim::decoding
