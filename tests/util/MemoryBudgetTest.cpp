#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "tests/common/WaitFor.h"
#include "util/MemoryBudget.h"

namespace pictrim {
namespace {

// A request made on a thread of its own; it holds its lease until it ends.
class TRequestOnThread {
 public:
  TRequestOnThread(TMemoryBudget& Budget, uint64_t Bytes) : Budget_(Budget) {
    Thread_ = std::thread([this, Bytes] {
      TMemoryLease lease = Budget_.Acquire(Bytes);
      Admitted = true;
      while (!Done_) std::this_thread::yield();
    });
  }
  ~TRequestOnThread() { End(); }

  // Waits until the request is admitted or waits for bytes; true when admitted.
  bool AdmittedOrWaiting() {
    EXPECT_TRUE(test::WaitUntil([&] { return Admitted || Budget_.Waiting() > 0; }));
    return Admitted;
  }
  // Gives the lease back and ends the thread. A request still waiting (the
  // test has failed) is let through first, so that the thread can end.
  void End() {
    if (!Admitted) Budget_.SetCapacity(UINT64_MAX);
    Done_ = true;
    if (Thread_.joinable()) Thread_.join();
  }

  std::atomic<bool> Admitted{false};

 private:
  TMemoryBudget& Budget_;
  std::atomic<bool> Done_{false};
  std::thread Thread_;
};

TEST(MemoryBudget, aRequestThatFillsTheBudgetExactlyIsAdmittedAtOnce) {
  TMemoryBudget budget(100);
  TMemoryLease held = budget.Acquire(60);
  TRequestOnThread exact(budget, 40);
  EXPECT_TRUE(exact.AdmittedOrWaiting());
  EXPECT_EQ(budget.Waiting(), 0);
  EXPECT_EQ(budget.Used(), 100u);
  held.Release();
  exact.End();
  EXPECT_EQ(budget.Used(), 0u);
}

TEST(MemoryBudget, aRequestOneByteTooLargeWaitsUntilBytesComeBack) {
  TMemoryBudget budget(100);
  TMemoryLease held = budget.Acquire(60);
  TRequestOnThread larger(budget, 41);
  EXPECT_FALSE(larger.AdmittedOrWaiting());
  EXPECT_EQ(budget.Waiting(), 1);
  EXPECT_EQ(budget.Used(), 60u);
  held.Release();
  EXPECT_TRUE(test::WaitUntil([&] { return larger.Admitted.load(); }));
  EXPECT_EQ(budget.Waiting(), 0);
  EXPECT_EQ(budget.Used(), 41u);
  larger.End();
  EXPECT_EQ(budget.Used(), 0u);
  EXPECT_EQ(budget.Peak(), 60u);
}

TEST(MemoryBudget, aLargerCapacityAdmitsThoseWaiting) {
  TMemoryBudget budget(100);
  TMemoryLease held = budget.Acquire(60);
  TRequestOnThread waiting(budget, 50);
  ASSERT_FALSE(waiting.AdmittedOrWaiting());
  budget.SetCapacity(110);
  EXPECT_TRUE(test::WaitUntil([&] { return waiting.Admitted.load(); }));
  EXPECT_EQ(budget.Peak(), 110u);
}

TEST(MemoryBudget, oneRequestAloneAlwaysRunsEvenLargerThanTheBudget) {
  TMemoryBudget budget(100);
  TMemoryLease huge = budget.Acquire(500);
  EXPECT_EQ(budget.Used(), 500u);
  TMemoryLease moved = std::move(huge);
  EXPECT_EQ(huge.Bytes(), 0u);
  EXPECT_EQ(moved.Bytes(), 500u);
  huge.Release();  // the moved-from lease gives nothing back
  EXPECT_EQ(budget.Used(), 500u);
  moved.Release();
  EXPECT_EQ(budget.Used(), 0u);
  // While it is held, anything else waits.
  TMemoryLease again = budget.Acquire(500);
  TRequestOnThread small(budget, 1);
  EXPECT_FALSE(small.AdmittedOrWaiting());
  again.Release();
  EXPECT_TRUE(test::WaitUntil([&] { return small.Admitted.load(); }));
}

TEST(MemoryBudget, aLeaseAssignedOverAnotherGivesItsBytesBack) {
  TMemoryBudget budget(100);
  TMemoryLease lease = budget.Acquire(30);
  lease = budget.Acquire(20);
  EXPECT_EQ(lease.Bytes(), 20u);
  EXPECT_EQ(budget.Used(), 20u);
  lease = TMemoryLease();
  EXPECT_EQ(budget.Used(), 0u);
}

}  // namespace
}  // namespace pictrim
