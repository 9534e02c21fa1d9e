#include "ui/Fonts.h"

namespace ui {

QFont DefaultFont() {
  QFont font(QStringLiteral("Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(8);
  return font;
}

}  // namespace ui
