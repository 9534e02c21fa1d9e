#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace model {

// Why an entry (or a copy between settings) is not taken: the text the user is shown, or
// nothing when it is taken. Checks only build the text; ShowRefusal shows it.
using TRefusal = std::optional<std::string>;

// The refusals of a number beyond its limits, with the limit as the user should read it.
std::string BelowMinimum(const std::string& limit);
std::string AboveMaximum(const std::string& limit);

// A whole number outside minimum..maximum, naming the limit it breaks.
TRefusal CheckRange(int64_t number, int32_t minimum, int32_t maximum);

// The text as a whole number; the refusal says why it is none.
TRefusal ParseInteger(const std::string& text, int32_t& number);

// Shows the refusal, when there is one, in the error box and says whether there was one.
// Boxes belong to the GUI thread: called from any other thread it throws std::logic_error
// instead of showing anything.
bool ShowRefusal(const TRefusal& refusal);

}  // namespace model
