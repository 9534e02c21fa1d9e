#include "tests/support/Pictures.h"

#include <QColor>
#include <QPainter>

namespace testsupport {

namespace {

constexpr int kDark = 0;
constexpr int kLight = 255;

}  // namespace

QPixmap HalvesPicture(const QSize& size) {
  QPixmap picture(size);
  picture.fill(QColor(kLight, kLight, kLight));
  QPainter painter(&picture);
  painter.fillRect(0, 0, size.width() / 2, size.height(), QColor(kDark, kDark, kDark));
  return picture;
}

bool BlendsAcrossTheEdge(const QImage& image, int row) {
  for (int x = 0; x < image.width(); ++x) {
    const int grey = qGray(image.pixel(x, row));
    if (grey > kDark && grey < kLight) {
      return true;
    }
  }
  return false;
}

}  // namespace testsupport
