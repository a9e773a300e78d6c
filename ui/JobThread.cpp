#include "ui/JobThread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>

#include <algorithm>
#include <iterator>

namespace pictrim {

TWindowBatchTarget::TWindowBatchTarget(THandler Handler)
    : Handler_(std::move(Handler)), Context_(new QObject) {}

TWindowBatchTarget::~TWindowBatchTarget() { delete Context_; }

bool TWindowBatchTarget::OnGuiThread() const { return QThread::currentThread() == Context_->thread(); }

void TWindowBatchTarget::post(TBatchMessage Message) {
  const bool fromWindow = OnGuiThread();
  std::lock_guard<std::mutex> lock(Mutex_);
  Pending_.push_back({std::move(Message), fromWindow});
  if (fromWindow) ++Outstanding_;
}

void TWindowBatchTarget::ReleaseAll() {
  for (TPending& pending : Pending_) {
    if (!pending.Released) {
      pending.Released = true;
      ++Outstanding_;
    }
  }
}

void TWindowBatchTarget::pump() {
  if (OnGuiThread()) {
    DeliverReleased();
    return;
  }
  std::unique_lock<std::mutex> lock(Mutex_);
  ReleaseAll();
  if (Outstanding_ == 0) return;
  lock.unlock();
  QMetaObject::invokeMethod(Context_, [this] { DeliverReleased(); }, Qt::QueuedConnection);
  lock.lock();
  Handled_.wait(lock, [&] { return Outstanding_ == 0; });
}

void TWindowBatchTarget::deliver() {
  {
    std::lock_guard<std::mutex> lock(Mutex_);
    ReleaseAll();
  }
  DeliverReleased();
}

void TWindowBatchTarget::DeliverReleased() {
  for (;;) {
    TBatchMessage message;
    {
      // What the job posts after its last pump stays queued: in a job that
      // runs inside the click handler it would not have been posted yet.
      std::lock_guard<std::mutex> lock(Mutex_);
      const auto next = std::find_if(Pending_.begin(), Pending_.end(),
                                     [](const TPending& Pending) { return Pending.Released; });
      if (next == Pending_.end()) return;
      message = std::move(next->Message);
      Pending_.erase(next);
    }
    // A handler may open a dialog whose event loop delivers the next
    // notifications; each is taken off the queue before it is handled, so
    // they still start in the order they were posted.
    if (Handler_) Handler_(message);
    {
      std::lock_guard<std::mutex> lock(Mutex_);
      --Outstanding_;
    }
    Handled_.notify_all();
  }
}

void HandOverJobEnd(TErrorLog& JobLog, TErrorLog& WindowLog, TWindowBatchTarget& Target) {
  WindowLog.insert(WindowLog.end(), std::make_move_iterator(JobLog.begin()),
                   std::make_move_iterator(JobLog.end()));
  JobLog.clear();
  Target.deliver();
}

TJobThread::TJobThread(QObject* Parent) : QObject(Parent) {}

TJobThread::~TJobThread() {
  // The window waits for its job before it goes; should a job still run, the
  // thread must not be left joinable.
  if (Worker_.joinable()) Worker_.join();
}

bool TJobThread::Start(std::function<void()> Job, std::function<void()> Finished) {
  if (Running_) return false;
  if (Worker_.joinable()) Worker_.join();
  Running_ = true;
  Finished_ = std::move(Finished);
  Worker_ = std::thread([this, Job = std::move(Job)] {
    Job();
    QMetaObject::invokeMethod(this, [this] { JobEnded(); }, Qt::QueuedConnection);
  });
  return true;
}

void TJobThread::JobEnded() {
  if (Worker_.joinable()) Worker_.join();
  std::function<void()> finished = std::move(Finished_);
  Finished_ = nullptr;
  // Running until Finished has run, so that a click handled inside it (a
  // message box) cannot start the next job before this one is wound up.
  if (finished) finished();
  Running_ = false;
  if (Waiting_) Waiting_->quit();
}

void TJobThread::WaitWhileHandlingEvents() {
  if (!Running_) return;
  QEventLoop loop;
  Waiting_ = &loop;
  loop.exec();
  Waiting_ = nullptr;
}

}  // namespace pictrim
