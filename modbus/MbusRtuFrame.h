#pragma once

#include <cstddef>
#include <cstdint>

namespace modbus {

// RTU framing shared by the serial-line and the USB transports: slave address, function
// code, data, then the CRC-16 with its low byte first.
class MbusRtuFrame {
 public:
  // Largest RTU frame: address, function, 252 data bytes, CRC.
  static constexpr int kMaxFrameSize = 256;
  // Address, function and CRC around the data.
  static constexpr int kFrameOverhead = 4;
  // An exception reply is address, function | 0x80, exception code and CRC; every reply is
  // first read in this many bytes.
  static constexpr int kFirstReadLength = 5;
  static constexpr std::uint8_t kExceptionBit = 0x80;

  // CRC-16 of Modbus over serial lines: reflected polynomial 0xA001, initial value 0xFFFF.
  static std::uint16_t Crc16(const std::uint8_t* bytes, std::size_t length);

  // Writes the request frame into frame (room for kMaxFrameSize bytes) and returns its
  // length, requestLength + 4; -1 if the data does not fit.
  static int BuildRequest(std::uint8_t* frame, int slave, int function, const std::uint8_t* data,
                          int requestLength);

  // Inter-character time-out of a line: four characters of 11 bits, rounded, at least 1 ms.
  static int InterCharTimeoutMs(std::uint32_t baud);

  // Checks a received reply frame (length bytes, CRC included) against its request:
  // 129 on a wrong CRC, 130 for another slave or function, 160 + code for an exception
  // reply; otherwise copies replyLength bytes after the function code to replyData and
  // returns 0. The caller has read replyLength + 4 bytes for a normal reply.
  static int CheckReply(const std::uint8_t* frame, int length, int slave, int function,
                        std::uint8_t* replyData, int replyLength);

  // Bytes still to read after the first kFirstReadLength for a reply whose function byte is
  // functionByte: 0 for an exception reply or a reply that fits in the first read.
  static int RemainingReplyLength(std::uint8_t functionByte, int replyLength);
};

}  // namespace modbus
