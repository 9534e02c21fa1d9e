#include "modbus/MbusRtuMasterProtocol.h"

#include "modbus/MbusRtuTry.h"

namespace modbus {

int MbusRtuMasterProtocol::Open(const std::string& portName, std::uint32_t baud, int dataBits,
                                int stopBits, int parity) {
  interCharTimeoutMs_ = MbusRtuFrame::InterCharTimeoutMs(baud);
  if (dataBits != 8) {
    return kMbusIllegalArgument;
  }
  return MbusSerialMasterProtocol::Open(portName, baud, dataBits, stopBits, parity);
}

void MbusRtuMasterProtocol::DiscardInputUntil(Clock::time_point until) {
  mbus_rtu_try::DiscardUntil(
      Port(), until, [this] { return Now(); }, Observer());
}

int MbusRtuMasterProtocol::TransactOnce(int slave, int function, const std::uint8_t* requestData,
                                        int requestLength, std::uint8_t* replyData,
                                        int replyLength) {
  if (!mbus_rtu_try::FitsFrame(requestLength, replyLength)) {
    return kMbusIllegalArgument;
  }
  return mbus_rtu_try::SerialLineTry(Port(), frame_, interCharTimeoutMs_, Timeout(), slave,
                                     function, requestData, requestLength, replyData, replyLength,
                                     Observer());
}

}  // namespace modbus
