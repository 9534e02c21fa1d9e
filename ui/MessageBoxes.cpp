#include "ui/MessageBoxes.h"

#include "ui/QtMessageBoxes.h"

namespace ui {

namespace {

// Boxes are shown on the GUI thread only, so a plain pointer suffices.
TMessageBoxes* installed = nullptr;

}  // namespace

TMessageBoxes& MessageBoxes() {
  static TQtMessageBoxes qtBoxes;
  return installed != nullptr ? *installed : qtBoxes;
}

void SetMessageBoxes(TMessageBoxes* boxes) {
  installed = boxes;
}

}  // namespace ui
