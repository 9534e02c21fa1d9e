#pragma once

#include <cstdint>
#include <string>

#include "modbus/LineSettings.h"

namespace modbus {

// Terminal I/O shared by SerialPort and the Linux D2XX layer. Descriptors are non-blocking;
// the time-outs are deadlines counted from the call.

// Opens a terminal device for reading and writing, exclusively (TIOCEXCL and a
// non-blocking flock). Returns the descriptor, or minus a port status: -4355 not found,
// -4356 held elsewhere, -4359 no permission, -4354 otherwise.
int PosixOpenExclusive(const std::string& path);
void PosixCloseExclusive(int fd);

// DTR and RTS as the line settings ask; a terminal without modem lines (a pseudo-terminal)
// is not an error.
void PosixSetModemLines(int fd, const TDcb& dcb);

// The root of the sysfs tree: DRAVONIK_SYSFS_ROOT when set (tests build a tree there), else
// /sys.
std::string PosixSysfsRoot();
// The root of the device nodes: DRAVONIK_DEV_ROOT when set, else /dev.
std::string PosixDevRoot();

// The first line of a sysfs attribute, without its line end and trailing blanks; empty when
// it is missing, cannot be read or is not a regular file. Reads at most a page and never
// blocks: a FIFO, /dev/zero or a huge file in its place cannot hold up the caller.
std::string PosixReadAttribute(const std::string& path);

// The kernel's name of the terminal open on fd ("ttyUSB0"), found from its device number
// (sysfs dev/char/MAJOR:MINOR) whatever link it was opened through; empty when sysfs does
// not know the device (a pseudo-terminal).
std::string PosixTtyName(int fd);

// True for the kernel's names of USB serial ports ("ttyUSB0", "ttyACM0").
bool PosixIsUsbSerialName(const std::string& ttyName);

// What PosixSetLowLatency did.
struct TLowLatency {
  bool usbSerial = false;  // the terminal is a USB serial port
  bool flagSet = false;    // its driver took ASYNC_LOW_LATENCY
  bool timerSet = false;   // its latency_timer attribute was set to 1 ms
};

// A USB serial converter (ttyUSB*, ttyACM*) holds back the bytes that do not fill a USB
// packet until its latency timer runs out, 16 ms by default on FTDI chips: the tail of every
// reply. For such a port, asks the driver for low latency and, where the driver has a
// latency_timer attribute, sets it to 1 ms. Other terminals are left as they are, and nothing
// is restored at closing; a port that refuses either still works, only slower.
TLowLatency PosixSetLowLatency(int fd, const std::string& ttyName);

// Reads n bytes within timeoutMs: 0, 4358 when fewer arrived, 4354 on failure. *got (when
// given) receives the count read.
int PosixReadAll(int fd, std::uint8_t* buffer, int n, int timeoutMs, int* got = nullptr);
// Writes n bytes within timeoutMs: 0, 4358 when fewer were taken, 4354 on failure.
int PosixWriteAll(int fd, const std::uint8_t* bytes, int n, int timeoutMs, int* put = nullptr);

}  // namespace modbus
