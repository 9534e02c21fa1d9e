#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <fstream>
#include <sstream>

#include "model/Setting_button.h"
#include "tests/model/ModelFixture.h"
#include "ui/ImageButton.h"
#include "ui/ScrollBox.h"

namespace model {
namespace {

const std::string kNodesDevice = ModelFixture::OneDevice(R"(
  <group name="System" description="">
    <setting name="Add node" value_type="button" register="90" type="holding_register"
             function="1"/>
    <setting name="Test fans" value_type="button" register="91" type="holding_register"
             function="0"/>
  </group>
  <group name="Nodes" description="Nodes on the bus">
    <setting name="Node address" value_type="int" register="92" type="holding_register"
             min="1" max="247" default="2" value_text=""/>
  </group>)");

class SettingButtonTest : public ModelFixture {
 protected:
  void SetUp() override {
    devices_.Set().ImagesFolder = DRAVONIK_SOURCE_DIR "/data/images";
    column_.resize(224, 500);
    page_.resize(767, 578);
    column_.show();
    page_.show();
  }
  // Opens the document's navigation and page as the main window does.
  void Open(TSettings& document) {
    document.PageArea = &page_;
    document.CreateGroupButtons(&column_);
    document.Groups[0]->Show();
  }

  // Every navigation button in the column must belong to one group, in
  // group order.
  void ExpectOneButtonPerGroup(const TSettings& document) {
    const auto buttons = column_.Content()->findChildren<ui::TImageButton*>();
    EXPECT_EQ(buttons.size(), static_cast<qsizetype>(document.Groups.size()));
    for (size_t i = 0; i < document.Groups.size(); ++i) {
      const ui::TImageButton* button = document.Groups[i]->NavigationButton.data();
      ASSERT_NE(button, nullptr) << i;
      EXPECT_TRUE(buttons.contains(button)) << i;
      EXPECT_EQ(button->geometry().top(), 16 + 40 * static_cast<int>(i));
      EXPECT_TRUE(button->isVisible());
    }
  }

  ui::TScrollBox column_;
};

TEST_F(SettingButtonTest, TheRowIsAButtonCaptionedWithTheName) {
  TSettings& document = LoadOffline(kNodesDevice);
  Open(document);
  TSettingButton& add = SettingAt<TSettingButton>(document, 0, 0);
  TSettingButton& test = SettingAt<TSettingButton>(document, 0, 1);
  EXPECT_TRUE(add.IsNodesButton);
  EXPECT_FALSE(test.IsNodesButton);
  ASSERT_FALSE(add.ActionButton.isNull());
  EXPECT_EQ(add.ActionButton->text(), "Add node");
  EXPECT_EQ(add.ActionButton->geometry().topLeft(), QPoint(200, 120));
  EXPECT_EQ(add.ActionButton->width(), 200);
  EXPECT_EQ(add.ActionButton->property(TSetting::kTagProperty).toInt(), 0);
  EXPECT_EQ(test.ActionButton->property(TSetting::kTagProperty).toInt(), 1);

  document.SetEnabled(false);
  EXPECT_FALSE(add.ActionButton->isEnabled());
  document.SetEnabled(true);
  EXPECT_TRUE(add.ActionButton->isEnabled());

  // Buttons export nothing.
  std::vector<std::string> lines;
  document.Groups[0]->ExportCsv(lines);
  EXPECT_TRUE(lines.empty());

  // A button of another function does nothing.
  QTest::mouseClick(test.ActionButton.data(), Qt::LeftButton);
  EXPECT_EQ(document.Groups.size(), 2u);
  EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(SettingButtonTest, EachClickAddsOneNodesGroupAndRebuildsTheNavigation) {
  TSettings& document = LoadOffline(kNodesDevice);
  Open(document);
  TSettingButton& add = SettingAt<TSettingButton>(document, 0, 0);
  EXPECT_EQ(document.GroupColumn(), &column_);

  QTest::mouseClick(add.ActionButton.data(), Qt::LeftButton);
  ASSERT_EQ(document.Groups.size(), 3u);
  EXPECT_EQ(document.Groups[2]->Name, "Nodes");
  EXPECT_EQ(document.Groups[2]->Description, "Nodes on the bus");
  ASSERT_EQ(document.Groups[2]->Count(), 1);
  EXPECT_EQ(document.Groups[2]->Settings[0]->Reference(), 93);
  ExpectOneButtonPerGroup(document);
  // The page of the button pressed stays.
  EXPECT_EQ(devices_.Set().CurrentGroup, document.Groups[0].get());
  EXPECT_FALSE(add.ActionButton.isNull());

  add.ButtonClicked();
  ASSERT_EQ(document.Groups.size(), 4u);
  EXPECT_EQ(document.Groups[3]->Name, "Nodes");
  ExpectOneButtonPerGroup(document);
  EXPECT_TRUE(boxes_.Boxes().empty());

  // The added group's button shows its page.
  QTest::mouseClick(document.Groups[3]->NavigationButton.data(), Qt::LeftButton);
  EXPECT_EQ(devices_.Set().CurrentGroup, document.Groups[3].get());

  // Closing the navigation leaves nothing behind.
  document.DestroyGroupButtons();
  EXPECT_TRUE(column_.Content()->findChildren<ui::TImageButton*>().isEmpty());
}

TEST_F(SettingButtonTest, WithoutNavigationOnlyTheGroupIsAdded) {
  TSettings& document = LoadOffline(kNodesDevice);
  TSettingButton& add = SettingAt<TSettingButton>(document, 0, 0);
  add.ButtonClicked();
  ASSERT_EQ(document.Groups.size(), 3u);
  EXPECT_TRUE(column_.Content()->findChildren<ui::TImageButton*>().isEmpty());

  // Nor are buttons built again once the navigation was closed.
  document.CreateGroupButtons(&column_);
  document.DestroyGroupButtons();
  add.ButtonClicked();
  EXPECT_EQ(document.Groups.size(), 4u);
  EXPECT_TRUE(column_.Content()->findChildren<ui::TImageButton*>().isEmpty());
}

TEST_F(SettingButtonTest, TheButtonWorksOnItsOwnDocument) {
  Load(R"(<zsf>
    <settings settings_id="1">
      <group name="System" description="">
        <setting name="Add node" value_type="button" register="90" type="holding_register"
                 function="1"/>
      </group>
      <group name="Nodes" description="">
        <setting name="Node address" value_type="int" register="92" type="holding_register"
                 min="1" max="247" default="2" value_text=""/>
      </group>
    </settings>
    <settings settings_id="2">
      <group name="Other" description=""/>
      <group name="Nodes" description=""/>
    </settings>
    <device name="Unit" device_id="1" live_status_id="0" settings_id="1"/>
    <device name="Other unit" device_id="2" live_status_id="0" settings_id="2"/>
  </zsf>)");
  TSettings& own = *devices_.GetDevice(0).Settings;
  TSettings& other = *devices_.GetDevice(1).Settings;
  store_.Reset();
  own.RegisterRegisters();
  // The own device was shown and disconnected; the other device's
  // navigation is the one in the column now.
  own.CreateGroupButtons(&column_);
  own.DestroyGroupButtons();
  other.CreateGroupButtons(&column_);
  SettingAt<TSettingButton>(own, 0, 0).ButtonClicked();
  EXPECT_EQ(own.Groups.size(), 3u);
  EXPECT_EQ(other.Groups.size(), 2u);
  EXPECT_EQ(column_.Content()->findChildren<ui::TImageButton*>().size(), 2);
  other.DestroyGroupButtons();
}

TEST_F(SettingButtonTest, FailuresAreShownAndEndTheClick) {
  TSettings& document = LoadOffline(ModelFixture::OneDevice(R"(
    <group name="System" description="">
      <setting name="Add node" value_type="button" register="90" type="holding_register"
               function="1"/>
    </group>)"));
  // No "Nodes" group: nothing happens.
  SettingAt<TSettingButton>(document, 0, 0).ButtonClicked();
  EXPECT_EQ(document.Groups.size(), 1u);
  EXPECT_TRUE(boxes_.Boxes().empty());

  TSettings& nodes = LoadOffline(kNodesDevice);
  Open(nodes);
  devices_.Set().ImagesFolder = "/nonexistent";
  SettingAt<TSettingButton>(nodes, 0, 0).ButtonClicked();
  ASSERT_EQ(boxes_.Boxes().size(), 1u);
  EXPECT_EQ(boxes_.Boxes()[0].Icon, ui::TBoxIcon::None);
  EXPECT_EQ(boxes_.Boxes()[0].Caption, "Brennhaven Dravonik");
  EXPECT_EQ(boxes_.Texts()[0], "Cannot open file \"/nonexistent/group_normal.bmp\"");
  // The group added before the failure stays.
  EXPECT_EQ(nodes.Groups.size(), 3u);
}

TEST_F(SettingButtonTest, ButtonsStoreThroughTheirRegister) {
  TSettings& document = LoadOffline(kNodesDevice);
  TSettingButton& add = SettingAt<TSettingButton>(document, 0, 0);
  store_.SetHoldingRegister(91, 7);
  document.Groups[0]->ReloadFromStore();
  EXPECT_EQ(add.Value(), 7);
  // A button has no default of its own: restoring the defaults stores 0.
  document.RestoreFactoryDefaults();
  EXPECT_EQ(Holding(91), 0);
}

// A commissioning page with passwords, a name, identifiers and the Nodes button.
const std::string kCommissioning = ModelFixture::OneDevice(R"xml(
  <group name="Commissioning" description="Access codes, site identity, BMS address and bus nodes">
    <setting name="Installer Password" value_type="password" type="holding_register" register="260"/>
    <setting name="Service Password" value_type="password" type="holding_register" register="261"/>
    <setting name="Site Name" value_type="name" type="holding_register" register="262" NumOfRegisters="8"/>
    <setting name="BMS IP Address" value_type="4PartID" type="holding_register" register="270"
             min="0" max="255" default="3232235786" value_text="(IPv4)"/>
    <setting name="BMS Gateway" value_type="4PartID" type="holding_register" register="272"
             min="0" max="255" default="3232235777" value_text="(IPv4)"/>
    <setting name="Add Node Group" value_type="button" type="holding_register" register="274" function="1"/>
  </group>
  <group name="Nodes" description="Pressure sensor nodes on the controller bus">
    <setting name="Node Address" value_type="int" type="holding_register" register="280"
             min="1" max="247" default="2" value_text=""/>
    <setting name="Node Poll Interval" value_type="int" type="holding_register" register="281"
             min="1" max="60" default="5" value_text="s"/>
  </group>)xml");

TEST_F(SettingButtonTest, ACommissioningPageHoldsEveryKind) {
  TSettings& document = LoadOffline(kCommissioning);
  const std::string csv = (folder_.Path() / "settings.csv").string();
  document.ExportCsv(csv);
  std::ifstream in(csv);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(),
            "Setting Name,Value\r\n"
            "Installer Password,0000\r\n"
            "Service Password,0000\r\n"
            "Site Name,\r\n"
            "BMS IP Address,3232235786 (IPv4)\r\n"
            "BMS Gateway,3232235777 (IPv4)\r\n"
            "Node Address,2 \r\n"
            "Node Poll Interval,5 s\r\n");
  EXPECT_EQ(Holding(271), 0x010A);
  EXPECT_EQ(Holding(272), static_cast<int16_t>(0xC0A8));

  Open(document);
  SettingAt<TSettingButton>(document, 0, 5).ButtonClicked();
  ASSERT_EQ(document.Groups.size(), 3u);
  ExpectOneButtonPerGroup(document);
  document.DestroyGroupButtons();
}

}  // namespace
}  // namespace model
