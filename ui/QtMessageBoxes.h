#pragma once

#include "ui/MessageBoxes.h"

namespace ui {

// The boxes a user sees: QMessageBox with the program's caption and font.
class TQtMessageBoxes : public TMessageBoxes {
 public:
  TBoxAnswer Show(TBoxIcon icon, const std::string& caption, const std::string& text,
                  TBoxButtons buttons) override;
};

}  // namespace ui
