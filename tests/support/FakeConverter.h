#pragma once

#include <string>

#include "tests/support/DeviceTree.h"

namespace testsupport {

// An FTDI converter called "Dravonik" (or another product string) as the kernel's ftdi_sio
// driver shows it in sysfs, in a device tree of its own (TDeviceTree) while the object lives.
// Its device node /dev/ttyUSB0 is a link to a terminal (a simulator's).
class TFakeConverter {
 public:
  explicit TFakeConverter(const std::string& terminal, const std::string& product = "Dravonik");
  TFakeConverter(const TFakeConverter&) = delete;
  TFakeConverter& operator=(const TFakeConverter&) = delete;

  // The converter is unplugged: its device node goes.
  void Unplug();
  // Its device node, as the program names it.
  std::string Node() const;

 private:
  TDeviceTree tree_;
};

}  // namespace testsupport
