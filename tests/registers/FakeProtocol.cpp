#include "tests/registers/FakeProtocol.h"

#include <algorithm>

namespace {

int Word(const std::uint8_t* at) {
  return (at[0] << 8) | at[1];
}

// What the request asks: its function, first reference, count and written values.
TFakeProtocol::TRequest Recorded(int function, const std::uint8_t* request, int length) {
  TFakeProtocol::TRequest record;
  record.function = function;
  if (length < 4) {
    return record;
  }
  record.reference = Word(request) + 1;
  switch (function) {
    case 5:
      record.count = 1;
      record.values = {request[2] == 0xFF ? 1 : 0};
      break;
    case 6:
      record.count = 1;
      record.values = {static_cast<std::int16_t>(Word(request + 2))};
      break;
    case 16:
      record.count = Word(request + 2);
      for (int i = 0; i < record.count && 6 + 2 * i < length; ++i) {
        record.values.push_back(static_cast<std::int16_t>(Word(request + 5 + 2 * i)));
      }
      break;
    default:
      record.count = Word(request + 2);
  }
  return record;
}

}  // namespace

TFakeProtocol::TFakeProtocol() : slave_(1) {}

void TFakeProtocol::SetRegister(int reference, std::int16_t value) {
  std::lock_guard lock(mutex_);
  slave_.SetRegister(reference, static_cast<std::uint16_t>(value));
}

std::int16_t TFakeProtocol::Register(int reference) const {
  std::lock_guard lock(mutex_);
  return static_cast<std::int16_t>(slave_.Register(reference));
}

void TFakeProtocol::SetCoilValue(int reference, bool value) {
  std::lock_guard lock(mutex_);
  slave_.SetCoil(reference, value);
}

bool TFakeProtocol::CoilValue(int reference) const {
  std::lock_guard lock(mutex_);
  return slave_.Coil(reference);
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

bool TFakeProtocol::WaitForRequests(std::size_t count, std::chrono::milliseconds bound) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, bound, [&] { return requests_.size() >= count; });
}

std::vector<TFakeProtocol::TRequest> TFakeProtocol::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

int TFakeProtocol::TransactOnce(int slave, int function, const std::uint8_t* requestData,
                                int requestLength, std::uint8_t* replyData, int replyLength) {
  std::vector<std::uint8_t> frame(static_cast<std::size_t>(requestLength) + 2);
  frame[0] = static_cast<std::uint8_t>(slave);
  frame[1] = static_cast<std::uint8_t>(function);
  std::copy_n(requestData, requestLength, frame.begin() + 2);
  AppendCrc(frame);
  std::unique_lock lock(mutex_);
  const TSimSlave::Result answer = slave_.Handle(frame.data(), frame.size());
  requests_.push_back(Recorded(function, requestData, requestLength));
  const int number = static_cast<int>(requests_.size());
  held_ = held_ || number == holdNumber_;
  changed_.notify_all();
  if (number == holdNumber_) {
    changed_.wait(lock, [this] { return released_; });
  }
  if (const auto failure = failures_.find(number); failure != failures_.end()) {
    return failure->second;
  }
  if (answer.outcome == TSimSlave::Outcome::kIgnored) {
    return modbus::kMbusReplyTimeout;  // a device stays silent
  }
  if (slave == 0 || replyLength == 0) {
    return modbus::kMbusSuccess;
  }
  // The reply: address, function (with bit 7 set for an exception and its code), data, CRC.
  const std::vector<std::uint8_t>& reply = answer.reply;
  if ((reply[1] & 0x80) != 0) {
    return modbus::kMbusExceptionBase | reply[2];
  }
  if (static_cast<int>(reply.size()) - 4 < replyLength) {
    return modbus::kMbusInvalidReply;
  }
  std::copy_n(reply.begin() + 2, replyLength, replyData);
  return modbus::kMbusSuccess;
}
