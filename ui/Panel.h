#pragma once

#include <QColor>
#include <QWidget>

namespace ui {

// A flat panel filled with one colour, without bevel. Also serves as the
// one-pixel separator lines of the windows.
class TPanel : public QWidget {
  Q_OBJECT

 public:
  explicit TPanel(QWidget* parent = nullptr, QColor colour = QColor());

  void SetColour(const QColor& colour);
  QColor Colour() const { return colour_; }

 private:
  QColor colour_;
};

}  // namespace ui
