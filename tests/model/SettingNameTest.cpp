#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPixmap>
#include <QTest>

#include "model/Setting_int.h"
#include "model/Setting_name.h"
#include "tests/model/ModelFixture.h"
#include "ui/ScrollBox.h"
#include "ui/Skin.h"

namespace model {
namespace {

const std::string kNames = ModelFixture::OneDevice(R"(<group name="Site" description="">
    <setting name="Site name" value_type="name" register="60" type="holding_register"
             NumOfRegisters="8"/>
    <setting name="Zone name" value_type="name" register="70" type="holding_register"
             NumOfRegisters="8"/>
    <setting name="Zone number" value_type="int" register="80" type="holding_register"
             min="0" max="9" default="1" value_text=""/>
  </group>)");

using SettingNameTest = ModelFixture;

TEST_F(SettingNameTest, DeclaresItsSpanButStoresOneRegister) {
  TSettings& document = LoadOffline(kNames);
  TSettingName& site = SettingAt<TSettingName>(document, 0, 0);
  EXPECT_EQ(site.RegisterSpan(), 8);
  EXPECT_EQ(site.Reference(), 61);
  EXPECT_TRUE(store_.IsHoldingRegisterRegistered(61));
  EXPECT_FALSE(store_.IsHoldingRegisterRegistered(62));

  store_.SetHoldingRegister(61, 0x4142);
  document.Groups[0]->ReloadFromStore();
  EXPECT_EQ(site.Value(), 0x4142);
  EXPECT_EQ(site.NameText, "");  // the device's registers never fill the text
}

TEST_F(SettingNameTest, DefinitionsNeedTheSpanWithinTheDevicesRegisters) {
  EXPECT_EQ(Thrown([&] {
              Load(OneDevice(R"(<group name="G" description="">
                <setting name="N" value_type="name" register="1" type="holding_register"/>
              </group>)"));
            }),
            "Could not find attribute \"NumOfRegisters\" in XML node.");
  // References 65529 to 65536 fit; one more register does not.
  EXPECT_EQ(Thrown([&] {
              Load(OneDevice(R"(<group name="G" description="">
                <setting name="N" value_type="name" register="65528" type="holding_register"
                         NumOfRegisters="8"/>
              </group>)"));
            }),
            "(nothing thrown)");
  EXPECT_EQ(Thrown([&] {
              Load(OneDevice(R"(<group name="G" description="">
                <setting name="N" value_type="name" register="65529" type="holding_register"
                         NumOfRegisters="8"/>
              </group>)"));
            }),
            "Setting 'N' refers to register reference 65537, outside 1 to 65536");
}

TEST_F(SettingNameTest, TheBoxShowsTheNameAndTakesNoTyping) {
  TSettings& document = LoadOffline(kNames);
  ShowPage(document);
  QApplication::setActiveWindow(&page_);
  TSettingName& site = SettingAt<TSettingName>(document, 0, 0);
  ASSERT_FALSE(site.Edit.Box() == nullptr);
  EXPECT_EQ(site.Edit->geometry(), QRect(200, 120, 140, 21));
  EXPECT_EQ(site.Edit->text(), "");
  EXPECT_TRUE(site.Edit->isEnabled());
  EXPECT_TRUE(site.Edit->isReadOnly());

  site.Edit->setFocus();
  QTest::keyClicks(site.Edit.Box(), "Plant room");
  EXPECT_EQ(site.Edit->text(), "");
  EXPECT_EQ(site.NameText, "");
  EXPECT_TRUE(boxes_.Boxes().empty());

  document.SetEnabled(false);
  EXPECT_FALSE(site.Edit->isEnabled());
  EXPECT_TRUE(site.Edit->isReadOnly());

  std::vector<std::string> lines;
  site.ExportCsv(lines);
  EXPECT_EQ(lines, std::vector<std::string>{"Site name,"});
}

TEST_F(SettingNameTest, TheBoxLooksReadOnlyAndSaysWhereTheNameIsSet) {
  ui::ApplySkin(*qApp);
  TSettings& document = LoadOffline(kNames);
  ShowPage(document);
  QLineEdit& name = *SettingAt<TSettingName>(document, 0, 0).Edit;
  QLineEdit& number = *SettingAt<TSettingInt>(document, 0, 2).Edit;
  auto ground = [](QLineEdit& box) {
    return box.grab().toImage().pixelColor(box.width() - 4, box.height() / 2);
  };
  EXPECT_NE(ground(name), ground(number));
  EXPECT_EQ(name.toolTip().toStdString(), TSettingName::kSetOnTheDevice);
  EXPECT_TRUE(number.toolTip().isEmpty());
}

TEST_F(SettingNameTest, CopiesTakeTheTextOnlyFromAnotherName) {
  TSettings& document = LoadOffline(kNames);
  TSettingName& site = SettingAt<TSettingName>(document, 0, 0);
  TSettingName& zone = SettingAt<TSettingName>(document, 0, 1);
  TSetting& number = *document.Groups[0]->Settings[2];
  site.NameText = "Plant room";
  site.SetValue(5);
  zone.SetChanged(false);

  EXPECT_TRUE(zone.CopyValueFrom(site));
  EXPECT_EQ(zone.NameText, "Plant room");
  EXPECT_FALSE(zone.Changed());
  EXPECT_EQ(zone.Value(), 0);  // the register value is not copied
  EXPECT_EQ(Holding(71), 0);   // nor stored

  EXPECT_EQ(Thrown([&] { zone.CopyValueFrom(number); }),
            "CopyValuesFromSetting Exception - class is not of type TSettingName");
  EXPECT_EQ(zone.NameText, "Plant room");

  ShowPage(document);
  EXPECT_EQ(zone.Edit->text(), "Plant room");
  std::vector<std::string> lines;
  zone.ExportCsv(lines);
  EXPECT_EQ(lines, std::vector<std::string>{"Zone name,Plant room"});
}

}  // namespace
}  // namespace model
