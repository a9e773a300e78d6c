#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "tests/common/WaitFor.h"
#include "util/OrderedWork.h"

namespace pictrim {
namespace {

TEST(OrderedWork, resultsComeInListOrderWhateverOrderTheWorkEndsIn) {
  for (unsigned threads : {1u, 2u, 4u}) {
    TOrderedWork<size_t> work(40, threads, threads + 1, [](size_t i, unsigned) {
      // Later items finish first now and then.
      std::this_thread::sleep_for(std::chrono::microseconds((i % 3 == 0) ? 800 : 50));
      return i * i;
    });
    for (size_t i = 0; i < 40; ++i) EXPECT_EQ(work.Take(i), i * i) << threads;
  }
}

TEST(OrderedWork, neverBeginsMoreThanTheWindowAheadOfTheCaller) {
  std::atomic<size_t> begun{0};
  TOrderedWork<int> work(30, 3, 4, [&](size_t i, unsigned) {
    ++begun;
    return static_cast<int>(i);
  });
  // Once all three workers are held back, nothing more can begin.
  const auto settled = [&](size_t Wanted) {
    return test::WaitUntil([&] { return begun >= Wanted && work.Idle() == 3; });
  };
  ASSERT_TRUE(settled(4));
  EXPECT_EQ(begun.load(), 4u);  // nothing taken yet: the window is full
  work.Take(0);
  work.Take(1);
  ASSERT_TRUE(settled(6));
  EXPECT_EQ(begun.load(), 6u);
}

TEST(OrderedWork, stopLetsNoNewItemBeginAndWaitsForThoseInWork) {
  std::atomic<int> begun{0};
  std::atomic<int> finished{0};
  {
    TOrderedWork<int> work(100, 2, 3, [&](size_t, unsigned) {
      ++begun;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      ++finished;
      return 0;
    });
    work.Take(0);
    work.Stop();
    EXPECT_EQ(begun.load(), finished.load());
  }
  EXPECT_LE(begun.load(), 4);
}

TEST(OrderedWork, anExceptionReachesTheCallerAtItsItem) {
  TOrderedWork<int> work(3, 2, 3, [](size_t i, unsigned) {
    if (i == 1) throw std::runtime_error("item 1");
    return static_cast<int>(i);
  });
  EXPECT_EQ(work.Take(0), 0);
  EXPECT_THROW(work.Take(1), std::runtime_error);
  EXPECT_EQ(work.Take(2), 2);
}

TEST(OrderedWork, eachWorkerNumberIsUsedByOneThreadOnly) {
  std::mutex mutex;
  std::map<unsigned, std::thread::id> owners;
  bool shared = false;
  TOrderedWork<int> work(50, 3, 4, [&](size_t, unsigned worker) {
    std::lock_guard<std::mutex> lock(mutex);
    auto [it, inserted] = owners.emplace(worker, std::this_thread::get_id());
    if (!inserted && it->second != std::this_thread::get_id()) shared = true;
    return 0;
  });
  for (size_t i = 0; i < 50; ++i) work.Take(i);
  EXPECT_FALSE(shared);
  for (const auto& [worker, id] : owners) EXPECT_LT(worker, 3u);
}

}  // namespace
}  // namespace pictrim
