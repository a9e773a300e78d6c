// A job of the window runs on a worker thread so that the window repaints and
// answers "abbrechen" while a large picture is being worked on. The job
// reports through a target whose notifications are handled on the GUI thread,
// in order; when the job pumps, it waits until the window has handled every
// notification posted so far, so what the user sees is the same as if the job
// ran inside the click handler and pumped there.
#pragma once

#include <QObject>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/BatchTarget.h"
#include "util/ErrorLog.h"

class QEventLoop;

namespace pictrim {

// A batch target for a window. post() may be called from any thread. On the
// job thread pump() returns once the GUI thread has handled every
// notification posted so far. The window's own posts (the cancel button's)
// are handled at once when it pumps; what the job posted without a pump
// (its final notification) waits until the window calls deliver() after the
// job has returned, as a posted message waits for the event loop of a job
// that runs inside its click handler. Handler runs on the GUI thread, the
// thread that creates the target.
class TWindowBatchTarget : public TBatchTarget {
 public:
  using THandler = std::function<void(const TBatchMessage&)>;
  explicit TWindowBatchTarget(THandler Handler);
  ~TWindowBatchTarget() override;
  TWindowBatchTarget(const TWindowBatchTarget&) = delete;
  TWindowBatchTarget& operator=(const TWindowBatchTarget&) = delete;

  void post(TBatchMessage Message) override;
  void pump() override;
  // GUI thread: handles every pending notification now, in order.
  void deliver();

 private:
  struct TPending {
    TBatchMessage Message;
    bool Released;  // may be handled now: pumped by the job, or posted by the window
  };
  bool OnGuiThread() const;
  // Marks every pending notification as one to handle; the caller holds the lock.
  void ReleaseAll();
  // Handles the released notifications, in the order they were posted.
  void DeliverReleased();

  THandler Handler_;
  QObject* Context_;  // lives on the GUI thread; deliveries are queued to it
  std::mutex Mutex_;
  std::condition_variable Handled_;
  std::deque<TPending> Pending_;
  uint64_t Outstanding_ = 0;  // released but not yet handled
};

// GUI thread, in the Finished of a job that wrote its error lines into a log
// of its own: the lines join WindowLog and JobLog is left empty, then Target
// handles what the job left pending, so that the job's final notification
// finds every line in WindowLog.
void HandOverJobEnd(TErrorLog& JobLog, TErrorLog& WindowLog, TWindowBatchTarget& Target);

// Runs one job at a time on a worker thread.
class TJobThread : public QObject {
 public:
  explicit TJobThread(QObject* Parent = nullptr);
  ~TJobThread() override;

  bool Running() const { return Running_; }
  // Starts Job on the worker thread; false (nothing started) while a job
  // runs. Finished runs on the GUI thread once Job has returned; it is the
  // place to take over the job's results and to deliver() the notifications
  // the job left pending.
  bool Start(std::function<void()> Job, std::function<void()> Finished);
  // GUI thread: keeps handling events (and so the job's notifications) until
  // the running job has ended and its Finished has run.
  void WaitWhileHandlingEvents();

 private:
  void JobEnded();

  std::thread Worker_;
  std::function<void()> Finished_;
  bool Running_ = false;
  QEventLoop* Waiting_ = nullptr;
};

}  // namespace pictrim
