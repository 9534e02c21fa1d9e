#pragma once

#include <string>
#include <vector>

namespace comms {

// Whether this user may open a serial device, and if not, what would let them.
struct TPortAccess {
  bool exists = false;
  bool permitted = false;
  // The group that owns the device node ("dialout"); empty when unknown.
  std::string group;
};

// The serial devices present, for the user to choose from: the stable names under
// /dev/serial/by-id first, then /dev/ttyUSB*, /dev/ttyACM* and /dev/ttyS*, each sorted by
// number. devRoot replaces "/dev" (tests).
std::vector<std::string> PresentSerialDevices(const std::string& devRoot = "/dev");

TPortAccess PortAccess(const std::string& devicePath);

}  // namespace comms
