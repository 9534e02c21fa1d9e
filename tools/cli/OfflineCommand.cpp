#include "tools/cli/OfflineCommand.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <stdexcept>
#include <string_view>

#include "model/Devices.h"
#include "model/OfflineEdit.h"
#include "model/Settings.h"
#include "registers/Registerdatastore.h"

namespace {

model::TDevice& FindDeviceByName(const model::TDevices& devices, const std::string& name) {
  for (int i = 0; i < devices.Count(); ++i) {
    model::TDevice& device = devices.GetDevice(i);
    if (device.Name == name) {
      return device;
    }
  }
  throw std::runtime_error("Could not find device with name '" + name +
                           "' in the XML device definitions list");
}

void ListDevices(const model::TDevices& devices, std::ostream& out) {
  for (int i = 0; i < devices.Count(); ++i) {
    const model::TDevice& device = devices.GetDevice(i);
    out << i << '\t' << device.DeviceId << '\t' << device.Name << '\n';
  }
}

void WriteDocument(model::TDevice& device, const TCliCommand& command) {
  model::TSettings& document = *device.Settings;
  model::OpenOffline(document);
  if (command.kind == TCliCommand::Kind::kConvert) {
    document.LoadFromFile(command.inPath);
  }
  if (IsCsvPath(command.outPath)) {
    document.ExportCsv(command.outPath);
  } else {
    document.SaveToFile(command.outPath);
  }
}

}  // namespace

bool IsCsvPath(const std::string& path) {
  static constexpr std::string_view kCsv = ".csv";
  if (path.size() < kCsv.size()) {
    return false;
  }
  return std::equal(kCsv.begin(), kCsv.end(), path.end() - static_cast<long>(kCsv.size()),
                    [](char wanted, char actual) {
                      return wanted == std::tolower(static_cast<unsigned char>(actual));
                    });
}

int RunOfflineCommand(const TCliCommand& command, const std::string& defaultDevicesPath,
                      std::ostream& out, std::ostream& err) {
  try {
    TModbusHandler handler;
    TRegisterDataStore store(handler);
    model::TDevices devices(store);
    // A definitions file that fails partway is reported, never used as a shorter list.
    devices.LoadFromFile(command.devicesPath.empty() ? defaultDevicesPath : command.devicesPath);
    if (command.kind == TCliCommand::Kind::kDevices) {
      ListDevices(devices, out);
    } else {
      model::TDevice& device = command.deviceName ? FindDeviceByName(devices, *command.deviceName)
                                                  : devices.FindDevice(*command.deviceId);
      WriteDocument(device, command);
    }
    out.flush();
    return 0;
  } catch (const std::exception& error) {
    err << "error: " << error.what() << '\n';
    return 1;
  }
}
