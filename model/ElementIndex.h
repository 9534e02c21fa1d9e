#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include <pugixml.hpp>

namespace model {

// The child elements of one kind (`group`, `setting`) of a settings file's element, indexed
// once so that finding each costs the same however many there are.
//
// An element is found by its `ID` where its `name` agrees (files written by this program
// match so) or where it has no name. Where no element with the ID bears the name (the definitions
// gained, lost or reordered settings since the file was written), the element is found by its name
// and its rank among the elements of that name: the third setting named "Enable" of a group takes
// the third element named "Enable". Otherwise there is none.
class TElementIndex {
 public:
  TElementIndex(const pugi::xml_node& parent, const char* childName);

  // A null node when nothing matches.
  pugi::xml_node Find(int32_t id, const std::string& name, std::size_t rank) const;

 private:
  std::unordered_map<int64_t, std::vector<pugi::xml_node>> byId_;
  std::unordered_map<std::string, std::vector<pugi::xml_node>> byName_;
};

// Counts how often each name came before: the rank of the next element of that name.
class TNameRanks {
 public:
  std::size_t Next(const std::string& name) { return counts_[name]++; }

 private:
  std::unordered_map<std::string, std::size_t> counts_;
};

}  // namespace model
