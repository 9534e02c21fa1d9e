#include "modbus/Ftdiport.h"

namespace modbus {

TFTDIPort::~TFTDIPort() {
  Close();
}

int TFTDIPort::Open(const std::string& description) {
  Close();
  const TFtd2xx::Handle handle =
      driver_.W32_CreateFile(description.c_str(), TFtd2xx::kGenericReadWrite, 0, nullptr,
                             TFtd2xx::kOpenExisting, TFtd2xx::kOpenByDescription, nullptr);
  if (handle == TFtd2xx::kInvalidHandle) {
    switch (driver_.W32_GetLastError(handle)) {
      case TFtd2xx::kErrorFileNotFound:
        return kPortNotFound;
      case TFtd2xx::kErrorAccessDenied:
        return kPortInUse;
      default:
        return kPortSystemError;
    }
  }
  handle_ = handle;
  if (!driver_.W32_GetCommState(handle_, &savedSettings_)) {
    driver_.W32_CloseHandle(handle_);
    handle_ = TFtd2xx::kInvalidHandle;
    return kPortSystemError;
  }
  Purge();
  return Configure(9600, 8, 1, 0, 0);
}

int TFTDIPort::Configure(std::uint32_t baud, int dataBits, int stopBits, int parity, int flowMode) {
  if (!IsOpen()) {
    return kPortNotOpen;
  }
  TDcb dcb;
  if (!driver_.W32_GetCommState(handle_, &dcb)) {
    return kPortSystemError;
  }
  if (ApplyLineSettings(dcb, baud, dataBits, stopBits, parity, flowMode) != kPortSuccess ||
      !driver_.W32_SetCommState(handle_, &dcb)) {
    return kPortBadSetting;
  }
  return kPortSuccess;
}

int TFTDIPort::Purge() {
  if (!IsOpen()) {
    return kPortNotOpen;
  }
  return driver_.W32_PurgeComm(handle_, TFtd2xx::kPurgeTxClear | TFtd2xx::kPurgeRxClear)
             ? kPortSuccess
             : kPortSystemError;
}

void TFTDIPort::PurgeDriver() {
  if (IsOpen()) {
    driver_.Purge(handle_, TFtd2xx::kPurgeRx | TFtd2xx::kPurgeTx);
  }
}

int TFTDIPort::SetTimeouts(const TCommTimeouts& timeouts) {
  return driver_.W32_SetCommTimeouts(handle_, &timeouts) ? kPortSuccess : kPortSystemError;
}

int TFTDIPort::Write(const std::uint8_t* bytes, int n, int timeoutMs) {
  if (!IsOpen()) {
    return kPortNotOpen;
  }
  TCommTimeouts timeouts;
  timeouts.WriteTotalTimeoutConstant = static_cast<std::uint32_t>(timeoutMs);
  if (const int status = SetTimeouts(timeouts); status != kPortSuccess) {
    return status;
  }
  std::uint32_t written = 0;
  if (!driver_.W32_WriteFile(handle_, bytes, static_cast<std::uint32_t>(n), &written, nullptr)) {
    return kPortSystemError;
  }
  return written < static_cast<std::uint32_t>(n) ? kPortTimeout : kPortSuccess;
}

int TFTDIPort::Read(std::uint8_t* buffer, int n, int timeoutMs, int* got) {
  if (!IsOpen()) {
    return kPortNotOpen;
  }
  TCommTimeouts timeouts;
  timeouts.ReadTotalTimeoutConstant = static_cast<std::uint32_t>(timeoutMs);
  if (const int status = SetTimeouts(timeouts); status != kPortSuccess) {
    return status;
  }
  std::uint32_t received = 0;
  if (!driver_.W32_ReadFile(handle_, buffer, static_cast<std::uint32_t>(n), &received, nullptr)) {
    return kPortSystemError;
  }
  if (got != nullptr) {
    *got = static_cast<int>(received);
  }
  return received < static_cast<std::uint32_t>(n) ? kPortTimeout : kPortSuccess;
}

int TFTDIPort::DeviceCount() {
  std::uint32_t count = 0;
  if (driver_.ListDevices(&count, nullptr, TFtd2xx::kListNumberOnly) != TFtd2xx::kOk) {
    return -1;
  }
  return static_cast<int>(count);
}

bool TFTDIPort::FirstDeviceDescription(std::string& description) {
  char buffer[TFtd2xx::kDescriptionSize] = {};
  // Device index 0 travels as a null pointer.
  if (driver_.ListDevices(nullptr, buffer, TFtd2xx::kListByIndex | TFtd2xx::kOpenByDescription) !=
      TFtd2xx::kOk) {
    return false;
  }
  buffer[TFtd2xx::kDescriptionSize - 1] = 0;
  description = buffer;
  return true;
}

void TFTDIPort::Close() {
  if (!IsOpen()) {
    return;
  }
  Purge();
  driver_.W32_SetCommState(handle_, &savedSettings_);
  driver_.W32_CloseHandle(handle_);
  handle_ = TFtd2xx::kInvalidHandle;
}

}  // namespace modbus
