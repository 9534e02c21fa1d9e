#include "modbus/MbusSerialMasterProtocol.h"

namespace modbus {

MbusSerialMasterProtocol::~MbusSerialMasterProtocol() {
  port_.Close();
}

int MbusSerialMasterProtocol::Open(const std::string& portName, std::uint32_t baud, int dataBits,
                                   int stopBits, int parity) {
  if (IsOpen()) {
    return kMbusIllegalState;
  }
  if (dataBits != 7 && dataBits != 8) {
    return kMbusIllegalArgument;
  }
  switch (port_.Open(portName)) {
    case kPortSuccess:
      break;
    case kPortInUse:
      return kMbusPortAlreadyOpen;
    case kPortNoPermission:
      return kMbusNoPermission;
    default:
      port_.Close();
      return kMbusOpenError;
  }
  if (port_.Configure(baud, dataBits, stopBits, parity, 0) != kPortSuccess) {
    port_.Close();
    return kMbusIllegalArgument;
  }
  return kMbusSuccess;
}

int MbusSerialMasterProtocol::Open(const std::string& portName, std::uint32_t baud) {
  return Open(portName, baud, 8, 1, kParityNone);
}

}  // namespace modbus
