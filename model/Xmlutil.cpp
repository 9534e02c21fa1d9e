#include "model/Xmlutil.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
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

bool StrToBool(const std::string& text) {
  std::string lower = text;
  for (char& c : lower) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  if (lower == "true") {
    return true;
  }
  if (lower == "false") {
    return false;
  }
  try {
    return StrToInt(text) != 0;
  } catch (const std::runtime_error&) {
    throw std::runtime_error("'" + text + "' is not a valid boolean value");
  }
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

namespace {

// Windows-1252 characters 0x80 to 0x9F; the rest of the upper half is
// ISO-8859-1, whose code points equal the byte values. Unassigned bytes map
// to themselves as ISO-8859-1 does.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string Windows1252ToUtf8(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  for (const char byte : bytes) {
    const auto c = static_cast<unsigned char>(byte);
    if (c >= 0x80 && c < 0xA0) {
      AppendUtf8(out, kWindows1252High[c - 0x80]);
    } else {
      AppendUtf8(out, c);
    }
  }
  return out;
}

// True when the XML declaration at the start names a single-byte Western
// encoding, which the parser does not read itself.
bool DeclaresWindows1252(const std::string& bytes) {
  const size_t end = bytes.find("?>");
  if (bytes.rfind("<?xml", 0) != 0 || end == std::string::npos) {
    return false;
  }
  std::string declaration = bytes.substr(0, end);
  for (char& c : declaration) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  for (const char* name : {"windows-1252", "iso-8859-1", "latin1", "cp1252"}) {
    if (declaration.find(std::string("\"") + name + "\"") != std::string::npos ||
        declaration.find(std::string("'") + name + "'") != std::string::npos) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::string ReadXmlText(const std::string& path) {
  // A FIFO would block the open, a device such as /dev/zero never end.
  std::error_code status;
  if (std::filesystem::exists(path, status) && !std::filesystem::is_regular_file(path, status)) {
    throw std::runtime_error("Cannot open file \"" + path + "\". Not a regular file");
  }
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) {
    const int error = errno;
    throw std::runtime_error("Cannot open file \"" + path + "\"" +
                             (error != 0 ? std::string(". ") + std::strerror(error) : ""));
  }
  std::ostringstream contents;
  contents << in.rdbuf();
  std::string bytes = contents.str();
  return DeclaresWindows1252(bytes) ? Windows1252ToUtf8(bytes) : bytes;
}

void LoadXmlDocument(pugi::xml_document& document, const std::string& path) {
  const std::string bytes = ReadXmlText(path);
  // The declaration still names the single-byte encoding the text was converted from.
  const pugi::xml_encoding encoding =
      DeclaresWindows1252(bytes) ? pugi::encoding_utf8 : pugi::encoding_auto;
  const pugi::xml_parse_result result = document.load_buffer(
      bytes.data(), bytes.size(), pugi::parse_default | pugi::parse_declaration, encoding);
  if (!result) {
    throw std::runtime_error("Error reading XML document " + path + ": " + result.description() +
                             " at byte offset " + std::to_string(result.offset));
  }
}

}  // namespace model
