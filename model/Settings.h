#pragma once

#include <pugixml.hpp>

namespace model {

// The settings document of one device type. It keeps a reference to the
// `settings` element of the definitions, which stays loaded for the whole run.
class TSettings {
 public:
  // Takes the device type's `settings` element.
  void LoadFromXml(const pugi::xml_node& settingsElement);

  const pugi::xml_node& SettingsElement() const { return settingsElement_; }

 private:
  pugi::xml_node settingsElement_;
};

}  // namespace model
