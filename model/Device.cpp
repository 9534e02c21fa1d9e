#include "model/Device.h"

#include <stdexcept>

#include "model/Xmlutil.h"

namespace model {

TDevice::TDevice(registers::TRegisterDataStore& store, TDocumentSet& set)
    : Settings(std::make_unique<TSettings>(this, store, set)) {}

TDevice::~TDevice() {
  // The settings document goes first: it refers to the device's elements.
  Settings.reset();
}

void TDevice::LoadFromXml(const pugi::xml_node& deviceElement, const pugi::xml_node& root) {
  element_ = deviceElement;
  root_ = root;

  Name = GetAttribute(deviceElement, "name").AsString();
  DeviceId = GetAttribute(deviceElement, "device_id").AsInteger();
  LiveStatusId = GetAttribute(deviceElement, "live_status_id").AsInteger();
  SettingsId = GetAttribute(deviceElement, "settings_id").AsInteger();

  for (const pugi::xml_node& child : root.children()) {
    if (std::string_view(child.name()) != "settings") {
      continue;
    }
    if (GetAttribute(child, "settings_id").AsInteger() == SettingsId) {
      Settings->LoadFromXml(child);
      return;
    }
  }
  throw std::runtime_error("Could not find a settings node with id " + std::to_string(SettingsId));
}

}  // namespace model
