#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string>

#include "comms/StoredChoices.h"

namespace comms {

// The key under which the program keeps the user's choices. It names the settings file
// $XDG_CONFIG_HOME/Brennhaven Dravonik/Config Manager.conf (~/.config when unset), in INI
// format.
inline constexpr const char* kConfigKey = "Software\\Brennhaven Dravonik\\Config Manager\\";

// The file behind a key "Software\<organisation>\<application>\".
QString RegistryFilePath(const std::string& key);

// Reads of a value that is missing write the default under that name and return it. A value
// that is present but not a whole number (or, where limits are given, outside them) counts as
// the default and is left as it is.
std::int32_t ReadRegistryInteger(const std::string& key, const std::string& name,
                                 std::int32_t defaultValue);
std::int32_t ReadRegistryInteger(const std::string& key, const std::string& name,
                                 std::int32_t defaultValue, std::int32_t minimum,
                                 std::int32_t maximum);
// Booleans are stored as the integers 0 and 1.
bool ReadRegistryBool(const std::string& key, const std::string& name, bool defaultValue);
void WriteRegistryInteger(const std::string& key, const std::string& name, std::int32_t value);
void WriteRegistryBool(const std::string& key, const std::string& name, bool value);

// The device file chosen for a port name such as "COM3": the value Ports/COM3, if any.
std::optional<std::string> ReadPortDevice(const std::string& portName);
void WritePortDevice(const std::string& portName, const std::string& devicePath);

// The choices of the connection dialog, as the program keeps them.
class TRegistryChoices : public TStoredChoices {
 public:
  // ConnectionType: 0 USB (the default), 1 serial; anything else counts as the default.
  registers::TConnectionType ConnectionType() override;
  std::optional<std::string> PortDevice(const std::string& portName) override {
    return ReadPortDevice(portName);
  }
};

}  // namespace comms
