#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "modbus/MbusMasterFunctions.h"

// A device held in memory behind the real function layer: it implements one try of a
// transaction, answering functions 1, 3, 5, 6 and 16 from its own coil and register arrays,
// and records every request. Safe to drive from a worker while a test thread inspects it.
//
// Knobs:
//  - FailRequest(n, code): the n-th request (counted from 1) answers code instead;
//    ClearFailures() forgets those still to come.
//  - HoldRequest(n): the n-th request waits inside its try until Release(); WaitUntilHeld()
//    returns once it is waiting, so a test can act while a request is on the line.
class TFakeProtocol : public modbus::MbusMasterFunctions {
 public:
  static constexpr int kReferences = 65536;

  struct TRequest {
    int function = 0;
    int reference = 0;
    int count = 0;
    std::vector<int> values;  // written values (functions 5, 6 and 16)
    bool operator==(const TRequest&) const = default;
  };

  TFakeProtocol();
  bool IsOpen() const override { return true; }

  void SetRegister(int reference, std::int16_t value);
  std::int16_t Register(int reference) const;
  void SetCoilValue(int reference, bool value);
  bool CoilValue(int reference) const;

  void FailRequest(int number, int code);
  void ClearFailures();
  void HoldRequest(int number);
  void WaitUntilHeld();
  void Release();

  std::vector<TRequest> Requests() const;

 protected:
  int TransactOnce(int slave, int function, const std::uint8_t* requestData, int requestLength,
                   std::uint8_t* replyData, int replyLength) override;

 private:
  int Answer(int function, const std::uint8_t* request, std::uint8_t* reply, TRequest& record);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::int16_t> registers_;
  std::vector<bool> coils_;
  std::vector<TRequest> requests_;
  std::map<int, int> failures_;
  int holdNumber_ = 0;
  bool held_ = false;
  bool released_ = false;
};
