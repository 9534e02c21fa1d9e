#include "modbus/MbusRtuMasterProtocol.h"

#include "modbus/MbusRtuTry.h"

int MbusRtuMasterProtocol::Open(const std::string& portName, std::uint32_t baud, int dataBits,
                                int stopBits, int parity) {
  interCharTimeoutMs_ = MbusRtuFrame::InterCharTimeoutMs(baud);
  if (dataBits != 8) {
    return kMbusIllegalArgument;
  }
  return MbusSerialMasterProtocol::Open(portName, baud, dataBits, stopBits, parity);
}

void MbusRtuMasterProtocol::DiscardInputUntil(std::chrono::steady_clock::time_point until) {
  mbus_rtu_try::DiscardUntil(Port(), until);
}

int MbusRtuMasterProtocol::TransactOnce(int slave, int function, const std::uint8_t* requestData,
                                        int requestLength, std::uint8_t* replyData,
                                        int replyLength) {
  if (!mbus_rtu_try::FitsFrame(requestLength, replyLength)) {
    return kMbusIllegalArgument;
  }
  const int frameLength =
      MbusRtuFrame::BuildRequest(frame_, slave, function, requestData, requestLength);
  Port().Purge();
  mbus_rtu_try::DrainStaleInput(Port(), interCharTimeoutMs_, Timeout());
  int status = Port().Write(frame_, frameLength, Timeout());
  if (status == kPortSuccess) {
    status = Port().Flush();
  }
  if (const int result = mbus_rtu_try::SendResult(status); result != kMbusSuccess) {
    return result;
  }
  if (slave == 0 || replyLength == 0) {
    return kMbusSuccess;
  }
  return mbus_rtu_try::ReceiveReply(Port(), frame_, Timeout(), slave, function, replyData,
                                    replyLength);
}
