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

// What the system knows of one serial device, for a user looking for their port.
struct TSerialDeviceInfo {
  std::string path;     // /dev/ttyUSB0
  std::string byId;     // its stable name under /dev/serial/by-id, or empty
  std::string driver;   // ftdi_sio, pl2303, cp210x, cdc_acm, serial8250, ...
  std::string product;  // the USB device's product string, or empty
  TPortAccess access;
};

// The serial devices present (/dev/ttyUSB*, ttyACM*, ttyS*), each with what sysfs tells of
// it. devRoot and sysfsRoot replace "/dev" and "/sys" (tests).
std::vector<TSerialDeviceInfo> DescribeSerialDevices(const std::string& devRoot,
                                                     const std::string& sysfsRoot);

}  // namespace comms
