#include "model/Xmlutil.h"

#include <charconv>
#include <stdexcept>

namespace model {

int32_t StrToInt(const std::string& text) {
  const char* first = text.data();
  const char* last = text.data() + text.size();
  // from_chars takes a minus sign but no plus sign.
  if (first != last && *first == '+' && last - first > 1 && first[1] != '-') {
    ++first;
  }
  int32_t value = 0;
  const auto [end, error] = std::from_chars(first, last, value, 10);
  if (error != std::errc() || end != last || first == last) {
    throw std::runtime_error("'" + text + "' is not a valid integer value");
  }
  return value;
}

int32_t TXmlValue::AsInteger() const {
  return StrToInt(text_);
}

TXmlValue GetAttribute(const pugi::xml_node& element, const std::string& name) {
  const pugi::xml_attribute attribute = element.attribute(name.c_str());
  if (!attribute) {
    throw std::runtime_error("Could not find attribute \"" + name + "\" in XML node.");
  }
  return TXmlValue(attribute.value());
}

pugi::xml_node FindChildElement(const pugi::xml_node& element, const std::string& name) {
  pugi::xml_node found;
  for (const pugi::xml_node& child : element.children()) {
    if (child.type() == pugi::node_element && name == child.name()) {
      found = child;
    }
  }
  return found;
}

void LoadXmlDocument(pugi::xml_document& document, const std::string& path) {
  const pugi::xml_parse_result result =
      document.load_file(path.c_str(), pugi::parse_default | pugi::parse_declaration);
  if (!result) {
    throw std::runtime_error("Error reading XML document " + path + ": " + result.description() +
                             " at byte offset " + std::to_string(result.offset));
  }
}

}  // namespace model
