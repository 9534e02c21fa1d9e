#include "ui/LabelFit.h"

#include <QFontMetrics>
#include <QLabel>

namespace ui {

namespace {

// The left edge of the nearest shown sibling to the right of the label whose
// line it shares; -1 when there is none.
int NextControlLeft(const QWidget& page, const QLabel& label) {
  const QRect line = label.geometry();
  int nearest = -1;
  for (const QWidget* widget : page.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (widget == &label || widget->isHidden()) {
      continue;
    }
    const QRect place = widget->geometry();
    const bool onTheLine = place.top() <= line.bottom() && line.top() <= place.bottom();
    if (onTheLine && place.left() > line.left() && (nearest < 0 || place.left() < nearest)) {
      nearest = place.left();
    }
  }
  return nearest;
}

}  // namespace

void ElideLabel(QLabel& label, int width) {
  const QString whole = label.text();
  const QFontMetrics metrics(label.font());
  if (metrics.horizontalAdvance(whole) <= width) {
    return;
  }
  label.setText(metrics.elidedText(whole, Qt::ElideRight, width));
  label.setToolTip(whole);
  label.resize(width, label.height());
}

void FitCaptionsToControls(QWidget& page) {
  for (QLabel* label : page.findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
    if (label->isHidden() || label->wordWrap() || label->text().isEmpty()) {
      continue;
    }
    const int controlLeft = NextControlLeft(page, *label);
    if (controlLeft >= 0) {
      ElideLabel(*label, controlLeft - label->x() - kCaptionGapPx);
    }
  }
}

}  // namespace ui
