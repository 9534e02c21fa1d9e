#include "comms/SerialDevices.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string_view>
#include <tuple>

#include "comms/Serialthread.h"
#include "modbus/Ftd2xxLinux.h"
#include "modbus/MbusMasterFunctions.h"
#include "modbus/Mbusrtuoverusbmasterprotocol.h"
#include "modbus/PosixIo.h"

namespace comms {

namespace {

namespace fs = std::filesystem;

// "ttyUSB10" after "ttyUSB9": by prefix, then by number, compared as digits (a name from /dev
// may end in more of them than any integer holds), then by the name itself.
bool NumberOrder(const std::string& a, const std::string& b) {
  const auto split = [](const std::string& name) {
    std::size_t digits = name.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1])) != 0) {
      --digits;
    }
    std::string_view number(name);
    number.remove_prefix(std::min(name.find_first_not_of('0', digits), name.size()));
    return std::make_tuple(std::string_view(name).substr(0, digits), digits < name.size(),
                           number.size(), number, std::string_view(name));
  };
  return split(a) < split(b);
}

std::vector<std::string> Entries(const fs::path& folder, const std::string& prefix) {
  std::vector<std::string> found;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) == 0 && name.size() > prefix.size()) {
      found.push_back(name);
    }
  }
  std::sort(found.begin(), found.end(), NumberOrder);
  return found;
}

bool IsUsbConverter(const TSerialDeviceInfo& device) {
  return modbus::PosixIsUsbSerialName(fs::path(device.path).filename().string());
}

bool IsOurDescription(const std::string& product) {
  for (const char* description : modbus::MbusRtuOverUSBMasterProtocol::kDescriptions) {
    if (product == description) {
      return true;
    }
  }
  return false;
}

std::string NoPermission(const TPortAccess& access) {
  return access.group.empty() ? "no permission"
                              : "no permission (join the group '" + access.group + "')";
}

// "/dev/ttyUSB0 (FT232R USB UART)", or with the driver's name when there is no product
// string.
std::string Named(const TSerialDeviceInfo& device) {
  const std::string& what = device.product.empty() ? device.driver : device.product;
  return what.empty() ? device.path : device.path + " (" + what + ")";
}

}  // namespace

std::vector<std::string> PresentSerialDevices(const std::string& devRoot) {
  std::vector<std::string> devices;
  const fs::path root(devRoot);
  for (const std::string& name : Entries(root / "serial" / "by-id", "")) {
    devices.push_back((root / "serial" / "by-id" / name).string());
  }
  for (const char* prefix : {"ttyUSB", "ttyACM", "ttyS"}) {
    for (const std::string& name : Entries(root, prefix)) {
      devices.push_back((root / name).string());
    }
  }
  return devices;
}

std::vector<TSerialDeviceInfo> DescribeSerialDevices(const std::string& devRoot,
                                                     const std::string& sysfsRoot) {
  const fs::path dev(devRoot);
  std::vector<TSerialDeviceInfo> found;
  for (const char* prefix : {"ttyUSB", "ttyACM", "ttyS"}) {
    for (const std::string& name : Entries(dev, prefix)) {
      TSerialDeviceInfo info;
      info.path = (dev / name).string();
      info.access = PortAccess(info.path);
      std::error_code error;
      const fs::path device =
          fs::canonical(fs::path(sysfsRoot) / "class/tty" / name / "device", error);
      if (!error) {
        info.driver = fs::read_symlink(device / "driver", error).filename().string();
        info.product = modbus::TFtd2xxLinux::UsbProductOf(device.string());
      }
      found.push_back(info);
    }
  }
  // The stable names: links under serial/by-id to the nodes above.
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(dev / "serial" / "by-id", error)) {
    std::error_code broken;
    const fs::path target = fs::canonical(entry.path(), broken);
    for (TSerialDeviceInfo& info : found) {
      if (!broken && fs::equivalent(target, info.path, broken)) {
        info.byId = entry.path().string();
      }
    }
  }
  return found;
}

std::vector<TSerialDeviceInfo> DescribeSerialDevices() {
  return DescribeSerialDevices(modbus::PosixDevRoot(), modbus::PosixSysfsRoot());
}

std::string SerialOpenFailure(const std::string& devicePath, int result) {
  const TPortAccess access = PortAccess(devicePath);
  if (result == modbus::kMbusPortAlreadyOpen) {
    return devicePath + ": in use by another program";
  }
  if (result == modbus::kMbusNoPermission) {
    return devicePath + ": " + NoPermission(access);
  }
  if (!access.exists) {
    return devicePath + ": not present";
  }
  if (result == modbus::kMbusOpenError) {
    return devicePath + ": cannot be opened as a serial port";
  }
  if (result == modbus::kMbusIllegalArgument) {
    return devicePath + ": refuses the line settings";
  }
  return devicePath + ": " + modbus::ResultText(result);
}

std::string UsbOpenFailure() {
  // The converters as the USB link sees them.
  for (const modbus::TFtd2xxLinux::Converter& converter : modbus::TFtd2xxLinux::ListConverters()) {
    if (IsOurDescription(converter.description)) {
      // The link refuses a converter it lists only when its node has gone, this user may
      // not open it, or another program holds it.
      const std::string path = (fs::path(modbus::PosixDevRoot()) / converter.tty).string();
      const TPortAccess access = PortAccess(path);
      const std::string reason = !access.exists      ? "not present"
                                 : !access.permitted ? NoPermission(access)
                                                     : "in use by another program";
      return path + " (" + converter.description + "): " + reason;
    }
  }
  std::string text = "no USB converter called ";
  const std::size_t descriptions = std::size(modbus::MbusRtuOverUSBMasterProtocol::kDescriptions);
  for (std::size_t i = 0; i < descriptions; ++i) {
    text += std::string(i == 0                  ? ""
                        : i + 1 == descriptions ? " or "
                                                : ", ") +
            "\"" + modbus::MbusRtuOverUSBMasterProtocol::kDescriptions[i] + "\"";
  }
  text += " is present; ";
  std::string converters;
  int count = 0;
  for (const TSerialDeviceInfo& device : DescribeSerialDevices()) {
    if (IsUsbConverter(device)) {
      converters += (count++ == 0 ? "" : ", ") + Named(device);
    }
  }
  if (count == 0) {
    return text + "no other serial converter is present either: check the cable";
  }
  return text + "serial converters present: " + converters + ". Choose Serial (RS232) and " +
         (count == 1 ? "that device file" : "one of these device files");
}

std::string SearchFailure(const std::string& devicePath, int lastResult) {
  const std::string slave = "slave " + std::to_string(TSerialThread::kSearchSlave);
  const std::string attempts = std::to_string(TSerialThread::kSearchAttempts) + " attempts";
  if (lastResult == modbus::kMbusSuccess) {
    return devicePath + ": " + slave + " reports device type 0";
  }
  if (lastResult == modbus::kMbusReplyTimeout) {
    return devicePath + ": no answer from " + slave + " within " + attempts;
  }
  return devicePath + ": " + slave + " did not report its device type within " + attempts +
         " (last: " + modbus::ResultText(lastResult) + ")";
}

TPortAccess PortAccess(const std::string& devicePath) {
  TPortAccess access;
  struct stat status {};
  if (stat(devicePath.c_str(), &status) != 0) {
    return access;
  }
  access.exists = true;
  access.permitted = ::access(devicePath.c_str(), R_OK | W_OK) == 0;
  if (const group* owner = getgrgid(status.st_gid)) {
    access.group = owner->gr_name;
  }
  return access;
}

}  // namespace comms
