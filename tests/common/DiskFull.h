// A file-size limit under which every larger write fails as on a full disk
// ("File too large"; also for root, whom permissions do not stop), for the
// lifetime of the object.
#pragma once

#include <sys/resource.h>

#include <csignal>

namespace pictrim::test {

struct TDiskFullAbove {
  explicit TDiskFullAbove(rlim_t Bytes) : OldSignal(std::signal(SIGXFSZ, SIG_IGN)) {
    ::getrlimit(RLIMIT_FSIZE, &Old);
    rlimit limit = Old;
    limit.rlim_cur = Bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~TDiskFullAbove() {
    ::setrlimit(RLIMIT_FSIZE, &Old);
    std::signal(SIGXFSZ, OldSignal);
  }
  TDiskFullAbove(const TDiskFullAbove&) = delete;
  TDiskFullAbove& operator=(const TDiskFullAbove&) = delete;
  rlimit Old{};
  void (*OldSignal)(int);
};

}  // namespace pictrim::test
