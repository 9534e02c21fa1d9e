#include "model/Refusal.h"

#include <stdexcept>

#include "model/Xmlutil.h"
#include "ui/ErrorBox.h"
#include "ui/GuiThread.h"

namespace model {

std::string BelowMinimum(const std::string& limit) {
  return "The minimum value this setting can be is '" + limit + "'";
}

std::string AboveMaximum(const std::string& limit) {
  return "The maximum value this setting can be is '" + limit + "'";
}

TRefusal CheckRange(int64_t number, int32_t minimum, int32_t maximum) {
  if (number < minimum) {
    return BelowMinimum(std::to_string(minimum));
  }
  if (number > maximum) {
    return AboveMaximum(std::to_string(maximum));
  }
  return std::nullopt;
}

TRefusal ParseInteger(const std::string& text, int32_t& number) {
  try {
    number = StrToInt(text);
  } catch (const std::runtime_error& error) {
    return std::string(error.what());
  }
  return std::nullopt;
}

bool ShowRefusal(const TRefusal& refusal) {
  if (!refusal) {
    return false;
  }
  if (!ui::OnGuiThread()) {
    throw std::logic_error("A refusal was to be shown off the GUI thread: " + *refusal);
  }
  ui::ShowErrorBox(*refusal);
  return true;
}

}  // namespace model
