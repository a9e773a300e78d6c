#include "app/CancelSignals.h"

#include <unistd.h>

#include <csignal>

#include "platform/BatchTarget.h"

namespace pictrim {
namespace {

volatile std::sig_atomic_t Received = 0;

void OnSignal(int Signal) {
  if (Received != 0) ::_exit(128 + Signal);
  Received = Signal;
  CancelRequested.store(true);
}

}  // namespace

void InstallCancelSignals() {
  static_assert(std::atomic<bool>::is_always_lock_free,
                "the cancel flag is set from a signal handler");
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

int CancelSignal() {
  return Received;
}

int ExitStatusAfterSignal(int Status) {
  return Received != 0 ? 128 + Received : Status;
}

}  // namespace pictrim
