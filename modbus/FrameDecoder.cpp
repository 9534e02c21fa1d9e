#include "modbus/FrameDecoder.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "modbus/MbusMasterFunctions.h"
#include "modbus/MbusRtuFrame.h"

namespace modbus {

namespace {

using Clock = std::chrono::steady_clock;

// The hex column is as wide as an eight-byte frame, so that short frames line up.
constexpr std::size_t kHexColumn = 8 * 3;
// A write of many registers names this many values, then "...".
constexpr std::size_t kValuesNamed = 8;

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  char digits[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
    text += (i == 0 ? "" : " ") + std::string(digits);
  }
  return text;
}

std::string Padded(std::string text, std::size_t width) {
  if (text.size() < width) {
    text.append(width - text.size(), ' ');
  }
  return text;
}

int Word(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return (bytes[at] << 8) | bytes[at + 1];
}

int Signed(int word) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(word));
}

// "holding register 28" or "holding registers 11 to 12 (2)", from a protocol address.
std::string Span(const char* one, const char* many, int address, int count) {
  if (count == 1) {
    return std::string(one) + " " + std::to_string(address + 1) + " (1)";
  }
  return std::string(many) + " " + std::to_string(address + 1) + " to " +
         std::to_string(address + count) + " (" + std::to_string(count) + ")";
}

// The data bytes of a frame: after slave and function, before the CRC.
std::size_t DataLength(const std::vector<std::uint8_t>& frame) {
  return frame.size() >= 4 ? frame.size() - 4 : 0;
}

std::string Milliseconds(Clock::duration elapsed) {
  char text[32];
  std::snprintf(text, sizeof text, "+%.1f ms",
                std::chrono::duration<double, std::milli>(elapsed).count());
  return text;
}

}  // namespace

TFrameDecoder::TFrameDecoder()
    : offset_(std::chrono::system_clock::now().time_since_epoch() -
              std::chrono::duration_cast<std::chrono::system_clock::duration>(
                  Clock::now().time_since_epoch())) {}

std::string TFrameDecoder::ExceptionName(int code) {
  switch (code) {
    case 1:
      return "illegal function";
    case 2:
      return "illegal data address";
    case 3:
      return "illegal data value";
    case 4:
      return "slave device failure";
    case 5:
      return "acknowledge";
    case 6:
      return "slave device busy";
    case 8:
      return "memory parity error";
    case 10:
      return "gateway path unavailable";
    case 11:
      return "gateway target device failed to respond";
    default:
      return "exception code " + std::to_string(code);
  }
}

bool TFrameDecoder::IsError(const TFrameEvent& event) {
  return event.kind == TFrameEvent::TKind::kRetry || event.kind == TFrameEvent::TKind::kDiscarded ||
         (event.kind == TFrameEvent::TKind::kReply && event.result != kMbusSuccess);
}

std::string TFrameDecoder::TimeOfDay(Clock::time_point time) const {
  const auto wall = std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(time.time_since_epoch()) +
      offset_);
  const std::time_t seconds = std::chrono::system_clock::to_time_t(wall);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(
                          wall.time_since_epoch() % std::chrono::seconds(1))
                          .count();
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(millis));
  return text;
}

std::string TFrameDecoder::Line(const TFrameEvent& event) {
  const std::string time = TimeOfDay(event.time) + "  ";
  switch (event.kind) {
    case TFrameEvent::TKind::kRequest:
      return time + "TX  " + Padded(Hex(event.bytes), kHexColumn) + "  " + Request(event);
    case TFrameEvent::TKind::kReply:
      if (event.bytes.empty()) {
        return time + "--  " +
               (event.result == kMbusReplyTimeout
                    ? "no reply after " + std::to_string(event.waitMs) + " ms"
                    : std::string("port failure: ") + ResultText(event.result));
      }
      return time + "RX  " + Padded(Hex(event.bytes), kHexColumn) + "  " +
             (request_ ? Milliseconds(event.time - request_->time) : std::string()) + "   " +
             Reply(event);
    case TFrameEvent::TKind::kDiscarded:
      return time + "--  discarded " + std::to_string(event.count) +
             (event.beforeRequest ? " stale bytes before the request: "
                                  : " bytes arriving after a time-out: ") +
             Hex(event.bytes) +
             (static_cast<std::size_t>(event.count) > event.bytes.size() ? " ..." : "");
    case TFrameEvent::TKind::kRetry:
      return time + "--  retry " + std::to_string(event.retry);
  }
  return time;
}

std::string TFrameDecoder::Request(const TFrameEvent& event) {
  request_ = event;
  const std::vector<std::uint8_t>& frame = event.bytes;
  if (frame.size() < 4) {
    return "a frame too short to be a request";
  }
  const int slave = frame[0];
  const std::string to = slave == 1   ? ""
                         : slave == 0 ? "broadcast: "
                                      : "slave " + std::to_string(slave) + ": ";
  const std::size_t data = DataLength(frame);
  const int function = frame[1];
  if ((function == 1 || function == 3 || function == 5 || function == 6) && data >= 4) {
    const int address = Word(frame, 2);
    const int value = Word(frame, 4);
    switch (function) {
      case 1:
        return to + "read " + Span("coil", "coils", address, value);
      case 3:
        return to + "read " + Span("holding register", "holding registers", address, value);
      case 5:
        return to + "write coil " + std::to_string(address + 1) + ": " +
               (value == 0xFF00 ? "on"
                : value == 0    ? "off"
                                : "0x" + Hex({frame[4], frame[5]}));
      default:
        return to + "write holding register " + std::to_string(address + 1) + ": " +
               std::to_string(Signed(value));
    }
  }
  if (function == 16 && data >= 5) {
    const int address = Word(frame, 2);
    const int count = Word(frame, 4);
    std::string text =
        to + "write " + Span("holding register", "holding registers", address, count) + ":";
    for (std::size_t i = 0; i < static_cast<std::size_t>(count) && 7 + 2 * i + 1 < 2 + data; ++i) {
      if (i == kValuesNamed) {
        text += " ...";
        break;
      }
      text += " " + std::to_string(Signed(Word(frame, 7 + 2 * i)));
    }
    return text;
  }
  return to + "function " + std::to_string(function);
}

std::string TFrameDecoder::Reply(const TFrameEvent& event) const {
  const std::vector<std::uint8_t>& frame = event.bytes;
  const int result = event.result;
  if (result == kMbusReplyTimeout) {
    return "cut short: " + std::to_string(frame.size()) + " bytes within " +
           std::to_string(event.waitMs) + " ms";
  }
  if (result == kMbusChecksumError && frame.size() >= 4) {
    const int received = frame[frame.size() - 2] | (frame[frame.size() - 1] << 8);
    const int computed = MbusRtuFrame::Crc16(frame.data(), frame.size() - 2);
    char text[64];
    std::snprintf(text, sizeof text, "bad CRC: received %04X, computed %04X", received, computed);
    return text;
  }
  if (result == kMbusInvalidFrame && frame.size() >= 2) {
    if (frame[0] != event.slave) {
      return "a reply from slave " + std::to_string(frame[0]) + ", not " +
             std::to_string(event.slave);
    }
    return "a reply of function " + std::to_string(frame[1] & 0x7F) + " to a request of function " +
           std::to_string(event.function);
  }
  if (result > kMbusExceptionBase && result < 0x100 && frame.size() >= 3) {
    return "exception " + std::to_string(frame[2]) + ": " + ExceptionName(frame[2]);
  }
  if (result != kMbusSuccess) {
    return ResultText(result);
  }
  const std::size_t data = DataLength(frame);
  const bool read = event.function == 1 || event.function == 3;
  if (!read || data < 1) {
    return "done";
  }
  // A read's reply: its byte count, then the values.
  std::string values;
  const std::size_t bytes = std::min<std::size_t>(frame[2], data - 1);
  if (event.function == 3) {
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
      values += (values.empty() ? "" : " ") + std::to_string(Signed(Word(frame, 3 + i)));
    }
    return values;
  }
  int coils = 8 * static_cast<int>(bytes);
  if (request_ && request_->bytes.size() >= 8) {
    coils = std::min(coils, Word(request_->bytes, 4));
  }
  for (int i = 0; i < coils; ++i) {
    values += (i == 0 ? "" : " ") + std::to_string((frame[3 + i / 8] >> (i % 8)) & 1);
  }
  return values;
}

}  // namespace modbus
