#pragma once

#include <cstdint>

#include "modbus/LineSettings.h"

namespace modbus {

// The calls of the FTDI D2XX driver library that the USB link uses, in their Win32-style
// form. TFtd2xxLinux implements them over the kernel's ftdi_sio driver; tests substitute a
// scripted driver.
class TFtd2xx {
 public:
  using Handle = std::intptr_t;
  static constexpr Handle kInvalidHandle = -1;

  // ListDevices flags.
  static constexpr std::uint32_t kListNumberOnly = 0x80000000;
  static constexpr std::uint32_t kListByIndex = 0x40000000;
  static constexpr std::uint32_t kOpenByDescription = 2;
  static constexpr int kDescriptionSize = 64;

  // W32_CreateFile arguments the system passes.
  static constexpr std::uint32_t kGenericReadWrite = 0xC0000000;
  static constexpr std::uint32_t kOpenExisting = 3;

  // W32_GetLastError values.
  static constexpr std::uint32_t kErrorFileNotFound = 2;
  static constexpr std::uint32_t kErrorAccessDenied = 5;
  static constexpr std::uint32_t kErrorGenFailure = 31;

  // W32_PurgeComm and Purge masks.
  static constexpr std::uint32_t kPurgeTxClear = 4;
  static constexpr std::uint32_t kPurgeRxClear = 8;
  static constexpr std::uint32_t kPurgeRx = 1;
  static constexpr std::uint32_t kPurgeTx = 2;

  static constexpr std::uint32_t kOk = 0;
  static constexpr std::uint32_t kDeviceNotFound = 2;
  static constexpr std::uint32_t kOtherError = 18;

  virtual ~TFtd2xx() = default;

  // With kListNumberOnly: arg1 points to a 32-bit count. With kListByIndex |
  // kOpenByDescription: arg1 is the device index cast to a pointer, arg2 a 64-byte buffer
  // for its description. 0 on success.
  virtual std::uint32_t ListDevices(void* arg1, void* arg2, std::uint32_t flags) = 0;
  // Opens the first device whose description is name (flags kOpenByDescription);
  // kInvalidHandle on failure, with the reason in W32_GetLastError.
  virtual Handle W32_CreateFile(const char* name, std::uint32_t access, std::uint32_t share,
                                void* security, std::uint32_t creation, std::uint32_t flags,
                                void* templateFile) = 0;
  virtual std::uint32_t W32_GetLastError(Handle handle) = 0;
  // The Win32-style calls below return true on success.
  virtual bool W32_GetCommState(Handle handle, TDcb* dcb) = 0;
  virtual bool W32_SetCommState(Handle handle, const TDcb* dcb) = 0;
  virtual bool W32_PurgeComm(Handle handle, std::uint32_t flags) = 0;
  virtual bool W32_SetCommTimeouts(Handle handle, const TCommTimeouts* timeouts) = 0;
  // Waits as the time-outs set last say; returns true with fewer bytes on a time-out.
  virtual bool W32_ReadFile(Handle handle, void* buffer, std::uint32_t count,
                            std::uint32_t* bytesRead, void* overlapped) = 0;
  virtual bool W32_WriteFile(Handle handle, const void* buffer, std::uint32_t count,
                             std::uint32_t* bytesWritten, void* overlapped) = 0;
  virtual bool W32_CloseHandle(Handle handle) = 0;
  // Purges the driver's own buffers (kPurgeRx | kPurgeTx).
  virtual std::uint32_t Purge(Handle handle, std::uint32_t mask) = 0;
};

}  // namespace modbus
