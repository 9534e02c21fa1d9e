#include "modbus/MbusMasterFunctions.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

namespace modbus {

namespace {

struct ResultTextEntry {
  int code;
  const char* text;
};

constexpr ResultTextEntry kResultTexts[] = {
    {0, "Operation was successful"},
    {1, "Illegal argument error"},
    {2, "Illegal state error"},
    {64, "I/O error class"},
    {65, "I/O error"},
    {66, "Port or socket open error"},
    {67, "Serial port already open"},
    {68, "TCP/IP connection error"},
    {69, "TCP/IP connection was closed by remote peer"},
    {70, "Socket library error"},
    {71, "TCP Port alread bound"},
    {72, "Listen failed"},
    {73, "File descriptors exceeded"},
    {74, "No permission to access serial or TCP port"},
    {75, "TCP Port not available"},
    {128, "Fieldbus protocol error class"},
    {129, "Checksum error"},
    {130, "Invalid frame error"},
    {131, "Invalid reply error"},
    {132, "Reply time-out"},
    {133, "Send time-out"},
    {160, "Modbus exception response"},
    {161, "Illegal Function exception response"},
    {162, "Illegal Data Address exception response"},
    {163, "Illegal Data Value exception response"},
    {164, "Slave Device Failure exception response"},
};

constexpr int kReadCoilsFunction = 1;
constexpr int kReadHoldingRegistersFunction = 3;
constexpr int kWriteCoilFunction = 5;
constexpr int kWriteHoldingRegisterFunction = 6;
constexpr int kWriteHoldingRegistersFunction = 16;

bool ValidReference(int reference) {
  return reference >= MbusMasterFunctions::kMinReference &&
         reference <= MbusMasterFunctions::kMaxReference;
}
bool ValidReadSlave(int slave) {
  return slave >= 1 && slave <= MbusMasterFunctions::kMaxSlave;
}
bool ValidWriteSlave(int slave) {
  return slave >= 0 && slave <= MbusMasterFunctions::kMaxSlave;
}

bool Retryable(int result) {
  return result == kMbusChecksumError || result == kMbusInvalidFrame || result == kMbusReplyTimeout;
}

// The protocol address is reference - 1, high byte first.
void PutAddress(std::uint8_t* out, int reference) {
  const int address = reference - 1;
  out[0] = static_cast<std::uint8_t>(address >> 8);
  out[1] = static_cast<std::uint8_t>(address & 0xFF);
}

void PutWord(std::uint8_t* out, int value) {
  out[0] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
  out[1] = static_cast<std::uint8_t>(value & 0xFF);
}

// Zeroes a read's outputs once its count is known to fit the caller's buffer.
template <typename T>
void ZeroOutputs(T values[], int count) {
  if (values != nullptr) {
    std::fill(values, values + count, T{0});
  }
}

}  // namespace

const char* ResultText(int code) {
  const auto* entry = std::find_if(std::begin(kResultTexts), std::end(kResultTexts),
                                   [code](const ResultTextEntry& e) { return e.code == code; });
  return entry == std::end(kResultTexts) ? "Unknwon error" : entry->text;
}

int MbusMasterFunctions::Transact(int slave, int function, const std::uint8_t* requestData,
                                  int requestLength, std::uint8_t* replyData, int replyLength) {
  lastTryCount_ = 0;
  if (!IsOpen()) {
    return kMbusIllegalState;
  }
  if (lateReplyPossible_ && !SameAsLateRequest(slave, function, requestData, requestLength)) {
    lateReplyPossible_ = false;
    DiscardInputUntil(lateReplyUntil_);
  }
  int result = kMbusSuccess;
  bool timedOut = false;
  Clock::time_point lastTry = Now();
  do {
    if (lastTryCount_ > 0) {
      if (TFrameObserver* observer = Observer()) {
        TFrameEvent retry;
        retry.kind = TFrameEvent::TKind::kRetry;
        retry.time = std::chrono::steady_clock::now();
        retry.retry = lastTryCount_;
        observer->OnFrame(std::move(retry));
      }
    }
    ++lastTryCount_;
    lastTry = Now();
    result = TransactOnce(slave, function, requestData, requestLength, replyData, replyLength);
    timedOut = timedOut || result == kMbusReplyTimeout;
  } while (Retryable(result) && lastTryCount_ < retryCount_ + 1);
  // Once a try has timed out, the reply the transaction took may have been that try's late
  // reply: the last try's own may still come.
  if (timedOut && requestLength >= 0 && requestLength <= kDataBufferSize) {
    lateReplyPossible_ = true;
    lateSlave_ = slave;
    lateFunction_ = function;
    lateRequestLength_ = requestLength;
    if (requestLength > 0) {
      std::memcpy(lateRequest_, requestData, static_cast<std::size_t>(requestLength));
    }
    lateReplyUntil_ = lastTry + 2 * std::chrono::milliseconds(timeoutMs_);
  }
  return result;
}

bool MbusMasterFunctions::SameAsLateRequest(int slave, int function,
                                            const std::uint8_t* requestData,
                                            int requestLength) const {
  return slave == lateSlave_ && function == lateFunction_ && requestLength == lateRequestLength_ &&
         (requestLength == 0 ||
          std::memcmp(requestData, lateRequest_, static_cast<std::size_t>(requestLength)) == 0);
}

int MbusMasterFunctions::SetRetryCount(int count) {
  if (count < 0 || count > kMaxRetryCount) {
    return kMbusIllegalArgument;
  }
  if (IsOpen()) {
    return kMbusIllegalState;
  }
  retryCount_ = count;
  return kMbusSuccess;
}

int MbusMasterFunctions::SetTimeout(int timeoutMs) {
  if (timeoutMs <= 0) {
    return kMbusIllegalArgument;
  }
  if (IsOpen()) {
    return kMbusIllegalState;
  }
  timeoutMs_ = timeoutMs;
  return kMbusSuccess;
}

int MbusMasterFunctions::ReadCoils(int slave, int reference, std::int32_t values[], int count) {
  // The count is checked before the outputs are zeroed, so a wrong count never writes
  // past the caller's buffer.
  if (count < 1 || count > kMaxReadCoils) {
    return kMbusIllegalArgument;
  }
  ZeroOutputs(values, count);
  if (values == nullptr || !ValidReadSlave(slave) || !ValidReference(reference)) {
    return kMbusIllegalArgument;
  }
  const int byteCount = (count + 7) / 8;
  std::uint8_t request[4];
  PutAddress(request, reference);
  PutWord(request + 2, count);
  const int result = Transact(slave, kReadCoilsFunction, request, 4, data_, byteCount + 1);
  if (result != kMbusSuccess) {
    return result;
  }
  if (data_[0] != static_cast<std::uint8_t>(byteCount)) {
    return kMbusInvalidReply;
  }
  // Coils come least significant bit first, eight to a byte.
  for (int j = 0; j < count; ++j) {
    values[j] = (data_[1 + j / 8] >> (j % 8)) & 1;
  }
  return kMbusSuccess;
}

int MbusMasterFunctions::ReadHoldingRegisters(int slave, int reference, std::int16_t values[],
                                              int count) {
  if (count < 1 || count > kMaxReadRegisters) {
    return kMbusIllegalArgument;
  }
  ZeroOutputs(values, count);
  if (values == nullptr || !ValidReadSlave(slave) || !ValidReference(reference)) {
    return kMbusIllegalArgument;
  }
  std::uint8_t request[4];
  PutAddress(request, reference);
  PutWord(request + 2, count);
  const int result =
      Transact(slave, kReadHoldingRegistersFunction, request, 4, data_, 2 * count + 1);
  if (result != kMbusSuccess) {
    return result;
  }
  if (data_[0] != static_cast<std::uint8_t>(2 * count)) {
    return kMbusInvalidReply;
  }
  for (int i = 0; i < count; ++i) {
    values[i] = static_cast<std::int16_t>((data_[1 + 2 * i] << 8) | data_[2 + 2 * i]);
  }
  return kMbusSuccess;
}

int MbusMasterFunctions::WriteCoil(int slave, int reference, int value) {
  if (!ValidWriteSlave(slave) || !ValidReference(reference)) {
    return kMbusIllegalArgument;
  }
  std::uint8_t request[4];
  PutAddress(request, reference);
  request[2] = value != 0 ? 0xFF : 0x00;
  request[3] = 0x00;
  const int result = Transact(slave, kWriteCoilFunction, request, 4, data_, 4);
  if (result != kMbusSuccess || slave == 0) {
    return result;
  }
  // Devices in the field answer with 00 01 instead of echoing the value; the echoed
  // address is not compared either.
  const bool echoed = data_[2] == request[2] && data_[3] == request[3];
  const bool acknowledged = data_[2] == 0x00 && data_[3] == 0x01;
  return echoed || acknowledged ? kMbusSuccess : kMbusInvalidReply;
}

int MbusMasterFunctions::WriteHoldingRegister(int slave, int reference, std::int16_t value) {
  if (!ValidWriteSlave(slave) || !ValidReference(reference)) {
    return kMbusIllegalArgument;
  }
  std::uint8_t request[4];
  PutAddress(request, reference);
  PutWord(request + 2, static_cast<std::uint16_t>(value));
  const int result = Transact(slave, kWriteHoldingRegisterFunction, request, 4, data_, 4);
  if (result != kMbusSuccess || slave == 0) {
    return result;
  }
  // Devices in the field answer with 00 02 instead of echoing the value.
  const bool echoed = data_[2] == request[2] && data_[3] == request[3];
  const bool acknowledged = data_[2] == 0x00 && data_[3] == 0x02;
  return echoed || acknowledged ? kMbusSuccess : kMbusInvalidReply;
}

int MbusMasterFunctions::WriteHoldingRegisters(int slave, int reference,
                                               const std::int16_t values[], int count) {
  if (values == nullptr || !ValidWriteSlave(slave) || !ValidReference(reference) || count < 1 ||
      count > kMaxWriteRegisters) {
    return kMbusIllegalArgument;
  }
  std::uint8_t request[5 + 2 * kMaxWriteRegisters];
  PutAddress(request, reference);
  PutWord(request + 2, count);
  request[4] = static_cast<std::uint8_t>(2 * count);
  for (int i = 0; i < count; ++i) {
    PutWord(request + 5 + 2 * i, static_cast<std::uint16_t>(values[i]));
  }
  const int result =
      Transact(slave, kWriteHoldingRegistersFunction, request, 5 + 2 * count, data_, 4);
  if (result != kMbusSuccess || slave == 0) {
    return result;
  }
  return data_[2] == request[2] && data_[3] == request[3] ? kMbusSuccess : kMbusInvalidReply;
}

}  // namespace modbus
