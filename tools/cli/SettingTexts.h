#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace model {
class TSettings;
}

// A setting as the CSV export shows it: "Group / Setting" and its exported values (a kind
// that exports several lines gives them joined by "; "), with what a settings file stores
// for it ("7", or "hour=7 minute=30" for a kind that stores more than a value): two values
// can show alike and still differ.
struct TShownSetting {
  std::string name;
  std::string value;
  std::string stored;
};

// Every setting of the document, in page order.
std::vector<TShownSetting> ShownSettings(model::TSettings& document);

// The text with its control characters and backslashes escaped ("\t", "\n", "\x1b",
// "\\"), C1 controls and bytes that are not UTF-8 as their bytes ("\xc2\x9b"), so that a
// name in the definitions cannot forge lines or columns of our listings, nor send the
// terminal an escape sequence.
std::string Printable(std::string_view text);
// The same for a message, whose own line breaks (and backslashes) stay as they are.
std::string PrintableMessage(std::string_view text);

// Names, one line each on `err`, the values of a loaded settings file that the definitions'
// limits or entries forbid (the file loads: a device may hold such values).
void WarnOutsideLimits(const std::vector<std::string>& notices, std::ostream& err);
