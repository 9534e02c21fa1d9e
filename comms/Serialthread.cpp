#include "comms/Serialthread.h"

#include <stdexcept>

#include "comms/Devicelist.h"
#include "comms/GuiDispatcher.h"
#include "modbus/MbusMasterFunctions.h"
#include "model/Device.h"
#include "model/Settings.h"
#include "registers/Registerdatastore.h"

namespace comms {

using TState = registers::TRegisterDataStore::TState;

namespace {

// Runs its action when the scope ends, however it ends.
template <typename Action>
class TScopeExit {
 public:
  explicit TScopeExit(Action action) : action_(std::move(action)) {}
  ~TScopeExit() { action_(); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

 private:
  Action action_;
};

}  // namespace

TSerialThread::TSerialThread(modbus::MbusMasterFunctions& protocol, std::int32_t commPort,
                             registers::TConnectionType connectionType, TLinkShared& shared)
    : protocol_(protocol), commPort_(commPort), connectionType_(connectionType), shared_(shared) {
  thread_ = std::thread([this] { Execute(); });
  threadId_ = thread_.get_id();
}

TSerialThread::~TSerialThread() {
  Terminate();
}

void TSerialThread::Terminate() {
  terminate_ = true;
  shared_.Store.Work().Notify();
  shared_.Gui.WakeWaiters();
  if (thread_.joinable()) {
    thread_.join();
  }
  displaySteps_->workerGone = true;
  shared_.Store.DropProtocol(&protocol_);
}

void TSerialThread::WithLine(const std::function<void()>& work) {
  std::lock_guard<std::recursive_mutex> line(lineMutex_);
  work();
}

void TSerialThread::RequestSearch([[maybe_unused]] std::int32_t address,
                                  TSearchResultEvent handler) {
  std::lock_guard<std::mutex> lock(searchMutex_);
  if (searchPending_) {
    throw std::runtime_error(kSearchBusyText);
  }
  searchHandler_ = std::move(handler);
  searchValue_ = 0;
  searchPending_ = true;
  shared_.Store.Work().Notify();
}

bool TSerialThread::SearchPending() const {
  std::lock_guard<std::mutex> lock(searchMutex_);
  return searchPending_;
}

std::int32_t TSerialThread::SearchFound() const {
  std::lock_guard<std::mutex> lock(searchMutex_);
  return searchFound_;
}

void TSerialThread::Execute() {
  registers::TWorkSignal& work = shared_.Store.Work();
  while (!terminate_) {
    ++loopTurns_;
    // Taken before looking for work: whatever is notified after it ends the wait below.
    const std::uint64_t seen = work.Count();
    bool busy = true;
    try {
      busy = RunIteration(seen);
    } catch (const std::exception& error) {
      EndTransfer(error.what());
    } catch (...) {
      EndTransfer("Unknown error");
    }
    // Also after an error: a failing step must not spin the processor.
    if (busy) {
      std::this_thread::sleep_for(kLoopPause);
    } else {
      work.WaitPast(seen, shared_.IdleBound);
    }
  }
}

bool TSerialThread::RunIteration(std::uint64_t workCount) {
  const bool searched = ServeSearch();
  if (terminate_) {
    return true;
  }
  switch (shared_.Store.State()) {
    case TState::Collect:
    case TState::Reading:
      RunReadPass();
      break;
    case TState::Writing:
      RunWritePass();
      break;
    default:
      return RunIdlePass(workCount) || searched;
  }
  RefreshDisplays();
  return true;
}

bool TSerialThread::ServeSearch() {
  TSearchResultEvent handler;
  {
    std::lock_guard<std::mutex> lock(searchMutex_);
    if (!searchPending_) {
      return false;
    }
    handler = searchHandler_;
  }
  // The search is over once its attempts are (see below), or when an error or a stop ends it
  // before: the next one on this port is then accepted.
  bool over = false;
  TScopeExit finish([this, &over] {
    if (!over) {
      std::lock_guard<std::mutex> lock(searchMutex_);
      searchHandler_ = {};
      searchPending_ = false;
    }
  });

  std::int16_t word = 0;
  int result = modbus::kMbusIllegalState;
  for (int attempt = 0; attempt < kSearchAttempts && !terminate_; ++attempt) {
    if (handler.Attempt) {
      shared_.Gui.Post([handler, attempt] {
        if (!handler.Bound || !handler.Receiver.isNull()) {
          handler.Attempt(attempt + 1, kSearchAttempts);
        }
      });
    }
    word = 0;
    {
      std::lock_guard<std::recursive_mutex> line(lineMutex_);
      result = protocol_.ReadHoldingRegisters(kSearchSlave, kDeviceTypeReference, &word, 1);
    }
    lastSearchResult_ = result;
    if (result == modbus::kMbusSuccess) {
      break;
    }
  }
  std::int32_t value = 0;
  std::int32_t found = 0;
  {
    std::lock_guard<std::mutex> lock(searchMutex_);
    if (result == modbus::kMbusSuccess) {
      searchValue_ = word;  // sign-extended: 0xFFFE is -2
      searchFound_ = 1;
    } else {
      searchValue_ = 0;
    }
    value = searchValue_;
    found = searchFound_;
    // Over before its result is delivered, so that whoever has the result may search again
    // at once, from the handler itself or as soon as it returns.
    searchHandler_ = {};
    searchPending_ = false;
    over = true;
  }
  if (terminate_ || !handler.Callback) {
    return true;
  }
  shared_.Gui.Call(
      [sender = this, handler, value, found] {
        if (handler.Bound && handler.Receiver.isNull()) {
          return;  // the requester has gone
        }
        handler.Callback(sender, value, found);
      },
      terminate_);
  return true;
}

bool TSerialThread::ServesDevices() const {
  return shared_.Devices.ContainsPort(commPort_);
}

void TSerialThread::RunReadPass() {
  if (shared_.Store.State() == TState::Collect && ServesDevices()) {
    if (!shared_.Gui.Call([this] { CollectOnGui(); }, terminate_)) {
      return;
    }
  }
  std::lock_guard<std::mutex> pass(shared_.Passes);
  if (!ServesDevices()) {
    return;
  }
  shared_.Store.SetProtocol(&protocol_);
  if (shared_.Store.State() == TState::Reading) {
    std::lock_guard<std::recursive_mutex> line(lineMutex_);
    shared_.Store.ReadPass();
  }
}

void TSerialThread::RunWritePass() {
  std::lock_guard<std::mutex> pass(shared_.Passes);
  if (!ServesDevices()) {
    return;
  }
  shared_.Store.SetProtocol(&protocol_);
  if (shared_.Store.State() != TState::Writing) {
    return;
  }
  // An error thrown here ends the write through the store's Abort, whose failed report
  // the window shows: one box for one failed write.
  std::lock_guard<std::recursive_mutex> line(lineMutex_);
  shared_.Store.WritePass();
}

bool TSerialThread::RunIdlePass(std::uint64_t workCount) {
  if (!ServesDevices() || PollSettled(workCount)) {
    return false;
  }
  QueueDisplaySteps(true);
  return true;
}

bool TSerialThread::PollSettled(std::uint64_t workCount) const {
  auto devices = shared_.Devices.Lock();
  for (const model::TDevice* device : shared_.Devices.OnPort(commPort_)) {
    if (!device->Settings->PollSettled(workCount)) {
      return false;
    }
  }
  return true;
}

void TSerialThread::RefreshDisplays() {
  if (!terminate_ && ServesDevices()) {
    QueueDisplaySteps(false);
  }
}

// The idle poll and the refresh move nothing on the line, so the worker hands them over
// queued instead of waiting for them: a blocking hand-over would hold up every block of a
// transfer. One idle hand-over polls a whole round of the settings. At most one is
// outstanding: while the last has not run, the worker skips the next. Calls run in order,
// so a step that follows (a collect before a read) still finds them done.
void TSerialThread::QueueDisplaySteps(bool poll) {
  if (displaySteps_->queued.exchange(true)) {
    return;
  }
  shared_.Gui.Post([this, steps = displaySteps_, poll] {
    steps->queued = false;
    if (steps->workerGone) {
      return;
    }
    try {
      if (poll) {
        PollOnGui();
      }
      RefreshOnGui();
    } catch (...) {
      // As every error of an idle pass: the poll goes on with the next setting.
    }
  });
}

void TSerialThread::EndTransfer(const std::string& text) {
  try {
    if (ServesDevices()) {
      shared_.Store.Abort(text);
    }
  } catch (...) {
    // A progress handler that fails again is not called a third time: the store is Idle.
  }
}

void TSerialThread::CollectOnGui() {
  {
    auto devices = shared_.Devices.Lock();
    if (shared_.Store.State() != TState::Collect) {
      return;
    }
    const auto attached = shared_.Devices.OnPort(commPort_);
    if (attached.empty()) {
      return;
    }
    for (model::TDevice* device : attached) {
      device->Settings->RegisterRegisters();
    }
    shared_.Store.StartRead();
  }
  if (shared_.ResetProgress) {
    shared_.ResetProgress();
  }
}

void TSerialThread::PollOnGui() {
  auto devices = shared_.Devices.Lock();
  for (model::TDevice* device : shared_.Devices.OnPort(commPort_)) {
    device->Settings->PollRound(device->Address, &protocol_);
  }
}

void TSerialThread::RefreshOnGui() {
  auto devices = shared_.Devices.Lock();
  for (model::TDevice* device : shared_.Devices.OnPort(commPort_)) {
    device->Settings->RefreshPolledSetting();
  }
}

}  // namespace comms
