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
      const std::string prefix = setting->Name() + ",";
      for (const std::string& line : lines) {
        value += (value.empty() ? "" : "; ") +
                 (line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : line);
      }
      shown.push_back({Printable(group->Name + " / " + setting->Name()), Printable(value)});
    }
  }
  return shown;
}

std::string Printable(std::string_view text) {
  std::string printable;
  printable.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '\\':
        printable += "\\\\";
        break;
      case '\t':
        printable += "\\t";
        break;
      case '\n':
        printable += "\\n";
        break;
      case '\r':
        printable += "\\r";
        break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          static constexpr char kHex[] = "0123456789abcdef";
          printable += "\\x";
          printable += kHex[byte >> 4];
          printable += kHex[byte & 0xF];
        } else {
          printable += c;
        }
    }
  }
  return printable;
}

void WarnOutsideLimits(const std::vector<std::string>& notices, std::ostream& err) {
  for (const std::string& notice : notices) {
    err << "warning: " << Printable(notice) << '\n';
  }
}
