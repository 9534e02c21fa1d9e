#pragma once

#include <optional>
#include <string>

// A decimal number given on the command line, within min to max: nothing but the number
// (optional leading blanks and a sign allowed), else no value.
std::optional<long> ParseNumber(const std::string& text, long min, long max);
