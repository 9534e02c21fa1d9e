#include "ui/LabelFit.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

namespace ui {
namespace {

// A page with one caption at x 40 on the line at y 120.
class LabelFitTest : public testing::Test {
 protected:
  LabelFitTest() : caption_(new QLabel(&page_)) {
    page_.resize(600, 300);
    caption_->move(40, 120);
  }

  void Caption(const QString& text) {
    caption_->setText(text);
    caption_->adjustSize();
  }

  QLineEdit* Control(int left, int top) {
    auto* edit = new QLineEdit(&page_);
    edit->setGeometry(left, top, 140, 21);
    return edit;
  }

  int TextWidth() const {
    return QFontMetrics(caption_->font()).horizontalAdvance(caption_->text());
  }

  QWidget page_;
  QLabel* caption_;
  const QString long_ = QStringLiteral("A caption far too long for the room the row leaves it");
};

TEST_F(LabelFitTest, ACaptionThatRunsIntoItsControlIsElidedWithTheWholeTextAsTooltip) {
  Caption(long_);
  Control(200, 120);
  FitCaptionsToControls(page_);
  EXPECT_NE(caption_->text(), long_);
  EXPECT_TRUE(caption_->text().endsWith(QChar(0x2026)));
  EXPECT_LE(40 + TextWidth() + kCaptionGapPx, 200);
  EXPECT_LE(caption_->geometry().right(), 200 - kCaptionGapPx);
  EXPECT_EQ(caption_->toolTip(), long_);
}

TEST_F(LabelFitTest, ACaptionThatFitsIsLeftAsItIs) {
  Caption(QStringLiteral("Fan speed"));
  Control(200, 120);
  FitCaptionsToControls(page_);
  EXPECT_EQ(caption_->text(), "Fan speed");
  EXPECT_TRUE(caption_->toolTip().isEmpty());
}

TEST_F(LabelFitTest, OnlyTheNearestShownControlOnTheLineCounts) {
  Caption(long_);
  Control(500, 120);
  Control(150, 150);                 // the next line
  Control(120, 60);                  // the line above
  Control(300, 125);                 // nearest on the line
  Control(220, 120)->hide();         // hidden
  new QLineEdit(Control(250, 120));  // a control's own child is not the page's
  FitCaptionsToControls(page_);
  EXPECT_LE(40 + TextWidth() + kCaptionGapPx, 250);
  EXPECT_GT(40 + TextWidth() + kCaptionGapPx, 220);
}

TEST_F(LabelFitTest, ALabelWithNothingBesideItKeepsItsText) {
  Caption(long_);
  Control(20, 120);  // starts left of the label: not beside it
  FitCaptionsToControls(page_);
  EXPECT_EQ(caption_->text(), long_);
}

TEST_F(LabelFitTest, ElidingToTheWidthItAlreadyHasChangesNothing) {
  Caption(long_);
  ElideLabel(*caption_, caption_->width());
  EXPECT_EQ(caption_->text(), long_);
  EXPECT_TRUE(caption_->toolTip().isEmpty());
  ElideLabel(*caption_, caption_->width() - 1);
  EXPECT_EQ(caption_->toolTip(), long_);
  EXPECT_LT(TextWidth(), QFontMetrics(caption_->font()).horizontalAdvance(long_));
}

}  // namespace
}  // namespace ui
