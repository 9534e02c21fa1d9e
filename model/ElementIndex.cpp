#include "model/ElementIndex.h"

#include <charconv>
#include <string_view>

namespace model {

namespace {

// The element's ID, or false when it has none that reads as a number.
bool ReadId(const pugi::xml_node& element, int64_t& id) {
  const std::string_view text = element.attribute("ID").value();
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') {
    ++first;
  }
  const auto [end, error] = std::from_chars(first, last, id);
  return error == std::errc() && end == last && first != last;
}

}  // namespace

TElementIndex::TElementIndex(const pugi::xml_node& parent, const char* childName) {
  for (const pugi::xml_node& child : parent.children(childName)) {
    int64_t id = 0;
    if (ReadId(child, id)) {
      byId_[id].push_back(child);
    }
    byName_[child.attribute("name").value()].push_back(child);
  }
}

pugi::xml_node TElementIndex::Find(int32_t id, const std::string& name, std::size_t rank) const {
  if (const auto found = byId_.find(id); found != byId_.end()) {
    for (const pugi::xml_node& element : found->second) {
      if (name == element.attribute("name").value()) {
        return element;
      }
    }
    // An element without a name cannot contradict its ID.
    for (const pugi::xml_node& element : found->second) {
      if (!element.attribute("name")) {
        return element;
      }
    }
  }
  if (const auto found = byName_.find(name);
      found != byName_.end() && rank < found->second.size()) {
    return found->second[rank];
  }
  return {};
}

}  // namespace model
