#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "tests/support/TempDir.h"

struct _modbus;
struct _modbus_mapping_t;

// An independent Modbus RTU slave for tests: libmodbus on one end of a socat pseudo-terminal
// pair, served by a thread. Masters open MasterPath().
class LibmodbusSlave {
 public:
  static constexpr int kSize = 4000;

  explicit LibmodbusSlave(int address = 1);
  ~LibmodbusSlave();
  LibmodbusSlave(const LibmodbusSlave&) = delete;
  LibmodbusSlave& operator=(const LibmodbusSlave&) = delete;

  bool Ready() const { return ready_; }
  const std::string& MasterPath() const { return masterPath_; }

  // Registers and coils by 1-based reference up to kSize.
  void SetRegister(int reference, std::uint16_t value);
  std::uint16_t Register(int reference);
  void SetCoil(int reference, bool on);
  bool Coil(int reference);
  int RequestCount() const { return requests_; }

 private:
  void Serve();

  testsupport::TTempDir folder_;
  std::string masterPath_;
  std::string slavePath_;
  pid_t socat_ = -1;
  _modbus* ctx_ = nullptr;
  _modbus_mapping_t* mapping_ = nullptr;
  std::mutex mutex_;
  std::atomic<bool> stop_{false};
  std::atomic<int> requests_{0};
  bool ready_ = false;
  std::thread thread_;
};
