// A fixture for batch tests: a source tree in a temporary folder, a target
// that records every notification, the error log, and a check that the
// source tree is unchanged at the end of every test.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/BatchTarget.h"
#include "tests/common/TempDir.h"
#include "util/ErrorLog.h"

namespace pictrim::test {

class BatchTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Remembers the source tree as it is now; TearDown compares against it.
  void FreezeSource() { SourceSnapshot_ = TreeSnapshot(Source); }
  // The notifications as "STATUS text", "FILE path", "PROGRESS w l" lines,
  // paths relative to the temporary folder.
  std::vector<std::string> Notes() const;
  std::vector<std::string> Log() const;

  TTempDir Dir;
  std::string Source;  // Dir + "src/"
  TErrorLog ErrorLog;
  std::vector<TBatchMessage> Received;
  std::vector<std::string> Messages;  // message boxes shown
  std::function<void(const TBatchMessage&)> OnMessage;  // runs for each notification
  TQueuedBatchTarget Window{[this](const TBatchMessage& m) {
    Received.push_back(m);
    if (OnMessage) OnMessage(m);
  }};

 private:
  std::string SourceSnapshot_;
};

}  // namespace pictrim::test
