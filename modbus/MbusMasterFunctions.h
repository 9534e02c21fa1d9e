#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "modbus/FrameObserver.h"

namespace modbus {

// Result codes of every request; 0 is success. Texts come from ResultText.
enum MbusResult : int {
  kMbusSuccess = 0,
  kMbusIllegalArgument = 1,
  kMbusIllegalState = 2,
  kMbusIoError = 65,
  kMbusOpenError = 66,
  kMbusPortAlreadyOpen = 67,
  kMbusNoPermission = 74,
  kMbusChecksumError = 129,
  kMbusInvalidFrame = 130,
  kMbusInvalidReply = 131,
  kMbusReplyTimeout = 132,
  kMbusSendTimeout = 133,
  // An exception reply with code c yields kMbusExceptionBase | c.
  kMbusExceptionBase = 0xA0,
};

// Text of a result code; "Unknwon error" (sic, the text users know) for a code without one.
const char* ResultText(int code);

// The function layer of the Modbus master: checks arguments, builds the request data of
// functions 1, 3, 5, 6 and 16, runs the transaction with its retries and checks and unpacks
// the reply. A transport derives from it and provides IsOpen, Close and one try (TransactOnce).
//
// References are 1-based (1 to 65536); the request carries reference - 1 as the protocol
// address. Reads accept slaves 1 to 255; writes also accept 0, a broadcast that is sent
// without waiting for a reply. Every request returns a result code and never throws.
//
// One object serves one thread at a time: the data buffer is shared by all its requests.
class MbusMasterFunctions {
 public:
  static constexpr int kMaxRetryCount = 10;
  static constexpr int kDefaultTimeoutMs = 1000;
  static constexpr int kDataBufferSize = 260;
  static constexpr int kMaxReadCoils = 2000;
  static constexpr int kMaxReadRegisters = 125;
  static constexpr int kMaxWriteRegisters = 100;
  static constexpr int kMinReference = 1;
  static constexpr int kMaxReference = 65536;
  static constexpr int kMaxSlave = 255;

  MbusMasterFunctions() = default;
  MbusMasterFunctions(const MbusMasterFunctions&) = delete;
  MbusMasterFunctions& operator=(const MbusMasterFunctions&) = delete;
  virtual ~MbusMasterFunctions() = default;

  virtual bool IsOpen() const = 0;
  virtual void Close() {}

  // One request with retries: 2 when the link is closed; otherwise tries until a try returns
  // something other than 129, 130 or 132, or retry count + 1 tries have been made.
  // replyData receives replyLength bytes (the reply after its function code).
  //
  // A device may still answer a try after its time-out. An RTU reply does not say which
  // request it answers, so such a late reply would be taken for the reply to whatever request
  // was sent next, and a read would take another block's values. So after a try has timed
  // out, a different request is sent only once twice the time-out has passed since that try,
  // and what arrives meanwhile is discarded. The same request again (a retry, the device
  // search's next attempt) goes at once: a late reply to it is as good as its own.
  virtual int Transact(int slave, int function, const std::uint8_t* requestData, int requestLength,
                       std::uint8_t* replyData, int replyLength);

  // Extra tries after a checksum error, invalid frame or reply time-out: 0 to 10, only while
  // the link is closed (1 out of range, 2 while open).
  int SetRetryCount(int count);
  int RetryCount() const { return retryCount_; }

  // Time-out for sending a request and for each read of its reply, in milliseconds. The
  // product keeps 1000; tools and tests shorten it. 1 if not positive, 2 while open.
  int SetTimeout(int timeoutMs);
  int Timeout() const { return timeoutMs_; }

  // The observer told of every frame, discarded input and retry from now on (none: null,
  // and nothing is built for it). May be set while another thread runs a request.
  void SetObserver(TFrameObserver* observer) { observer_ = observer; }
  TFrameObserver* Observer() const { return observer_.load(); }

  // Number of tries the last transaction made (0 when it was refused before sending).
  int LastTryCount() const { return lastTryCount_; }

  // Function 1. values[0..count) receive 0 or 1; they are 0 whenever the read fails.
  int ReadCoils(int slave, int reference, std::int32_t values[], int count);
  // Function 3. values[0..count) receive signed 16-bit values; 0 whenever the read fails.
  int ReadHoldingRegisters(int slave, int reference, std::int16_t values[], int count);
  // Function 5. value 0 switches the coil off, anything else on.
  int WriteCoil(int slave, int reference, int value);
  // Function 6.
  int WriteHoldingRegister(int slave, int reference, std::int16_t value);
  // Function 16, 1 to 100 registers.
  int WriteHoldingRegisters(int slave, int reference, const std::int16_t values[], int count);

 protected:
  using Clock = std::chrono::steady_clock;

  // The clock the wait for a late reply is measured by; a scripted line replaces it with
  // its own, so that waiting costs no real time.
  virtual Clock::time_point Now() const { return Clock::now(); }

  // Reads and discards what arrives on the open link until the given time. A transport
  // without a line of its own has nothing to discard.
  virtual void DiscardInputUntil(Clock::time_point /*until*/) {}

  // One try of a transaction, with the link known to be open: send the frame of slave,
  // function and request data; for slave 0 or replyLength 0 return 0 right after sending;
  // otherwise receive and check the reply and copy replyLength bytes after its function code.
  virtual int TransactOnce(int slave, int function, const std::uint8_t* requestData,
                           int requestLength, std::uint8_t* replyData, int replyLength) = 0;

 private:
  bool SameAsLateRequest(int slave, int function, const std::uint8_t* requestData,
                         int requestLength) const;

  int retryCount_ = 0;
  int timeoutMs_ = kDefaultTimeoutMs;
  std::atomic<TFrameObserver*> observer_{nullptr};
  int lastTryCount_ = 0;
  std::uint8_t data_[kDataBufferSize] = {};
  // The last request of which a try timed out, while its reply may still come, and until
  // when a reply is waited for.
  bool lateReplyPossible_ = false;
  int lateSlave_ = 0;
  int lateFunction_ = 0;
  int lateRequestLength_ = 0;
  std::uint8_t lateRequest_[kDataBufferSize] = {};
  Clock::time_point lateReplyUntil_;
};

}  // namespace modbus
