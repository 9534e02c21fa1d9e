#pragma once

#include <termios.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "modbus/LineSettings.h"

namespace modbus {

// Looks up the device file configured for a name such as "COM3" in the settings store;
// nullopt when none is configured. Supplied by the layer that owns the settings store.
using PortNameLookup = std::function<std::optional<std::string>(const std::string& name)>;

// Device file of a port name. A name beginning with "/" is used as it is. "COM<n>" (n >= 1)
// is looked up, in this order, in the environment variable DRAVONIK_COM<n>, through lookup
// (when given), then taken as /dev/ttyS<n-1>. Any other name is returned unchanged.
std::string ResolvePortName(const std::string& name, const PortNameLookup& lookup = {});

// A serial port on POSIX termios. Every operation returns a port-level status (PortStatus).
// The port is opened exclusively (TIOCEXCL and a non-blocking flock); its line settings are
// saved at opening and restored at closing.
class SerialPort {
 public:
  SerialPort() = default;
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;
  ~SerialPort();

  // Resolves portName (see ResolvePortName) with the lookup set here.
  void SetNameLookup(PortNameLookup lookup) { lookup_ = std::move(lookup); }

  // Closes an open port first. 4355 if the device does not exist, 4356 if another
  // process holds it, 4359 without permission, 4354 on any other failure (also for a file
  // that is not a terminal). A USB serial port is set to low latency (PosixSetLowLatency).
  // Then purges and configures 9600 8N1 without flow control.
  int Open(const std::string& portName);
  int Configure(std::uint32_t baud, int dataBits, int stopBits, int parity, int flowMode);
  int Purge();
  // Waits until the output has been sent.
  int Flush();
  // Waits until n bytes have been written or timeoutMs has passed since the call (4358).
  int Write(const std::uint8_t* bytes, int n, int timeoutMs);
  // Waits until n bytes have arrived or timeoutMs has passed since the call (4358); got, when
  // given, receives how many did.
  int Read(std::uint8_t* buffer, int n, int timeoutMs, int* got = nullptr);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // The device file of the last Open.
  const std::string& DevicePath() const { return devicePath_; }

 private:
  int fd_ = -1;
  termios savedSettings_{};
  PortNameLookup lookup_;
  std::string devicePath_;
};

}  // namespace modbus
