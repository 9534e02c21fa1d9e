#include "modbus/SerialPort.h"

#include <cstdlib>

#include "modbus/PosixIo.h"

namespace modbus {

std::string ResolvePortName(const std::string& name, const PortNameLookup& lookup) {
  if (name.rfind("COM", 0) != 0 || name.size() == 3) {
    return name;
  }
  int number = 0;
  for (std::size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9' || number > 100000) {
      return name;
    }
    number = number * 10 + (name[i] - '0');
  }
  if (number < 1) {
    return name;
  }
  if (const char* env = std::getenv(("DRAVONIK_" + name).c_str()); env != nullptr && *env != 0) {
    return env;
  }
  if (lookup) {
    if (std::optional<std::string> configured = lookup(name); configured && !configured->empty()) {
      return *configured;
    }
  }
  return "/dev/ttyS" + std::to_string(number - 1);
}

SerialPort::~SerialPort() {
  Close();
}

int SerialPort::Open(const std::string& portName) {
  Close();
  devicePath_ =
      portName.empty() || portName[0] == '/' ? portName : ResolvePortName(portName, lookup_);
  const int fd = PosixOpenExclusive(devicePath_);
  if (fd < 0) {
    return -fd;
  }
  if (tcgetattr(fd, &savedSettings_) != 0) {
    PosixCloseExclusive(fd);
    return kPortSystemError;
  }
  fd_ = fd;
  PosixSetLowLatency(fd_, PosixTtyName(fd_));
  Purge();
  return Configure(9600, 8, 1, 0, 0);
}

int SerialPort::Configure(std::uint32_t baud, int dataBits, int stopBits, int parity,
                          int flowMode) {
  if (!IsOpen()) {
    return kPortNotOpen;
  }
  termios tio{};
  if (tcgetattr(fd_, &tio) != 0) {
    return kPortSystemError;
  }
  TDcb dcb;
  TermiosToDcb(tio, dcb);
  if (ApplyLineSettings(dcb, baud, dataBits, stopBits, parity, flowMode) != kPortSuccess ||
      !DcbToTermios(dcb, tio) || tcsetattr(fd_, TCSANOW, &tio) != 0) {
    return kPortBadSetting;
  }
  PosixSetModemLines(fd_, dcb);
  return kPortSuccess;
}

int SerialPort::Purge() {
  if (!IsOpen()) {
    return kPortNotOpen;
  }
  return tcflush(fd_, TCIOFLUSH) == 0 ? kPortSuccess : kPortSystemError;
}

int SerialPort::Flush() {
  if (!IsOpen()) {
    return kPortNotOpen;
  }
  return tcdrain(fd_) == 0 ? kPortSuccess : kPortSystemError;
}

int SerialPort::Write(const std::uint8_t* bytes, int n, int timeoutMs) {
  if (!IsOpen()) {
    return kPortNotOpen;
  }
  return PosixWriteAll(fd_, bytes, n, timeoutMs);
}

int SerialPort::Read(std::uint8_t* buffer, int n, int timeoutMs, int* got) {
  if (!IsOpen()) {
    return kPortNotOpen;
  }
  return PosixReadAll(fd_, buffer, n, timeoutMs, got);
}

void SerialPort::Close() {
  if (!IsOpen()) {
    return;
  }
  tcflush(fd_, TCIOFLUSH);
  tcsetattr(fd_, TCSANOW, &savedSettings_);
  PosixCloseExclusive(fd_);
  fd_ = -1;
}

}  // namespace modbus
