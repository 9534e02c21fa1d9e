#include "tests/support/FakeConverter.h"

#include <filesystem>

namespace testsupport {

namespace fs = std::filesystem;

TFakeConverter::TFakeConverter(const std::string& terminal, const std::string& product) {
  tree_.AddUsbSerial("ttyUSB0", "1-1", "ftdi_sio", product);
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
