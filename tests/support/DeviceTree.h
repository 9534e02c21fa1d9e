#pragma once

#include <filesystem>
#include <string>

#include "tests/support/TempDir.h"

namespace testsupport {

// A /dev and a sysfs tree of the test's own, empty to begin with: while the object lives,
// DRAVONIK_DEV_ROOT and DRAVONIK_SYSFS_ROOT point to them, so the program sees no serial
// device and no converter but those the test puts there.
class TDeviceTree {
 public:
  TDeviceTree();
  ~TDeviceTree();
  TDeviceTree(const TDeviceTree&) = delete;
  TDeviceTree& operator=(const TDeviceTree&) = delete;

  std::filesystem::path Dev() const { return folder_.Path() / "dev"; }
  std::filesystem::path Sys() const { return folder_.Path() / "sys"; }
  // The folder that holds both.
  const std::filesystem::path& Root() const { return folder_.Path(); }

  // A device node /dev/NAME: a plain file, which is all a list of the nodes needs; its path.
  std::string AddNode(const std::string& name) const;
  // A USB serial port as the kernel shows it in sysfs: class/tty/TTY/device leads to the
  // port of USB device USB ("1-1") under devices/usb1, with a latency timer of 16 ms, bound
  // to DRIVER ("ftdi_sio"); the USB device's product string is PRODUCT. No device node.
  void AddUsbSerial(const std::string& tty, const std::string& usb, const std::string& driver,
                    const std::string& product) const;

 private:
  TTempDir folder_;
};

}  // namespace testsupport
