#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <pugixml.hpp>

#include "model/Settings.h"

namespace registers {
class TRegisterDataStore;
}  // namespace registers

namespace model {

// One device type of the definitions file, with its settings document and
// the fields of an online or offline connection.
class TDevice {
 public:
  // The settings document binds its settings to the store and shares the set's state with
  // the other documents of the definitions.
  TDevice(registers::TRegisterDataStore& store, TDocumentSet& set);
  ~TDevice();
  TDevice(const TDevice&) = delete;
  TDevice& operator=(const TDevice&) = delete;

  // Reads the attributes of the `device` element, then builds the settings
  // document from the first `settings` element among the root's children
  // whose `settings_id` equals the device's.
  void LoadFromXml(const pugi::xml_node& deviceElement, const pugi::xml_node& root);
  // The `device` element the device type was read from.
  const pugi::xml_node& Element() const { return element_; }

  std::string Name;
  int32_t DeviceId = 0;
  std::unique_ptr<TSettings> Settings;
  int32_t CommPort = 0;  // 1..20 while online
  int32_t Address = 0;   // the Modbus slave address while online, always 1
  bool Online = false;
  int32_t LiveStatusId = 0;
  int32_t SettingsId = 0;

 private:
  pugi::xml_node element_;
  pugi::xml_node root_;
};

}  // namespace model
