#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// A dravonik-sim process on a pseudo-terminal for one test, with its dump file in a temporary
// folder; stopped and cleaned up at destruction.
class TSimDevice {
 public:
  explicit TSimDevice(std::vector<std::string> options);
  ~TSimDevice();
  TSimDevice(const TSimDevice&) = delete;
  TSimDevice& operator=(const TSimDevice&) = delete;

  // The device path a master opens; empty if the simulator did not start.
  const std::string& Path() const { return path_; }
  // Lines "h REF VALUE" and "c REF 1" of every non-zero register and coil.
  std::string DumpText() const;

 private:
  std::string folder_;
  std::string path_;
  pid_t pid_ = -1;
};
