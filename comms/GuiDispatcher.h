#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace comms {

class TGuiContext;

// How a serial worker hands work to the GUI thread. Widgets and settings documents belong to
// the GUI thread; a worker reaches them only through these two calls.
//
// Post is queued: it returns at once and the GUI thread runs the calls later, in the order
// they were posted. It is for reports that need no answer (progress, error boxes), and the
// only one allowed while the worker holds a lock that the GUI thread may take.
//
// Call is blocking: the worker waits until the GUI thread has run the call, so the steps of
// its loop keep their order, and an error the call throws is thrown again in the worker. The
// worker gives up as soon as its stop flag is set (WakeWaiters tells it), and a call not yet
// begun then never runs: a GUI thread that stops a worker and waits for its end need not
// serve calls meanwhile. A call must not open a modal loop: the worker it belongs to could be
// stopped and freed from within that loop while the call is still running.
//
// Calls still queued when the dispatcher is destroyed are dropped.
//
// The calls wait in the dispatcher's own queue, under its own lock; the GUI thread's event
// loop is only woken to run the queue. So every hand-over of data between the threads is
// ordered by that lock, which the thread sanitizer sees (Qt's own locks it cannot see).
class TGuiDispatcher {
 public:
  // The GUI thread is the thread that constructs the dispatcher; it must run an event loop.
  TGuiDispatcher();
  ~TGuiDispatcher();
  TGuiDispatcher(const TGuiDispatcher&) = delete;
  TGuiDispatcher& operator=(const TGuiDispatcher&) = delete;

  // An error that escapes a posted call goes to the application's error box.
  void Post(std::function<void()> call);
  // True once the GUI thread has run the call; false when stop was set first. On the GUI
  // thread itself the call runs at once.
  bool Call(std::function<void()> call, const std::atomic<bool>& stop);
  // Wakes the workers waiting in Call, so that they see a stop flag that was just set.
  void WakeWaiters();
  bool OnGuiThread() const;

 private:
  friend class TGuiContext;
  struct TPendingCall;
  void Enqueue(std::shared_ptr<TPendingCall> pending);
  // GUI thread: runs the queued calls in order.
  void RunQueue();
  void RunPending(TPendingCall& pending);

  std::unique_ptr<TGuiContext> context_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::shared_ptr<TPendingCall>> queue_;
};

}  // namespace comms
