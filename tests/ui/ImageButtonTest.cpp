#include "ui/ImageButton.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "tests/support/Pictures.h"
#include "tests/support/TempDir.h"

namespace ui {
namespace {

class ImageButtonTest : public testing::Test {
 protected:
  ImageButtonTest() : first_(new TImageButton(&window_)), second_(new TImageButton(&window_)) {
    const QPixmap picture = testsupport::HalvesPicture(QSize(200, 32));
    for (TImageButton* button : {first_, second_}) {
      button->SetPictures(picture, picture, picture);
    }
    first_->setGeometry(13, 16, 200, 32);
    second_->setGeometry(13, 56, 200, 32);
    window_.resize(224, 100);
    window_.show();
  }

  QWidget window_;
  TImageButton* first_;
  TImageButton* second_;
};

TEST_F(ImageButtonTest, SpaceAndEnterPressIt) {
  QSignalSpy clicks(first_, &QAbstractButton::clicked);
  QTest::keyClick(first_, Qt::Key_Space);
  EXPECT_EQ(clicks.count(), 1);
  QTest::keyClick(first_, Qt::Key_Return);
  EXPECT_EQ(clicks.count(), 2);
  QTest::keyClick(first_, Qt::Key_Enter);
  EXPECT_EQ(clicks.count(), 3);
  QTest::keyClick(first_, Qt::Key_A);
  EXPECT_EQ(clicks.count(), 3);
}

TEST_F(ImageButtonTest, TabReachesItAndTheFocusedButtonShowsAFrame) {
  window_.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
  first_->setFocus(Qt::TabFocusReason);
  const QImage unfocused = second_->grab().toImage();
  QTest::keyClick(first_, Qt::Key_Tab);
  ASSERT_TRUE(second_->hasFocus());
  const QImage focused = second_->grab().toImage();
  ASSERT_EQ(focused.size(), unfocused.size());
  // The frame runs one pixel inside the edge, all round, and leaves the face as it was.
  const auto changedOn = [&](QPoint from, QPoint step, int count) {
    int changed = 0;
    for (QPoint p = from; count-- > 0; p += step) {
      changed += focused.pixel(p) != unfocused.pixel(p) ? 1 : 0;
    }
    return changed;
  };
  EXPECT_GT(changedOn({1, 1}, {1, 0}, 198), 50);
  EXPECT_GT(changedOn({1, 30}, {1, 0}, 198), 50);
  EXPECT_GT(changedOn({1, 1}, {0, 1}, 30), 5);
  EXPECT_GT(changedOn({198, 1}, {0, 1}, 30), 5);
  EXPECT_EQ(changedOn({3, 16}, {1, 0}, 194), 0);
}

TEST_F(ImageButtonTest, APictureOfTheButtonsSizeIsDrawnPixelForPixel) {
  EXPECT_EQ(first_->DevicePicture(1.0).cacheKey(),
            first_->CurrentPicture().ForRatio(1.0).cacheKey());
}

TEST_F(ImageButtonTest, OnATwofoldScreenATwofoldDrawingIsDrawnPixelForPixel) {
  testsupport::TTempDir folder;
  QImage single(200, 32, QImage::Format_RGB32);
  single.fill(Qt::red);
  ASSERT_TRUE(single.save(QString::fromStdString(folder.File("face.bmp"))));
  const QPixmap twofold = testsupport::HalvesPicture(QSize(400, 64));
  ASSERT_TRUE(twofold.save(QString::fromStdString(folder.File("face@2x.png"))));
  const TPicture picture = TPicture::Load(QString::fromStdString(folder.File("face.bmp")));
  first_->SetPictures(picture, picture, picture);

  const QPixmap shown = first_->DevicePicture(2.0);
  EXPECT_EQ(shown.cacheKey(), picture.ForRatio(2.0).cacheKey());
  EXPECT_EQ(shown.devicePixelRatio(), 2.0);
  EXPECT_FALSE(testsupport::BlendsAcrossTheEdge(shown.toImage(), 32));
  EXPECT_EQ(first_->DevicePicture(1.0).toImage().pixelColor(100, 16), QColor(Qt::red));
}

TEST_F(ImageButtonTest, OnATwofoldScreenThePictureIsSmoothScaledToTheDevicePixels) {
  const QPixmap scaled = first_->DevicePicture(2.0);
  EXPECT_EQ(scaled.size(), QSize(400, 64));
  EXPECT_EQ(scaled.devicePixelRatio(), 2.0);
  EXPECT_TRUE(testsupport::BlendsAcrossTheEdge(scaled.toImage(), 32));
}

}  // namespace
}  // namespace ui
