#pragma once

#include <QAbstractButton>
#include <QPixmap>

#include "ui/Picture.h"

namespace ui {

// A picture button: one picture each for the normal, hovered and pressed
// looks, and an optional caption drawn over the picture from an indent.
// Space and Enter press it; with the focus it shows a dotted frame. On a
// screen that scales, the button shows the picture's drawing made for that
// density where there is one; any other is smooth-scaled to the device pixels.
class TImageButton : public QAbstractButton {
  Q_OBJECT

 public:
  explicit TImageButton(QWidget* parent = nullptr);

  void SetPictures(const TPicture& normal, const TPicture& hover, const TPicture& down);
  void SetCaptionAlignment(Qt::Alignment alignment) { captionAlignment_ = alignment; }

  // The picture the button shows in its present state.
  const TPicture& CurrentPicture() const;

  QSize sizeHint() const override;

  // The picture as drawn on a device with the given pixel ratio: the drawing
  // made for that ratio where its pixels match the device's, else a
  // smooth-scaled copy.
  QPixmap DevicePicture(qreal ratio) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  TPicture normal_;
  TPicture hover_;
  TPicture down_;
  // The last picture scaled to the device pixels, kept while neither changes.
  mutable QPixmap scaled_;
  mutable qint64 scaledFrom_ = 0;
  bool hovered_ = false;
  Qt::Alignment captionAlignment_ = Qt::AlignLeft | Qt::AlignVCenter;
};

}  // namespace ui
