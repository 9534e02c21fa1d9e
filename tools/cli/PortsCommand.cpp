#include "tools/cli/PortsCommand.h"
#include "tools/cli/SettingTexts.h"

#include <filesystem>
#include <string>

#include "comms/Registry.h"
#include "comms/SerialDevices.h"
#include "comms/Serialmanager.h"
#include "modbus/SerialPort.h"

namespace {

std::string OrDash(const std::string& text) {
  return text.empty() ? "-" : text;
}

// The Comm numbers whose port name opens this device, as the program resolves them.
std::string CommPortsOf(const std::string& path) {
  std::string ports;
  for (int n = 1; n <= 20; ++n) {
    const std::string opened = modbus::ResolvePortName(
        "COM" + std::to_string(n),
        [](const std::string& name) { return comms::ReadPortDevice(name); });
    std::error_code error;
    if (opened == path || std::filesystem::equivalent(opened, path, error)) {
      ports += (ports.empty() ? "Comm " : ", Comm ") + std::to_string(n);
    }
  }
  return OrDash(ports);
}

}  // namespace

int RunPortsCommand(std::ostream& out) {
  const auto devices = comms::DescribeSerialDevices();
  for (const comms::TSerialDeviceInfo& device : devices) {
    std::string access = "may open";
    if (!device.access.permitted) {
      access = "no permission (group " + OrDash(device.access.group) + ")";
    }
    out << Printable(device.path) << "  by-id " << Printable(OrDash(device.byId)) << "  driver "
        << Printable(OrDash(device.driver)) << "  product " << Printable(OrDash(device.product))
        << "  " << access << "  " << CommPortsOf(device.path) << '\n';
  }
  if (devices.empty()) {
    out << "No serial device found.\n";
  }
  return 0;
}
