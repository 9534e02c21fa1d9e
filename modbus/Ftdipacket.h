#pragma once

#include "modbus/Ftdiport.h"

namespace modbus {

// The port the USB protocol owns; it adds nothing to TFTDIPort that the system uses.
class TFTDIPacket : public TFTDIPort {
 public:
  using TFTDIPort::TFTDIPort;
};

}  // namespace modbus
