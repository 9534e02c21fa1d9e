#pragma once

#include <cstdint>
#include <string>

#include "modbus/MbusRtuFrame.h"
#include "modbus/MbusSerialMasterProtocol.h"

namespace modbus {

// Modbus RTU master on a serial line. The serial manager opens it with "COM<n>", 57600 baud,
// 8 data bits, 1 stop bit, no parity, and sets the retry count to 1 before opening.
class MbusRtuMasterProtocol : public MbusSerialMasterProtocol {
 public:
  using MbusSerialMasterProtocol::Open;
  // RTU needs 8 data bits: anything else gives 1 and leaves the port closed.
  int Open(const std::string& portName, std::uint32_t baud, int dataBits, int stopBits,
           int parity) override;

  int InterCharTimeoutMs() const { return interCharTimeoutMs_; }

 protected:
  void DiscardInputUntil(Clock::time_point until) override;
  int TransactOnce(int slave, int function, const std::uint8_t* requestData, int requestLength,
                   std::uint8_t* replyData, int replyLength) override;

 private:
  int interCharTimeoutMs_ = 1;
  std::uint8_t frame_[MbusRtuFrame::kMaxFrameSize] = {};
};

}  // namespace modbus
