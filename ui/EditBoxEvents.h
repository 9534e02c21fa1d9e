#pragma once

#include <functional>

#include "ui/EventRelay.h"

class QLineEdit;

namespace ui {

// What a setting row does when the user works in one of its edit boxes.
// A handler left empty is not called.
struct TEditBoxHandlers {
  // The box got the keyboard focus.
  std::function<void(QLineEdit& box)> Entered;
  // The focus went from the box to another control of the window; moving to
  // another window (a message box, another program) is not leaving the box.
  std::function<void(QLineEdit& box)> Left;
  std::function<void(QLineEdit& box, int key)> KeyPressed;
};

// An event filter for a relay installed on edit boxes: it calls the handlers
// and lets every event go on. Entered runs when the user comes to the box,
// not when the focus returns to a box still being edited (from a message
// box, another window, or after ReturnFocusTo). An error escaping a handler
// is shown in the application's error box. The last events of a box being
// destroyed (which is then no longer a QLineEdit) are not handled.
TEventRelay::TFilter EditBoxFilter(TEditBoxHandlers handlers);

// After a refused entry: the box keeps the user's text and takes the focus
// back once the change of focus under way is over (taking it back at once
// would bounce the focus between two boxes).
void ReturnFocusTo(QLineEdit& box);

}  // namespace ui
