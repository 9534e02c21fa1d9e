#pragma once

#include <cstdint>

struct termios;

namespace modbus {

// Port-level status codes of SerialPort and TFTDIPort. The protocol classes turn them into
// result codes.
enum PortStatus : int {
  kPortSuccess = 0,
  kPortBadSetting = 4353,   // unsupported line setting, or refused by the port
  kPortSystemError = 4354,  // a system call failed
  kPortNotFound = 4355,     // the port does not exist
  kPortInUse = 4356,        // access denied: the port is in use
  kPortNotOpen = 4357,
  kPortTimeout = 4358,  // fewer bytes transferred than requested before the time-out
  // Linux only: the user may not open the device (not in the dialout group). The serial
  // protocol reports it as 74 rather than as a generic open error.
  kPortNoPermission = 4359,
};

// The Win32 line settings (DCB) as the D2XX calls exchange them, reduced to the fields the
// system sets.
struct TDcb {
  std::uint32_t BaudRate = 9600;
  bool fBinary = true;
  bool fParity = false;
  bool fOutxCtsFlow = false;
  bool fOutxDsrFlow = false;
  std::uint8_t fDtrControl = 0;  // 0 disable, 1 enable, 2 handshake
  bool fDsrSensitivity = false;
  bool fOutX = false;
  bool fInX = false;
  bool fErrorChar = false;
  bool fNull = false;
  std::uint8_t fRtsControl = 0;  // 0 disable, 1 enable, 2 handshake
  bool fAbortOnError = false;
  std::uint8_t ByteSize = 8;
  std::uint8_t Parity = 0;    // 0 none, 1 odd, 2 even
  std::uint8_t StopBits = 0;  // 0 one stop bit, 2 two stop bits
};

inline constexpr std::uint8_t kDtrControlEnable = 1;
inline constexpr std::uint8_t kRtsControlHandshake = 2;
inline constexpr std::uint8_t kOneStopBit = 0;
inline constexpr std::uint8_t kTwoStopBits = 2;

// Win32 COMMTIMEOUTS, in milliseconds.
struct TCommTimeouts {
  std::uint32_t ReadIntervalTimeout = 0;
  std::uint32_t ReadTotalTimeoutMultiplier = 0;
  std::uint32_t ReadTotalTimeoutConstant = 0;
  std::uint32_t WriteTotalTimeoutMultiplier = 0;
  std::uint32_t WriteTotalTimeoutConstant = 0;
};

// Line settings of Configure(baud, data bits, stop bits, parity, flow mode) applied to dcb:
// data bits 7 or 8, stop bits 1 or 2, parity 0 none, 1 odd, 2 even, flow mode 0 none or
// 1 RTS/CTS. 4353 for any other value, dcb unchanged.
int ApplyLineSettings(TDcb& dcb, std::uint32_t baud, int dataBits, int stopBits, int parity,
                      int flowMode);

// True for a baud rate the system can set (50 to 921600, the standard rates).
bool IsSupportedBaud(std::uint32_t baud);

// Maps dcb onto a raw termios; false for a baud rate the system cannot set.
bool DcbToTermios(const TDcb& dcb, termios& tio);

// Reads the line settings of a terminal into dcb (fields without a termios meaning kept).
void TermiosToDcb(const termios& tio, TDcb& dcb);

}  // namespace modbus
