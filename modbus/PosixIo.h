#pragma once

#include <cstdint>
#include <string>

#include "modbus/LineSettings.h"

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

// Reads n bytes within timeoutMs: 0, 4358 when fewer arrived, 4354 on failure. *got (when
// given) receives the count read.
int PosixReadAll(int fd, std::uint8_t* buffer, int n, int timeoutMs, int* got = nullptr);
// Writes n bytes within timeoutMs: 0, 4358 when fewer were taken, 4354 on failure.
int PosixWriteAll(int fd, const std::uint8_t* bytes, int n, int timeoutMs, int* put = nullptr);
