#include "model/Settings.h"

namespace model {

void TSettings::LoadFromXml(const pugi::xml_node& settingsElement) {
  settingsElement_ = settingsElement;
}

}  // namespace model
