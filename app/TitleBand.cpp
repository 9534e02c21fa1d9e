#include "app/TitleBand.h"

#include <QPainter>

namespace {

constexpr int kBandCount = 256;
const QColor kGradientFrom(221, 221, 221);
const QColor kGradientTo(255, 255, 255);
const QColor kBottomLine(156, 155, 155);

// numerator / denominator rounded to the nearest integer, ties to even, as
// the gradient was first drawn. The denominator is positive.
int RoundedQuotient(long long numerator, long long denominator) {
  long long quotient = numerator / denominator;
  long long remainder = numerator % denominator;
  if (remainder < 0) {
    remainder += denominator;
    --quotient;
  }
  const long long twice = 2 * remainder;
  if (twice > denominator || (twice == denominator && quotient % 2 != 0)) {
    ++quotient;
  }
  return static_cast<int>(quotient);
}

int Channel(int from, int to, int band) {
  return from + RoundedQuotient(static_cast<long long>(band) * (to - from), kBandCount - 1);
}

}  // namespace

std::vector<TTitleBandStrip> TitleBandStrips(const QRect& rect) {
  const int left = rect.left();
  const long long width = rect.width();
  std::vector<TTitleBandStrip> strips;
  strips.reserve(kBandCount);
  int previousRight = left;
  for (int band = 0; band < kBandCount; ++band) {
    TTitleBandStrip strip;
    strip.Left = previousRight;
    strip.Right = left + RoundedQuotient(width * (band + 1), kBandCount);
    strip.Colour = QColor(Channel(kGradientFrom.red(), kGradientTo.red(), band),
                          Channel(kGradientFrom.green(), kGradientTo.green(), band),
                          Channel(kGradientFrom.blue(), kGradientTo.blue(), band));
    previousRight = strip.Right;
    strips.push_back(strip);
  }
  return strips;
}

TTitleBand::TTitleBand(QWidget* parent) : QWidget(parent) {}

void TTitleBand::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect area = rect();
  const int top = area.top();
  const int bottom = area.top() + area.height();  // one past the last row
  for (const TTitleBandStrip& strip : TitleBandStrips(area)) {
    if (strip.Right > strip.Left) {
      painter.fillRect(QRect(strip.Left, top, strip.Right - strip.Left, area.height()),
                       strip.Colour);
    }
  }
  const int left = area.left();
  const int right = area.left() + area.width();
  // The lines end one pixel short of their end points.
  painter.setPen(Qt::white);
  painter.drawLine(left, top, left, bottom - 1);
  painter.setPen(kBottomLine);
  painter.drawLine(left, bottom - 1, right - 1, bottom - 1);
}
