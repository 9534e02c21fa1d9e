#pragma once

class QApplication;

namespace ui {

// The program's look: the default font and one style sheet for buttons,
// edits, combo boxes, check boxes, radio buttons, group boxes and progress
// bars. An edit that shows a text it does not take (read-only) has the grey
// ground of a disabled one and keeps its dark text.
void ApplySkin(QApplication& application);

}  // namespace ui
