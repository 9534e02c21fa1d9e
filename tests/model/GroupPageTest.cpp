#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "model/Setting_4partid.h"
#include "model/Setting_button.h"
#include "model/Setting_checkbox.h"
#include "model/Setting_date.h"
#include "model/Setting_dropdown.h"
#include "model/Setting_int.h"
#include "model/Setting_name.h"
#include "model/Setting_time.h"
#include "tests/model/ModelFixture.h"
#include "ui/Fonts.h"
#include "ui/ImageButton.h"
#include "ui/ScrollBox.h"

namespace model {
namespace {

class GroupPageTest : public ModelFixture {
 protected:
  void SetUp() override {
    devices_.Set().ImagesFolder = DRAVONIK_SOURCE_DIR "/data/images";
    column_.resize(224, 500);
    page_.resize(767, 578);
    column_.show();
    page_.show();
  }
  ui::TScrollBox column_;
};

const std::string kThreeGroups = ModelFixture::OneDevice(R"(
  <group name="System" description="General settings">
    <setting name="A" value_type="int" register="0" type="holding_register" min="0" max="9"
             default="1" value_text=""/>
    <setting name="B" value_type="int" register="1" type="holding_register" min="0" max="9"
             default="2" value_text="" YOffset="-32"/>
    <setting name="C" value_type="int" register="2" type="holding_register" min="0" max="9"
             default="3" value_text="" bold="true"/>
  </group>
  <group name="Fans" description="">
    <setting name="D" value_type="checkbox" register="3" type="coil" default="checked"/>
  </group>
  <group name="A group with a rather long name indeed" description="">
  </group>)");

TEST_F(GroupPageTest, NavigationButtonsStackFortyPixelsApart) {
  TSettings& document = LoadOffline(kThreeGroups);
  document.CreateGroupButtons(&column_);
  for (int i = 0; i < 3; ++i) {
    const auto* button = document.Groups[static_cast<size_t>(i)]->NavigationButton.data();
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->geometry(), QRect(13, 16 + 40 * i, 200, 32));
    EXPECT_TRUE(button->isVisible());
  }
  const QFontMetrics metrics(ui::DefaultFont());
  const QString fans = document.Groups[1]->NavigationButton->text();
  EXPECT_TRUE(fans.startsWith("Fans "));
  EXPECT_GE(metrics.horizontalAdvance(fans), 140);
  EXPECT_LT(metrics.horizontalAdvance(fans.chopped(1)), 140);
  EXPECT_EQ(document.Groups[2]->NavigationButton->text().toStdString(), document.Groups[2]->Name);

  document.DestroyGroupButtons();
  for (const auto& group : document.Groups) {
    EXPECT_TRUE(group->NavigationButton.isNull());
  }
}

TEST_F(GroupPageTest, MissingButtonPicturesFailWithTheFileName) {
  TSettings& document = LoadOffline(kThreeGroups);
  devices_.Set().ImagesFolder = "/nonexistent";
  EXPECT_EQ(Thrown([&] { document.CreateGroupButtons(&column_); }),
            "Cannot open file \"/nonexistent/group_normal.bmp\"");
}

TEST_F(GroupPageTest, APageLaysOutItsRows) {
  TSettings& document = LoadOffline(kThreeGroups);
  document.PageArea = &page_;
  TGroup& system = *document.Groups[0];
  system.Show();
  EXPECT_EQ(devices_.Set().CurrentGroup, &system);
  EXPECT_EQ(system.TitleLabel->pos(), QPoint(27, 28));
  EXPECT_EQ(system.TitleLabel->text(), "System");
  EXPECT_EQ(system.DescriptionLabel->pos(), QPoint(50, 70));
  EXPECT_EQ(system.DescriptionLabel->text(), "General settings");
  auto row = [&](size_t k) -> TSettingInt& { return SettingAt<TSettingInt>(system, k); };
  EXPECT_EQ(row(0).Edit->pos(), QPoint(200, 120));
  // B moves up onto A's line; C takes the place B would have had.
  EXPECT_EQ(row(1).Edit->pos(), QPoint(200, 120));
  EXPECT_EQ(row(2).Edit->pos(), QPoint(200, 152));
  EXPECT_EQ(system.EndLabel->y(), 184);
  // Rows placed by their offsets never show their caption in bold.
  EXPECT_FALSE(row(2).CaptionLabel()->font().bold());
  EXPECT_EQ(row(0).Edit->property(TSetting::kTagProperty).toInt(), 0);
  EXPECT_EQ(row(2).Edit->property(TSetting::kTagProperty).toInt(), 2);
  EXPECT_GE(page_.Content()->height(), 184);

  // Showing another group closes this page first.
  QPointer<QLineEdit> edit = row(0).Edit.Box();
  document.Groups[1]->Show();
  EXPECT_TRUE(edit.isNull());
  EXPECT_TRUE(system.TitleLabel.isNull());
  EXPECT_EQ(devices_.Set().CurrentGroup, document.Groups[1].get());
}

TEST_F(GroupPageTest, ShowingTheShownGroupRebuildsItsPage) {
  TSettings& document = LoadOffline(kThreeGroups);
  document.PageArea = &page_;
  document.CreateGroupButtons(&column_);
  TGroup& fans = *document.Groups[1];
  fans.NavigationButton->click();
  QPointer<QLabel> title = fans.TitleLabel;
  ASSERT_FALSE(title.isNull());
  fans.NavigationButton->click();
  EXPECT_TRUE(title.isNull());
  EXPECT_FALSE(fans.TitleLabel.isNull());
  EXPECT_EQ(devices_.Set().ShownGroupButton(), fans.NavigationButton.data());
  // After a disconnection the page stays without its button.
  document.DestroyGroupButtons();
  EXPECT_EQ(devices_.Set().ShownGroupButton(), nullptr);
  EXPECT_FALSE(fans.TitleLabel.isNull());
}

TEST_F(GroupPageTest, TemplatePagesIgnoreRowOffsetsAndOfferCopyButtons) {
  TSettings& document = LoadOffline(OneDevice(R"(<group name="Group" description="">
    <setting name="A" value_type="int" register="100" offset="1" type="holding_register"
             min="0" max="9" default="1" value_text="" XOffset="200" YOffset="-32" bold="true"/>
    <setting name="B" value_type="int" register="400" offset="1" type="holding_register"
             min="0" max="9" default="1" value_text=""/>
  </group>)"));
  document.PageArea = &page_;
  TGroup& templateGroup = *document.Groups[0];
  templateGroup.Show();
  auto& a = SettingAt<TSettingInt>(templateGroup, 1);
  auto& b = SettingAt<TSettingInt>(templateGroup, 2);
  // The section label takes the first row.
  EXPECT_EQ(a.Edit->pos(), QPoint(200, 152));
  EXPECT_EQ(a.CaptionLabel()->pos(), QPoint(40, 152));
  EXPECT_TRUE(a.CaptionLabel()->font().bold());
  EXPECT_EQ(b.Edit->pos(), QPoint(200, 184));
  ASSERT_FALSE(a.CopyToGroupsButton() == nullptr);
  EXPECT_EQ(a.CopyToGroupsButton()->geometry(), QRect(350, 152, 100, 21));
  EXPECT_EQ(a.CopyToGroupsButton()->text(), "Copy to all groups");
  EXPECT_EQ(a.CopyToR12sButton()->geometry(), QRect(455, 152, 100, 21));
  EXPECT_EQ(a.CopyToR12sButton()->text(), "Copy to all R12s");

  // A range group has no copy buttons.
  document.Groups[1]->Show();
  EXPECT_TRUE(SettingAt<TSettingInt>(document, 1, 1).CopyToGroupsButton() == nullptr);
}

TEST_F(GroupPageTest, PagesShowTheStoreOnlyAfterACompleteRead) {
  TSettings& document = LoadOffline(kThreeGroups);
  document.PageArea = &page_;
  int16_t seven = 7;
  store_.SetHoldingRegisters(1, &seven, 1);
  document.Groups[0]->Show();  // the store is collecting, not complete
  EXPECT_EQ(document.Groups[0]->Settings[0]->Value(), 1);
}

TEST_F(GroupPageTest, PollAndRefreshCarryOneSettingsProgress) {
  TSettings& document = LoadOffline(kThreeGroups);
  std::vector<std::string> reports;
  document.OnProgress = [&](const void*, const std::string& text, bool failed, int32_t count) {
    reports.push_back(text + (failed ? " failed " : " ") + std::to_string(count));
  };
  TSetting& a = *document.Groups[0]->Settings[0];
  a.RequestRead();
  EXPECT_EQ(a.PendingCount(), 1);
  int16_t four = 4;
  store_.SetHoldingRegisters(1, &four, 1);
  // The poll walks group 0's settings from wherever the shared cursor stands.
  for (int i = 0; i < 12 && a.PendingCount() > 0; ++i) {
    EXPECT_TRUE(document.PollNext(1, nullptr));
  }
  EXPECT_EQ(a.PendingCount(), 0);
  EXPECT_EQ(a.Value(), 4);
  // Only the setting polled last reports, and only once.
  a.Refresh();
  EXPECT_EQ(reports, std::vector<std::string>{"Reading setting A... 1"});
  a.Refresh();
  EXPECT_EQ(reports.size(), 1u);

  a.RequestWrite();
  a.SetValue(6);
  a.Poll(1, nullptr);
  EXPECT_EQ(Holding(1), 6);
  a.Refresh();
  EXPECT_EQ(reports.back(), "Writing setting A... 1");
}

const std::string kEveryKindOfControl = ModelFixture::OneDevice(R"(
  <group name="Controls" description="">
    <setting name="Level" value_type="int" register="0" type="holding_register" min="0" max="9"
             default="1" value_text=""/>
    <setting name="Mode" value_type="drop_down" register="1" type="holding_register">
      <ddvalue name="Off" value="0"/><ddvalue name="On" value="1" default="true"/>
    </setting>
    <setting name="Heating" value_type="checkbox" register="2" type="coil" default="checked"/>
    <setting name="Day start" value_type="time" register="3" type="holding_register"
             default_hrs="7" default_mins="30" value_text="hrs"/>
    <setting name="Summer start" value_type="date" register="5" type="holding_register"/>
    <setting name="Gateway" value_type="4PartID" register="7" type="holding_register"
             min="0" max="255" default="167772161" value_text=""/>
    <setting name="Site Name" value_type="name" type="holding_register" register="9"
             NumOfRegisters="8"/>
    <setting name="Add Node Group" value_type="button" type="holding_register" register="17"
             function="1"/>
  </group>
  <group name="Fans" description=""/>
  <group name="Pumps" description=""/>)");

// Presses the key on the widget that has the focus; the widget that has it then.
QWidget* PressOnFocus(Qt::Key key) {
  QWidget* focus = QApplication::focusWidget();
  if (focus != nullptr) {
    QTest::keyClick(focus, key);
  }
  return QApplication::focusWidget();
}

TEST_F(GroupPageTest, TabVisitsAPagesControlsInRowOrder) {
  TSettings& document = LoadOffline(kEveryKindOfControl);
  document.PageArea = &page_;
  TGroup& controls = *document.Groups[0];
  controls.Show();
  const auto& time = SettingAt<TSettingTime>(controls, 3);
  const auto& date = SettingAt<TSettingDate>(controls, 4);
  const auto& id = SettingAt<TSetting4PartID>(controls, 5);
  const std::vector<QWidget*> expected = {
      SettingAt<TSettingInt>(controls, 0).Edit.Box(),
      SettingAt<TSettingDropDown>(controls, 1).ComboBox.data(),
      SettingAt<TSettingCheckBox>(controls, 2).CheckBox.data(),
      time.HoursEdit.Box(),
      time.MinutesEdit.Box(),
      time.EnableBox.data(),
      date.MonthBox.data(),
      date.DayBox.data(),
      id.PartEdits[0].Box(),
      id.PartEdits[1].Box(),
      id.PartEdits[2].Box(),
      id.PartEdits[3].Box(),
      SettingAt<TSettingName>(controls, 6).Edit.Box(),
      SettingAt<TSettingButton>(controls, 7).ActionButton.data()};
  page_.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&page_));
  expected.front()->setFocus(Qt::TabFocusReason);
  std::vector<QWidget*> visited = {QApplication::focusWidget()};
  while (visited.size() < expected.size()) {
    visited.push_back(PressOnFocus(Qt::Key_Tab));
  }
  EXPECT_EQ(visited, expected);
  // Shift+Tab walks back.
  EXPECT_EQ(PressOnFocus(Qt::Key_Backtab), expected[expected.size() - 2]);
}

TEST_F(GroupPageTest, NavigationButtonsAreReachedWithTabAndPressedWithEnterOrSpace) {
  TSettings& document = LoadOffline(kEveryKindOfControl);
  document.PageArea = &page_;
  document.CreateGroupButtons(&column_);
  column_.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&column_));
  document.Groups[0]->FocusButton();
  ASSERT_EQ(QApplication::focusWidget(), document.Groups[0]->NavigationButton.data());

  EXPECT_EQ(PressOnFocus(Qt::Key_Tab), document.Groups[1]->NavigationButton.data());
  PressOnFocus(Qt::Key_Return);
  EXPECT_EQ(devices_.Set().CurrentGroup, document.Groups[1].get());
  EXPECT_EQ(PressOnFocus(Qt::Key_Tab), document.Groups[2]->NavigationButton.data());
  PressOnFocus(Qt::Key_Space);
  EXPECT_EQ(devices_.Set().CurrentGroup, document.Groups[2].get());
  PressOnFocus(Qt::Key_Backtab);
  PressOnFocus(Qt::Key_Backtab);
  PressOnFocus(Qt::Key_Enter);
  EXPECT_EQ(devices_.Set().CurrentGroup, document.Groups[0].get());
}

}  // namespace
}  // namespace model
