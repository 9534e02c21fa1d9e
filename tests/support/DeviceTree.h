#pragma once

#include <filesystem>

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

 private:
  TTempDir folder_;
};

}  // namespace testsupport
