#include "tools/cli/SettingTexts.h"

#include <algorithm>
#include <pugixml.hpp>
#include <utility>

#include "model/Group.h"
#include "model/Setting.h"
#include "model/Settings.h"

namespace {

// The attributes a settings file gives the setting beyond its name, ID and register.
std::string StoredText(model::TSetting& setting) {
  pugi::xml_document scratch;
  const pugi::xml_node element = setting.SaveToXml(scratch.append_child("group"));
  std::vector<std::pair<std::string, std::string>> values;
  for (const pugi::xml_attribute& attribute : element.attributes()) {
    const std::string_view name = attribute.name();
    if (name != "name" && name != "ID" && name != "register") {
      values.emplace_back(name, attribute.value());
    }
  }
  if (values.size() == 1 && values[0].first == "value") {
    return values[0].second;
  }
  std::string text;
  for (const auto& [name, value] : values) {
    text += (text.empty() ? "" : " ") + name + "=" + value;
  }
  return text;
}

}  // namespace

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
      shown.push_back({Printable(group->Name + " / " + setting->Name()), Printable(value),
                       Printable(StoredText(*setting))});
    }
  }
  return shown;
}

namespace {

void AppendHex(std::string& out, unsigned char byte) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\x";
  out += kHex[byte >> 4];
  out += kHex[byte & 0xF];
}

// The length of the UTF-8 sequence at text[i] when it is well formed, else 0.
std::size_t SequenceLength(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
  if (length == 0 || i + length > text.size()) {
    return 0;
  }
  for (std::size_t k = 1; k < length; ++k) {
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
      return 0;
    }
  }
  return length;
}

std::string Escaped(std::string_view text, bool keepLineBreaks) {
  std::string printable;
  printable.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80) {
      // C1 controls (U+0080 to U+009F: a terminal takes U+009B as the start of an escape
      // sequence) and bytes that are not UTF-8 are written as their bytes in hex.
      const std::size_t length = SequenceLength(text, i);
      const bool c1 = length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
      if (length == 0 || c1) {
        for (std::size_t k = 0; k < std::max<std::size_t>(length, 1); ++k) {
          AppendHex(printable, static_cast<unsigned char>(text[i + k]));
        }
      } else {
        printable.append(text.substr(i, length));
      }
      i += std::max<std::size_t>(length, 1) - 1;
      continue;
    }
    switch (c) {
      case '\\':
        printable += keepLineBreaks ? "\\" : "\\\\";
        break;
      case '\t':
        printable += "\\t";
        break;
      case '\n':
        printable += keepLineBreaks ? "\n" : "\\n";
        break;
      case '\r':
        printable += "\\r";
        break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          AppendHex(printable, byte);
        } else {
          printable += c;
        }
    }
  }
  return printable;
}

}  // namespace

std::string Printable(std::string_view text) {
  return Escaped(text, false);
}

std::string PrintableMessage(std::string_view text) {
  return Escaped(text, true);
}

void WarnOutsideLimits(const std::vector<std::string>& notices, std::ostream& err) {
  for (const std::string& notice : notices) {
    err << "warning: " << Printable(notice) << '\n';
  }
}
