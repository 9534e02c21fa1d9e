// The skinned controls on a screen scaled twofold (QT_SCALE_FACTOR=2), as on
// a high-density display.
#include <gtest/gtest.h>

#include <QApplication>

#include "tests/support/Pictures.h"
#include "ui/ImageButton.h"

namespace ui {
namespace {

TEST(ScaledScreen, AnImageButtonIsDrawnTwiceAsLargeAndSmooth) {
  ASSERT_EQ(qApp->devicePixelRatio(), 2.0);
  TImageButton button;
  const QPixmap picture = testsupport::HalvesPicture(QSize(200, 32));
  button.SetPictures(picture, picture, picture);
  button.resize(200, 32);
  button.show();
  const QPixmap shot = button.grab();
  EXPECT_EQ(shot.size(), QSize(400, 64));
  EXPECT_EQ(shot.devicePixelRatio(), 2.0);
  EXPECT_TRUE(testsupport::BlendsAcrossTheEdge(shot.toImage(), 32));
}

}  // namespace
}  // namespace ui
