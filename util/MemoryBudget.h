// Admission of memory-hungry work by its size: workers ask for the bytes a
// picture will take before they decode it and wait while others hold the
// budget. One request is always admitted when nothing else is held, so a
// picture larger than the whole budget still runs, alone.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace pictrim {

class TMemoryBudget;

// Bytes held from a budget; given back when the lease ends.
class TMemoryLease {
 public:
  TMemoryLease() = default;
  TMemoryLease(TMemoryBudget* Budget, uint64_t Bytes) : Budget_(Budget), Bytes_(Bytes) {}
  TMemoryLease(TMemoryLease&& Other) noexcept { *this = std::move(Other); }
  TMemoryLease& operator=(TMemoryLease&& Other) noexcept;
  TMemoryLease(const TMemoryLease&) = delete;
  TMemoryLease& operator=(const TMemoryLease&) = delete;
  ~TMemoryLease() { Release(); }

  uint64_t Bytes() const { return Bytes_; }
  void Release();
  // Gives back what is held beyond Bytes.
  void ShrinkTo(uint64_t Bytes);

 private:
  TMemoryBudget* Budget_ = nullptr;
  uint64_t Bytes_ = 0;
};

class TMemoryBudget {
 public:
  explicit TMemoryBudget(uint64_t Capacity) : Capacity_(Capacity) {}

  // Waits until Bytes fit beside what others hold (or nothing is held).
  TMemoryLease Acquire(uint64_t Bytes) {
    std::unique_lock<std::mutex> lock(Mutex_);
    const auto fits = [&] { return Used_ == 0 || Used_ + Bytes <= Capacity_; };
    if (!fits()) {
      ++Waiting_;
      Freed_.wait(lock, fits);
      --Waiting_;
    }
    Used_ += Bytes;
    if (Used_ > Peak_) Peak_ = Used_;
    return TMemoryLease(this, Bytes);
  }

  // As Acquire, but waits no longer than Patience, and not at all once Stop
  // is set; then the bytes are held all the same. A thread that holds part
  // of the budget while it asks for more cannot wait for ever that way.
  TMemoryLease AcquireWaitingAtMost(uint64_t Bytes, std::chrono::milliseconds Patience,
                                    const std::atomic<bool>* Stop = nullptr) {
    const auto until = std::chrono::steady_clock::now() + Patience;
    std::unique_lock<std::mutex> lock(Mutex_);
    while (!(Used_ == 0 || Used_ + Bytes <= Capacity_)) {
      if (Stop != nullptr && Stop->load()) break;
      const auto now = std::chrono::steady_clock::now();
      if (now >= until) break;
      ++Waiting_;
      Freed_.wait_for(lock, std::min<std::chrono::steady_clock::duration>(
                                until - now, std::chrono::milliseconds(50)));
      --Waiting_;
    }
    Used_ += Bytes;
    if (Used_ > Peak_) Peak_ = Used_;
    return TMemoryLease(this, Bytes);
  }

  uint64_t Capacity() {
    std::lock_guard<std::mutex> lock(Mutex_);
    return Capacity_;
  }
  void SetCapacity(uint64_t Capacity) {
    {
      std::lock_guard<std::mutex> lock(Mutex_);
      Capacity_ = Capacity;
    }
    Freed_.notify_all();
  }
  uint64_t Used() {
    std::lock_guard<std::mutex> lock(Mutex_);
    return Used_;
  }
  // Requests that wait for others to give bytes back.
  int Waiting() {
    std::lock_guard<std::mutex> lock(Mutex_);
    return Waiting_;
  }
  // The most ever held at once.
  uint64_t Peak() {
    std::lock_guard<std::mutex> lock(Mutex_);
    return Peak_;
  }

 private:
  friend class TMemoryLease;
  void GiveBack(uint64_t Bytes) {
    {
      std::lock_guard<std::mutex> lock(Mutex_);
      Used_ -= Bytes;
    }
    Freed_.notify_all();
  }

  uint64_t Capacity_;
  std::mutex Mutex_;
  std::condition_variable Freed_;
  uint64_t Used_ = 0;
  uint64_t Peak_ = 0;
  int Waiting_ = 0;
};

inline TMemoryLease& TMemoryLease::operator=(TMemoryLease&& Other) noexcept {
  if (this != &Other) {
    Release();
    Budget_ = Other.Budget_;
    Bytes_ = Other.Bytes_;
    Other.Budget_ = nullptr;
    Other.Bytes_ = 0;
  }
  return *this;
}

inline void TMemoryLease::ShrinkTo(uint64_t Bytes) {
  if (Budget_ == nullptr || Bytes >= Bytes_) return;
  Budget_->GiveBack(Bytes_ - Bytes);
  Bytes_ = Bytes;
}

inline void TMemoryLease::Release() {
  if (Budget_ != nullptr) Budget_->GiveBack(Bytes_);
  Budget_ = nullptr;
  Bytes_ = 0;
}

}  // namespace pictrim
