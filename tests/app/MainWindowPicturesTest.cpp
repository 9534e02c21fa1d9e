// The main window's picture buttons at scale 1: each shows its bundled bitmap as it is. The
// same window on a twofold screen is ScaledMainWindowTest.
#include <gtest/gtest.h>

#include "tests/app/MainWindowPictures.h"

namespace {

using testsupport::BundledPicture;
using testsupport::Rgb;

TEST(MainWindowPictures, AtScaleOneEveryPictureButtonShowsItsBitmapPixelForPixel) {
  testsupport::TWindowWithPictures open;
  ASSERT_TRUE(open.Boxes().Boxes().empty()) << open.Boxes().Texts()[0];
  ASSERT_EQ(open.Window().devicePixelRatio(), 1.0);
  int ranges = 0;
  for (const auto& [button, normal, down] : open.Buttons()) {
    ranges += normal == "subgroup_normal" ? 1 : 0;
    for (const bool pressed : {false, true}) {
      button->setDown(pressed);
      const std::string file = (pressed ? down : normal) + ".bmp";
      const QPixmap shown = button->DevicePicture(button->devicePixelRatio());
      EXPECT_EQ(shown.size(), button->size()) << file;
      EXPECT_TRUE(Rgb(shown) == BundledPicture(file)) << file << " is not shown as drawn";
    }
    button->setDown(false);
  }
  EXPECT_GT(ranges, 0);
  EXPECT_TRUE(Rgb(open.Window().Image1->grab()) == BundledPicture("logo.bmp"));
}

}  // namespace
