#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testsupport {

// The CRC-16 of Modbus over serial lines, computed bit by bit (reflected polynomial 0xA001,
// initial value 0xFFFF): the tests' own reference, apart from the table of modbus/ that they
// check. Header only, so that the fuzz targets can use it without the test libraries.
inline std::uint16_t ReferenceCrc(const std::uint8_t* bytes, std::size_t length) {
  std::uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < length; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1) != 0 ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                           : static_cast<std::uint16_t>(crc >> 1);
    }
  }
  return crc;
}

// The frame with its CRC appended, low byte first, as it goes on the line.
inline std::vector<std::uint8_t> WithCrc(std::vector<std::uint8_t> frame) {
  const std::uint16_t crc = ReferenceCrc(frame.data(), frame.size());
  frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
  return frame;
}

// Whether a whole frame (at least address, function and CRC) ends in its CRC.
inline bool CrcHolds(const std::vector<std::uint8_t>& frame) {
  const std::size_t n = frame.size();
  return n >= 4 && ReferenceCrc(frame.data(), n - 2) ==
                       static_cast<std::uint16_t>(frame[n - 2] | (frame[n - 1] << 8));
}

}  // namespace testsupport
