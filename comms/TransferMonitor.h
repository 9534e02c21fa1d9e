#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace registers {
class TRegisterDataStore;
}  // namespace registers

namespace comms {

class TSerialManager;

// One progress report of a transfer, with the store's state as it was when the report was
// raised.
struct TTransferReport {
  std::string text;
  bool failed = false;
  std::int32_t count = 0;
  bool complete = false;
  bool hasFailed = false;
  // After a failed write: whether the link could be reopened.
  bool reopened = false;
  // The store's report of a whole transfer, not a setting's of its own.
  bool fromStore = false;
  // The connection the report was raised for (see NewConnection).
  std::uint64_t connection = 0;
};

// Takes the progress reports of the register store (raised on the serial worker, inside a
// pass) and of the settings (raised on the GUI thread), and hands each to the window on the
// GUI thread, in order, with the store's state taken when it was raised.
//
// After a failed block of a write the link is reopened before the report is handed on: on
// the worker that raised it, while none of its requests is on the line, up to three times
// with a pause of a second after each attempt that fails. The window then tells the user to
// write again, or that the link is gone.
//
// Threads: Report runs on whichever thread raised the report; every other call, and the
// window's callback, on the GUI thread. The two flags it shares with the worker are atomic.
class TTransferMonitor {
 public:
  using TOnReport = std::function<void(const TTransferReport&)>;

  static constexpr int kReopenAttempts = 3;
  static constexpr std::chrono::milliseconds kReopenPause{1000};

  TTransferMonitor(registers::TRegisterDataStore& store, TSerialManager& manager,
                   TOnReport onReport);
  TTransferMonitor(const TTransferMonitor&) = delete;
  TTransferMonitor& operator=(const TTransferMonitor&) = delete;

  // A device was attached or released: reports raised before are dropped when they arrive.
  void NewConnection();
  std::uint64_t Connection() const { return connection_.load(); }
  // Starts a write of the registered registers.
  void StartWrite();
  // The store's progress event and the settings' own.
  void Report(const void* sender, const std::string& text, bool failed, std::int32_t count);

 private:
  bool ReopenLinkWithRetries();

  registers::TRegisterDataStore& store_;
  TSerialManager& manager_;
  TOnReport onReport_;
  std::atomic<std::uint64_t> connection_{0};
  // From StartWrite until the write's closing report or its failure.
  std::atomic<bool> writing_{false};
};

}  // namespace comms
