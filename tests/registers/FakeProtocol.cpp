#include "tests/registers/FakeProtocol.h"

namespace {

int Word(const std::uint8_t* at) {
  return (at[0] << 8) | at[1];
}

}  // namespace

TFakeProtocol::TFakeProtocol() : registers_(kReferences + 1), coils_(kReferences + 1) {}

void TFakeProtocol::SetRegister(int reference, std::int16_t value) {
  std::lock_guard lock(mutex_);
  registers_.at(static_cast<std::size_t>(reference)) = value;
}

std::int16_t TFakeProtocol::Register(int reference) const {
  std::lock_guard lock(mutex_);
  return registers_.at(static_cast<std::size_t>(reference));
}

void TFakeProtocol::SetCoilValue(int reference, bool value) {
  std::lock_guard lock(mutex_);
  coils_.at(static_cast<std::size_t>(reference)) = value;
}

bool TFakeProtocol::CoilValue(int reference) const {
  std::lock_guard lock(mutex_);
  return coils_.at(static_cast<std::size_t>(reference));
}

void TFakeProtocol::FailRequest(int number, int code) {
  std::lock_guard lock(mutex_);
  failures_[number] = code;
}

void TFakeProtocol::ClearFailures() {
  std::lock_guard lock(mutex_);
  failures_.clear();
}

void TFakeProtocol::HoldRequest(int number) {
  std::lock_guard lock(mutex_);
  holdNumber_ = number;
  held_ = false;
  released_ = false;
}

void TFakeProtocol::WaitUntilHeld() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return held_; });
}

void TFakeProtocol::Release() {
  std::lock_guard lock(mutex_);
  released_ = true;
  changed_.notify_all();
}

std::vector<TFakeProtocol::TRequest> TFakeProtocol::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

int TFakeProtocol::TransactOnce(int, int function, const std::uint8_t* requestData, int,
                                std::uint8_t* replyData, int) {
  std::unique_lock lock(mutex_);
  TRequest record;
  const int result = Answer(function, requestData, replyData, record);
  requests_.push_back(record);
  const int number = static_cast<int>(requests_.size());
  if (number == holdNumber_) {
    held_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return released_; });
  }
  const auto failure = failures_.find(number);
  return failure == failures_.end() ? result : failure->second;
}

// Fills the reply as a device would, after the function code: the byte count and data of a
// read, the echo of address and value (or count) of a write.
int TFakeProtocol::Answer(int function, const std::uint8_t* request, std::uint8_t* reply,
                          TRequest& record) {
  record.function = function;
  record.reference = Word(request) + 1;
  const auto at = static_cast<std::size_t>(record.reference);
  switch (function) {
    case 1: {
      record.count = Word(request + 2);
      const int bytes = (record.count + 7) / 8;
      reply[0] = static_cast<std::uint8_t>(bytes);
      for (int i = 0; i < bytes; ++i) {
        reply[1 + i] = 0;
      }
      for (int j = 0; j < record.count; ++j) {
        if (coils_.at(at + static_cast<std::size_t>(j))) {
          reply[1 + j / 8] = static_cast<std::uint8_t>(reply[1 + j / 8] | (1 << (j % 8)));
        }
      }
      return modbus::kMbusSuccess;
    }
    case 3:
      record.count = Word(request + 2);
      reply[0] = static_cast<std::uint8_t>(2 * record.count);
      for (int i = 0; i < record.count; ++i) {
        const auto value =
            static_cast<std::uint16_t>(registers_.at(at + static_cast<std::size_t>(i)));
        reply[1 + 2 * i] = static_cast<std::uint8_t>(value >> 8);
        reply[2 + 2 * i] = static_cast<std::uint8_t>(value & 0xFF);
      }
      return modbus::kMbusSuccess;
    case 5:
      record.count = 1;
      record.values = {request[2] == 0xFF ? 1 : 0};
      coils_.at(at) = request[2] == 0xFF;
      break;
    case 6:
      record.count = 1;
      record.values = {static_cast<std::int16_t>(Word(request + 2))};
      registers_.at(at) = static_cast<std::int16_t>(Word(request + 2));
      break;
    case 16:
      record.count = Word(request + 2);
      for (int i = 0; i < record.count; ++i) {
        const auto value = static_cast<std::int16_t>(Word(request + 5 + 2 * i));
        record.values.push_back(value);
        registers_.at(at + static_cast<std::size_t>(i)) = value;
      }
      break;
    default:
      return modbus::kMbusExceptionBase | 1;
  }
  for (int i = 0; i < 4; ++i) {
    reply[i] = request[i];
  }
  return modbus::kMbusSuccess;
}
