// Work on a list of items spread over a few threads, with the results handed
// back strictly in list order. At most Window items are begun ahead of the
// one the caller takes next, so memory stays bounded; stopping lets no new
// item begin and waits for those in work.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace pictrim {

template <typename TResult>
class TOrderedWork {
 public:
  // Work(Index, Worker) computes item Index on worker thread Worker
  // (0 .. Threads-1). With Threads <= 1 every item is computed by Take itself.
  using TWorkFn = std::function<TResult(size_t Index, unsigned Worker)>;

  TOrderedWork(size_t Count, unsigned Threads, size_t Window, TWorkFn Work)
      : Count_(Count), Window_(Window < 1 ? 1 : Window), Work_(std::move(Work)), Slots_(Count) {
    if (Threads <= 1) return;
    for (unsigned w = 0; w < Threads; ++w) Threads_.emplace_back([this, w] { Serve(w); });
  }

  ~TOrderedWork() { Stop(); }

  TOrderedWork(const TOrderedWork&) = delete;
  TOrderedWork& operator=(const TOrderedWork&) = delete;

  // The result of item Index; items are taken in order, each once. Rethrows
  // what the work on that item threw.
  TResult Take(size_t Index) {
    if (Threads_.empty()) return Work_(Index, 0);
    std::unique_lock<std::mutex> lock(Mutex_);
    Changed_.wait(lock, [&] { return Slots_[Index].Done; });
    std::unique_ptr<TResult> result = std::move(Slots_[Index].Result);
    const std::exception_ptr error = Slots_[Index].Error;
    Taken_ = Index + 1;
    Changed_.notify_all();
    lock.unlock();
    if (error) std::rethrow_exception(error);
    return std::move(*result);
  }

  // Worker threads waiting for the caller to take results before they may
  // begin another item.
  unsigned Idle() {
    std::lock_guard<std::mutex> lock(Mutex_);
    return Idle_;
  }

  // No further item begins; returns when the items in work are finished.
  void Stop() {
    {
      std::lock_guard<std::mutex> lock(Mutex_);
      Stopped_ = true;
    }
    Changed_.notify_all();
    for (std::thread& t : Threads_) {
      if (t.joinable()) t.join();
    }
  }

 private:
  struct TSlot {
    bool Done = false;
    std::unique_ptr<TResult> Result;
    std::exception_ptr Error;
  };

  void Serve(unsigned Worker) {
    for (;;) {
      size_t index;
      {
        std::unique_lock<std::mutex> lock(Mutex_);
        const auto mayGoOn = [&] {
          return Stopped_ || Next_ >= Count_ || Next_ < Taken_ + Window_;
        };
        if (!mayGoOn()) {
          ++Idle_;
          Changed_.wait(lock, mayGoOn);
          --Idle_;
        }
        if (Stopped_ || Next_ >= Count_) return;
        index = Next_++;
      }
      std::unique_ptr<TResult> result;
      std::exception_ptr error;
      try {
        result = std::make_unique<TResult>(Work_(index, Worker));
      } catch (...) {
        error = std::current_exception();
      }
      {
        std::lock_guard<std::mutex> lock(Mutex_);
        Slots_[index].Result = std::move(result);
        Slots_[index].Error = error;
        Slots_[index].Done = true;
      }
      Changed_.notify_all();
    }
  }

  const size_t Count_;
  const size_t Window_;
  TWorkFn Work_;
  std::mutex Mutex_;
  std::condition_variable Changed_;
  std::vector<TSlot> Slots_;
  size_t Next_ = 0;   // next item to begin
  size_t Taken_ = 0;  // items the caller has taken
  bool Stopped_ = false;
  unsigned Idle_ = 0;  // workers held back by the window
  std::vector<std::thread> Threads_;
};

}  // namespace pictrim
