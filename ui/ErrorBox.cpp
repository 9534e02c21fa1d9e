#include "ui/ErrorBox.h"

#include <exception>
#include <iostream>

#include "ui/MessageBoxes.h"

namespace ui {

std::string WithFullStop(const std::string& message) {
  if (message.empty()) {
    return message;
  }
  // Compared as unsigned bytes, as the single-byte strings of the original
  // program were: UTF-8 continuation bytes sort after "." too.
  if (static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.')) {
    return message + ".";
  }
  return message;
}

void ShowErrorBox(const std::string& text) {
  std::string line = text;
  for (char& c : line) {
    if (c == '\n' || c == '\r') {
      c = ' ';
    }
  }
  std::cerr << line << std::endl;
  MessageBoxes().Show(TBoxIcon::Error, kApplicationTitle, text, TBoxButtons::Ok);
}

void ShowApplicationError(const std::string& message) {
  ShowErrorBox(WithFullStop(message));
}

bool RunGuarded(const std::function<void()>& handler) {
  try {
    handler();
    return true;
  } catch (const std::exception& error) {
    ShowApplicationError(error.what());
  } catch (...) {
    ShowApplicationError("");
  }
  return false;
}

}  // namespace ui
