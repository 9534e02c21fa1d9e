#include "ui/Panel.h"

#include <QPalette>

namespace ui {

TPanel::TPanel(QWidget* parent, QColor colour) : QWidget(parent) {
  if (colour.isValid()) {
    SetColour(colour);
  }
}

void TPanel::SetColour(const QColor& colour) {
  colour_ = colour;
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, colour);
  setPalette(palette);
  setAutoFillBackground(true);
}

}  // namespace ui
