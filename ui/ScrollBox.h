#pragma once

#include <QScrollArea>

namespace ui {

// A border-less scroll box whose children are placed at absolute positions
// inside Content(). The scrolled area follows the bounding box of the shown
// children, so that whatever is placed there can be scrolled into view. The
// wheel over the box or a control on it scrolls the box up or down by the
// wheel's delta, 120 pixels a notch, and does nothing else: no control under
// the mouse takes the wheel for a change of its value.
class TScrollBox : public QScrollArea {
  Q_OBJECT

 public:
  explicit TScrollBox(QWidget* parent = nullptr);

  QWidget* Content() const { return content_; }
  void SetVerticalPosition(int position);
  int VerticalPosition() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void FitContent();
  void ScrollBy(int wheelDelta);

  QWidget* content_;
};

}  // namespace ui
