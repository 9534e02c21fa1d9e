#include "tools/cli/SettingTexts.h"

#include "model/Group.h"
#include "model/Setting.h"
#include "model/Settings.h"

std::vector<TShownSetting> ShownSettings(model::TSettings& document) {
  std::vector<TShownSetting> shown;
  for (auto& group : document.Groups) {
    for (auto& setting : group->Settings) {
      std::vector<std::string> lines;
      setting->ExportCsv(lines);
      std::string value;
      // A line is the setting's name, a comma and its value.
      const std::string prefix = setting->Name + ",";
      for (const std::string& line : lines) {
        value += (value.empty() ? "" : "; ") +
                 (line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : line);
      }
      shown.push_back({group->Name + " / " + setting->Name, value});
    }
  }
  return shown;
}
