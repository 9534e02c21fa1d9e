#include "tools/sim/SimSlave.h"

#include <sstream>

#include "modbus/MbusRtuFrame.h"

namespace {

constexpr std::uint8_t kIllegalFunction = 1;
constexpr std::uint8_t kIllegalDataAddress = 2;
constexpr std::uint8_t kIllegalDataValue = 3;

int Word(const std::uint8_t* bytes) {
  return (bytes[0] << 8) | bytes[1];
}

void PutWord(std::vector<std::uint8_t>& out, int value) {
  out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
  out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

bool InImage(int address, int count) {
  return address + count <= TSimSlave::kImageSize;
}

}  // namespace

void AppendCrc(std::vector<std::uint8_t>& frame) {
  const std::uint16_t crc = modbus::MbusRtuFrame::Crc16(frame.data(), frame.size());
  frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

int TSimSlave::RequestLength(const std::uint8_t* bytes, std::size_t have) {
  if (have < 2) {
    return 0;
  }
  switch (bytes[1]) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
      return 8;
    case 15:
    case 16:
      return have < 7 ? 0 : 9 + bytes[6];
    default:
      return -1;
  }
}

TSimSlave::Result TSimSlave::Handle(const std::uint8_t* frame, std::size_t length) {
  Result result;
  if (length < 4 || modbus::MbusRtuFrame::Crc16(frame, length - 2) !=
                        (frame[length - 2] | (frame[length - 1] << 8))) {
    return result;
  }
  const int slave = frame[0];
  if (slave != 0 && slave != address_) {
    return result;
  }
  const std::uint8_t function = frame[1];
  std::vector<std::uint8_t> data;
  const std::uint8_t exception = Execute(function, frame + 2, length - 4, data, result.wrote);
  if (slave == 0) {
    result.outcome = Outcome::kBroadcast;
    return result;
  }
  result.outcome = Outcome::kAnswered;
  result.reply.push_back(static_cast<std::uint8_t>(address_));
  if (exception != 0) {
    result.reply.push_back(static_cast<std::uint8_t>(function | 0x80));
    result.reply.push_back(exception);
  } else {
    result.reply.push_back(function);
    result.reply.insert(result.reply.end(), data.begin(), data.end());
  }
  AppendCrc(result.reply);
  return result;
}

std::uint8_t TSimSlave::ConfiguredException(int firstReference, int count) const {
  auto it = exceptions_.lower_bound(firstReference);
  if (it != exceptions_.end() && it->first < firstReference + count) {
    return it->second;
  }
  return 0;
}

std::uint8_t TSimSlave::Execute(std::uint8_t function, const std::uint8_t* data, std::size_t length,
                                std::vector<std::uint8_t>& reply, bool& wrote) {
  if (function != 1 && function != 3 && function != 5 && function != 6 && function != 16) {
    return kIllegalFunction;
  }
  if (length < 4) {
    return kIllegalDataValue;
  }
  const int address = Word(data);
  const int second = Word(data + 2);
  const int count = function == 5 || function == 6 ? 1 : second;
  if ((function == 1 && (count < 1 || count > 2000)) ||
      (function == 3 && (count < 1 || count > 125)) ||
      (function == 16 &&
       (count < 1 || count > 123 || length != 5u + 2 * count || data[4] != 2 * count)) ||
      (function == 5 && second != 0xFF00 && second != 0x0000)) {
    return kIllegalDataValue;
  }
  if (!InImage(address, count)) {
    return kIllegalDataAddress;
  }
  if (const std::uint8_t configured = ConfiguredException(address + 1, count); configured != 0) {
    return configured;
  }
  switch (function) {
    case 1: {
      const int byteCount = (count + 7) / 8;
      reply.push_back(static_cast<std::uint8_t>(byteCount));
      reply.resize(1 + byteCount, 0);
      for (int j = 0; j < count; ++j) {
        if (coils_[address + j] != 0) {
          reply[1 + j / 8] |= static_cast<std::uint8_t>(1 << (j % 8));
        }
      }
      break;
    }
    case 3:
      reply.push_back(static_cast<std::uint8_t>(2 * count));
      for (int i = 0; i < count; ++i) {
        PutWord(reply, registers_[address + i]);
      }
      break;
    case 5:
      if (kept_.count(address + 1) == 0) {
        coils_[address] = second == 0xFF00 ? 1 : 0;
      }
      reply.assign(data, data + 4);
      wrote = true;
      break;
    case 6:
      if (kept_.count(address + 1) == 0) {
        registers_[address] = static_cast<std::uint16_t>(second);
      }
      reply.assign(data, data + 4);
      wrote = true;
      break;
    case 16:
      for (int i = 0; i < count; ++i) {
        if (kept_.count(address + i + 1) == 0) {
          registers_[address + i] = static_cast<std::uint16_t>(Word(data + 5 + 2 * i));
        }
      }
      reply.assign(data, data + 4);
      wrote = true;
      break;
  }
  return 0;
}

std::string TSimSlave::DumpText() const {
  std::ostringstream out;
  for (int i = 0; i < kImageSize; ++i) {
    if (registers_[i] != 0) {
      out << "h " << i + 1 << ' ' << registers_[i] << '\n';
    }
  }
  for (int i = 0; i < kImageSize; ++i) {
    if (coils_[i] != 0) {
      out << "c " << i + 1 << " 1\n";
    }
  }
  return out.str();
}
