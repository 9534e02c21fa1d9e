#include "tests/modbus/LibmodbusSlave.h"

#include <fcntl.h>
#include <modbus.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/SimProcess.h"

namespace fs = std::filesystem;

namespace {

// Waits until socat has made both links to its pseudo-terminals, at most five seconds.
bool AwaitLinks(int watch, const std::string& a, const std::string& b) {
  constexpr int kStartBoundMs = 5000;
  while (!(fs::exists(a) && fs::exists(b))) {
    pollfd created{watch, POLLIN, 0};
    if (poll(&created, 1, kStartBoundMs) != 1) {
      return false;
    }
    char events[4096];
    [[maybe_unused]] const ssize_t ignored = read(watch, events, sizeof events);
  }
  return true;
}

}  // namespace

LibmodbusSlave::LibmodbusSlave(int address)
    : masterPath_(folder_.File("master")), slavePath_(folder_.File("slave")) {
  const int watch = inotify_init1(IN_CLOEXEC);
  if (watch < 0) {
    return;
  }
  if (inotify_add_watch(watch, folder_.Path().c_str(), IN_CREATE) >= 0) {
    const int quiet = open("/dev/null", O_WRONLY | O_CLOEXEC);
    socat_ = testsupport::StartHelper(
        "socat", {"pty,raw,echo=0,link=" + slavePath_, "pty,raw,echo=0,link=" + masterPath_}, quiet,
        quiet);
    close(quiet);
  }
  const bool linked = socat_ > 0 && AwaitLinks(watch, slavePath_, masterPath_);
  close(watch);
  if (!linked) {
    return;
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
    testsupport::StopHelper(socat_);
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
