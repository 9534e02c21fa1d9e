#include "tests/support/TextFit.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionComboBox>

#include "ui/ComboBox.h"

namespace testsupport {

namespace {

QRect InWindow(const QWidget& widget) {
  return QRect(widget.mapTo(widget.window(), QPoint(0, 0)), widget.size());
}

// The parts of an edit or a drop-down are no controls of their own.
bool IsPartOfAControl(const QWidget& widget) {
  const QWidget* parent = widget.parentWidget();
  return qobject_cast<const QComboBox*>(parent) != nullptr ||
         qobject_cast<const QLineEdit*>(parent) != nullptr ||
         qobject_cast<const QAbstractSpinBox*>(parent) != nullptr;
}

const QWidget* ControlRightOf(const QLabel& caption) {
  const QWidget* window = caption.window();
  const QRect line = InWindow(caption);
  const QWidget* nearest = nullptr;
  int nearestLeft = 0;
  for (const QWidget* widget : window->findChildren<QWidget*>()) {
    if (widget == &caption || widget->isAncestorOf(&caption) || !widget->isVisibleTo(window) ||
        IsPartOfAControl(*widget)) {
      continue;
    }
    const QRect place = InWindow(*widget);
    const bool onTheLine = place.top() <= line.bottom() && line.top() <= place.bottom();
    if (onTheLine && place.left() > line.left() &&
        (nearest == nullptr || place.left() < nearestLeft)) {
      nearest = widget;
      nearestLeft = place.left();
    }
  }
  return nearest;
}

std::string Describe(const QWidget& widget) {
  return widget.metaObject()->className();
}

}  // namespace

int FieldWidth(const QComboBox& box) {
  QStyleOptionComboBox option;
  option.initFrom(&box);
  option.editable = box.isEditable();
  option.frame = box.hasFrame();
  option.subControls = QStyle::SC_All;
  return box.style()
      ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, &box)
      .width();
}

std::string CaptionClash(const QLabel& caption, const std::string& whole) {
  const QString text = caption.text();
  const std::string name = "'" + whole + "'";
  if (text.toStdString() != whole && caption.toolTip().toStdString() != whole) {
    return name + ": shown as '" + text.toStdString() + "' without the whole text as tooltip";
  }
  const QWidget* control = ControlRightOf(caption);
  if (control == nullptr) {
    return {};
  }
  const int textWidth = QFontMetrics(caption.font()).horizontalAdvance(text);
  const int room = InWindow(*control).left() - InWindow(caption).left() - kCaptionGapPx;
  if (textWidth <= room) {
    return {};
  }
  return name + ": caption " + std::to_string(textWidth) + " px wide in " +
         QFontInfo(caption.font()).family().toStdString() + " " +
         std::to_string(caption.font().pointSize()) + " pt, " + std::to_string(room) +
         " px before the " + Describe(*control);
}

std::vector<std::string> CutEntries(QComboBox& box) {
  std::vector<std::string> cut;
  const int chosen = box.currentIndex();
  const int field = FieldWidth(box);
  const auto* skinned = qobject_cast<const ui::TComboBox*>(&box);
  for (int i = 0; i < box.count(); ++i) {
    box.setCurrentIndex(i);
    const QString whole = box.currentText();
    const QString shown = skinned != nullptr ? skinned->ShownText() : whole;
    const int width = box.fontMetrics().horizontalAdvance(shown);
    const std::string entry = "entry '" + whole.toStdString() + "'";
    if (width > field) {
      cut.push_back(entry + " shown " + std::to_string(width) + " px wide in a " +
                    std::to_string(field) + " px field");
    } else if (shown != whole && !shown.startsWith(whole.left(kLeastShownCharacters))) {
      cut.push_back(entry + " shown as '" + shown.toStdString() + "' in a " +
                    std::to_string(field) + " px field, less than its first " +
                    std::to_string(kLeastShownCharacters) + " characters");
    } else if (shown != whole && box.toolTip() != whole) {
      cut.push_back(entry + " shortened without the whole text as tooltip");
    }
  }
  box.setCurrentIndex(chosen);
  return cut;
}

}  // namespace testsupport
