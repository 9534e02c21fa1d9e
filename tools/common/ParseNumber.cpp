#include "tools/common/ParseNumber.h"

#include <cerrno>
#include <cstdlib>

std::optional<long> ParseNumber(const std::string& text, long min, long max) {
  if (text.empty()) {
    return std::nullopt;
  }
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != 0 || value < min || value > max) {
    return std::nullopt;
  }
  return value;
}
