#pragma once

#include <cstdint>
#include <string>

#include "modbus/MbusMasterFunctions.h"
#include "modbus/SerialPort.h"

namespace modbus {

// A Modbus master on a serial line: owns the SerialPort and opens it. The framing of one
// try comes from the derived class.
class MbusSerialMasterProtocol : public MbusMasterFunctions {
 public:
  static constexpr int kParityNone = 0;

  MbusSerialMasterProtocol() = default;
  ~MbusSerialMasterProtocol() override;

  bool IsOpen() const override { return port_.IsOpen(); }
  void Close() override { port_.Close(); }

  // Opens portName ("COM<n>" or a device path, see ResolvePortName). 2 if already open;
  // 1 for data bits other than 7 or 8 or a line setting the port refuses; 67 if another
  // process holds the port; 74 without permission to open it; 66 for any other failure.
  virtual int Open(const std::string& portName, std::uint32_t baud, int dataBits, int stopBits,
                   int parity);
  // 8 data bits, 1 stop bit, no parity.
  int Open(const std::string& portName, std::uint32_t baud);

  // The settings-store step of "COM<n>" resolution (see ResolvePortName).
  void SetPortNameLookup(PortNameLookup lookup) { port_.SetNameLookup(std::move(lookup)); }

  // The device file the last Open resolved the port name to.
  const std::string& DevicePath() const { return port_.DevicePath(); }

 protected:
  SerialPort& Port() { return port_; }

 private:
  SerialPort port_;
};

}  // namespace modbus
