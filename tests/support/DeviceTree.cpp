#include "tests/support/DeviceTree.h"

#include <cstdlib>

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

}  // namespace testsupport
