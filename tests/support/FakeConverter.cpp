#include "tests/support/FakeConverter.h"

#include <cstdlib>
#include <filesystem>

namespace testsupport {

namespace fs = std::filesystem;

TFakeConverter::TFakeConverter(const std::string& terminal, const std::string& product) {
  const fs::path root = tree_.Path();
  const fs::path usb = root / "sys/devices/usb1/1-1";
  const fs::path port = usb / "1-1:1.0/ttyUSB0";
  fs::create_directories(port);
  fs::create_directories(root / "sys/bus/usb-serial/drivers/ftdi_sio");
  fs::create_directories(root / "sys/class/tty/ttyUSB0");
  fs::create_directories(root / "dev");
  tree_.Write("sys/devices/usb1/1-1/product", product + "\n");
  tree_.Write("sys/devices/usb1/1-1/1-1:1.0/ttyUSB0/latency_timer", "16\n");
  fs::create_symlink(root / "sys/bus/usb-serial/drivers/ftdi_sio", port / "driver");
  fs::create_symlink(port, root / "sys/class/tty/ttyUSB0/device");
  fs::create_symlink(fs::canonical(terminal), root / "dev/ttyUSB0");
  setenv("DRAVONIK_SYSFS_ROOT", (root / "sys").c_str(), 1);
  setenv("DRAVONIK_DEV_ROOT", (root / "dev").c_str(), 1);
}

TFakeConverter::~TFakeConverter() {
  unsetenv("DRAVONIK_SYSFS_ROOT");
  unsetenv("DRAVONIK_DEV_ROOT");
}

std::string TFakeConverter::Node() const {
  return (tree_.Path() / "dev/ttyUSB0").string();
}

void TFakeConverter::Unplug() {
  std::error_code ignored;
  fs::remove(tree_.Path() / "dev/ttyUSB0", ignored);
  fs::remove_all(tree_.Path() / "sys/class/tty/ttyUSB0", ignored);
}

}  // namespace testsupport
