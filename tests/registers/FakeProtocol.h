#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "modbus/MbusMasterFunctions.h"
#include "tools/sim/SimSlave.h"

// A device held in memory behind the real function layer, without a line: one try of a
// transaction hands the request frame to the simulator's slave (address 1, the store's) and
// returns its reply as the line would. Records every request. Safe to drive from a worker
// while a test thread inspects it.
//
// Knobs:
//  - FailRequest(n, code): the n-th request (counted from 1) answers code instead;
//    ClearFailures() forgets those still to come.
//  - HoldRequest(n): the n-th request waits inside its try until Release(); WaitUntilHeld()
//    returns once it is waiting, so a test can act while a request is on the line.
//  - WaitForRequests(n, bound): returns once n requests have arrived, false if not within
//    the bound.
class TFakeProtocol : public modbus::MbusMasterFunctions {
 public:
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
  bool WaitForRequests(std::size_t count, std::chrono::milliseconds bound);

  std::vector<TRequest> Requests() const;

 protected:
  int TransactOnce(int slave, int function, const std::uint8_t* requestData, int requestLength,
                   std::uint8_t* replyData, int replyLength) override;

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  TSimSlave slave_;
  std::vector<TRequest> requests_;
  std::map<int, int> failures_;
  int holdNumber_ = 0;
  bool held_ = false;
  bool released_ = false;
};
