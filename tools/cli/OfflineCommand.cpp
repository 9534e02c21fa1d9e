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

// The simulator's options for a device of this type holding its factory defaults: the
// device type id in holding register 28, then every register and coil of the image.
void PrintPreset(model::TDevice& device, std::ostream& out) {
  model::OpenOffline(*device.Settings);
  const TRegisterDataStore& store = device.Settings->Store();
  out << "--set 28=" << static_cast<std::uint16_t>(device.DeviceId);
  for (std::int32_t reference = 1; reference <= TRegisterDataStore::kMaxReference; ++reference) {
    if (reference != 28 && store.IsHoldingRegisterRegistered(reference)) {
      std::int16_t value = 0;
      store.GetHoldingRegisters(reference, &value, 1);
      out << " --set " << reference << '=' << static_cast<std::uint16_t>(value);
    }
    if (store.IsCoilRegistered(reference) && store.GetCoil(reference)) {
      out << " --set-coil " << reference << "=1";
    }
  }
  out << '\n';
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
      if (command.kind == TCliCommand::Kind::kPreset) {
        PrintPreset(device, out);
      } else {
        WriteDocument(device, command);
      }
    }
    out.flush();
    return 0;
  } catch (const std::exception& error) {
    err << "error: " << error.what() << '\n';
    return 1;
  }
}
