#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "util/MemoryBudget.h"

namespace pictrim {
namespace {

TEST(MemoryBudget, aRequestWaitsUntilItFitsAndOneAloneAlwaysRuns) {
  TMemoryBudget budget(100);
  TMemoryLease first = budget.Acquire(70);
  std::atomic<bool> admitted{false};
  std::thread second([&] {
    TMemoryLease lease = budget.Acquire(50);
    admitted = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(admitted);
  first.Release();
  second.join();
  EXPECT_TRUE(admitted);
  EXPECT_EQ(budget.Peak(), 70u);
  // Larger than the whole budget: admitted when nothing else is held.
  TMemoryLease huge = budget.Acquire(500);
  EXPECT_EQ(budget.Used(), 500u);
  TMemoryLease moved = std::move(huge);
  moved.Release();
  EXPECT_EQ(budget.Used(), 0u);
}

}  // namespace
}  // namespace pictrim
