#include "ui/ImageButton.h"

#include <QKeyEvent>
#include <QPainter>

namespace ui {

TImageButton::TImageButton(QWidget* parent) : QAbstractButton(parent) {
  setFocusPolicy(Qt::StrongFocus);
}

void TImageButton::SetPictures(const TPicture& normal, const TPicture& hover,
                               const TPicture& down) {
  normal_ = normal;
  hover_ = hover.IsNull() ? normal : hover;
  down_ = down.IsNull() ? normal : down;
  update();
}

const TPicture& TImageButton::CurrentPicture() const {
  if (isDown() || isChecked()) {
    return down_;
  }
  return hovered_ && isEnabled() ? hover_ : normal_;
}

QSize TImageButton::sizeHint() const {
  return normal_.IsNull() ? QSize(75, 22) : normal_.Size();
}

QPixmap TImageButton::DevicePicture(qreal ratio) const {
  const QPixmap& picture = CurrentPicture().ForRatio(ratio);
  const QSize pixels = (QSizeF(size()) * ratio).toSize();
  if (picture.isNull() || (picture.size() == pixels && picture.devicePixelRatio() == ratio)) {
    return picture;
  }
  if (scaledFrom_ != picture.cacheKey() || scaled_.size() != pixels) {
    scaled_ = picture.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    scaled_.setDevicePixelRatio(ratio);
    scaledFrom_ = picture.cacheKey();
  }
  return scaled_;
}

void TImageButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPixmap picture = DevicePicture(painter.device()->devicePixelRatio());
  if (picture.isNull()) {
    painter.fillRect(rect(), palette().button());
  } else {
    // Smooth also where a painter scales on its own (a widget rendered into an image).
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(rect().topLeft(), picture);
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

void TImageButton::keyPressEvent(QKeyEvent* event) {
  // Enter presses the button as Space does; Space is the base class's.
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat()) {
    click();
    return;
  }
  QAbstractButton::keyPressEvent(event);
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
