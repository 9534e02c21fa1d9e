#include "modbus/MbusRtuFrame.h"

#include <array>
#include <cstring>

#include "modbus/MbusMasterFunctions.h"

namespace modbus {

namespace {

constexpr std::array<std::uint16_t, 256> MakeCrcTable() {
  std::array<std::uint16_t, 256> table{};
  for (int i = 0; i < 256; ++i) {
    std::uint16_t crc = static_cast<std::uint16_t>(i);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1) != 0 ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                           : static_cast<std::uint16_t>(crc >> 1);
    }
    table[i] = crc;
  }
  return table;
}

constexpr std::array<std::uint16_t, 256> kCrcTable = MakeCrcTable();

constexpr int kCrcLength = 2;

}  // namespace

std::uint16_t MbusRtuFrame::Crc16(const std::uint8_t* bytes, std::size_t length) {
  std::uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < length; ++i) {
    crc = static_cast<std::uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ bytes[i]) & 0xFF]);
  }
  return crc;
}

int MbusRtuFrame::BuildRequest(std::uint8_t* frame, int slave, int function,
                               const std::uint8_t* data, int requestLength) {
  if (requestLength < 0 || requestLength + kFrameOverhead > kMaxFrameSize) {
    return -1;
  }
  frame[0] = static_cast<std::uint8_t>(slave);
  frame[1] = static_cast<std::uint8_t>(function);
  if (requestLength > 0) {
    std::memcpy(frame + 2, data, static_cast<std::size_t>(requestLength));
  }
  const std::uint16_t crc = Crc16(frame, static_cast<std::size_t>(requestLength) + 2);
  // The low order byte of the CRC comes first on the line.
  frame[requestLength + 2] = static_cast<std::uint8_t>(crc & 0xFF);
  frame[requestLength + 3] = static_cast<std::uint8_t>(crc >> 8);
  return requestLength + kFrameOverhead;
}

int MbusRtuFrame::InterCharTimeoutMs(std::uint32_t baud) {
  if (baud == 0) {
    return 1;
  }
  const int timeout = static_cast<int>((11000.0 / baud) * 4 + 0.5);
  return timeout < 1 ? 1 : timeout;
}

int MbusRtuFrame::CheckReply(const std::uint8_t* frame, int length, int slave, int function,
                             std::uint8_t* replyData, int replyLength) {
  if (length < kFirstReadLength) {
    return kMbusReplyTimeout;
  }
  const std::uint16_t crc = Crc16(frame, static_cast<std::size_t>(length - kCrcLength));
  const std::uint16_t received =
      static_cast<std::uint16_t>(frame[length - 2] | (frame[length - 1] << 8));
  if (crc != received) {
    return kMbusChecksumError;
  }
  if ((frame[1] & ~kExceptionBit) != function || frame[0] != slave) {
    return kMbusInvalidFrame;
  }
  if ((frame[1] & kExceptionBit) != 0) {
    return kMbusExceptionBase | frame[2];
  }
  if (length < replyLength + kFrameOverhead) {
    return kMbusReplyTimeout;
  }
  std::memcpy(replyData, frame + 2, static_cast<std::size_t>(replyLength));
  return kMbusSuccess;
}

int MbusRtuFrame::RemainingReplyLength(std::uint8_t functionByte, int replyLength) {
  if ((functionByte & kExceptionBit) != 0 || replyLength + kFrameOverhead <= kFirstReadLength) {
    return 0;
  }
  return replyLength - 1;
}

}  // namespace modbus
