#include "comms/StoredChoices.h"

#include "modbus/SerialPort.h"

namespace comms {

std::string TStoredChoices::PortName(std::int32_t commPort) {
  return "COM" + std::to_string(commPort);
}

std::string TStoredChoices::LinkDevice(std::int32_t commPort) {
  if (ConnectionType() == registers::TConnectionType::Usb) {
    return "USB converter";
  }
  return modbus::ResolvePortName(PortName(commPort),
                                 [this](const std::string& name) { return PortDevice(name); });
}

std::string TFixedChoices::PortName(std::int32_t commPort) {
  return devicePath_.empty() ? TStoredChoices::PortName(commPort) : devicePath_;
}

}  // namespace comms
