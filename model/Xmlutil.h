#pragma once

#include <cstdint>
#include <string>

#include <pugixml.hpp>

namespace model {

// The value of an XML attribute, as text that the caller converts to a
// string or to an integer.
class TXmlValue {
 public:
  explicit TXmlValue(std::string text) : text_(std::move(text)) {}

  const std::string& AsString() const { return text_; }
  // The text as a decimal integer; throws the conversion error otherwise.
  int32_t AsInteger() const;

 private:
  std::string text_;
};

// A decimal integer with an optional sign that fits 32 bits. Anything else
// throws "'" + text + "' is not a valid integer value".
int32_t StrToInt(const std::string& text);

// "true" or "false" in any letter case, or an integer (non-zero is true).
// Anything else throws "'" + text + "' is not a valid boolean value".
bool StrToBool(const std::string& text);

// The attribute's value; throws when the element has no such attribute.
TXmlValue GetAttribute(const pugi::xml_node& element, const std::string& name);

// The child element with that name, or an empty node. When several children
// share the name the last one wins; text, comments and other nodes are
// skipped.
pugi::xml_node FindChildElement(const pugi::xml_node& element, const std::string& name);

// The file's text as LoadXmlDocument parses it: its bytes, converted to UTF-8 when the XML
// declaration names a single-byte Western encoding. Throws when the file cannot be read or
// is not a regular file (a FIFO, a device).
std::string ReadXmlText(const std::string& path);

// Parses the file into the document. A parse error throws pugixml's
// description with the byte offset where it was found.
void LoadXmlDocument(pugi::xml_document& document, const std::string& path);

}  // namespace model
