#include "modbus/LineSettings.h"

#include <termios.h>

namespace modbus {

namespace {

struct BaudEntry {
  std::uint32_t baud;
  speed_t speed;
};

constexpr BaudEntry kBauds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

}  // namespace

bool IsSupportedBaud(std::uint32_t baud) {
  for (const BaudEntry& entry : kBauds) {
    if (entry.baud == baud) {
      return true;
    }
  }
  return false;
}

int ApplyLineSettings(TDcb& dcb, std::uint32_t baud, int dataBits, int stopBits, int parity,
                      int flowMode) {
  if ((dataBits != 7 && dataBits != 8) || (stopBits != 1 && stopBits != 2) || parity < 0 ||
      parity > 2 || (flowMode != 0 && flowMode != 1)) {
    return kPortBadSetting;
  }
  dcb.BaudRate = baud;
  dcb.ByteSize = static_cast<std::uint8_t>(dataBits);
  dcb.StopBits = stopBits == 1 ? kOneStopBit : kTwoStopBits;
  dcb.Parity = static_cast<std::uint8_t>(parity);
  dcb.fParity = parity != 0;
  dcb.fOutxCtsFlow = flowMode == 1;
  dcb.fOutxDsrFlow = false;
  dcb.fDtrControl = kDtrControlEnable;
  dcb.fRtsControl = flowMode == 1 ? kRtsControlHandshake : 0;
  dcb.fOutX = false;
  dcb.fInX = false;
  dcb.fBinary = true;
  dcb.fDsrSensitivity = false;
  dcb.fErrorChar = false;
  dcb.fNull = false;
  dcb.fAbortOnError = false;
  return kPortSuccess;
}

bool DcbToTermios(const TDcb& dcb, termios& tio) {
  if (!IsSupportedBaud(dcb.BaudRate)) {
    return false;
  }
  speed_t speed = 0;
  for (const BaudEntry& entry : kBauds) {
    if (entry.baud == dcb.BaudRate) {
      speed = entry.speed;
    }
  }
  cfmakeraw(&tio);
  tio.c_cflag |= CREAD | CLOCAL;
  tio.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS);
  tio.c_cflag |= dcb.ByteSize == 7 ? CS7 : CS8;
  if (dcb.StopBits == kTwoStopBits) {
    tio.c_cflag |= CSTOPB;
  }
  if (dcb.Parity != 0) {
    tio.c_cflag |= PARENB;
    if (dcb.Parity == 1) {
      tio.c_cflag |= PARODD;
    }
  }
  if (dcb.fParity) {
    tio.c_iflag |= INPCK;
  }
  if (dcb.fOutxCtsFlow || dcb.fRtsControl == kRtsControlHandshake) {
    tio.c_cflag |= CRTSCTS;
  }
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  // Reads are driven by poll deadlines; a read never blocks in the driver.
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  cfsetispeed(&tio, speed);
  cfsetospeed(&tio, speed);
  return true;
}

void TermiosToDcb(const termios& tio, TDcb& dcb) {
  const speed_t speed = cfgetospeed(&tio);
  for (const BaudEntry& entry : kBauds) {
    if (entry.speed == speed) {
      dcb.BaudRate = entry.baud;
    }
  }
  dcb.ByteSize = (tio.c_cflag & CSIZE) == CS7 ? 7 : 8;
  dcb.StopBits = (tio.c_cflag & CSTOPB) != 0 ? kTwoStopBits : kOneStopBit;
  dcb.Parity = (tio.c_cflag & PARENB) == 0 ? 0 : ((tio.c_cflag & PARODD) != 0 ? 1 : 2);
  dcb.fParity = (tio.c_iflag & INPCK) != 0;
  dcb.fOutxCtsFlow = (tio.c_cflag & CRTSCTS) != 0;
  dcb.fOutX = (tio.c_iflag & IXON) != 0;
  dcb.fInX = (tio.c_iflag & IXOFF) != 0;
}

}  // namespace modbus
