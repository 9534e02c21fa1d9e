#include "ui/Picture.h"

#include <QDir>
#include <QFileInfo>

namespace ui {

namespace {

constexpr qreal kTwofold = 2.0;

}  // namespace

TPicture::TPicture(const QPixmap& picture) : single_(picture) {}

TPicture TPicture::Load(const QString& path) {
  TPicture picture(QPixmap{path});
  if (picture.IsNull()) {
    return picture;
  }
  QPixmap twofold(TwofoldPath(path));
  if (twofold.size() == picture.single_.size() * kTwofold) {
    // Qt also reads the ratio from an "@2x" name, unless QT_HIGHDPI_DISABLE_2X_IMAGE_LOADING
    // is set; the drawing is twofold whatever its name says to Qt.
    twofold.setDevicePixelRatio(kTwofold);
    picture.twofold_ = twofold;
  }
  return picture;
}

QString TPicture::TwofoldPath(const QString& path) {
  const QFileInfo file(path);
  return file.dir().filePath(file.completeBaseName() + QStringLiteral("@2x.png"));
}

QSize TPicture::Size() const {
  return single_.deviceIndependentSize().toSize();
}

const QPixmap& TPicture::ForRatio(qreal ratio) const {
  return ratio > 1.0 && HasTwofold() ? twofold_ : single_;
}

}  // namespace ui
