#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "modbus/Ftd2xx.h"
#include "modbus/Ftdipacket.h"
#include "modbus/MbusMasterFunctions.h"
#include "modbus/MbusRtuFrame.h"

namespace modbus {

// Modbus RTU master through an FTDI converter. The serial manager opens it by description,
// trying "Dravonik", "b-lyn", "USB <-> Serial" and "K3K" in turn on the same object, with
// 57600 baud, 8 data bits, 1 stop bit and no parity.
class MbusRtuOverUSBMasterProtocol : public MbusMasterFunctions {
 public:
  // The converter descriptions the serial manager tries, in order.
  static constexpr const char* kDescriptions[] = {"Dravonik", "b-lyn", "USB <-> Serial", "K3K"};

  // Uses the Linux ftdi_sio driver.
  MbusRtuOverUSBMasterProtocol();
  // Uses driver, which must outlive the object (tests pass a scripted driver).
  explicit MbusRtuOverUSBMasterProtocol(TFtd2xx& driver);
  ~MbusRtuOverUSBMasterProtocol() override;

  bool IsOpen() const override { return port_.IsOpen(); }
  void Close() override { port_.Close(); }

  // 1 for data bits other than 8; 66 when no converter is attached or the listing fails.
  // A failure to open the description is returned as the port status itself (4354, 4355
  // or 4356), which has no result text: the serial manager shows "Unknwon error" for it,
  // as users of the tool know it. The status of the line settings is not checked. An open
  // object is not refused: the port closes its old handle first.
  virtual int Open(const std::string& description, std::uint32_t baud, int dataBits, int stopBits,
                   int parity, int flowMode);
  // 8 data bits, 1 stop bit, no parity, no flow control.
  int Open(const std::string& description, std::uint32_t baud);

  int InterCharTimeoutMs() const { return interCharTimeoutMs_; }

 protected:
  void DiscardInputUntil(Clock::time_point until) override;
  int TransactOnce(int slave, int function, const std::uint8_t* requestData, int requestLength,
                   std::uint8_t* replyData, int replyLength) override;

 private:
  std::unique_ptr<TFtd2xx> ownDriver_;
  TFTDIPacket port_;
  int interCharTimeoutMs_ = 1;
  std::uint8_t frame_[MbusRtuFrame::kMaxFrameSize] = {};
};

}  // namespace modbus
