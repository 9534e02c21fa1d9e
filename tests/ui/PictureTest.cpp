#include "ui/Picture.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include "tests/support/TempDir.h"

namespace ui {
namespace {

class PictureTest : public testing::Test {
 protected:
  // Writes a picture file of one colour into the folder and returns its path.
  QString Write(const std::string& name, QSize size, Qt::GlobalColor colour) const {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    const QString path = QString::fromStdString(folder_.File(name));
    EXPECT_TRUE(image.save(path));
    return path;
  }

  static QColor Colour(const QPixmap& pixmap) { return pixmap.toImage().pixelColor(0, 0); }

  testsupport::TTempDir folder_;
};

TEST_F(PictureTest, ATwofoldDrawingBesideThePictureServesEveryRatioAbove1) {
  const QString path = Write("button.bmp", QSize(20, 10), Qt::red);
  Write("button@2x.png", QSize(40, 20), Qt::blue);
  const TPicture picture = TPicture::Load(path);
  ASSERT_TRUE(picture.HasTwofold());
  EXPECT_EQ(picture.Size(), QSize(20, 10));
  EXPECT_EQ(Colour(picture.ForRatio(1.0)), QColor(Qt::red));
  EXPECT_EQ(picture.ForRatio(1.0).devicePixelRatio(), 1.0);
  for (const qreal ratio : {1.25, 2.0, 3.0}) {
    EXPECT_EQ(Colour(picture.ForRatio(ratio)), QColor(Qt::blue)) << ratio;
    EXPECT_EQ(picture.ForRatio(ratio).size(), QSize(40, 20)) << ratio;
    EXPECT_EQ(picture.ForRatio(ratio).devicePixelRatio(), 2.0) << ratio;
  }
}

TEST_F(PictureTest, WithoutAMatchingTwofoldDrawingThePictureServesAlone) {
  const QString alone = Write("alone.bmp", QSize(20, 10), Qt::red);
  const QString stale = Write("stale.bmp", QSize(20, 10), Qt::red);
  Write("stale@2x.png", QSize(30, 20), Qt::blue);
  for (const QString& path : {alone, stale}) {
    const TPicture picture = TPicture::Load(path);
    EXPECT_FALSE(picture.HasTwofold()) << path.toStdString();
    EXPECT_EQ(Colour(picture.ForRatio(2.0)), QColor(Qt::red)) << path.toStdString();
  }
  EXPECT_TRUE(TPicture::Load(QString::fromStdString(folder_.File("missing.bmp"))).IsNull());
}

}  // namespace
}  // namespace ui
