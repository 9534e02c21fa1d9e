#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "comms/Serialmanager.h"
#include "comms/StoredChoices.h"
#include "model/Devices.h"
#include "registers/Registerdatastore.h"
#include "tests/support/RecordingMessageBoxes.h"
#include "tests/support/TempDir.h"

namespace comms {

using TState = registers::TRegisterDataStore::TState;

struct TProgressReport {
  std::string text;
  bool failed = false;
  std::int32_t count = 0;
  bool operator==(const TProgressReport&) const = default;
};

// Choices held in memory: one connection type and a device path per comm port.
class TTestChoices : public TStoredChoices {
 public:
  registers::TConnectionType ConnectionType() override { return connectionType; }
  std::optional<std::string> PortDevice(const std::string& portName) override;

  registers::TConnectionType connectionType = registers::TConnectionType::Serial;
  std::map<std::string, std::string> ports;  // "COM1" -> device path
};

// The bundled device definitions with a register store of their own, the user's settings
// store in a temporary folder, recorded message boxes and a recorder of the store's progress
// reports (called on the worker thread, as the main window's handler is).
class CommsFixture : public testing::Test {
 protected:
  // Long enough for any transfer of the tests under the thread sanitizer on two busy
  // cores; reached only when something hangs.
  static constexpr int kHangBoundMs = 60000;

  CommsFixture();

  // Serves the workers' GUI-thread calls until done() holds; false if it did not within the
  // hang bound.
  static bool WaitFor(const std::function<bool()>& done, int boundMs = kHangBoundMs);

  // Attaches the device online on the port as the main window's connect does.
  void ConnectOnline(TSerialManager& manager, model::TDevice& device, std::int32_t port);
  // Connects and waits for the read to end; true when it completed.
  bool ConnectAndRead(TSerialManager& manager, model::TDevice& device, std::int32_t port);
  // Starts a write and waits for its end; true when it completed (closing report seen).
  bool WriteAll();

  void RecordProgress();
  // What to do, on the worker thread, after each report is recorded.
  void SetOnReport(std::function<void(const TProgressReport&)> onReport);
  std::vector<TProgressReport> Reports();
  std::vector<std::string> Texts();

  // The registered holding registers and coils of the store, by reference.
  std::map<std::int32_t, std::int16_t> HoldingImage() const;
  std::map<std::int32_t, bool> CoilImage() const;

  testsupport::TConfigHome config_;
  testsupport::TRecordingMessageBoxes boxes_;
  TTestChoices choices_;
  registers::TModbusHandler handler_;
  registers::TRegisterDataStore store_;
  model::TDevices devices_;
  std::mutex reportsMutex_;
  std::vector<TProgressReport> reports_;
  // Called on the worker thread after each report is recorded; guarded by reportsMutex_.
  std::function<void(const TProgressReport&)> onReport_;
};

// The bundled definitions file.
std::string BundledDevices();

}  // namespace comms
