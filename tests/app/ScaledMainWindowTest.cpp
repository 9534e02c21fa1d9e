// The main window on a screen scaled twofold (QT_SCALE_FACTOR=2), as on a high-density
// display: every picture button shows the drawing made at twice the pixels, not its bitmap
// scaled up.
#include <gtest/gtest.h>

#include "tests/app/MainWindowPictures.h"

namespace {

using testsupport::BundledPicture;
using testsupport::Rgb;

TEST(ScaledMainWindow, EveryPictureButtonShowsItsTwofoldDrawingPixelForPixel) {
  testsupport::TWindowWithPictures open;
  ASSERT_TRUE(open.Boxes().Boxes().empty()) << open.Boxes().Texts()[0];
  ASSERT_EQ(open.Window().devicePixelRatio(), 2.0);
  int ranges = 0;
  for (const auto& [button, normal, down] : open.Buttons()) {
    ranges += normal == "subgroup_normal" ? 1 : 0;
    for (const bool pressed : {false, true}) {
      button->setDown(pressed);
      const std::string file = (pressed ? down : normal) + "@2x.png";
      const QPixmap shown = button->DevicePicture(button->devicePixelRatio());
      EXPECT_EQ(shown.size(), button->size() * 2) << file;
      EXPECT_EQ(shown.devicePixelRatio(), 2.0) << file;
      EXPECT_TRUE(Rgb(shown) == BundledPicture(file)) << file << " is not shown as drawn";
    }
    button->setDown(false);
  }
  EXPECT_GT(ranges, 0);
  // Painted on the screen's pixels as it is.
  const QPixmap logo = open.Window().Image1->grab();
  EXPECT_EQ(logo.devicePixelRatio(), 2.0);
  EXPECT_TRUE(Rgb(logo) == BundledPicture("logo@2x.png"));
}

}  // namespace
