#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "model/Setting_int.h"
#include "model/Setting_time.h"
#include "tests/model/ModelFixture.h"
#include "ui/ScrollBox.h"

namespace model {
namespace {

class SettingTimeTest : public ModelFixture {
 protected:
  // Puts hours and minutes into the device's two registers and reads them
  // as a completed read from the device does.
  void ReadFromDevice(TSettingTime& time, int16_t hours, int16_t minutes) {
    const int16_t words[] = {hours, minutes};
    store_.SetHoldingRegisters(time.Reference(), words, 2);
    time.Group().ReloadFromStore();
  }

  // The user enters a box, types the text and leaves the box.
  static void Type(TSettingTime& time, int which, const char* text) {
    time.EditOf(which).Enter();
    time.EditOf(which)->setText(text);
    time.EditOf(which).Leave();
  }

  static std::pair<std::string, std::string> Shown(TSettingTime& time) {
    return {time.HoursEdit->text().toStdString(), time.MinutesEdit->text().toStdString()};
  }

  std::pair<int16_t, int16_t> Stored(const TSettingTime& time) const {
    return {Holding(time.Reference()), Holding(time.Reference() + 1)};
  }
};

using TPair = std::pair<int16_t, int16_t>;
using TTexts = std::pair<std::string, std::string>;

// Ventilation runs from a start time to a stop time that follows it.
const std::string kSchedule = ModelFixture::OneDevice(R"(<group name="Schedule" description="">
    <setting name="Day start" value_type="time" register="240" type="holding_register"
             default_hrs="7" default_mins="30" value_text="hrs"/>
    <setting name="Day stop" value_type="time" register="242" type="holding_register"
             default_hrs="19" default_mins="0" value_text="hrs" GreaterThan="240"/>
    <setting name="Boost" value_type="int" register="244" type="holding_register" min="0"
             max="100" default="40" value_text="%"/>
    <setting name="Night setback" value_type="time" register="245" type="holding_register"
             default_hrs="99" default_mins="99" value_text="hrs" NoEnableCheckbox="true"/>
  </group>)");

TEST_F(SettingTimeTest, DeviceValuesAboveTheDayAreSwitchedOff) {
  TSettings& document = LoadOffline(kSchedule);
  ShowPage(document, 0);
  auto& start = SettingAt<TSettingTime>(document, 0, 0);
  EXPECT_EQ(store_.RegisterCount(), 7);
  EXPECT_EQ(start.EnableBox->text(), "Enable");
  EXPECT_LE(start.EnableBox->geometry().right(), 350);

  ReadFromDevice(start, 7, 30);
  start.Refresh();
  EXPECT_EQ(Shown(start), TTexts("7", "30"));
  EXPECT_TRUE(start.EnableBox->isChecked());
  EXPECT_TRUE(start.HoursEdit->isEnabled());
  EXPECT_FALSE(start.Changed());

  ReadFromDevice(start, 99, 99);
  start.Refresh();
  EXPECT_EQ(Shown(start), TTexts("-", "-"));
  EXPECT_FALSE(start.EnableBox->isChecked());
  EXPECT_FALSE(start.HoursEdit->isEnabled());
  EXPECT_FALSE(start.MinutesEdit->isEnabled());

  ReadFromDevice(start, 25, 10);
  start.Refresh();
  EXPECT_EQ(Shown(start), TTexts("-", "10"));
  EXPECT_FALSE(start.EnableBox->isChecked());
  EXPECT_FALSE(start.TimeEnabled);
  start.StoreValue();  // off: the pair written is 99, 99
  EXPECT_EQ(Stored(start), TPair(99, 99));
}

TEST_F(SettingTimeTest, ANegativeDevicePartPassesTheSignedTest) {
  TSettings& document = LoadOffline(kSchedule);
  auto& start = SettingAt<TSettingTime>(document, 0, 0);
  ReadFromDevice(start, -1, 10);
  EXPECT_TRUE(start.TimeEnabled);
  // Switched on without a valid value and following nothing: 00:00.
  start.StoreValue();
  EXPECT_EQ(Stored(start), TPair(0, 0));
  EXPECT_TRUE(start.TimeEnabled);
  EXPECT_TRUE(start.Changed());

  // Shown, the negative part is "-" and the time counts as off.
  ShowPage(document, 0);
  ReadFromDevice(start, 10, -5);
  start.Refresh();
  EXPECT_EQ(Shown(start), TTexts("10", "-"));
  EXPECT_FALSE(start.TimeEnabled);
}

TEST_F(SettingTimeTest, EntriesOutsideTheClockAreRefused) {
  TSettings& document = LoadOffline(kSchedule);
  ShowPage(document, 0);
  auto& start = SettingAt<TSettingTime>(document, 0, 0);
  Type(start, TSettingTime::kHoursBox, "24");
  Type(start, TSettingTime::kMinutesBox, "60");
  Type(start, TSettingTime::kMinutesBox, "-1");
  Type(start, TSettingTime::kHoursBox, "7h");
  EXPECT_EQ(boxes_.Texts(),
            (std::vector<std::string>{"The maximum value this setting can be is '23'",
                                      "The maximum value this setting can be is '59'",
                                      "The minimum value this setting can be is '0'",
                                      "'7h' is not a valid integer value"}));
  EXPECT_EQ(boxes_.Boxes().back().Icon, ui::TBoxIcon::Error);
  EXPECT_EQ(start.Hours, 7);
  EXPECT_EQ(start.Minutes, 30);
  EXPECT_EQ(Stored(start), TPair(7, 30));

  // Enter checks the text and stores nothing.
  start.EditOf(TSettingTime::kMinutesBox).Enter();
  start.MinutesEdit->setText("45");
  start.EditOf(TSettingTime::kMinutesBox).KeyPress(Qt::Key_Return);
  start.MinutesEdit->setText("75");
  start.EditOf(TSettingTime::kMinutesBox).KeyPress(Qt::Key_Enter);
  EXPECT_EQ(boxes_.Texts().back(), "The maximum value this setting can be is '59'");
  EXPECT_EQ(boxes_.Boxes().size(), 5u);
  EXPECT_EQ(Stored(start), TPair(7, 30));

  // The edges of the clock are accepted.
  Type(start, TSettingTime::kHoursBox, "23");
  Type(start, TSettingTime::kMinutesBox, "0");
  EXPECT_EQ(Stored(start), TPair(23, 0));
  EXPECT_EQ(start.Value(), 23);
  EXPECT_EQ(Shown(start), TTexts("23", "0"));
  EXPECT_EQ(boxes_.Boxes().size(), 5u);
}

TEST_F(SettingTimeTest, LeavingARefusedEntryShowsTheTimeAgain) {
  TSettings& document = LoadOffline(kSchedule);
  ShowPage(document, 0);
  QApplication::setActiveWindow(&page_);
  auto& start = SettingAt<TSettingTime>(document, 0, 0);
  start.HoursEdit->setFocus();
  ASSERT_TRUE(start.HoursEdit->hasFocus());
  EXPECT_EQ(start.HoursEdit->text(), "7");
  start.HoursEdit->setText("24");
  start.MinutesEdit->setFocus(Qt::TabFocusReason);
  QApplication::processEvents();
  EXPECT_EQ(boxes_.Texts(),
            std::vector<std::string>{"The maximum value this setting can be is '23'"});
  EXPECT_TRUE(start.MinutesEdit->hasFocus());
  EXPECT_EQ(start.Hours, 7);
  EXPECT_EQ(Shown(start), TTexts("7", "30"));

  // An accepted entry is stored when the box is left.
  start.HoursEdit->setFocus(Qt::TabFocusReason);
  start.HoursEdit->setText("8");
  start.MinutesEdit->setFocus(Qt::TabFocusReason);
  QApplication::processEvents();
  EXPECT_EQ(Stored(start), TPair(8, 30));
  EXPECT_EQ(start.MinutesEdit->text(), "30");
}

TEST_F(SettingTimeTest, SwitchingOnAndOffWithTheEnableBox) {
  TSettings& document = LoadOffline(kSchedule);
  ShowPage(document, 0);
  auto& start = SettingAt<TSettingTime>(document, 0, 0);
  ReadFromDevice(start, 99, 99);
  start.Refresh();
  start.SetChanged(false);

  start.EnableBox->click();
  EXPECT_TRUE(start.TimeEnabled);
  EXPECT_EQ(Stored(start), TPair(0, 0));
  EXPECT_EQ(Shown(start), TTexts("0", "0"));
  EXPECT_TRUE(start.HoursEdit->isEnabled());
  EXPECT_TRUE(start.Changed());

  start.EnableBox->click();
  EXPECT_FALSE(start.TimeEnabled);
  EXPECT_EQ(Stored(start), TPair(99, 99));
  EXPECT_EQ(Shown(start), TTexts("-", "-"));
  EXPECT_FALSE(start.HoursEdit->isEnabled());

  // Ticking the box from the program is no click.
  start.EnableBox->setChecked(true);
  EXPECT_EQ(Stored(start), TPair(99, 99));
}

TEST_F(SettingTimeTest, AFollowingTimeTakesTheFollowedValue) {
  TSettings& document = LoadOffline(kSchedule);
  ShowPage(document, 0);
  auto& start = SettingAt<TSettingTime>(document, 0, 0);
  auto& stop = SettingAt<TSettingTime>(document, 0, 1);
  ASSERT_EQ(stop.GreaterThanReference, 241);
  EXPECT_EQ(Stored(stop), TPair(19, 0));

  // The followed time is switched off: the stop goes off with it.
  start.EnableBox->click();
  EXPECT_EQ(Stored(start), TPair(99, 99));
  EXPECT_EQ(Stored(stop), TPair(99, 99));
  EXPECT_FALSE(stop.TimeEnabled);
  EXPECT_EQ(Shown(stop), TTexts("-", "-"));

  // And cannot be switched on while it is off.
  stop.EnableBox->click();
  EXPECT_FALSE(stop.TimeEnabled);
  EXPECT_FALSE(stop.EnableBox->isChecked());
  EXPECT_EQ(Stored(stop), TPair(99, 99));
  stop.TimeEnabled = true;  // as if its boxes could still be typed in
  Type(stop, TSettingTime::kHoursBox, "20");
  EXPECT_FALSE(stop.TimeEnabled);
  EXPECT_EQ(Stored(stop), TPair(99, 99));

  // The start is switched on again at 00:00; the stop, still without a
  // value of its own, takes the start's time when switched on.
  start.EnableBox->click();
  Type(start, TSettingTime::kHoursBox, "6");
  EXPECT_EQ(Stored(start), TPair(6, 0));
  stop.EnableBox->click();
  EXPECT_TRUE(stop.TimeEnabled);
  EXPECT_EQ(Stored(stop), TPair(6, 0));
  EXPECT_EQ(Shown(stop), TTexts("6", "0"));

  // With values of its own and the start on, the stop keeps them.
  Type(stop, TSettingTime::kHoursBox, "18");
  Type(start, TSettingTime::kMinutesBox, "15");
  EXPECT_EQ(Stored(stop), TPair(18, 0));
}

TEST_F(SettingTimeTest, EditingATimeMakesThePageStoreEverySettingAgain) {
  TSettings& document = LoadOffline(kSchedule);
  ShowPage(document, 0);
  auto& start = SettingAt<TSettingTime>(document, 0, 0);
  store_.SetHoldingRegister(245, 77);            // Boost holds 40
  start.SetChanged(false);                       // as after a read
  Type(start, TSettingTime::kMinutesBox, "30");  // unchanged: nothing stored
  EXPECT_EQ(Holding(245), 77);
  Type(start, TSettingTime::kMinutesBox, "45");
  EXPECT_EQ(Holding(245), 40);
  EXPECT_EQ(Stored(start), TPair(7, 45));
}

TEST_F(SettingTimeTest, AFollowedTimeTheStoreDoesNotHoldIsNone) {
  TSettings& document = LoadOffline(ModelFixture::OneDevice(R"(<group name="G" description="">
    <setting name="Purge" value_type="time" register="250" type="holding_register"
             default_hrs="99" default_mins="99" value_text="" GreaterThan="900"/>
    <setting name="Edge" value_type="time" register="252" type="holding_register"
             default_hrs="1" default_mins="2" value_text="" GreaterThan="65535"/>
    <setting name="Huge" value_type="time" register="254" type="holding_register"
             default_hrs="1" default_mins="2" value_text="" GreaterThan="2147483647"/>
  </group>)"));
  ShowPage(document, 0);
  auto& purge = SettingAt<TSettingTime>(document, 0, 0);
  EXPECT_EQ(Stored(purge), TPair(99, 99));
  purge.EnableBox->click();
  EXPECT_EQ(Stored(purge), TPair(0, 0));
  EXPECT_TRUE(boxes_.Boxes().empty());
  EXPECT_EQ(Stored(SettingAt<TSettingTime>(document, 0, 1)), TPair(1, 2));
  EXPECT_EQ(Stored(SettingAt<TSettingTime>(document, 0, 2)), TPair(1, 2));
}

TEST_F(SettingTimeTest, SettingsFilesAreLimitedAsTheDeviceIs) {
  TSettings& document = LoadOffline(kSchedule);
  auto& start = SettingAt<TSettingTime>(document, 0, 0);
  auto& stop = SettingAt<TSettingTime>(document, 0, 1);

  pugi::xml_document file;
  const pugi::xml_node saved = start.SaveToXml(file.append_child("group"));
  std::vector<std::string> names;
  for (const pugi::xml_attribute& attribute : saved.attributes()) {
    names.push_back(std::string(attribute.name()) + "=" + attribute.value());
  }
  EXPECT_EQ(names, (std::vector<std::string>{"name=Day start", "ID=" + std::to_string(start.Id()),
                                             "value=7", "register=240", "Hour=7", "Minute=30"}));

  auto loadFile = [&](TSettingTime& time, const char* hour, const char* minute) {
    pugi::xml_document values;
    pugi::xml_node element = values.append_child("group").append_child("setting");
    element.append_attribute("ID") = time.Id();
    element.append_attribute("value") = 3;
    element.append_attribute("Hour") = hour;
    element.append_attribute("Minute") = minute;
    time.SetChanged(false);
    time.LoadFromXml(element);
  };
  loadFile(start, "6", "5");
  EXPECT_TRUE(start.TimeEnabled);
  EXPECT_TRUE(start.Changed());
  EXPECT_EQ(Stored(start), TPair(6, 5));

  loadFile(start, "99", "99");
  EXPECT_FALSE(start.TimeEnabled);
  EXPECT_EQ(Stored(start), TPair(99, 99));

  // One part past the clock is off, as it would be from the device.
  loadFile(start, "99", "0");
  EXPECT_FALSE(start.TimeEnabled);
  EXPECT_EQ(Stored(start), TPair(99, 99));
  EXPECT_EQ(start.Minutes, 99);
  loadFile(start, "12", "60");
  EXPECT_FALSE(start.TimeEnabled);
  EXPECT_EQ(Stored(start), TPair(99, 99));

  // Switched on again, the stop follows the start while it is off.
  loadFile(stop, "20", "0");
  EXPECT_FALSE(stop.TimeEnabled);
  EXPECT_EQ(Stored(stop), TPair(99, 99));
  loadFile(start, "8", "0");
  loadFile(stop, "65535", "0");  // -1: passes the signed test, then 8:00 from the start
  EXPECT_TRUE(stop.TimeEnabled);
  EXPECT_EQ(Stored(stop), TPair(8, 0));
}

TEST_F(SettingTimeTest, CsvLinesCarryTheValueText) {
  TSettings& document = LoadOffline(kSchedule);
  ReadFromDevice(SettingAt<TSettingTime>(document, 0, 0), 7, 5);
  std::vector<std::string> lines;
  document.Groups[0]->ExportCsv(lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"Day start,7 hrs", "Day start,5 hrs",
                                             "Day stop,19 hrs", "Day stop,0 hrs", "Boost,40 %",
                                             "Night setback,99 hrs", "Night setback,99 hrs"}));
}

TEST_F(SettingTimeTest, RestoringDefaultsSwitchesATimeOnUnlessItsDefaultIsOff) {
  TSettings& document = LoadOffline(kSchedule);
  ShowPage(document, 0);
  auto& start = SettingAt<TSettingTime>(document, 0, 0);
  auto& stop = SettingAt<TSettingTime>(document, 0, 1);
  auto& setback = SettingAt<TSettingTime>(document, 0, 3);
  EXPECT_EQ(setback.EnableBox.data(), nullptr);
  EXPECT_FALSE(setback.TimeEnabled);
  EXPECT_EQ(Stored(setback), TPair(99, 99));
  EXPECT_FALSE(setback.HoursEdit->isEnabled());

  ReadFromDevice(start, 99, 99);
  ReadFromDevice(stop, 99, 99);
  start.Refresh();
  ASSERT_FALSE(start.TimeEnabled);
  document.RestoreFactoryDefaults();
  EXPECT_TRUE(start.TimeEnabled);
  EXPECT_EQ(Stored(start), TPair(7, 30));
  EXPECT_EQ(Stored(stop), TPair(19, 0));
  EXPECT_EQ(Shown(start), TTexts("7", "30"));
  EXPECT_TRUE(start.EnableBox->isChecked());
  EXPECT_FALSE(setback.TimeEnabled);
}

TEST_F(SettingTimeTest, TransfersCountTwoRegisters) {
  TSettings& document = LoadOffline(kSchedule);
  auto& start = SettingAt<TSettingTime>(document, 0, 0);
  std::vector<std::pair<std::string, int>> reports;
  document.OnProgress = [&](const void*, const std::string& text, bool, int32_t count) {
    reports.emplace_back(text, count);
  };
  start.RequestRead();
  start.RequestWrite();
  EXPECT_EQ(start.PendingCount(), 4);
  start.Poll(1, nullptr);
  start.Refresh();
  EXPECT_EQ(reports,
            (std::vector<std::pair<std::string, int>>{{"Reading setting Day start...", 2}}));
}

TEST_F(SettingTimeTest, DefinitionsNeedTheDefaultTimeAndValueText) {
  EXPECT_EQ(Thrown([&] {
              Load(OneDevice(R"(<group name="G" description="">
      <setting name="T" value_type="time" register="1" type="holding_register" default_hrs="1"
               value_text=""/></group>)"));
            }),
            "Could not find attribute \"default_mins\" in XML node.");
}

const std::string kTimeTemplate = ModelFixture::OneDevice(R"(
  <group name="Group" description="">
    <setting name="Start" value_type="time" register="1000" offset="4" type="holding_register"
             default_hrs="6" default_mins="0" value_text="hrs"/>
    <setting name="Stop" value_type="time" register="1002" offset="4" type="holding_register"
             default_hrs="18" default_mins="0" value_text="hrs" GreaterThan="1000"/>
  </group>)");

TEST_F(SettingTimeTest, TemplateTimesStayOffTheStoreAndCopySwitchesTargets) {
  // Restoring defaults reaches the template times first: nothing may throw.
  TSettings& document = LoadOffline(kTimeTemplate);
  EXPECT_EQ(store_.RegisterCount(), 1000);
  ShowPage(document, 0);
  auto& start = SettingAt<TSettingTime>(document, 0, 1);
  ASSERT_TRUE(start.IsTemplate());
  EXPECT_EQ(start.CopyToGroupsButton()->geometry().left(), 350);
  EXPECT_FALSE(store_.IsHoldingRegisterRegistered(start.Reference()));

  // A template time switches and edits on its page alone.
  start.EnableBox->click();
  EXPECT_EQ(Shown(start), TTexts("-", "-"));
  start.EnableBox->click();
  EXPECT_EQ(Shown(start), TTexts("0", "0"));
  Type(start, TSettingTime::kHoursBox, "5");
  EXPECT_EQ(start.Hours, 5);
  EXPECT_TRUE(boxes_.Boxes().empty());

  auto& first = SettingAt<TSettingTime>(document, 1, 1);   // group 1
  auto& tenth = SettingAt<TSettingTime>(document, 1, 28);  // group 10
  start.CopyToAllGroupsClick();
  EXPECT_TRUE(boxes_.Boxes().empty());
  for (TSettingTime* target : {&first, &tenth}) {
    EXPECT_TRUE(target->TimeEnabled);
    EXPECT_TRUE(target->Changed());
    EXPECT_EQ(Stored(*target), TPair(5, 0));
  }

  // An off template switches its copies off; copying it on again switches
  // them back on.
  start.EnableBox->click();
  start.CopyToAllGroupsClick();
  EXPECT_FALSE(tenth.TimeEnabled);
  EXPECT_EQ(Stored(tenth), TPair(99, 99));
  start.EnableBox->click();
  start.CopyToAllGroupsClick();
  EXPECT_TRUE(tenth.TimeEnabled);
  EXPECT_EQ(Stored(tenth), TPair(0, 0));

  EXPECT_EQ(Thrown([&] { first.CopyValueFrom(*document.Groups[0]->Settings[0]); }),
            "CopyValuesFrom Exception - class is not of type TSettingTime");
}

TEST_F(SettingTimeTest, SettingsFilesLoadIntoTemplateTimes) {
  TSettings& document = LoadOffline(kTimeTemplate);
  const std::string path = folder_.File("schedule.zsf");
  auto& start = SettingAt<TSettingTime>(document, 0, 1);
  start.Hours = 4;
  start.Minutes = 20;
  document.SaveToFile(path);
  start.Hours = 0;
  start.Minutes = 0;
  EXPECT_EQ(document.LoadFromFile(path), std::vector<std::string>());
  EXPECT_EQ(start.Hours, 4);
  EXPECT_EQ(start.Minutes, 20);
}

}  // namespace
}  // namespace model
