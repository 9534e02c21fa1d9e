#pragma once

#include <QPointer>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace modbus {
class MbusMasterFunctions;
}  // namespace modbus
class QObject;
namespace registers {
enum class TConnectionType : std::int32_t;
class TRegisterDataStore;
}  // namespace registers

namespace comms {

class TDeviceList;
class TGuiDispatcher;
class TSerialThread;

// The result of a device search, delivered once on the GUI thread: the worker that searched,
// the value of holding register 28 (0 when the device did not answer) and the found flag.
// A handler bound to a receiver is dropped when the receiver is gone before delivery.
//
// Attempt, when set, is told on the GUI thread as each attempt of the search begins
// (attempt 1 to attempts), so that a user waiting on a silent device sees it is still
// being tried. It is queued: the worker does not wait for it. Every report comes before
// the result.
struct TSearchResultEvent {
  using TCallback =
      std::function<void(TSerialThread* sender, std::int32_t value, std::int32_t found)>;
  using TAttemptCallback = std::function<void(int attempt, int attempts)>;

  TSearchResultEvent() = default;
  TSearchResultEvent(QObject* receiver, TCallback callback)
      : Callback(std::move(callback)), Receiver(receiver), Bound(true) {}
  explicit TSearchResultEvent(TCallback callback) : Callback(std::move(callback)) {}

  TCallback Callback;
  TAttemptCallback Attempt;
  QPointer<QObject> Receiver;
  bool Bound = false;
};

// What the workers of one serial manager share.
struct TLinkShared {
  TDeviceList& Devices;
  registers::TRegisterDataStore& Store;
  TGuiDispatcher& Gui;
  // Serialises the workers' read and write passes, so that each runs on the protocol it gave
  // the store. Never taken by the GUI thread.
  std::mutex Passes;
  // The main window's ResetProgress, run on the GUI thread once a read has started. Set and
  // read on the GUI thread only.
  std::function<void()> ResetProgress;
  // The longest sleep of an idle worker before it looks again of its own accord. Every
  // event notifies it, so this only bounds the cost of one that did not (tests make it
  // long, so that a lost wake-up shows).
  std::chrono::milliseconds IdleBound{1000};
};

// The worker of one link. Its loop serves a pending device search, then runs one pass chosen
// by the register store's state (read, write or idle polling), then has the GUI thread
// refresh the displays, then pauses 1 ms. With nothing to do (no search, no transfer, and
// the idle poll settled: a whole round of it passed with no setting marked) it sleeps on the
// store's work signal instead, until a search, a transfer, a marked setting or a stop
// notifies it (or the shared IdleBound has passed), and hands nothing to the GUI thread meanwhile.
//
// The worker does the line work: the search reads and the store's block passes. Every step
// that touches a settings document (collecting the registers before a read, the idle poll,
// the refresh) runs on the GUI thread, in the loop's order, so the documents are never
// touched by two threads. The collect step before a read and the search delivery are
// blocking calls; the idle poll and the refresh, which move nothing on the line, are queued
// (see QueueDisplaySteps). A worker serves only the listed devices on its
// own comm port: a link left open by a search never carries another port's transfers.
//
// Locks: the device list's lock is taken only to look at the list, never across a request
// on the line, so the GUI thread (which takes it to attach, release, poll and refresh) never
// waits on the line. The shared pass lock keeps one worker's pass from running on another's
// protocol; the line lock is held while this worker has a request on the line and by
// WithLine. The store's progress report is raised inside a pass on the worker thread and
// must never wait for the GUI thread.
class TSerialThread {
 public:
  static constexpr int kSearchAttempts = 15;
  static constexpr int kSearchSlave = 1;
  // The device reports its type id in holding register 28.
  static constexpr int kDeviceTypeReference = 28;
  static constexpr std::chrono::milliseconds kLoopPause{1};
  static constexpr const char* kSearchBusyText =
      "Can only search for 1 device at a time on any comm port.";

  // Starts the loop at once. The protocol is the link's open protocol object; it and shared
  // must outlive the worker.
  TSerialThread(modbus::MbusMasterFunctions& protocol, std::int32_t commPort,
                registers::TConnectionType connectionType, TLinkShared& shared);
  // Terminates the loop.
  ~TSerialThread();
  TSerialThread(const TSerialThread&) = delete;
  TSerialThread& operator=(const TSerialThread&) = delete;

  // GUI thread. Throws kSearchBusyText, changing nothing, while a search is pending. The
  // search always reads slave 1.
  void RequestSearch(std::int32_t address, TSearchResultEvent handler);
  // Asks the loop to end and waits for it. The worker makes no GUI call once asked, so the
  // caller need not serve any; the wait is at most one request with its retry.
  void Terminate();
  // Runs work while no request of this worker is on the line (at once on the worker's own
  // thread, where it is called from inside a pass).
  void WithLine(const std::function<void()>& work);

  std::int32_t CommPort() const { return commPort_; }
  registers::TConnectionType ConnectionType() const { return connectionType_; }
  modbus::MbusMasterFunctions& Protocol() const { return protocol_; }
  bool RunsOnThisThread() const { return std::this_thread::get_id() == threadId_.load(); }

  bool SearchPending() const;
  // 1 once a search on this link has succeeded; never cleared.
  std::int32_t SearchFound() const;
  // Result code of the last read attempt of a search.
  int LastSearchResult() const { return lastSearchResult_.load(); }
  // Turns the loop has made: about one a millisecond while busy, next to none while idle.
  std::uint64_t LoopTurns() const { return loopTurns_.load(); }

 private:
  void Execute();
  // One turn of the loop; false when there was nothing to do and the worker may sleep.
  // workCount is the store's work signal as the turn began.
  bool RunIteration(std::uint64_t workCount);
  // false when no search was pending.
  bool ServeSearch();
  void RunReadPass();
  void RunWritePass();
  bool RunIdlePass(std::uint64_t workCount);
  bool PollSettled(std::uint64_t workCount) const;
  void RefreshDisplays();
  void QueueDisplaySteps(bool poll);
  // Ends the transfer under way for this worker's devices as a failed one.
  void EndTransfer(const std::string& text);
  bool ServesDevices() const;

  // GUI-thread steps.
  void CollectOnGui();
  void PollOnGui();
  void RefreshOnGui();

  // The idle poll and the refresh are handed over queued, one at a time (QueueDisplaySteps).
  struct TDisplaySteps {
    std::atomic<bool> queued{false};
    std::atomic<bool> workerGone{false};
  };

  modbus::MbusMasterFunctions& protocol_;
  const std::int32_t commPort_;
  const registers::TConnectionType connectionType_;
  TLinkShared& shared_;

  mutable std::mutex searchMutex_;
  TSearchResultEvent searchHandler_;
  bool searchPending_ = false;
  std::int32_t searchValue_ = 0;
  std::int32_t searchFound_ = 0;
  std::atomic<int> lastSearchResult_{0};
  std::atomic<std::uint64_t> loopTurns_{0};

  std::shared_ptr<TDisplaySteps> displaySteps_ = std::make_shared<TDisplaySteps>();
  std::recursive_mutex lineMutex_;
  std::atomic<bool> terminate_{false};
  std::atomic<std::thread::id> threadId_{};
  std::thread thread_;
};

}  // namespace comms
