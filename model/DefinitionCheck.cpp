#include "model/DefinitionCheck.h"

#include "model/Setting.h"

namespace model {

void TDefinitionCheck::CheckLimits(const TSetting& setting, const std::string& minimum,
                                   const std::string& maximum, bool minAboveMax,
                                   bool defaultOutside, const std::string& defaultText) {
  if (minAboveMax) {
    Add(setting.Definition(), Subject(setting) + ": min " + minimum + " is above max " + maximum);
  } else if (defaultOutside) {
    Add(setting.Definition(), Subject(setting) + ": default " + defaultText + " is outside min " +
                                  minimum + " to max " + maximum);
  }
}

}  // namespace model
