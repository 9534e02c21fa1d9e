#pragma once

#include <cstddef>

#include "model/Group.h"
#include "model/Setting.h"
#include "model/Settings.h"

namespace testsupport {

// A row of a group as the kind of setting the test expects there: a setting of another kind
// throws std::bad_cast and a row or group that is not there std::out_of_range, either of
// which fails the test at that line.
template <typename Kind>
Kind& SettingAt(const model::TGroup& group, std::size_t row) {
  return dynamic_cast<Kind&>(*group.Settings.at(row));
}

template <typename Kind>
Kind& SettingAt(const model::TSettings& document, std::size_t group, std::size_t row) {
  return SettingAt<Kind>(*document.Groups.at(group), row);
}

// The first setting of the kind, groups and rows in order, for which fits(setting) holds;
// null when there is none.
template <typename Kind, typename Fits>
Kind* FirstOfKind(const model::TSettings& document, Fits&& fits) {
  for (const auto& group : document.Groups) {
    for (const auto& setting : group->Settings) {
      if (auto* found = dynamic_cast<Kind*>(setting.get()); found != nullptr && fits(*found)) {
        return found;
      }
    }
  }
  return nullptr;
}

template <typename Kind>
Kind* FirstOfKind(const model::TSettings& document) {
  return FirstOfKind<Kind>(document, [](const Kind&) { return true; });
}

// A setting that holds a whole holding register of its own: no template, no bit mask. Its
// value can be changed and seen in the register without touching another setting.
inline bool IsWholeHoldingRegister(const model::TSetting& setting) {
  return !setting.IsTemplate() && setting.RegisterType() == model::kHoldingRegister &&
         setting.BitMask() == 0;
}

}  // namespace testsupport
