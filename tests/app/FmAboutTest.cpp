#include "app/Fm_about.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "app/Version.h"
#include "tests/support/RecordingMessageBoxes.h"
#include "ui/Panel.h"

namespace {

TEST(FormatVersion, FormatsFourNumbersAndRefusesAnythingElse) {
  EXPECT_EQ(FormatVersion("1.0.0.8"), "1.0.0.8");
  EXPECT_EQ(FormatVersion("01.2.003.65535"), "1.2.3.65535");
  EXPECT_EQ(FormatVersion("1.0.0"), std::nullopt);
  EXPECT_EQ(FormatVersion("1.0.0.8.1"), std::nullopt);
  EXPECT_EQ(FormatVersion("1.0.0.65536"), std::nullopt);
  EXPECT_EQ(FormatVersion("1.0.0.-1"), std::nullopt);
  EXPECT_EQ(FormatVersion("1.0.0.x"), std::nullopt);
  EXPECT_EQ(FormatVersion(""), std::nullopt);
}

TEST(FmAbout, ShowsTheBuildsVersion) {
  testsupport::TRecordingMessageBoxes boxes;
  TfmAbout about(nullptr, "", kProgramVersion);
  const std::string shown = about.lbSoftwareVersion->text().toStdString();
  // The version --version prints and the package carries, as it is.
  EXPECT_EQ(shown, std::string("Software Version ") + kProgramVersion);
  EXPECT_TRUE(boxes.Boxes().empty());

  TfmAbout older(nullptr, "", "1.0.0.8");
  EXPECT_EQ(older.lbSoftwareVersion->text(), "Software Version 1.0.0.8");
}

TEST(FmAbout, WithoutAVersionSaysSoFirst) {
  testsupport::TRecordingMessageBoxes boxes;
  TfmAbout about(nullptr, "", "unknown");
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].Icon, ui::TBoxIcon::None);
  EXPECT_EQ(about.lbSoftwareVersion->text(), "Software Version <could not access version info>");
}

TEST(FmAbout, Layout) {
  TfmAbout about(nullptr, "", "1.0.0.8");
  EXPECT_EQ(about.windowTitle(), "About");
  EXPECT_EQ(about.size(), QSize(380, 310));
  EXPECT_EQ(about.GroupBox->geometry(), QRect(17, 15, 345, 249));
  EXPECT_EQ(about.lbTitle->geometry(), QRect(80, 27, 214, 38));
  EXPECT_EQ(about.lbTitle->text(), "Dravonik Configuration Manager");
  EXPECT_TRUE(about.lbTitle->wordWrap());
  EXPECT_EQ(about.lbSoftwareVersion->pos(), QPoint(80, 87));
  EXPECT_EQ(about.Image1->geometry(), QRect(81, 125, 161, 65));
  EXPECT_EQ(about.suiButton1->geometry(), QRect(154, 274, 72, 22));
  EXPECT_EQ(about.suiButton1->text(), "&Ok");
}

TEST(FmAbout, OkAndEscapeCloseTheBox) {
  TfmAbout about(nullptr, "", "1.0.0.8");
  about.show();
  QTest::mouseClick(about.suiButton1, Qt::LeftButton);
  EXPECT_FALSE(about.isVisible());
  EXPECT_EQ(about.result(), QDialog::Accepted);

  about.show();
  QTest::keyClick(&about, Qt::Key_Escape);
  EXPECT_FALSE(about.isVisible());
}

}  // namespace
