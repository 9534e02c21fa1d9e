#include "app/TitleBand.h"

#include <gtest/gtest.h>

#include <QImage>

namespace {

TEST(TitleBandStrips, BandsOfAWindowWideBand) {
  const auto strips = TitleBandStrips(QRect(0, 0, 992, 71));
  ASSERT_EQ(strips.size(), 256u);
  // 992 / 256 = 3.875 pixels a band.
  EXPECT_EQ(strips[0].Left, 0);
  EXPECT_EQ(strips[0].Right, 4);
  EXPECT_EQ(strips[0].Colour, QColor(221, 221, 221));
  EXPECT_EQ(strips[127].Left, 492);  // 492.125
  EXPECT_EQ(strips[127].Right, 496);
  EXPECT_EQ(strips[127].Colour, QColor(238, 238, 238));  // 221 + 16.93
  EXPECT_EQ(strips[255].Left, 988);                      // 988.125
  EXPECT_EQ(strips[255].Right, 992);
  EXPECT_EQ(strips[255].Colour, QColor(255, 255, 255));
  // 3.875 x 4 = 15.5 and 3.875 x 12 = 46.5: ties go to the even neighbour.
  EXPECT_EQ(strips[3].Right, 16);
  EXPECT_EQ(strips[11].Right, 46);
}

TEST(TitleBandStrips, BandsAreContiguousAndStartAtTheLeftEdge) {
  for (const QRect& rect : {QRect(0, 0, 992, 71), QRect(5, 2, 100, 10), QRect(0, 0, 1, 1)}) {
    const auto strips = TitleBandStrips(rect);
    EXPECT_EQ(strips.front().Left, rect.left());
    EXPECT_EQ(strips.back().Right, rect.left() + rect.width());
    for (size_t i = 1; i < strips.size(); ++i) {
      ASSERT_EQ(strips[i].Left, strips[i - 1].Right);
      ASSERT_GE(strips[i].Right, strips[i].Left);
      ASSERT_GE(strips[i].Colour.red(), strips[i - 1].Colour.red());
    }
  }
}

TEST(TitleBand, PaintsTheGradientAndItsTwoLines) {
  TTitleBand band;
  band.resize(992, 71);
  const QImage image = band.grab().toImage();
  ASSERT_EQ(image.size(), QSize(992, 71));
  EXPECT_EQ(QColor(image.pixel(1, 10)), QColor(221, 221, 221));
  EXPECT_EQ(QColor(image.pixel(493, 10)), QColor(238, 238, 238));
  EXPECT_EQ(QColor(image.pixel(990, 10)), QColor(255, 255, 255));
  // The white line down the left edge, the grey line along the bottom.
  EXPECT_EQ(QColor(image.pixel(0, 10)), QColor(255, 255, 255));
  EXPECT_EQ(QColor(image.pixel(0, 69)), QColor(255, 255, 255));
  EXPECT_EQ(QColor(image.pixel(1, 70)), QColor(156, 155, 155));
  EXPECT_EQ(QColor(image.pixel(991, 70)), QColor(156, 155, 155));
  EXPECT_EQ(QColor(image.pixel(500, 69)), QColor(238, 238, 238));
}

}  // namespace
