#pragma once

#include <QImage>
#include <QPixmap>
#include <QSize>

namespace testsupport {

// A picture dark in its left half and light in its right half: one sharp
// edge down the middle.
QPixmap HalvesPicture(const QSize& size);

// Whether the image's row holds a grey between the dark and the light of the
// halves picture: the edge was smoothed, not copied pixel by pixel.
bool BlendsAcrossTheEdge(const QImage& image, int row);

}  // namespace testsupport
