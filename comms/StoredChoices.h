#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "registers/Registerdatastore.h"

namespace comms {

// The user's link choices as the serial manager reads them each time it opens a link. The
// program keeps them in its settings store (TRegistryChoices); the command-line tool passes
// its own and never touches that store. Called on the GUI thread and, when a link is
// reopened, on that link's worker thread.
class TStoredChoices {
 public:
  virtual ~TStoredChoices() = default;

  virtual registers::TConnectionType ConnectionType() = 0;
  // The name the serial line of a comm port is opened by: "COM" + the number, resolved by the
  // serial port (see ResolvePortName), or a device path used as it is.
  virtual std::string PortName(std::int32_t commPort);
  // The device file chosen for a port name such as "COM3"; nullopt when none is chosen.
  virtual std::optional<std::string> PortDevice(const std::string& portName) = 0;

  // What the link of a comm port opens, as a user names it: the device file of a serial
  // line ("/dev/ttyUSB0"), or "USB converter".
  std::string LinkDevice(std::int32_t commPort);
};

// Choices fixed when the object is made, for the command-line tool and tests: one connection
// type, and optionally one device path for every comm port.
class TFixedChoices : public TStoredChoices {
 public:
  explicit TFixedChoices(registers::TConnectionType connectionType, std::string devicePath = {})
      : connectionType_(connectionType), devicePath_(std::move(devicePath)) {}

  registers::TConnectionType ConnectionType() override { return connectionType_; }
  std::string PortName(std::int32_t commPort) override;
  std::optional<std::string> PortDevice(const std::string&) override { return std::nullopt; }

 private:
  registers::TConnectionType connectionType_;
  std::string devicePath_;
};

}  // namespace comms
