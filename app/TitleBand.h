#pragma once

#include <QColor>
#include <QRect>
#include <QWidget>
#include <vector>

// One vertical band of the title band's gradient: x from Left up to, but not
// including, Right.
struct TTitleBandStrip {
  int Left = 0;
  int Right = 0;
  QColor Colour;
};

// The 256 bands of the horizontal gradient from RGB(221, 221, 221) at the
// left to white at the right across the rectangle.
std::vector<TTitleBandStrip> TitleBandStrips(const QRect& rect);

// The paint box of the main window's title band.
class TTitleBand : public QWidget {
  Q_OBJECT

 public:
  explicit TTitleBand(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};
