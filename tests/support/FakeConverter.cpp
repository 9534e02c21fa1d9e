#include "tests/support/FakeConverter.h"

#include <filesystem>
#include <fstream>

namespace testsupport {

namespace fs = std::filesystem;

TFakeConverter::TFakeConverter(const std::string& terminal, const std::string& product) {
  const fs::path sys = tree_.Sys();
  const fs::path usb = sys / "devices/usb1/1-1";
  const fs::path port = usb / "1-1:1.0/ttyUSB0";
  fs::create_directories(port);
  fs::create_directories(sys / "bus/usb-serial/drivers/ftdi_sio");
  fs::create_directories(sys / "class/tty/ttyUSB0");
  std::ofstream(usb / "product") << product << '\n';
  std::ofstream(port / "latency_timer") << "16\n";
  fs::create_symlink(sys / "bus/usb-serial/drivers/ftdi_sio", port / "driver");
  fs::create_symlink(port, sys / "class/tty/ttyUSB0/device");
  fs::create_symlink(fs::canonical(terminal), tree_.Dev() / "ttyUSB0");
}

std::string TFakeConverter::Node() const {
  return (tree_.Dev() / "ttyUSB0").string();
}

void TFakeConverter::Unplug() {
  std::error_code ignored;
  fs::remove(tree_.Dev() / "ttyUSB0", ignored);
  fs::remove_all(tree_.Sys() / "class/tty/ttyUSB0", ignored);
}

}  // namespace testsupport
