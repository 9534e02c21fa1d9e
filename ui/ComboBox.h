#pragma once

#include <QComboBox>

namespace ui {

// A drop-down list of the skinned toolkit. An entry wider than the box's text
// field is shown shortened with an ellipsis, and the whole entry is then the
// box's tooltip.
class TComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit TComboBox(QWidget* parent = nullptr);

  // The current entry as the box shows it.
  QString ShownText() const;

  // Gives the drop-down arrow the width, and its field the rest of the box: a
  // narrow box (a day beside its month) shows its entries whole.
  void SetArrowWidth(int pixels);

 protected:
  void initStyleOption(QStyleOptionComboBox* option) const override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void UpdateToolTip();
};

}  // namespace ui
