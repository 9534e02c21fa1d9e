#pragma once

#include <cstdint>
#include <string>

#include "modbus/Ftd2xx.h"
#include "modbus/LineSettings.h"

namespace modbus {

// The FTDI converter as a port with the operations of SerialPort, over the D2XX calls.
// Returns the same port-level status codes (PortStatus).
class TFTDIPort {
 public:
  explicit TFTDIPort(TFtd2xx& driver) : driver_(driver) {}
  TFTDIPort(const TFTDIPort&) = delete;
  TFTDIPort& operator=(const TFTDIPort&) = delete;
  virtual ~TFTDIPort();

  // Closes an open handle first, then opens the first converter with this description:
  // 4355 if there is none, 4356 if it is in use, 4354 otherwise. Saves the line settings,
  // purges and configures 9600 8N1 without flow control.
  int Open(const std::string& description);
  int Configure(std::uint32_t baud, int dataBits, int stopBits, int parity, int flowMode);
  int Purge();
  // The driver's own buffer purge; its result means nothing to the caller.
  void PurgeDriver();
  int Write(const std::uint8_t* bytes, int n, int timeoutMs);
  // got, when given, receives how many bytes arrived.
  int Read(std::uint8_t* buffer, int n, int timeoutMs, int* got = nullptr);
  // Number of converters attached, -1 if the listing fails.
  int DeviceCount();
  // Description of converter 0; false if the query fails.
  bool FirstDeviceDescription(std::string& description);
  void Close();
  bool IsOpen() const { return handle_ != TFtd2xx::kInvalidHandle; }

 private:
  int SetTimeouts(const TCommTimeouts& timeouts);

  TFtd2xx& driver_;
  TFtd2xx::Handle handle_ = TFtd2xx::kInvalidHandle;
  TDcb savedSettings_;
};

}  // namespace modbus
