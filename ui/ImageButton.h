#pragma once

#include <QAbstractButton>
#include <QPixmap>

namespace ui {

// A picture button: one picture each for the normal, hovered and pressed
// looks, and an optional caption drawn over the picture from an indent.
class TImageButton : public QAbstractButton {
  Q_OBJECT

 public:
  explicit TImageButton(QWidget* parent = nullptr);

  void SetPictures(const QPixmap& normal, const QPixmap& hover, const QPixmap& down);
  void SetCaptionAlignment(Qt::Alignment alignment) { captionAlignment_ = alignment; }

  // The picture the button shows in its present state.
  const QPixmap& CurrentPicture() const;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  QPixmap normal_;
  QPixmap hover_;
  QPixmap down_;
  bool hovered_ = false;
  Qt::Alignment captionAlignment_ = Qt::AlignLeft | Qt::AlignVCenter;
};

}  // namespace ui
