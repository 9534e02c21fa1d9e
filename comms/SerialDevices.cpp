#include "comms/SerialDevices.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

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
