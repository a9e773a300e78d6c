// A clock for the decoder's time limits that stands still unless the test
// moves it: a deadline passes when the test says so, however busy the
// machine, and only a cancel can end a wait on a decoder that hangs.
#pragma once

#include <atomic>
#include <chrono>

#include "image/IsolatedDecode.h"

namespace pictrim::test {

class TStillClock {
 public:
  TStillClock() {
    SetDecodeClock([this] { return Start_ + std::chrono::milliseconds(Millis_.load()); });
  }
  ~TStillClock() { SetDecodeClock({}); }
  TStillClock(const TStillClock&) = delete;
  TStillClock& operator=(const TStillClock&) = delete;

  void Advance(std::chrono::milliseconds By) { Millis_ += By.count(); }

 private:
  const std::chrono::steady_clock::time_point Start_ = std::chrono::steady_clock::now();
  std::atomic<long long> Millis_{0};
};

}  // namespace pictrim::test
