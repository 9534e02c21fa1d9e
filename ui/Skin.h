#pragma once

class QApplication;

namespace ui {

// The program's look: the default font and one style sheet for buttons,
// edits, combo boxes, check boxes, radio buttons, group boxes and progress
// bars.
void ApplySkin(QApplication& application);

}  // namespace ui
