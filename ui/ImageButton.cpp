#include "ui/ImageButton.h"

#include <QPainter>

namespace ui {

TImageButton::TImageButton(QWidget* parent) : QAbstractButton(parent) {
  setFocusPolicy(Qt::StrongFocus);
}

void TImageButton::SetPictures(const QPixmap& normal, const QPixmap& hover, const QPixmap& down) {
  normal_ = normal;
  hover_ = hover.isNull() ? normal : hover;
  down_ = down.isNull() ? normal : down;
  update();
}

const QPixmap& TImageButton::CurrentPicture() const {
  if (isDown() || isChecked()) {
    return down_;
  }
  return hovered_ && isEnabled() ? hover_ : normal_;
}

QSize TImageButton::sizeHint() const {
  return normal_.isNull() ? QSize(75, 22) : normal_.size();
}

void TImageButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPixmap& picture = CurrentPicture();
  if (picture.isNull()) {
    painter.fillRect(rect(), palette().button());
  } else {
    painter.drawPixmap(rect(), picture);
  }
  if (!text().isEmpty()) {
    painter.setPen(isEnabled() ? palette().color(QPalette::ButtonText)
                               : palette().color(QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(rect(), captionAlignment_, text());
  }
  if (hasFocus()) {
    painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
    painter.drawRect(rect().adjusted(1, 1, -2, -2));
  }
}

void TImageButton::enterEvent(QEnterEvent* event) {
  hovered_ = true;
  update();
  QAbstractButton::enterEvent(event);
}

void TImageButton::leaveEvent(QEvent* event) {
  hovered_ = false;
  update();
  QAbstractButton::leaveEvent(event);
}

}  // namespace ui
