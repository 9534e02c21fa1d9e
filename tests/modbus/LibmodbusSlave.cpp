#include "tests/modbus/LibmodbusSlave.h"

#include <modbus.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

namespace fs = std::filesystem;

LibmodbusSlave::LibmodbusSlave(int address) {
  std::string pattern = (fs::temp_directory_path() / "dravonik-peer-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    return;
  }
  folder_ = pattern;
  masterPath_ = folder_ + "/master";
  slavePath_ = folder_ + "/slave";
  const std::string a = "pty,raw,echo=0,link=" + slavePath_;
  const std::string b = "pty,raw,echo=0,link=" + masterPath_;
  socat_ = fork();
  if (socat_ == 0) {
    execlp("socat", "socat", a.c_str(), b.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!(fs::exists(slavePath_) && fs::exists(masterPath_)) &&
         std::chrono::steady_clock::now() < deadline) {
    usleep(10000);
  }
  ctx_ = modbus_new_rtu(slavePath_.c_str(), 57600, 'N', 8, 1);
  mapping_ = modbus_mapping_new(kSize, 0, kSize, 0);
  if (ctx_ == nullptr || mapping_ == nullptr || modbus_set_slave(ctx_, address) != 0 ||
      modbus_connect(ctx_) != 0) {
    return;
  }
  // Wakes the serving thread regularly so that it sees the stop request.
  modbus_set_indication_timeout(ctx_, 0, 50000);
  ready_ = true;
  thread_ = std::thread([this] { Serve(); });
}

LibmodbusSlave::~LibmodbusSlave() {
  stop_ = true;
  if (thread_.joinable()) {
    thread_.join();
  }
  if (ctx_ != nullptr) {
    modbus_close(ctx_);
    modbus_free(ctx_);
  }
  if (mapping_ != nullptr) {
    modbus_mapping_free(mapping_);
  }
  if (socat_ > 0) {
    kill(socat_, SIGTERM);
    waitpid(socat_, nullptr, 0);
  }
  if (!folder_.empty()) {
    std::error_code error;
    fs::remove_all(folder_, error);
  }
}

void LibmodbusSlave::Serve() {
  std::uint8_t request[MODBUS_RTU_MAX_ADU_LENGTH];
  while (!stop_) {
    const int length = modbus_receive(ctx_, request);
    if (length > 0) {
      std::lock_guard<std::mutex> lock(mutex_);
      ++requests_;
      modbus_reply(ctx_, request, length, mapping_);
    }
  }
}

void LibmodbusSlave::SetRegister(int reference, std::uint16_t value) {
  std::lock_guard<std::mutex> lock(mutex_);
  mapping_->tab_registers[reference - 1] = value;
}

std::uint16_t LibmodbusSlave::Register(int reference) {
  std::lock_guard<std::mutex> lock(mutex_);
  return mapping_->tab_registers[reference - 1];
}

void LibmodbusSlave::SetCoil(int reference, bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  mapping_->tab_bits[reference - 1] = on ? 1 : 0;
}

bool LibmodbusSlave::Coil(int reference) {
  std::lock_guard<std::mutex> lock(mutex_);
  return mapping_->tab_bits[reference - 1] != 0;
}
