// Waiting for a state that another thread or process brings about. The test
// goes on as soon as the condition holds; the limit only keeps a broken
// program from hanging the suite, so it is generous and never what a test
// relies on.
#pragma once

#include <chrono>
#include <thread>

namespace pictrim::test {

inline constexpr std::chrono::seconds StateLimit{60};

// True once Condition() holds; false when it still does not after Limit.
template <typename TCondition>
bool WaitUntil(TCondition Condition, std::chrono::steady_clock::duration Limit = StateLimit) {
  const auto end = std::chrono::steady_clock::now() + Limit;
  while (!Condition()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace pictrim::test
