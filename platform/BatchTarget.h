// How a batch reports to the window that started it: numbered notifications
// are posted to a target and handled when the batch pumps. The program-wide
// cancel flag and the last produced file live here as well.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

namespace pictrim {

inline constexpr uint32_t WM_USER = 1024;
inline constexpr uint32_t WM_BATCH_PROGRESS = WM_USER + 1;  // 1025
inline constexpr uint32_t WM_BATCH_FILE = WM_USER + 2;      // 1026
inline constexpr uint32_t WM_BATCH_STATUS = WM_USER + 3;    // 1027
inline constexpr uint32_t WM_BATCH_CANCEL = WM_USER + 100;  // 1124

// One posted notification. Text holds what the message points at (a path or a
// status text); it is a copy, so it stays valid however late it is read.
struct TBatchMessage {
  uint32_t Message = 0;
  int64_t WParam = 0;
  int64_t LParam = 0;
  std::string Text;
  bool operator==(const TBatchMessage&) const = default;
};

// The receiver of a batch's notifications.
class TBatchTarget {
 public:
  virtual ~TBatchTarget() = default;
  // Queues one notification.
  virtual void post(TBatchMessage Message) = 0;
  // Handles every pending notification; the batch goes on only afterwards.
  virtual void pump() = 0;
};

// A target that queues posts and hands them, in order, to a handler on pump.
// Notifications still queued when the target is destroyed are dropped, like
// messages posted to a window that has closed.
class TQueuedBatchTarget : public TBatchTarget {
 public:
  using THandler = std::function<void(const TBatchMessage&)>;
  explicit TQueuedBatchTarget(THandler Handler) : Handler_(std::move(Handler)) {}
  void post(TBatchMessage Message) override { Pending_.push_back(std::move(Message)); }
  void pump() override;

 private:
  THandler Handler_;
  std::deque<TBatchMessage> Pending_;
};

// Set by the cancel notification, cleared by the caller before each batch;
// batches read it at their check points.
extern std::atomic<bool> CancelRequested;

// The path of the last file reported by WM_BATCH_FILE, written by whichever
// window receives that notification (only on the thread that handles it).
extern std::string LastFile;

}  // namespace pictrim
