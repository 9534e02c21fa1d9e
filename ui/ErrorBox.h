#pragma once

#include <functional>
#include <string>

namespace ui {

// The caption of every error box and the program's task-bar title.
inline constexpr const char* kApplicationTitle = "Brennhaven Dravonik";

// The message as the error box shows it: a full stop is appended when the
// last character sorts after "." (a letter, a digit, a colon, ...). An empty
// message stays empty.
std::string WithFullStop(const std::string& message);

// An error box (error icon, OK) with the text as it stands. The text is also
// written to standard error as one line, for support staff and tests.
void ShowErrorBox(const std::string& text);

// The application's error box for an error that escaped a handler: the
// message with the full-stop rule applied.
void ShowApplicationError(const std::string& message);

// Runs a handler; an error that escapes it is shown in the application's
// error box and the program goes on. A thrown object that is not a standard
// exception shows an empty message. Returns false when the handler threw.
bool RunGuarded(const std::function<void()>& handler);

}  // namespace ui
