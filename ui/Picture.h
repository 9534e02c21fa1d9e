#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>

namespace ui {

// A picture with the drawings made of it for different pixel densities. Beside a picture file
// "name.bmp" may lie "name@2x.png": the same design drawn at twice the pixels each way, for a
// window whose device pixel ratio is above 1 (a high-density screen, or QT_SCALE_FACTOR=2).
class TPicture {
 public:
  TPicture() = default;
  // A picture drawn for one density only; implicit, so that a pixmap serves as a picture.
  TPicture(const QPixmap& picture);

  // Reads the picture file and the twofold drawing beside it where there is one. The picture
  // is null when its file cannot be read; a twofold drawing that is not twice the picture's
  // size (left over from an older picture) is not used.
  static TPicture Load(const QString& path);

  // Where the twofold drawing of the picture file at path lies.
  static QString TwofoldPath(const QString& path);

  bool IsNull() const { return single_.isNull(); }
  // The size in device-independent pixels.
  QSize Size() const;
  bool HasTwofold() const { return !twofold_.isNull(); }

  // The drawing for a device with the given pixel ratio: the twofold one for any ratio above
  // 1 where there is one (as Qt picks an "@2x" file), else the picture itself.
  const QPixmap& ForRatio(qreal ratio) const;

 private:
  QPixmap single_;
  QPixmap twofold_;
};

}  // namespace ui
