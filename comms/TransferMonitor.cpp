#include "comms/TransferMonitor.h"

#include <thread>
#include <utility>

#include "comms/GuiDispatcher.h"
#include "comms/Serialmanager.h"
#include "registers/Registerdatastore.h"

namespace comms {

TTransferMonitor::TTransferMonitor(registers::TRegisterDataStore& store, TSerialManager& manager,
                                   TOnReport onReport)
    : store_(store), manager_(manager), onReport_(std::move(onReport)) {}

void TTransferMonitor::NewConnection() {
  ++connection_;
  writing_ = false;
}

void TTransferMonitor::StartWrite() {
  writing_ = true;
  store_.StartWrite();
}

void TTransferMonitor::Report(const void* sender, const std::string& text, bool failed,
                              std::int32_t count) {
  TTransferReport report;
  report.fromStore = sender == &store_;
  report.text = text;
  report.failed = failed;
  report.count = count;
  report.complete = store_.IsComplete();
  report.hasFailed = store_.HasFailed();
  report.connection = connection_.load();
  // A write ends at the store's closing report (the device has taken the marker) or at its
  // failure.
  const bool writeOver = report.hasFailed || (report.fromStore && text.empty() && report.complete);
  if (writeOver && writing_.exchange(false) && failed && report.hasFailed) {
    report.reopened = ReopenLinkWithRetries();
  }
  if (manager_.Gui().OnGuiThread()) {
    onReport_(report);
  } else {
    manager_.Gui().Post([this, report] { onReport_(report); });
  }
}

bool TTransferMonitor::ReopenLinkWithRetries() {
  for (int attempt = 1; attempt <= kReopenAttempts; ++attempt) {
    if (manager_.ReopenLink()) {
      return true;
    }
    std::this_thread::sleep_for(kReopenPause);
  }
  return false;
}

}  // namespace comms
