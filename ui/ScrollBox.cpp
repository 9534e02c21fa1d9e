#include "ui/ScrollBox.h"

#include <QChildEvent>
#include <QScrollBar>
#include <QWheelEvent>

namespace ui {

TScrollBox::TScrollBox(QWidget* parent) : QScrollArea(parent), content_(new QWidget) {
  setFrameShape(QFrame::NoFrame);
  // A click on the empty area must not take the focus from the controls.
  setFocusPolicy(Qt::NoFocus);
  setWidgetResizable(false);
  setWidget(content_);
  // The scroll box is see-through: the panel behind it gives the colour.
  // (setWidget turns the content's own background on.)
  viewport()->setAutoFillBackground(false);
  content_->setAutoFillBackground(false);
  content_->installEventFilter(this);
  FitContent();
}

void TScrollBox::SetVerticalPosition(int position) {
  verticalScrollBar()->setValue(position);
}

int TScrollBox::VerticalPosition() const {
  return verticalScrollBar()->value();
}

bool TScrollBox::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Wheel && watched->parent() == content_) {
    ScrollBy(static_cast<QWheelEvent*>(event)->angleDelta().y());
    return true;
  }
  if (watched == content_) {
    if (event->type() == QEvent::ChildAdded) {
      // Children of the content report their moves and resizes here too.
      auto* child = static_cast<QChildEvent*>(event)->child();
      if (child->isWidgetType()) {
        child->installEventFilter(this);
      }
      FitContent();
    } else if (event->type() == QEvent::ChildRemoved) {
      FitContent();
    }
  } else if (watched->parent() == content_ &&
             (event->type() == QEvent::Move || event->type() == QEvent::Resize ||
              event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
    FitContent();
  }
  return QScrollArea::eventFilter(watched, event);
}

void TScrollBox::wheelEvent(QWheelEvent* event) {
  ScrollBy(event->angleDelta().y());
  event->accept();
}

void TScrollBox::ScrollBy(int wheelDelta) {
  // A notch away from the user (a delta of +120) scrolls up by 120 pixels.
  SetVerticalPosition(VerticalPosition() - wheelDelta);
}

void TScrollBox::FitContent() {
  QRect bounds;
  for (QObject* object : content_->children()) {
    auto* child = qobject_cast<QWidget*>(object);
    if (child != nullptr && !child->isHidden()) {
      bounds = bounds.united(child->geometry());
    }
  }
  // The content starts at the top-left corner; empty space beyond the last
  // child belongs to the viewport.
  content_->resize(std::max(bounds.right() + 1, 1), std::max(bounds.bottom() + 1, 1));
}

}  // namespace ui
