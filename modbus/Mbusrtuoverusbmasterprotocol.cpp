#include "modbus/Mbusrtuoverusbmasterprotocol.h"

#include "modbus/Ftd2xxLinux.h"
#include "modbus/MbusRtuTry.h"

namespace modbus {

MbusRtuOverUSBMasterProtocol::MbusRtuOverUSBMasterProtocol()
    : ownDriver_(std::make_unique<TFtd2xxLinux>()), port_(*ownDriver_) {}

MbusRtuOverUSBMasterProtocol::MbusRtuOverUSBMasterProtocol(TFtd2xx& driver) : port_(driver) {}

MbusRtuOverUSBMasterProtocol::~MbusRtuOverUSBMasterProtocol() {
  port_.Close();
}

int MbusRtuOverUSBMasterProtocol::Open(const std::string& description, std::uint32_t baud,
                                       int dataBits, int stopBits, int parity, int flowMode) {
  interCharTimeoutMs_ = MbusRtuFrame::InterCharTimeoutMs(baud);
  if (dataBits != 8) {
    return kMbusIllegalArgument;
  }
  std::string firstDescription;
  if (port_.DeviceCount() < 1 || !port_.FirstDeviceDescription(firstDescription)) {
    return kMbusOpenError;
  }
  if (const int status = port_.Open(description); status != kPortSuccess) {
    return status;
  }
  port_.Configure(baud, dataBits, stopBits, parity, flowMode);
  return kMbusSuccess;
}

int MbusRtuOverUSBMasterProtocol::Open(const std::string& description, std::uint32_t baud) {
  return Open(description, baud, 8, 1, 0, 0);
}

void MbusRtuOverUSBMasterProtocol::DiscardInputUntil(Clock::time_point until) {
  mbus_rtu_try::DiscardUntil(
      port_, until, [this] { return Now(); }, Observer());
}

int MbusRtuOverUSBMasterProtocol::TransactOnce(int slave, int function,
                                               const std::uint8_t* requestData, int requestLength,
                                               std::uint8_t* replyData, int replyLength) {
  if (!mbus_rtu_try::FitsFrame(requestLength, replyLength)) {
    return kMbusIllegalArgument;
  }
  const int frameLength =
      MbusRtuFrame::BuildRequest(frame_, slave, function, requestData, requestLength);
  // Unlike the serial line: the stale input is drained before the driver's own purge, and
  // nothing is flushed after writing.
  TFrameObserver* observer = Observer();
  mbus_rtu_try::DrainStaleInput(port_, interCharTimeoutMs_, Timeout(), observer);
  port_.PurgeDriver();
  if (const int result = mbus_rtu_try::SendResult(port_.Write(frame_, frameLength, Timeout()));
      result != kMbusSuccess) {
    return result;
  }
  mbus_rtu_try::TellRequest(observer, frame_, frameLength);
  if (slave == 0 || replyLength == 0) {
    return kMbusSuccess;
  }
  return mbus_rtu_try::ReceiveReply(port_, frame_, Timeout(), slave, function, replyData,
                                    replyLength, observer);
}

}  // namespace modbus
