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
std::vector<std::string> PresentSerialDevices(const std::string& devRoot);
// The same in the tree the links look at (DRAVONIK_DEV_ROOT).
std::vector<std::string> PresentSerialDevices();

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
// The same in the trees the USB link looks at (DRAVONIK_DEV_ROOT, DRAVONIK_SYSFS_ROOT).
std::vector<TSerialDeviceInfo> DescribeSerialDevices();

// Why a link could not be used, as a user can act on it: "DEVICE FILE: REASON", or for
// USB which converters there are instead. No full stop: callers add their own.

// A serial device file that would not open with this result code (66, 67, 74, ...):
// "/dev/ttyS0: not present", "...: in use by another program", "...: no permission (join
// the group 'dialout')".
std::string SerialOpenFailure(const std::string& devicePath, int result);
// No USB link opened. Either a converter with one of the descriptions is there but would
// not open (its device file, product string and why), or none is, and the text names the
// USB serial converters present (device file, product string) and how to use one of them.
// Looks at the trees the USB link looks at.
std::string UsbOpenFailure();
// A search that found no device on a serial device file; lastResult is the result code of
// its last attempt (0 when the device answered with device type 0).
std::string SearchFailure(const std::string& devicePath, int lastResult);

}  // namespace comms
