#include "platform/BatchTarget.h"

namespace pictrim {

std::atomic<bool> CancelRequested{false};
std::string LastFile;

void TQueuedBatchTarget::pump() {
  while (!Pending_.empty()) {
    TBatchMessage message = std::move(Pending_.front());
    Pending_.pop_front();
    if (Handler_) Handler_(message);
  }
}

}  // namespace pictrim
