#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

namespace model {

class TSetting;

// What a definitions check gives each setting it checks (TSetting::CheckDefinition): where
// a finding goes and what the check knows of the file and the document around the setting.
// Each kind of setting keeps the rules of its own definition in its CheckDefinition, so
// that whoever adds a kind finds them there.
class TDefinitionCheck {
 public:
  virtual ~TDefinitionCheck() = default;

  // One finding at an element of the definitions. The text begins with what it is about
  // (Subject) and says what is wrong and what the program makes of it.
  virtual void Add(const pugi::xml_node& at, const std::string& text) = 0;
  // How findings name a setting: its name, group and device.
  virtual std::string Subject(const TSetting& setting) const = 0;
  // Text of the file, quoted and made printable.
  virtual std::string Quoted(std::string_view text) const = 0;
  // The line of an element in the definitions file.
  virtual long LineOf(const pugi::xml_node& element) const = 0;
  // The unit families ("m/sec", "Pa") the document's unit-converted settings are shown in.
  virtual const std::vector<std::string>& UnitFamilies() const = 0;

  // The finding of limits the wrong way round or a default outside them, if any.
  void CheckLimits(const TSetting& setting, const std::string& minimum, const std::string& maximum,
                   bool minAboveMax, bool defaultOutside, const std::string& defaultText);
};

}  // namespace model
