#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>

#include "model/Setting_dropdown.h"
#include "model/Setting_label.h"
#include "model/Setting_units.h"
#include "tests/model/ModelFixture.h"
#include "ui/ScrollBox.h"

namespace model {
namespace {

const std::string kPressures = ModelFixture::OneDevice(R"(<group name="Sensors" description="">
    <setting name="Units" value_type="drop_down" register="0" type="holding_register"
             units="pressure">
      <ddvalue name="Pa" value="0" default="true"/><ddvalue name="ins Wg" value="1"/>
    </setting>
    <setting name="Sensor Range" value_type="label" register="1" type="holding_register"
             default="250"/>
    <setting name="Readings below" value_type="label" register="2" type="holding_register"
             default="5" label_only="true" bold="true"/>
    <setting name="Sensor Maximum" value_type="label" register="3" type="holding_register"
             default="16424"/>
    <setting name="Alarm Pressure" value_type="units" register="4" type="holding_register"
             min="32768" max="65535" default="49152" maxsetting="Sensor Maximum"/>
  </group>)");

using SettingLabelTest = ModelFixture;

TEST_F(SettingLabelTest, ShowsTheValueWithTheDisplayUnits) {
  TSettings& document = LoadOffline(kPressures);
  ShowPage(document);
  TSettingLabel& range = SettingAt<TSettingLabel>(document, 0, 1);
  ASSERT_NE(range.ValueLabel, nullptr);
  EXPECT_EQ(range.ValueLabel->text(), "250 Pa");
  EXPECT_TRUE(range.ValueLabel->isVisible());
  EXPECT_EQ(range.ValueLabel->geometry().topLeft(), QPoint(200, 152));
  EXPECT_EQ(range.ValueLabel->width(), 140);
  EXPECT_EQ(range.ValueLabel->property(TSetting::kTagProperty).toInt(), 1);
  EXPECT_EQ(range.CaptionLabel()->text(), "Sensor Range");

  // The units follow the selector at once.
  SettingAt<TSettingDropDown>(document, 0, 0).ComboBoxSelect(1);
  EXPECT_EQ(range.ValueLabel->text(), "250 ins Wg");
  std::vector<std::string> lines;
  range.ExportCsv(lines);
  EXPECT_EQ(lines, std::vector<std::string>{"Sensor Range,250 ins Wg"});

  range.SetEnabled(false);
  EXPECT_FALSE(range.ValueLabel->isEnabled());
  document.Groups[0]->ClosePage();
  EXPECT_EQ(range.ValueLabel, nullptr);
}

TEST_F(SettingLabelTest, WithoutUnitsTheNumberIsFollowedByABlank) {
  TSettings& document = LoadOffline(OneDevice(R"(<group name="G" description="">
    <setting name="Count" value_type="label" register="1" type="holding_register"
             default="250"/></group>)"));
  TSettingLabel& count = SettingAt<TSettingLabel>(document, 0, 0);
  EXPECT_EQ(count.FormatLabelValue(true), "250 ");
  EXPECT_EQ(count.FormatLabelValue(false), "250");
  // No conversion is chosen: relative limits compare the raw value.
  EXPECT_EQ(count.ToDisplayValue(0x4028), 0x4028);
  EXPECT_EQ(count.ToDisplayValue(-7), -7);
}

TEST_F(SettingLabelTest, ReadsButNeverWrites) {
  TSettings& document = LoadOffline(kPressures);
  TSettingLabel& range = SettingAt<TSettingLabel>(document, 0, 1);
  EXPECT_EQ(Holding(2), 250);  // the default is stored like any other
  range.RequestWrite();
  EXPECT_FALSE(range.WritePending());
  range.RequestRead();
  EXPECT_TRUE(range.ReadPending());
  const int16_t word = 300;
  store_.SetHoldingRegisters(2, &word, 1);
  range.LoadValueFromStore();
  EXPECT_EQ(range.Value(), 300);
  EXPECT_FALSE(range.ReadPending());
}

TEST_F(SettingLabelTest, CaptionOnlyLabelIsNeverReadAndStoresNothing) {
  TSettings& document = LoadOffline(kPressures);
  ShowPage(document);
  TSettingLabel& note = SettingAt<TSettingLabel>(document, 0, 2);
  EXPECT_TRUE(note.LabelOnly);
  EXPECT_TRUE(note.CaptionLabel()->isVisible());
  EXPECT_TRUE(note.CaptionLabel()->font().bold());
  ASSERT_NE(note.ValueLabel, nullptr);
  EXPECT_FALSE(note.ValueLabel->isVisible());

  // Its register is still registered with the others, but it is left alone.
  EXPECT_TRUE(store_.IsHoldingRegisterRegistered(3));
  EXPECT_EQ(Holding(3), 0);
  const int16_t word = 9;
  store_.SetHoldingRegisters(3, &word, 1);
  note.RequestRead();
  EXPECT_FALSE(note.ReadPending());
  note.LoadValueFromStore();
  EXPECT_EQ(note.Value(), 5);
  note.SetValue(6);
  note.RestoreDefault();
  EXPECT_EQ(note.Value(), 5);
  EXPECT_EQ(Holding(3), 9);

  std::vector<std::string> lines;
  note.ExportCsv(lines);
  EXPECT_EQ(lines, std::vector<std::string>{"Readings below,5 Pa"});
}

TEST_F(SettingLabelTest, ConvertsRawVelocitiesAndPressuresForRelativeLimits) {
  TSettings& document = LoadOffline(kPressures);
  TSettingLabel& label = SettingAt<TSettingLabel>(document, 0, 1);
  document.SetUnitsName("ft/min");
  EXPECT_EQ(label.ToDisplayValue(0x8000 + 100), 0);  // 100 ft/min = 0.51 m/s
  EXPECT_EQ(label.ToDisplayValue(250), 2);           // 2.50 m/s
  document.SetUnitsName("m/sec");
  EXPECT_EQ(label.ToDisplayValue(0x8000 + 100), 0);
  EXPECT_EQ(label.ToDisplayValue(250), 2);
  document.SetUnitsName("Pa");
  EXPECT_EQ(label.ToDisplayValue(0x4000 + 40), 99);  // 40 x 2.491 = 99.64
  EXPECT_EQ(label.ToDisplayValue(40), -99);          // bit 14 clear: negative
  EXPECT_EQ(label.ToDisplayValue(0x8000 + 0x4000 + 120), 120);
  EXPECT_EQ(label.ToDisplayValue(static_cast<int16_t>(0xC078)), 120);  // as read
  document.SetUnitsName("ins Wg");
  EXPECT_EQ(label.ToDisplayValue(0x4000 + 40), 99);

  EXPECT_FLOAT_EQ(static_cast<float>(TSettingLabel::ConvertRaw(0x8000 + 100, "m/sec")), 0.51f);
  EXPECT_FLOAT_EQ(static_cast<float>(TSettingLabel::ConvertRaw(250, "ft/min")), 490.19608f);
  EXPECT_FLOAT_EQ(static_cast<float>(TSettingLabel::ConvertRaw(0xC000 + 250, "ins Wg")),
                  1.0036130f);
  EXPECT_FLOAT_EQ(static_cast<float>(TSettingLabel::ConvertRaw(0x0064, "Pa")), -249.1f);
}

TEST_F(SettingLabelTest, UnitConvertedSettingStaysBelowTheLabel) {
  TSettings& document = LoadOffline(kPressures);
  ShowPage(document);
  auto& alarm = SettingAt<TSettingUnits>(document, 0, 4);
  // Sensor Maximum holds 0x4028: 40 hundredths of in WG, 99 Pa compared.
  alarm.Edit.Enter();
  alarm.Edit->setText("100");
  alarm.Edit.Leave();
  EXPECT_EQ(boxes_.Texts(),
            std::vector<std::string>{"Setting 'Alarm Pressure' must be less than setting 'Sensor "
                                     "Maximum'"});
  EXPECT_EQ(alarm.Edit->text(), "0 Pa");
  alarm.Edit.Enter();
  alarm.Edit->setText("99");
  alarm.Edit.Leave();
  EXPECT_EQ(boxes_.Texts().size(), 1u);
  EXPECT_EQ(alarm.Value(), 0xC063);
}

TEST_F(SettingLabelTest, DefinitionNeedsADefault) {
  EXPECT_EQ(Thrown([&] {
              Load(OneDevice(R"(<group name="G" description="">
      <setting name="L" value_type="label" register="1" type="holding_register"/></group>)"));
            }),
            "Could not find attribute \"default\" in XML node.");
}

}  // namespace
}  // namespace model
