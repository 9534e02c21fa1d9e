#include "comms/SerialDevices.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

namespace comms {

namespace {

namespace fs = std::filesystem;

// "ttyUSB10" after "ttyUSB9": by prefix, then by number.
bool NumberOrder(const std::string& a, const std::string& b) {
  const auto split = [](const std::string& name) {
    std::size_t digits = name.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1])) != 0) {
      --digits;
    }
    const long number = digits < name.size() ? std::stol(name.substr(digits)) : -1;
    return std::make_pair(name.substr(0, digits), number);
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
        // The product string belongs to the USB device a few levels above the port.
        fs::path above = device;
        for (int level = 0; level < 4 && above.has_parent_path(); ++level) {
          std::ifstream product(above / "product");
          if (product && std::getline(product, info.product)) {
            break;
          }
          above = above.parent_path();
        }
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
