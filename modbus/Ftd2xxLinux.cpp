#include "modbus/Ftd2xxLinux.h"

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "modbus/PosixIo.h"

namespace fs = std::filesystem;

namespace modbus {

namespace {

constexpr const char* kDriverName = "ftdi_sio";
constexpr const char* kTtyPrefix = "ttyUSB";
// How far above the usb-serial port device the USB device with the product string lies.
constexpr int kMaxProductLevels = 4;

int TtyNumber(const std::string& tty) {
  return std::atoi(tty.c_str() + std::strlen(kTtyPrefix));
}

bool IsFtdi(const fs::path& portDevice) {
  std::error_code error;
  const fs::path driver = fs::read_symlink(portDevice / "driver", error);
  return !error && driver.filename() == kDriverName;
}

int WaitMs(std::uint32_t multiplier, std::uint32_t constant, std::uint32_t count) {
  const long long total = static_cast<long long>(multiplier) * count + constant;
  // Total time-outs of 0 mean waiting until every byte has moved.
  if (total == 0) {
    return INT_MAX / 2;
  }
  return static_cast<int>(std::min<long long>(total, INT_MAX / 2));
}

}  // namespace

std::string TFtd2xxLinux::UsbProductOf(const std::string& portDevice) {
  fs::path device(portDevice);
  std::error_code error;
  for (int level = 0; level < kMaxProductLevels && device.has_parent_path(); ++level) {
    if (fs::exists(device / "product", error)) {
      return PosixReadAttribute((device / "product").string());
    }
    device = device.parent_path();
  }
  return {};
}

std::vector<TFtd2xxLinux::Converter> TFtd2xxLinux::ListConverters() {
  std::vector<Converter> converters;
  std::error_code error;
  for (const fs::directory_entry& entry :
       fs::directory_iterator(fs::path(PosixSysfsRoot()) / "class" / "tty", error)) {
    const std::string tty = entry.path().filename().string();
    if (tty.rfind(kTtyPrefix, 0) != 0) {
      continue;
    }
    const fs::path portDevice = fs::canonical(entry.path() / "device", error);
    if (error || !IsFtdi(portDevice)) {
      continue;
    }
    converters.push_back({tty, UsbProductOf(portDevice.string())});
  }
  std::sort(converters.begin(), converters.end(), [](const Converter& a, const Converter& b) {
    return TtyNumber(a.tty) < TtyNumber(b.tty);
  });
  return converters;
}

std::uint32_t TFtd2xxLinux::ListDevices(void* arg1, void* arg2, std::uint32_t flags) {
  std::error_code error;
  if (!fs::is_directory(fs::path(PosixSysfsRoot()) / "class" / "tty", error)) {
    return kOtherError;
  }
  const std::vector<Converter> converters = ListConverters();
  if ((flags & kListNumberOnly) != 0) {
    *static_cast<std::uint32_t*>(arg1) = static_cast<std::uint32_t>(converters.size());
    return kOk;
  }
  if ((flags & kListByIndex) != 0 && (flags & kOpenByDescription) != 0) {
    const auto index = static_cast<std::size_t>(reinterpret_cast<std::uintptr_t>(arg1));
    if (index >= converters.size()) {
      return kDeviceNotFound;
    }
    char* out = static_cast<char*>(arg2);
    std::strncpy(out, converters[index].description.c_str(), kDescriptionSize - 1);
    out[kDescriptionSize - 1] = 0;
    return kOk;
  }
  return kOtherError;
}

TFtd2xx::Handle TFtd2xxLinux::W32_CreateFile(const char* name, std::uint32_t, std::uint32_t, void*,
                                             std::uint32_t, std::uint32_t flags, void*) {
  lastError_ = kErrorFileNotFound;
  if ((flags & kOpenByDescription) == 0 || name == nullptr) {
    return kInvalidHandle;
  }
  for (const Converter& converter : ListConverters()) {
    if (converter.description != name) {
      continue;
    }
    const int fd = PosixOpenExclusive((fs::path(PosixDevRoot()) / converter.tty).string());
    if (fd < 0) {
      switch (-fd) {
        case kPortNotFound:
          lastError_ = kErrorFileNotFound;
          break;
        case kPortInUse:
        case kPortNoPermission:
          lastError_ = kErrorAccessDenied;
          break;
        default:
          lastError_ = kErrorGenFailure;
      }
      return kInvalidHandle;
    }
    PosixSetLowLatency(fd, converter.tty);
    lastError_ = 0;
    timeouts_[fd] = TCommTimeouts{};
    return fd;
  }
  return kInvalidHandle;
}

std::uint32_t TFtd2xxLinux::W32_GetLastError(Handle) {
  return lastError_;
}

bool TFtd2xxLinux::W32_GetCommState(Handle handle, TDcb* dcb) {
  termios tio{};
  if (tcgetattr(static_cast<int>(handle), &tio) != 0) {
    return false;
  }
  TermiosToDcb(tio, *dcb);
  return true;
}

bool TFtd2xxLinux::W32_SetCommState(Handle handle, const TDcb* dcb) {
  termios tio{};
  const int fd = static_cast<int>(handle);
  if (tcgetattr(fd, &tio) != 0 || !DcbToTermios(*dcb, tio) || tcsetattr(fd, TCSANOW, &tio) != 0) {
    return false;
  }
  PosixSetModemLines(fd, *dcb);
  return true;
}

bool TFtd2xxLinux::W32_PurgeComm(Handle handle, std::uint32_t flags) {
  const bool tx = (flags & kPurgeTxClear) != 0;
  const bool rx = (flags & kPurgeRxClear) != 0;
  if (!tx && !rx) {
    return true;
  }
  return tcflush(static_cast<int>(handle), tx && rx ? TCIOFLUSH : (tx ? TCOFLUSH : TCIFLUSH)) == 0;
}

bool TFtd2xxLinux::W32_SetCommTimeouts(Handle handle, const TCommTimeouts* timeouts) {
  auto it = timeouts_.find(handle);
  if (it == timeouts_.end()) {
    return false;
  }
  it->second = *timeouts;
  return true;
}

bool TFtd2xxLinux::W32_ReadFile(Handle handle, void* buffer, std::uint32_t count,
                                std::uint32_t* bytesRead, void*) {
  auto it = timeouts_.find(handle);
  if (it == timeouts_.end()) {
    return false;
  }
  const TCommTimeouts& t = it->second;
  int got = 0;
  const int status = PosixReadAll(
      static_cast<int>(handle), static_cast<std::uint8_t*>(buffer), static_cast<int>(count),
      WaitMs(t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant, count), &got);
  *bytesRead = static_cast<std::uint32_t>(got);
  return status != kPortSystemError;
}

bool TFtd2xxLinux::W32_WriteFile(Handle handle, const void* buffer, std::uint32_t count,
                                 std::uint32_t* bytesWritten, void*) {
  auto it = timeouts_.find(handle);
  if (it == timeouts_.end()) {
    return false;
  }
  const TCommTimeouts& t = it->second;
  int put = 0;
  const int status = PosixWriteAll(
      static_cast<int>(handle), static_cast<const std::uint8_t*>(buffer), static_cast<int>(count),
      WaitMs(t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant, count), &put);
  *bytesWritten = static_cast<std::uint32_t>(put);
  return status != kPortSystemError;
}

bool TFtd2xxLinux::W32_CloseHandle(Handle handle) {
  if (timeouts_.erase(handle) == 0) {
    return false;
  }
  PosixCloseExclusive(static_cast<int>(handle));
  return true;
}

std::uint32_t TFtd2xxLinux::Purge(Handle handle, std::uint32_t mask) {
  const bool rx = (mask & kPurgeRx) != 0;
  const bool tx = (mask & kPurgeTx) != 0;
  if (!rx && !tx) {
    return kOk;
  }
  return tcflush(static_cast<int>(handle), rx && tx ? TCIOFLUSH : (rx ? TCIFLUSH : TCOFLUSH)) == 0
             ? kOk
             : kOtherError;
}

}  // namespace modbus
