#include "tools/cli/OfflineCommand.h"
#include "tools/cli/CheckCommand.h"
#include "tools/cli/SettingTexts.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "app/Version.h"
#include "model/Devices.h"
#include "model/OfflineEdit.h"
#include "model/Settings.h"
#include "model/SettingsReport.h"
#include "model/Xmlutil.h"
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
    out << i << '\t' << device.DeviceId << '\t' << Printable(device.Name) << '\n';
  }
}

// The simulator's options for a device of this type holding its factory defaults: the
// device type id in holding register 28, then every register and coil of the image.
void PrintPreset(model::TDevice& device, std::ostream& out) {
  model::OpenOffline(*device.Settings);
  const registers::TRegisterDataStore& store = device.Settings->Store();
  out << "--set 28=" << static_cast<std::uint16_t>(device.DeviceId);
  for (std::int32_t reference = 1; reference <= registers::TRegisterDataStore::kMaxReference;
       ++reference) {
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

// Every setting of the document after the file was loaded over the factory defaults.
std::vector<TShownSetting> LoadedSettings(model::TSettings& document, const std::string& file,
                                          std::ostream& err) {
  model::OpenOffline(document);
  WarnOutsideLimits(document.LoadFromFile(file), err);
  return ::ShownSettings(document);
}

// The device type both files name; a usage error when they name different ones.
model::TDevice& DeviceOfFiles(const model::TDevices& devices,
                              const std::vector<std::string>& files) {
  const std::int32_t ids[2] = {model::SettingsFileDeviceId(files[0]),
                               model::SettingsFileDeviceId(files[1])};
  if (ids[0] != ids[1]) {
    throw std::runtime_error("the files are for different device types (device ids " +
                             std::to_string(ids[0]) + " and " + std::to_string(ids[1]) +
                             "): give --device or --device-id");
  }
  return devices.FindDevice(ids[0]);
}

// 0 when the files hold the same values, 1 when some differ. Values that show alike but are
// stored differently (a drop-down value none of its entries has shows as the first entry)
// are listed with what each file stores.
int DiffFiles(model::TDevice& device, const std::vector<std::string>& files, std::ostream& out,
              std::ostream& err) {
  const std::vector<TShownSetting> a = LoadedSettings(*device.Settings, files[0], err);
  const std::vector<TShownSetting> b = LoadedSettings(*device.Settings, files[1], err);
  int status = 0;
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
    if (a[i].value != b[i].value) {
      out << a[i].name << ": " << a[i].value << " -> " << b[i].value << '\n';
      status = 1;
    } else if (a[i].stored != b[i].stored) {
      out << a[i].name << ": " << a[i].value << " (stored " << a[i].stored << ") -> " << b[i].value
          << " (stored " << b[i].stored << ")\n";
      status = 1;
    }
  }
  return status;
}

void WriteDocument(model::TDevice& device, const TCliCommand& command, std::ostream& err) {
  model::TSettings& document = *device.Settings;
  model::OpenOffline(document);
  if (command.kind == TCliCommand::Kind::kConvert) {
    WarnOutsideLimits(document.LoadFromFile(command.inPath), err);
  } else if (command.kind == TCliCommand::Kind::kReport) {
    WarnOutsideLimits(document.LoadFromFile(command.files[0]), err);
    model::SaveReport(document, ReportHeading(device, "offline edit"), command.outPath);
    return;
  }
  if (command.table) {
    model::ExportTable(document, command.outPath);
  } else if (IsCsvPath(command.outPath)) {
    document.ExportCsv(command.outPath);
  } else {
    document.SaveToFile(command.outPath);
  }
}

}  // namespace

model::TDevice& DeviceOfFile(const model::TDevices& devices, const std::string& file) {
  return devices.FindDevice(model::SettingsFileDeviceId(file));
}

model::TReportHeading ReportHeading(const model::TDevice& device, const std::string& connection) {
  return {device.Name, device.DeviceId, model::ReportTimeNow(),
          std::string("dravonik-cli ") + kProgramVersion, connection};
}

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
  if (command.kind == TCliCommand::Kind::kCheck) {
    return RunCheckCommand(command, defaultDevicesPath, out, err);
  }
  // A failing diff exits 2, so that 1 can mean "the files differ".
  const int failure = command.kind == TCliCommand::Kind::kDiff ? 2 : 1;
  try {
    registers::TModbusHandler handler;
    registers::TRegisterDataStore store(handler);
    model::TDevices devices(store);
    // A definitions file that fails partway is reported, never used as a shorter list.
    devices.LoadFromFile(command.devicesPath.empty() ? defaultDevicesPath : command.devicesPath);
    if (command.kind == TCliCommand::Kind::kDevices) {
      ListDevices(devices, out);
    } else if (command.kind == TCliCommand::Kind::kDiff) {
      model::TDevice& device = command.deviceName ? FindDeviceByName(devices, *command.deviceName)
                               : command.deviceId ? devices.FindDevice(*command.deviceId)
                                                  : DeviceOfFiles(devices, command.files);
      const int status = DiffFiles(device, command.files, out, err);
      out.flush();
      return status;
    } else {
      model::TDevice& device = command.deviceName ? FindDeviceByName(devices, *command.deviceName)
                               : command.deviceId ? devices.FindDevice(*command.deviceId)
                                                  : DeviceOfFile(devices, command.files[0]);
      if (command.kind == TCliCommand::Kind::kPreset) {
        PrintPreset(device, out);
      } else {
        WriteDocument(device, command, err);
      }
    }
    out.flush();
    return 0;
  } catch (const std::exception& error) {
    err << "error: " << PrintableMessage(error.what()) << '\n';
    return failure;
  }
}
