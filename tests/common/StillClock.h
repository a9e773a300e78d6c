// A clock for the decoder's time limits that stands still unless the test
// moves it: a deadline passes when the test says so, however busy the
// machine, and only a cancel can end a wait on a decoder that hangs.
// A timer reads the clock when it starts counting and whenever it finds its
// decoder idle, so a test waits for those reads, not for a time, before it
// moves the clock.
#pragma once

#include <atomic>
#include <chrono>

#include "image/IsolatedDecode.h"

namespace pictrim::test {

class TStillClock {
 public:
  TStillClock() {
    SetDecodeClock([this] {
      const auto now = Start_ + std::chrono::milliseconds(Millis_.load());
      ++Reads_;
      return now;
    });
  }
  ~TStillClock() { SetDecodeClock({}); }
  TStillClock(const TStillClock&) = delete;
  TStillClock& operator=(const TStillClock&) = delete;

  void Advance(std::chrono::milliseconds By) { Millis_ += By.count(); }
  // How often the clock has been read; a read counted here returned a time
  // no later than the clock showed when it was counted.
  long long Reads() const { return Reads_.load(); }

 private:
  const std::chrono::steady_clock::time_point Start_ = std::chrono::steady_clock::now();
  std::atomic<long long> Millis_{0};
  std::atomic<long long> Reads_{0};
};

}  // namespace pictrim::test
