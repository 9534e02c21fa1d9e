#pragma once

#include <string>
#include <vector>

namespace model {
class TSettings;
}

// A setting as the CSV export shows it: "Group / Setting" and its exported values (a kind
// that exports several lines gives them joined by "; ").
struct TShownSetting {
  std::string name;
  std::string value;
};

// Every setting of the document, in page order.
std::vector<TShownSetting> ShownSettings(model::TSettings& document);
