#pragma once

#include <map>
#include <string>
#include <vector>

#include "modbus/Ftd2xx.h"

namespace modbus {

// The D2XX calls over the kernel's ftdi_sio driver. A converter is a ttyUSB* whose driver
// is ftdi_sio; its description is the USB device's product string. Opening sets the
// converter to low latency: the default 16 ms latency timer would dominate every short
// reply.
//
// DRAVONIK_SYSFS_ROOT (default /sys) and DRAVONIK_DEV_ROOT (default /dev) move the trees
// it looks at, so that tests can build a converter whose device node is a pseudo-terminal.
class TFtd2xxLinux : public TFtd2xx {
 public:
  struct Converter {
    std::string tty;          // "ttyUSB0"
    std::string description;  // the USB product string
  };

  // The product string of the USB device a few levels above a port's sysfs device (the
  // usb-serial port of ftdi_sio, the interface of cdc_acm); empty when there is none.
  static std::string UsbProductOf(const std::string& portDevice);

  // ftdi_sio converters, in ttyUSB number order.
  static std::vector<Converter> ListConverters();

  std::uint32_t ListDevices(void* arg1, void* arg2, std::uint32_t flags) override;
  Handle W32_CreateFile(const char* name, std::uint32_t access, std::uint32_t share, void* security,
                        std::uint32_t creation, std::uint32_t flags, void* templateFile) override;
  std::uint32_t W32_GetLastError(Handle handle) override;
  bool W32_GetCommState(Handle handle, TDcb* dcb) override;
  bool W32_SetCommState(Handle handle, const TDcb* dcb) override;
  bool W32_PurgeComm(Handle handle, std::uint32_t flags) override;
  bool W32_SetCommTimeouts(Handle handle, const TCommTimeouts* timeouts) override;
  bool W32_ReadFile(Handle handle, void* buffer, std::uint32_t count, std::uint32_t* bytesRead,
                    void* overlapped) override;
  bool W32_WriteFile(Handle handle, const void* buffer, std::uint32_t count,
                     std::uint32_t* bytesWritten, void* overlapped) override;
  bool W32_CloseHandle(Handle handle) override;
  std::uint32_t Purge(Handle handle, std::uint32_t mask) override;

 private:
  std::uint32_t lastError_ = 0;
  std::map<Handle, TCommTimeouts> timeouts_;
};

}  // namespace modbus
