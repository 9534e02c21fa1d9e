#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QTest>
#include <stdexcept>
#include <thread>

#include "model/Setting_checkbox.h"
#include "model/Setting_dropdown.h"
#include "model/Setting_int.h"
#include "tests/model/ModelFixture.h"
#include "ui/ScrollBox.h"

namespace model {
namespace {

using SettingKindsTest = ModelFixture;

TEST_F(SettingKindsTest, RegisterValuesConvertWithSignOffsetAndMask) {
  TSettings& document = LoadOffline(OneDevice(R"(<group name="G" description="">
    <setting name="Plain" value_type="int" register="9" type="holding_register"
             min="-32768" max="32767" default="0" value_text=""/>
    <setting name="Plus one" value_type="int" register="10" type="holding_register"
             min="-32768" max="32767" default="0" value_text="" value_offset="1"/>
    <setting name="Minus one" value_type="int" register="11" type="holding_register"
             min="-32768" max="32767" default="0" value_text="" value_offset="-1"/>
    <setting name="High nibble" value_type="int" register="12" type="holding_register"
             min="0" max="15" default="0" value_text="" bitmask="240"/>
  </group>)"));
  TGroup& group = *document.Groups[0];
  const int16_t words[] = {-1, 0, 0, 0x1234};
  store_.SetHoldingRegisters(10, words, 4);
  group.ReloadFromStore();
  EXPECT_EQ(group.Settings[0]->Value(), -1);  // 0xFFFF
  EXPECT_EQ(group.Settings[1]->Value(), -1);  // 0 less 1
  EXPECT_EQ(group.Settings[2]->Value(), 1);   // 0 less -1
  EXPECT_EQ(group.Settings[3]->Value(), 3);   // 0x1234 under 0x00F0

  // Storing puts back what was read.
  group.StoreAll();
  EXPECT_EQ(Holding(10), -1);
  EXPECT_EQ(Holding(11), 0);
  EXPECT_EQ(Holding(12), 0);
  group.Settings[3]->SetValue(0xA);
  group.Settings[3]->StoreValue();
  EXPECT_EQ(Holding(13), 0x12A4);
}

TEST_F(SettingKindsTest, IntegerDisplayEditingAndLimits) {
  TSettings& document = LoadOffline(OneDevice(R"(<group name="G" description="">
    <setting name="Delay" value_type="int" register="0" type="holding_register"
             min="0" max="10" default="5" value_text="s"/>
    <setting name="Speed" value_type="int" register="1" type="holding_register"
             min="1" max="100" default="0" value_text="%"/>
    <setting name="Filter" value_type="int" register="2" type="holding_register"
             min="0" max="255" default="255" value_text="s" DisabledValue="255"/>
  </group>)"));
  ShowPage(document, 0);
  auto& delay = SettingAt<TSettingInt>(document, 0, 0);
  auto& speed = SettingAt<TSettingInt>(document, 0, 1);
  auto& filter = SettingAt<TSettingInt>(document, 0, 2);
  EXPECT_EQ(delay.Edit->text(), "5 s");
  EXPECT_EQ(speed.Edit->text(), "-");  // 0 is below the minimum of 1
  EXPECT_EQ(filter.Edit->text(), "-");
  filter.SetValue(0);
  filter.UpdateDisplay(true);
  EXPECT_EQ(filter.Edit->text(), "0 s");

  delay.Edit.Leave();  // never entered: nothing to check
  EXPECT_TRUE(boxes_.Boxes().empty());
  delay.Edit.Enter();
  EXPECT_EQ(delay.Edit->text(), "5");
  delay.Edit->setText("11");
  delay.Edit.KeyPress(Qt::Key_Return);  // Enter checks only
  EXPECT_EQ(boxes_.Texts().back(), "The maximum value this setting can be is '10'");
  EXPECT_EQ(delay.Edit->text(), "11");
  delay.Edit.Leave();
  EXPECT_EQ(boxes_.Boxes().size(), 2u);
  EXPECT_EQ(delay.Value(), 5);
  EXPECT_EQ(Holding(1), 5);

  // Typing an entry: the box is entered, edited and left.
  auto type = [&](const char* text) {
    delay.Edit.Enter();
    delay.Edit->setText(text);
    delay.Edit.Leave();
  };
  type("x7");
  EXPECT_EQ(boxes_.Texts().back(), "'x7' is not a valid integer value");
  EXPECT_EQ(delay.Edit->text(), "5 s");
  type("-1");
  EXPECT_EQ(boxes_.Texts().back(), "The minimum value this setting can be is '0'");

  delay.SetChanged(false);
  type("5");  // the value it has: nothing changes
  EXPECT_FALSE(delay.Changed());
  type("7");
  EXPECT_TRUE(delay.Changed());
  EXPECT_EQ(delay.Value(), 7);
  EXPECT_EQ(Holding(1), 7);
  EXPECT_EQ(delay.Edit->text(), "7 s");
  EXPECT_EQ(boxes_.Boxes().size(), 4u);
}

// Closing a page while an entry is under way drops the entry: the box made for the page shown
// again was never entered, so leaving it checks nothing and changes nothing.
TEST_F(SettingKindsTest, AnEntryUnderWayIsForgottenWhenItsPageCloses) {
  TSettings& document = LoadOffline(OneDevice(R"(<group name="G" description="">
    <setting name="Delay" value_type="int" register="0" type="holding_register"
             min="0" max="10" default="5" value_text="s"/>
  </group>)"));
  ShowPage(document, 0);
  auto& delay = SettingAt<TSettingInt>(document, 0, 0);
  delay.Edit.Enter();
  delay.Edit->setText("12");
  delay.DestroyControls();
  EXPECT_EQ(delay.Edit.Box(), nullptr);
  ShowPage(document, 0);
  delay.Edit->setText("12");
  delay.Edit.Leave();
  EXPECT_TRUE(boxes_.Boxes().empty());
  EXPECT_EQ(delay.Value(), 5);
}

// Boxes belong to the GUI thread: a refusal that reaches another thread is a fault of the
// caller, reported as one, and nothing is shown.
TEST_F(SettingKindsTest, ARefusalIsShownOnTheGuiThreadOnly) {
  std::string error;
  std::thread worker([&] {
    try {
      ShowRefusal(std::string("The maximum value this setting can be is '10'"));
    } catch (const std::logic_error& e) {
      error = e.what();
    }
  });
  worker.join();
  EXPECT_NE(error.find("off the GUI thread"), std::string::npos) << error;
  EXPECT_TRUE(boxes_.Boxes().empty());
  EXPECT_FALSE(ShowRefusal(std::nullopt));
  EXPECT_TRUE(ShowRefusal(std::string("Shown")));
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"Shown"});
}

// A refused entry is given up when the user leaves the box: the box shows the value that a
// write would send, and the focus goes on.
TEST_F(SettingKindsTest, LeavingARefusedEntryShowsTheValueAgain) {
  TSettings& document = LoadOffline(OneDevice(R"(<group name="G" description="">
    <setting name="Delay" value_type="int" register="0" type="holding_register"
             min="0" max="10" default="5" value_text="s"/>
    <setting name="Other" value_type="int" register="1" type="holding_register"
             min="0" max="10" default="5" value_text="s"/>
  </group>)"));
  ShowPage(document, 0);
  QApplication::setActiveWindow(&page_);
  auto& delay = SettingAt<TSettingInt>(document, 0, 0);
  auto& other = SettingAt<TSettingInt>(document, 0, 1);
  delay.Edit->setFocus();
  ASSERT_TRUE(delay.Edit->hasFocus());
  EXPECT_EQ(delay.Edit->text(), "5");
  delay.Edit->setText("12");
  other.Edit->setFocus(Qt::TabFocusReason);
  QApplication::processEvents();
  EXPECT_EQ(boxes_.Texts(),
            std::vector<std::string>{"The maximum value this setting can be is '10'"});
  EXPECT_TRUE(other.Edit->hasFocus());
  EXPECT_EQ(delay.Value(), 5);
  EXPECT_EQ(delay.Edit->text(), "5 s");

  // A message box over the window takes the focus and gives it back: the
  // entry is still the user's.
  delay.Edit->setFocus(Qt::TabFocusReason);
  delay.Edit->setText("13");
  QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
  QFocusEvent in(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
  QApplication::sendEvent(delay.Edit.Box(), &out);
  QApplication::sendEvent(delay.Edit.Box(), &in);
  EXPECT_EQ(delay.Edit->text(), "13");
  EXPECT_EQ(boxes_.Boxes().size(), 1u);

  delay.Edit->setText("8");
  other.Edit->setFocus(Qt::TabFocusReason);
  QApplication::processEvents();
  EXPECT_EQ(delay.Value(), 8);
  EXPECT_EQ(delay.Edit->text(), "8 s");

  // A value beyond the limits that the user only passed through (a device's) is no entry of
  // theirs: it is shown, not refused.
  delay.SetValue(12);
  delay.Edit->setFocus(Qt::TabFocusReason);
  other.Edit->setFocus(Qt::TabFocusReason);
  QApplication::processEvents();
  EXPECT_EQ(boxes_.Boxes().size(), 1u);
  EXPECT_TRUE(other.Edit->hasFocus());
  EXPECT_EQ(delay.Edit->text(), "12 s");
}

TEST_F(SettingKindsTest, DropDownDefaultsLookupsAndCsv) {
  TSettings& document = LoadOffline(OneDevice(R"(<group name="G" description="">
    <setting name="Mode" value_type="drop_down" register="0" type="holding_register">
      <ddvalue name="Off" value="0"/><ddvalue name="On" value="1" default="True"/>
      <ddvalue name="Auto" value="2" default="true"/>
    </setting>
    <setting name="Empty" value_type="drop_down" register="1" type="holding_register"/>
  </group>)"));
  ShowPage(document, 0);
  auto& mode = SettingAt<TSettingDropDown>(document, 0, 0);
  auto& empty = SettingAt<TSettingDropDown>(document, 0, 1);
  EXPECT_EQ(mode.Default(), 2);
  EXPECT_EQ(mode.ComboBox->currentText(), "Auto");
  EXPECT_EQ(Holding(1), 2);

  // An unknown value selects the first entry without storing it.
  int16_t seven = 7;
  store_.SetHoldingRegisters(1, &seven, 1);
  store_.SetHoldingRegisters(2, &seven, 1);
  document.Groups[0]->ReloadFromStore();
  document.Groups[0]->RedisplayAll();
  EXPECT_EQ(mode.ComboBox->currentText(), "Off");
  EXPECT_EQ(Holding(1), 7);
  EXPECT_EQ(empty.ComboBox->currentIndex(), -1);

  std::vector<std::string> lines;
  document.Groups[0]->ExportCsv(lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"Mode,Off", "Empty,7"}));

  // The user picks On.
  mode.ComboBox->setCurrentIndex(1);
  EXPECT_EQ(Holding(1), 7);  // a programmatic change is no pick
  mode.ComboBoxSelect(1);
  EXPECT_EQ(mode.Value(), 1);
  EXPECT_TRUE(mode.Changed());
  EXPECT_EQ(Holding(1), 1);
}

TEST_F(SettingKindsTest, UnitsSelectorAnnouncesUnitsAndStoresNothing) {
  TSettings& document = LoadOffline(OneDevice(R"(<group name="G" description="">
    <setting name="Units" value_type="drop_down" register="1" type="holding_register"
             units="velocity">
      <ddvalue name="ft/min" value="1"/><ddvalue name="m/sec" value="0"/>
    </setting>
  </group>)"));
  EXPECT_EQ(document.UnitsName(), "m/sec");
  auto& units = SettingAt<TSettingDropDown>(document, 0, 0);
  units.ComboBoxSelect(0);
  EXPECT_EQ(document.UnitsName(), "ft/min");
  EXPECT_EQ(units.Value(), 1);
  EXPECT_EQ(Holding(2), 0);
  units.RestoreDefault();  // default 0: m/sec again, still not stored
  EXPECT_EQ(document.UnitsName(), "m/sec");
  units.SetValue(1);
  ASSERT_TRUE(units.CopyValueFrom(units));  // a copy does store
  EXPECT_EQ(Holding(2), 1);
}

TEST_F(SettingKindsTest, ExclusionGroupsRefuseTakenValuesButTheAllowedOne) {
  TSettings& document = LoadOffline(OneDevice(R"(<group name="Inputs" description="">
    <setting name="Input 1" value_type="drop_down" register="0" type="holding_register"
             exclusiongroup="1" excludeallowed="0">
      <ddvalue name="None" value="0" default="true"/><ddvalue name="Fire" value="1"/>
      <ddvalue name="Smoke" value="2"/>
    </setting>
    <setting name="Input 2" value_type="drop_down" register="1" type="holding_register"
             exclusiongroup="1" excludeallowed="0">
      <ddvalue name="None" value="0" default="true"/><ddvalue name="Fire" value="1"/>
      <ddvalue name="Smoke" value="2"/>
    </setting>
  </group>
  <group name="Outputs" description="">
    <setting name="Input 3" value_type="drop_down" register="2" type="holding_register"
             exclusiongroup="1" excludeallowed="0">
      <ddvalue name="None" value="0" default="true"/><ddvalue name="Fire" value="1"/>
      <ddvalue name="Smoke" value="2"/>
    </setting>
  </group>)"));
  ShowPage(document, 0);
  auto& input1 = SettingAt<TSettingDropDown>(document, 0, 0);
  auto& input3 = SettingAt<TSettingDropDown>(document, 1, 0);
  EXPECT_EQ(document.CheckExclusion(input1, 0), std::nullopt);  // all hold 0: allowed
  input3.ComboBoxSelect(2);
  ASSERT_EQ(input3.Value(), 2);

  input1.ComboBox->setCurrentIndex(2);
  input1.ComboBoxSelect(2);
  EXPECT_EQ(input1.Value(), 0);
  EXPECT_EQ(input1.ComboBox->currentText(), "None");
  ASSERT_EQ(boxes_.Boxes().size(), 1u);
  EXPECT_EQ(boxes_.Boxes()[0].Icon, ui::TBoxIcon::Error);
  EXPECT_EQ(boxes_.Texts()[0],
            "This setting is mutually exclusive and can not share the same value\n"
            "as the following settings:\n\n"
            " \u2022 Input 2\n \u2022 Input 3\n\n"
            "Please choose another value that is not being used.");
  // The check alone names the partners and shows nothing.
  EXPECT_EQ(document.CheckExclusion(input1, 2), boxes_.Texts()[0]);
  EXPECT_EQ(boxes_.Boxes().size(), 1u);
}

TEST_F(SettingKindsTest, RelativeLimitsAreInclusiveWithThreeMessages) {
  TSettings& document = LoadOffline(OneDevice(R"(<group name="Pressure" description="">
    <setting name="Low alarm" value_type="int" register="0" type="holding_register"
             min="0" max="1000" default="100" value_text="Pa"/>
    <setting name="Set point" value_type="int" register="1" type="holding_register"
             min="0" max="1000" default="200" value_text="Pa" minsetting="Low alarm"
             maxsetting="High alarm"/>
    <setting name="High alarm" value_type="int" register="2" type="holding_register"
             min="0" max="1000" default="300" value_text="Pa"/>
    <setting name="Above low" value_type="int" register="3" type="holding_register"
             min="0" max="1000" default="100" value_text="Pa" minsetting="Low alarm"/>
    <setting name="Below high" value_type="int" register="4" type="holding_register"
             min="0" max="1000" default="300" value_text="Pa" maxsetting="High alarm"/>
    <setting name="Lost" value_type="int" register="5" type="holding_register"
             min="0" max="1000" default="0" value_text="Pa" minsetting="Nowhere"/>
  </group>)"));
  auto& setPoint = SettingAt<TSettingInt>(document, 0, 1);
  std::vector<std::string> refusals;
  auto accepts = [&](TSetting& setting, int32_t value) {
    const TRefusal refusal = setting.CheckRelativeLimits(value);
    if (refusal) {
      refusals.push_back(*refusal);
    }
    return !refusal;
  };
  EXPECT_TRUE(accepts(setPoint, 100));
  EXPECT_TRUE(accepts(setPoint, 300));
  EXPECT_FALSE(accepts(setPoint, 99));
  EXPECT_FALSE(accepts(setPoint, 301));
  EXPECT_FALSE(accepts(SettingAt<TSettingInt>(document, 0, 3), 99));
  EXPECT_FALSE(accepts(SettingAt<TSettingInt>(document, 0, 4), 301));
  EXPECT_TRUE(boxes_.Boxes().empty());  // checking shows nothing
  EXPECT_EQ(refusals,
            (std::vector<std::string>{
                "Setting 'Set point' must be greater than setting 'Low alarm' and less than "
                "setting 'High alarm'",
                "Setting 'Set point' must be greater than setting 'Low alarm' and less than "
                "setting 'High alarm'",
                "Setting 'Above low' must be greater than setting 'Low alarm'",
                "Setting 'Below high' must be less than setting 'High alarm'"}));
  EXPECT_EQ(Thrown([&] { SettingAt<TSettingInt>(document, 0, 5).CheckRelativeLimits(1); }),
            "Could not find setting with name 'Nowhere'.\n"
            "The most likely cause is a problem in the devices.xml file");
}

const std::string kTemplateWithLimits = ModelFixture::OneDevice(R"(
  <group name="System" description="">
    <setting name="Mode" value_type="drop_down" register="0" type="holding_register">
      <ddvalue name="Off" value="0"/><ddvalue name="On" value="1" default="true"/>
    </setting>
  </group>
  <group name="Group" description="">
    <setting name="Minimum" value_type="int" register="1000" offset="4" type="holding_register"
             min="0" max="100" default="10" value_text="%"/>
    <setting name="Target" value_type="int" register="1001" offset="4" type="holding_register"
             min="0" max="100" default="50" value_text="%" minsetting="Minimum"/>
    <setting name="Fan" value_type="drop_down" register="1002" offset="4" type="holding_register">
      <ddvalue name="Off" value="0" default="true"/><ddvalue name="On" value="1"/>
    </setting>
    <setting name="Heater" value_type="checkbox" register="1003" offset="4"
             type="holding_register" default="unchecked"/>
  </group>)");

TEST_F(SettingKindsTest, RelativeLimitsInsideAnR12InstanceUseThatInstance) {
  TSettings& document = LoadOffline(kTemplateWithLimits);
  TGroup& range = *document.Groups[3];                       // R12 1, groups 11 to 20
  auto& minimum12 = SettingAt<TSettingInt>(document, 3, 6);  // second instance
  auto& target12 = SettingAt<TSettingInt>(document, 3, 7);
  ASSERT_EQ(range.Settings[5]->Name(), "Group 12");
  minimum12.SetValue(40);
  EXPECT_EQ(target12.CheckRelativeLimits(45), std::nullopt);  // above this instance's 40
  // The first instance's 10 does not count.
  EXPECT_EQ(target12.CheckRelativeLimits(30),
            "Setting 'Target' must be greater than setting 'Minimum'");
}

TEST_F(SettingKindsTest, CopiesReachEveryCounterpartOfTheController) {
  TSettings& document = LoadOffline(kTemplateWithLimits);
  TGroup& template2 = *document.Groups[7];
  ASSERT_EQ(template2.Name, "R12 2");
  auto& fan = SettingAt<TSettingDropDown>(document, 7, 3);
  fan.SetValue(1);  // a drop-down has no minimum or maximum to refuse it
  fan.CopyToAllGroupsClick();
  for (size_t g = 0; g < document.Groups.size(); ++g) {
    const TGroup& group = *document.Groups[g];
    if (!group.IsTenfold)
      continue;
    for (int instance = 0; instance < 10; ++instance) {
      const TSetting& target = *group.Settings[static_cast<size_t>(5 * instance + 3)];
      ASSERT_EQ(target.Name(), "Fan");
      EXPECT_EQ(target.Value(), group.ControllerNumber == 2 ? 1 : 0) << group.Name << instance;
      EXPECT_EQ(Holding(target.Reference()), target.Value());
    }
  }
  EXPECT_TRUE(boxes_.Boxes().empty());

  auto& heater = SettingAt<TSettingCheckBox>(document, 19, 4);  // R12 4
  heater.SetValue(1);
  heater.CopyToAllR12sClick();
  int ticked = 0;
  for (const auto& group : document.Groups) {
    for (const auto& setting : group->Settings) {
      if (setting->Name() == "Heater" && !setting->IsTemplate())
        ticked += setting->Value();
    }
  }
  EXPECT_EQ(ticked, 250);
}

TEST_F(SettingKindsTest, ACopyRefusedByALimitStopsThere) {
  TSettings& document = LoadOffline(kTemplateWithLimits);
  auto& target = SettingAt<TSettingInt>(document, 1, 2);  // R12 1 template
  target.SetValue(5);                                     // below every instance's minimum of 10
  target.CopyToAllGroupsClick();
  ASSERT_EQ(boxes_.Texts().size(), 1u);
  EXPECT_EQ(boxes_.Texts()[0], "Setting 'Target' must be greater than setting 'Minimum'");
  EXPECT_EQ(SettingAt<TSettingInt>(document, 2, 2).Value(), 50);
}

TEST_F(SettingKindsTest, TemplateCopiesIgnoreGroupsBeforeAndAfterTheExpansion) {
  // No ordinary group before the template, two after it.
  TSettings& document = LoadOffline(OneDevice(R"(
    <group name="Group" description="">
      <setting name="Level" value_type="int" register="500" offset="1" type="holding_register"
               min="0" max="9" default="1" value_text=""/>
    </group>
    <group name="After" description="">
      <setting name="Level" value_type="int" register="10" type="holding_register"
               min="0" max="9" default="1" value_text=""/>
    </group>)"));
  auto& level = SettingAt<TSettingInt>(document, 0, 1);
  level.SetValue(7);
  level.CopyToAllGroupsClick();
  EXPECT_EQ(SettingAt<TSettingInt>(document, 1, 1).Value(), 7);   // R12 1, groups 1 to 10
  EXPECT_EQ(SettingAt<TSettingInt>(document, 5, 19).Value(), 7);  // groups 41 to 50, last instance
  EXPECT_EQ(SettingAt<TSettingInt>(document, 7, 1).Value(), 1);   // R12 2 untouched
  level.CopyToAllR12sClick();
  EXPECT_EQ(SettingAt<TSettingInt>(document, 29, 19).Value(), 7);
  EXPECT_EQ(SettingAt<TSettingInt>(document, 30, 0).Value(), 1);  // the ordinary group after
  EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(SettingKindsTest, PlainCheckBoxes) {
  TSettings& document = LoadOffline(OneDevice(R"(<group name="G" description="">
    <setting name="Coil" value_type="checkbox" register="4" type="coil" default="checked"/>
    <setting name="Word" value_type="checkbox" register="5" type="holding_register"
             default="Checked" checked_value="9"/>
    <setting name="Bit 3" value_type="checkbox" register="6" type="holding_register"
             default="checked" bitmask="8"/>
    <setting name="Shifted" value_type="checkbox" register="7" type="holding_register"
             default="unchecked" value_offset="1"/>
  </group>)"));
  auto& coil = SettingAt<TSettingCheckBox>(document, 0, 0);
  auto& word = SettingAt<TSettingCheckBox>(document, 0, 1);
  EXPECT_EQ(coil.Default(), 1);
  EXPECT_EQ(word.Default(), 0);  // only "checked" exactly
  EXPECT_FALSE(word.HasValuePair);
  EXPECT_TRUE(store_.GetCoil(5));

  // A register holding 7 reads as ticked and is stored as 1. Without a value pair (a
  // checked_value alone is not one) the box takes the word as it stands.
  int16_t seven = 7;
  store_.SetHoldingRegisters(6, &seven, 1);
  word.RequestRead();
  word.LoadValueFromStore();
  EXPECT_EQ(word.Value(), 7);
  word.StoreValue();
  EXPECT_EQ(Holding(6), 1);

  // A field keeps the register's other bits.
  int16_t bits = 0x00F0;
  store_.SetHoldingRegisters(7, &bits, 1);
  SettingAt<TSettingCheckBox>(document, 0, 2).StoreValue();
  EXPECT_EQ(Holding(7), 0x00F8);

  // With a value offset the stored state reads back as itself.
  auto& shifted = SettingAt<TSettingCheckBox>(document, 0, 3);
  EXPECT_EQ(Holding(8), 1);
  shifted.RequestRead();
  shifted.LoadValueFromStore();
  EXPECT_EQ(shifted.Value(), 0);

  std::vector<std::string> lines;
  document.Groups[0]->ExportCsv(lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"Coil,Enabled", "Word,Enabled", "Bit 3,Enabled",
                                             "Shifted,Disabled"}));
}

TEST_F(SettingKindsTest, ValuePairBoxesViewTheirOwnersRegister) {
  TSettings& document = LoadOffline(OneDevice(R"(<group name="Fans" description="">
    <setting name="Override" value_type="int" register="56" type="holding_register"
             min="0" max="100" default="3" value_text="%"/>
    <setting name="Full speed" value_type="checkbox" register="56" type="holding_register"
             default="unchecked" unchecked_value="2" checked_value="5"/>
  </group>)"));
  ShowPage(document, 0);
  auto& owner = SettingAt<TSettingInt>(document, 0, 0);
  auto& box = SettingAt<TSettingCheckBox>(document, 0, 1);
  EXPECT_TRUE(box.HasValuePair);
  EXPECT_EQ(store_.RegisterCount(), 1);
  // Restoring an unticked box left the owner's 3 alone.
  EXPECT_EQ(Holding(57), 3);
  EXPECT_EQ(box.Value(), 0);

  box.CheckBox->click();
  EXPECT_EQ(Holding(57), 5);
  EXPECT_EQ(owner.Value(), 5);
  EXPECT_EQ(box.Value(), 1);
  EXPECT_TRUE(box.Changed());

  box.CheckBox->click();
  EXPECT_EQ(Holding(57), 2);
  EXPECT_EQ(owner.Value(), 2);

  // Showing the box ticks it without a click: nothing is stored.
  box.SetValue(1);
  box.UpdateDisplay(true);
  EXPECT_EQ(Holding(57), 2);
}

TEST_F(SettingKindsTest, ReferencesOutsideADevicesRangeFailTheLoad) {
  EXPECT_EQ(Thrown([&] {
              Load(OneDevice(R"(<group name="G" description="">
      <setting name="Far" value_type="int" register="65536" type="holding_register" min="0"
               max="1" default="0" value_text=""/></group>)"));
            }),
            "Setting 'Far' refers to register reference 65537, outside 1 to 65536");
  EXPECT_EQ(Thrown([&] {
              Load(OneDevice(R"(<group name="Group" description="">
      <setting name="Stride" value_type="int" register="1" offset="1000000" type="coil" min="0"
               max="1" default="0" value_text=""/></group>)"));
            }),
            "Setting 'Stride' refers to register reference 1000002, outside 1 to 65536");
  EXPECT_EQ(Thrown([&] {
              Load(OneDevice(R"(<group name="G" description="">
      <setting name="Odd" value_type="int" register="1" type="register" min="0" max="1"
               default="0" value_text=""/></group>)"));
            }),
            "Unknown value type : register");
  EXPECT_EQ(Thrown([&] {
              Load(OneDevice(R"(<group name="G" description="">
      <setting name="Later" value_type="Units" register="1" type="coil"/></group>)"));
            }),
            "Unknown setting type Units");
}

TEST_F(SettingKindsTest, HugeTemplatesFailWithAMessage) {
  std::string settings;
  for (int i = 0; i < 1000; ++i) {
    settings += "<setting name=\"S" + std::to_string(i) +
                "\" value_type=\"checkbox\" register=\"1\" type=\"coil\" default=\"x\"/>";
  }
  EXPECT_EQ(Thrown([&] {
              Load(OneDevice("<group name=\"Group\" description=\"\">" + settings + "</group>"));
            }),
            "The device definitions hold more than 200000 settings for one device type");
}

}  // namespace
}  // namespace model
