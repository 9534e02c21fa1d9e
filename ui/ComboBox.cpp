#include "ui/ComboBox.h"

#include <QEvent>
#include <QStyle>
#include <QStyleOptionComboBox>

namespace ui {

namespace {

// Styles draw the shown entry up to a pixel inside each side of the text field.
constexpr int kFieldInsetPx = 2;

}  // namespace

TComboBox::TComboBox(QWidget* parent) : QComboBox(parent) {
  connect(this, &QComboBox::currentIndexChanged, this, &TComboBox::UpdateToolTip);
}

void TComboBox::SetArrowWidth(int pixels) {
  setStyleSheet(QStringLiteral("QComboBox::drop-down { width: %1px; }").arg(pixels));
}

QString TComboBox::ShownText() const {
  QStyleOptionComboBox option;
  initStyleOption(&option);
  return option.currentText;
}

void TComboBox::initStyleOption(QStyleOptionComboBox* option) const {
  QComboBox::initStyleOption(option);
  if (option->editable || option->currentText.isEmpty()) {
    return;
  }
  const QRect field =
      style()->subControlRect(QStyle::CC_ComboBox, option, QStyle::SC_ComboBoxEditField, this);
  option->currentText =
      fontMetrics().elidedText(option->currentText, Qt::ElideRight, field.width() - kFieldInsetPx);
}

void TComboBox::resizeEvent(QResizeEvent* event) {
  QComboBox::resizeEvent(event);
  UpdateToolTip();
}

void TComboBox::changeEvent(QEvent* event) {
  QComboBox::changeEvent(event);
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
    UpdateToolTip();
  }
}

void TComboBox::UpdateToolTip() {
  const QString whole = currentText();
  setToolTip(ShownText() == whole ? QString() : whole);
}

}  // namespace ui
