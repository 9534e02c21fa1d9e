#include "comms/GuiDispatcher.h"

#include <QObject>
#include <QThread>
#include <exception>

#include "ui/ErrorBox.h"

namespace comms {

struct TGuiDispatcher::TPendingCall {
  std::function<void()> call;
  // Guarded by the dispatcher's mutex.
  bool finished = false;
  bool abandoned = false;
  std::exception_ptr error;
};

TGuiDispatcher::TGuiDispatcher() : context_(std::make_unique<QObject>()) {}

TGuiDispatcher::~TGuiDispatcher() = default;

bool TGuiDispatcher::OnGuiThread() const {
  return QThread::currentThread() == context_->thread();
}

void TGuiDispatcher::Post(std::function<void()> call) {
  QMetaObject::invokeMethod(
      context_.get(), [call = std::move(call)] { ui::RunGuarded(call); }, Qt::QueuedConnection);
}

bool TGuiDispatcher::Call(std::function<void()> call, const std::atomic<bool>& stop) {
  if (OnGuiThread()) {
    call();
    return true;
  }
  auto pending = std::make_shared<TPendingCall>();
  pending->call = std::move(call);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stop.load()) {
      return false;
    }
  }
  QMetaObject::invokeMethod(
      context_.get(), [this, pending] { RunPending(*pending); }, Qt::QueuedConnection);

  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return pending->finished || stop.load(); });
  if (!pending->finished) {
    pending->abandoned = true;
    return false;
  }
  if (pending->error) {
    std::rethrow_exception(pending->error);
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
    std::lock_guard<std::mutex> lock(mutex_);
    pending.error = error;
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
