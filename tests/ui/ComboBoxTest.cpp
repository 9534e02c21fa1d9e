#include "ui/ComboBox.h"

#include <gtest/gtest.h>

#include <QFontMetrics>

#include "tests/support/TextFit.h"

namespace ui {
namespace {

using testsupport::FieldWidth;

class ComboBoxTest : public testing::Test {
 protected:
  ComboBoxTest() {
    box_.setGeometry(200, 120, 140, 21);
    box_.addItem(kShort);
    box_.addItem(kLong);
    box_.show();
  }

  int ShownWidth() const { return box_.fontMetrics().horizontalAdvance(box_.ShownText()); }

  const QString kShort = QStringLiteral("Auto");
  const QString kLong = QStringLiteral("Outside Temperature Compensated Supply Setpoint");
  TComboBox box_;
};

TEST_F(ComboBoxTest, AnEntryThatFitsIsShownWhole) {
  EXPECT_EQ(box_.ShownText(), kShort);
  EXPECT_TRUE(box_.toolTip().isEmpty());
}

TEST_F(ComboBoxTest, AnEntryWiderThanTheFieldIsElidedWithTheWholeEntryAsTooltip) {
  box_.setCurrentIndex(1);
  EXPECT_TRUE(box_.ShownText().endsWith(QChar(0x2026)));
  EXPECT_LE(ShownWidth(), FieldWidth(box_));
  EXPECT_GT(box_.fontMetrics().horizontalAdvance(kLong), FieldWidth(box_));
  EXPECT_EQ(box_.toolTip(), kLong);
  EXPECT_EQ(box_.currentText(), kLong);

  box_.setCurrentIndex(0);
  EXPECT_TRUE(box_.toolTip().isEmpty());
}

TEST_F(ComboBoxTest, AWiderBoxShowsTheEntryWhole) {
  box_.setCurrentIndex(1);
  box_.resize(box_.fontMetrics().horizontalAdvance(kLong) + 100, 21);
  EXPECT_EQ(box_.ShownText(), kLong);
  EXPECT_TRUE(box_.toolTip().isEmpty());
}

}  // namespace
}  // namespace ui
