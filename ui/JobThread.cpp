#include "ui/JobThread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>

namespace pictrim {

TWindowBatchTarget::TWindowBatchTarget(THandler Handler)
    : Handler_(std::move(Handler)), Context_(new QObject) {}

TWindowBatchTarget::~TWindowBatchTarget() { delete Context_; }

bool TWindowBatchTarget::OnGuiThread() const { return QThread::currentThread() == Context_->thread(); }

void TWindowBatchTarget::post(TBatchMessage Message) {
  std::lock_guard<std::mutex> lock(Mutex_);
  Pending_.push_back(std::move(Message));
  ++PostedCount_;
}

void TWindowBatchTarget::pump() {
  if (OnGuiThread()) {
    deliver();
    return;
  }
  std::unique_lock<std::mutex> lock(Mutex_);
  const uint64_t wanted = PostedCount_;
  if (HandledCount_ >= wanted) return;
  lock.unlock();
  QMetaObject::invokeMethod(Context_, [this, wanted] { DeliverUpTo(wanted); }, Qt::QueuedConnection);
  lock.lock();
  Handled_.wait(lock, [&] { return HandledCount_ >= wanted; });
}

void TWindowBatchTarget::deliver() { DeliverUpTo(UINT64_MAX); }

void TWindowBatchTarget::DeliverUpTo(uint64_t Count) {
  for (;;) {
    TBatchMessage message;
    {
      // Only what was posted before the pump that asked for this delivery:
      // what the job posts afterwards waits for its own pump (or, for the
      // final notification, for the window's deliver()).
      std::lock_guard<std::mutex> lock(Mutex_);
      if (Pending_.empty() || TakenCount_ >= Count) return;
      message = std::move(Pending_.front());
      Pending_.pop_front();
      ++TakenCount_;
    }
    // A handler may open a dialog whose event loop delivers the next
    // notifications; each is taken off the queue before it is handled, so
    // they still start in the order they were posted.
    if (Handler_) Handler_(message);
    {
      std::lock_guard<std::mutex> lock(Mutex_);
      ++HandledCount_;
    }
    Handled_.notify_all();
  }
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
