#include "tests/support/DeviceTree.h"

#include <cstdlib>
#include <fstream>

namespace testsupport {

TDeviceTree::TDeviceTree() {
  std::filesystem::create_directories(Dev());
  std::filesystem::create_directories(Sys());
  setenv("DRAVONIK_DEV_ROOT", Dev().c_str(), 1);
  setenv("DRAVONIK_SYSFS_ROOT", Sys().c_str(), 1);
}

TDeviceTree::~TDeviceTree() {
  unsetenv("DRAVONIK_DEV_ROOT");
  unsetenv("DRAVONIK_SYSFS_ROOT");
}

std::string TDeviceTree::AddNode(const std::string& name) const {
  std::ofstream(Dev() / name).put('\0');
  return (Dev() / name).string();
}

void TDeviceTree::AddUsbSerial(const std::string& tty, const std::string& usb,
                               const std::string& driver, const std::string& product) const {
  namespace fs = std::filesystem;
  const fs::path device = Sys() / "devices/usb1" / usb;
  const fs::path port = device / (usb + ":1.0") / tty;
  const fs::path bound = Sys() / "bus/usb-serial/drivers" / driver;
  fs::create_directories(port);
  fs::create_directories(bound);
  fs::create_directories(Sys() / "class/tty" / tty);
  std::ofstream(device / "product") << product << '\n';
  std::ofstream(port / "latency_timer") << "16\n";
  fs::create_symlink(bound, port / "driver");
  fs::create_symlink(port, Sys() / "class/tty" / tty / "device");
}

}  // namespace testsupport
