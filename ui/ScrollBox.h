#pragma once

#include <QScrollArea>

namespace ui {

// A border-less scroll box whose children are placed at absolute positions
// inside Content(). The scrolled area follows the bounding box of the shown
// children, so that whatever is placed there can be scrolled into view.
class TScrollBox : public QScrollArea {
  Q_OBJECT

 public:
  explicit TScrollBox(QWidget* parent = nullptr);

  QWidget* Content() const { return content_; }
  void SetVerticalPosition(int position);
  int VerticalPosition() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FitContent();

  QWidget* content_;
};

}  // namespace ui
