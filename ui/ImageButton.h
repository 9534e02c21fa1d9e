#pragma once

#include <QAbstractButton>
#include <QPixmap>

namespace ui {

// A picture button: one picture each for the normal, hovered and pressed
// looks, and an optional caption drawn over the picture from an indent.
// Space and Enter press it; with the focus it shows a dotted frame. On a
// screen that scales, the picture is smooth-scaled to the device pixels.
class TImageButton : public QAbstractButton {
  Q_OBJECT

 public:
  explicit TImageButton(QWidget* parent = nullptr);

  void SetPictures(const QPixmap& normal, const QPixmap& hover, const QPixmap& down);
  void SetCaptionAlignment(Qt::Alignment alignment) { captionAlignment_ = alignment; }

  // The picture the button shows in its present state.
  const QPixmap& CurrentPicture() const;

  QSize sizeHint() const override;

  // The picture as drawn on a device with the given pixel ratio: the picture
  // itself where its pixels match the device's, else a smooth-scaled copy.
  QPixmap DevicePicture(qreal ratio) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  QPixmap normal_;
  QPixmap hover_;
  QPixmap down_;
  // The last picture scaled to the device pixels, kept while neither changes.
  mutable QPixmap scaled_;
  mutable qint64 scaledFrom_ = 0;
  bool hovered_ = false;
  Qt::Alignment captionAlignment_ = Qt::AlignLeft | Qt::AlignVCenter;
};

}  // namespace ui
