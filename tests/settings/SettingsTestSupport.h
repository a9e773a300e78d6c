// Helpers of the settings tests: a recorder of the messages shown to the user,
// and the full disk of tests/common.
#pragma once

#include <string>
#include <vector>

#include "tests/common/DiskFull.h"
#include "util/MoreDialogs.h"

namespace pictrim::test {

struct TMessageRecorder {
  TMessageRecorder()
      : Old(SetMessageHandler([this](const std::string& T) { Messages.push_back(T); })) {}
  ~TMessageRecorder() { SetMessageHandler(Old); }
  std::vector<std::string> Messages;
  TMessageHandler Old;
};

}  // namespace pictrim::test
