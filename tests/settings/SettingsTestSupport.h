// Helpers of the settings tests: a recorder of the messages shown to the user,
// and a file-size limit under which every larger write fails as on a full disk
// (also for root, whom permissions do not stop).
#pragma once

#include <sys/resource.h>

#include <csignal>
#include <string>
#include <vector>

#include "util/MoreDialogs.h"

namespace pictrim::test {

struct TMessageRecorder {
  TMessageRecorder()
      : Old(SetMessageHandler([this](const std::string& T) { Messages.push_back(T); })) {}
  ~TMessageRecorder() { SetMessageHandler(Old); }
  std::vector<std::string> Messages;
  TMessageHandler Old;
};

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
  rlimit Old{};
  void (*OldSignal)(int);
};

}  // namespace pictrim::test
