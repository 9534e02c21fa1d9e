#pragma once

#include <deque>
#include <string>
#include <vector>

#include "modbus/Ftd2xx.h"

// A scripted D2XX driver for what a fake device tree cannot show. Knobs:
// - listFails: ListDevices fails (as when the driver is not installed);
// - devices: descriptions of the attached converters;
// - createError: W32_GetLastError after a failed open (2 not found, 5 in use);
// - refusedBaud: W32_SetCommState refuses settings with this baud rate;
// - reads: what successive W32_ReadFile calls return (bytes, fewer than asked = time-out);
// calls records every call by name, in order.
class FakeFtd2xx : public modbus::TFtd2xx {
 public:
  bool listFails = false;
  std::vector<std::string> devices;
  std::uint32_t createError = kErrorFileNotFound;
  std::uint32_t refusedBaud = 0;
  std::deque<std::vector<std::uint8_t>> reads;
  std::vector<std::string> calls;
  std::vector<std::vector<std::uint8_t>> written;
  modbus::TDcb dcb;

  std::uint32_t ListDevices(void* arg1, void* arg2, std::uint32_t flags) override {
    calls.push_back("ListDevices");
    if (listFails) {
      return kOtherError;
    }
    if ((flags & kListNumberOnly) != 0) {
      *static_cast<std::uint32_t*>(arg1) = static_cast<std::uint32_t>(devices.size());
      return kOk;
    }
    if (arg1 != nullptr || devices.empty()) {
      return kDeviceNotFound;
    }
    devices[0].copy(static_cast<char*>(arg2), kDescriptionSize - 1);
    return kOk;
  }
  Handle W32_CreateFile(const char* name, std::uint32_t, std::uint32_t, void*, std::uint32_t,
                        std::uint32_t, void*) override {
    calls.push_back(std::string("CreateFile ") + name);
    for (const std::string& device : devices) {
      if (device == name && createError == 0) {
        return 7;
      }
    }
    return kInvalidHandle;
  }
  std::uint32_t W32_GetLastError(Handle) override { return createError; }
  bool W32_GetCommState(Handle, modbus::TDcb* out) override {
    *out = dcb;
    return true;
  }
  bool W32_SetCommState(Handle, const modbus::TDcb* in) override {
    calls.push_back("SetCommState");
    if (in->BaudRate == refusedBaud) {
      return false;
    }
    dcb = *in;
    return true;
  }
  bool W32_PurgeComm(Handle, std::uint32_t) override {
    calls.push_back("PurgeComm");
    return true;
  }
  bool W32_SetCommTimeouts(Handle, const modbus::TCommTimeouts*) override { return true; }
  bool W32_ReadFile(Handle, void* buffer, std::uint32_t count, std::uint32_t* got, void*) override {
    calls.push_back("ReadFile " + std::to_string(count));
    *got = 0;
    if (reads.empty()) {
      return true;
    }
    std::vector<std::uint8_t> bytes = reads.front();
    reads.pop_front();
    *got = static_cast<std::uint32_t>(std::min<std::size_t>(bytes.size(), count));
    std::copy(bytes.begin(), bytes.begin() + *got, static_cast<std::uint8_t*>(buffer));
    return true;
  }
  bool W32_WriteFile(Handle, const void* buffer, std::uint32_t count, std::uint32_t* put,
                     void*) override {
    calls.push_back("WriteFile");
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    written.emplace_back(bytes, bytes + count);
    *put = count;
    return true;
  }
  bool W32_CloseHandle(Handle) override {
    calls.push_back("CloseHandle");
    return true;
  }
  std::uint32_t Purge(Handle, std::uint32_t) override {
    calls.push_back("Purge");
    return kOk;
  }
};
