#include "comms/GuiDispatcher.h"

#include <QObject>
#include <QThread>
#include <exception>

#include "ui/ErrorBox.h"

namespace comms {

// The GUI thread's receiver of the wake-ups. Woken by name, so that no data of ours travels
// in Qt's event.
class TGuiContext : public QObject {
  Q_OBJECT

 public:
  explicit TGuiContext(TGuiDispatcher& dispatcher) : dispatcher_(dispatcher) {}
  Q_INVOKABLE void RunQueue() { dispatcher_.RunQueue(); }

 private:
  TGuiDispatcher& dispatcher_;
};

struct TGuiDispatcher::TPendingCall {
  std::function<void()> call;
  bool blocking = false;
  // Guarded by the dispatcher's mutex.
  bool finished = false;
  bool abandoned = false;
  std::exception_ptr error;
};

TGuiDispatcher::TGuiDispatcher() : context_(std::make_unique<TGuiContext>(*this)) {}

TGuiDispatcher::~TGuiDispatcher() = default;

bool TGuiDispatcher::OnGuiThread() const {
  return QThread::currentThread() == context_->thread();
}

void TGuiDispatcher::Post(std::function<void()> call) {
  auto pending = std::make_shared<TPendingCall>();
  pending->call = std::move(call);
  Enqueue(std::move(pending));
}

void TGuiDispatcher::Enqueue(std::shared_ptr<TPendingCall> pending) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(pending));
  }
  // One wake-up per call: a call that opens a modal loop still lets the next ones run.
  QMetaObject::invokeMethod(context_.get(), "RunQueue", Qt::QueuedConnection);
}

void TGuiDispatcher::RunQueue() {
  for (;;) {
    std::shared_ptr<TPendingCall> pending;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (queue_.empty()) {
        return;
      }
      pending = std::move(queue_.front());
      queue_.pop_front();
    }
    if (pending->blocking) {
      RunPending(*pending);
    } else {
      ui::RunGuarded(pending->call);
    }
  }
}

bool TGuiDispatcher::Call(std::function<void()> call, const std::atomic<bool>& stop) {
  if (OnGuiThread()) {
    call();
    return true;
  }
  auto pending = std::make_shared<TPendingCall>();
  pending->call = std::move(call);
  pending->blocking = true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stop.load()) {
      return false;
    }
  }
  Enqueue(pending);

  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return pending->finished || stop.load(); });
  if (!pending->finished) {
    pending->abandoned = true;
    return false;
  }
  // The error leaves the shared record here, so that it is released on this thread only.
  std::exception_ptr error = std::move(pending->error);
  pending->error = nullptr;
  lock.unlock();
  if (error) {
    std::rethrow_exception(error);
  }
  return true;
}

void TGuiDispatcher::RunPending(TPendingCall& pending) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (pending.abandoned) {
      return;
    }
  }
  std::exception_ptr error;
  try {
    pending.call();
  } catch (...) {
    error = std::current_exception();
  }
  {
    // Moved, not copied: the GUI thread keeps no reference to the error once the worker may
    // see it, so the worker alone releases it (the library's reference count is invisible to
    // the thread sanitizer, which would otherwise see two threads free one object).
    std::lock_guard<std::mutex> lock(mutex_);
    pending.error = std::move(error);
    pending.finished = true;
  }
  changed_.notify_all();
}

void TGuiDispatcher::WakeWaiters() {
  // Taking the mutex orders the wake-up after a waiter's check of its stop flag.
  { std::lock_guard<std::mutex> lock(mutex_); }
  changed_.notify_all();
}

}  // namespace comms

#include "GuiDispatcher.moc"
