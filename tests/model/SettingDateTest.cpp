#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>

#include "model/Setting_date.h"
#include "model/Setting_int.h"
#include "tests/model/ModelFixture.h"
#include "ui/ScrollBox.h"

namespace model {
namespace {

class SettingDateTest : public ModelFixture {
 protected:
  // Puts a month and a day number into the device's two registers and reads
  // them as a completed read from the device does.
  void ReadFromDevice(TSettingDate& date, int16_t month, int16_t day) {
    const int16_t words[] = {month, day};
    store_.SetHoldingRegisters(date.Reference(), words, 2);
    date.Group().ReloadFromStore();
    date.Group().RedisplayAll();
  }

  // The user picks the entry at that position.
  static void Pick(QComboBox* list, int position) {
    list->setCurrentIndex(position);
    emit list->activated(position);
  }

  static std::vector<std::string> Items(const QComboBox* list) {
    std::vector<std::string> items;
    for (int i = 0; i < list->count(); ++i) {
      items.push_back(list->itemText(i).toStdString());
    }
    return items;
  }
};

const std::string kTwoDates = ModelFixture::OneDevice(R"(<group name="Season" description="">
    <setting name="Summer start" value_type="date" register="230" type="holding_register"
             exclusiongroup="4" excludeallowed="11"/>
    <setting name="Summer end" value_type="date" register="232" type="holding_register"
             exclusiongroup="4" excludeallowed="11"/>
  </group>)");

const std::string kOneDate = ModelFixture::OneDevice(R"(<group name="Filter" description="">
    <setting name="Filter changed" value_type="date" register="230" type="holding_register"/>
  </group>)");

TEST_F(SettingDateTest, DeviceRegistersHoldMonthAndDayNumbers) {
  TSettings& document = LoadOffline(kTwoDates);
  ShowPage(document, 0);
  auto& start = SettingAt<TSettingDate>(document, 0, 0);
  EXPECT_EQ(store_.RegisterCount(), 4);
  // A new date is January 1st, written as 1 and 1.
  EXPECT_EQ(Holding(231), 1);
  EXPECT_EQ(Holding(232), 1);

  ReadFromDevice(start, 3, 15);
  EXPECT_EQ(start.MonthBox->currentText(), "March");
  EXPECT_EQ(start.DayBox->currentText(), "15");
  EXPECT_EQ(start.Month, 2);
  EXPECT_EQ(start.Day, 14);
  EXPECT_EQ(start.Value(), 2);
  EXPECT_FALSE(start.Changed());
  start.StoreValue();
  EXPECT_EQ(Holding(231), 3);
  EXPECT_EQ(Holding(232), 15);

  struct TCase {
    int16_t month, day;
    uint16_t expectedMonth, expectedDay;
  };
  const TCase cases[] = {
      {0, 0, 0, 0},      // 0 is read as the first month and day
      {13, 5, 0, 0},     // a month past December resets both
      {2, 32, 0, 0},     // a day past the 31st resets both
      {-1, 5, 0, 0},     // 0xFFFF is far past December
      {12, 31, 11, 30},  // the last day of the year is kept
  };
  for (const TCase& c : cases) {
    ReadFromDevice(start, c.month, c.day);
    EXPECT_EQ(start.Month, c.expectedMonth) << c.month << "/" << c.day;
    EXPECT_EQ(start.Day, c.expectedDay) << c.month << "/" << c.day;
    EXPECT_EQ(start.Value(), start.Month);
  }

  // 30 February stays as read; the list shows February's last day.
  ReadFromDevice(start, 2, 30);
  EXPECT_EQ(start.Day, 29);
  EXPECT_EQ(start.DayBox->count(), 28);
  EXPECT_EQ(start.DayBox->currentText(), "28");
}

TEST_F(SettingDateTest, ADayBeyondTheNewMonthMovesToItsLastDay) {
  TSettings& document = LoadOffline(kOneDate);
  ShowPage(document, 0);
  auto& start = SettingAt<TSettingDate>(document, 0, 0);
  ReadFromDevice(start, 3, 31);
  ASSERT_EQ(start.DayBox->count(), 31);
  ASSERT_EQ(start.DayBox->currentText(), "31");

  Pick(start.MonthBox, 1);
  EXPECT_EQ(start.DayBox->count(), 28);
  EXPECT_EQ(start.DayBox->currentText(), "28");
  EXPECT_EQ(Items(start.DayBox).front(), "1");
  EXPECT_EQ(start.Month, 1);
  EXPECT_EQ(start.Day, 27);
  EXPECT_TRUE(start.Changed());
  EXPECT_EQ(Holding(231), 2);
  EXPECT_EQ(Holding(232), 28);

  // Back to a long month the day stays where it moved to.
  Pick(start.MonthBox, 0);
  EXPECT_EQ(start.DayBox->count(), 31);
  EXPECT_EQ(start.DayBox->currentText(), "28");
  EXPECT_EQ(Holding(231), 1);
}

TEST_F(SettingDateTest, PickingJanuaryOrTheFirstAfterAReadIsStored) {
  TSettings& document = LoadOffline(kOneDate);
  ShowPage(document, 0);
  auto& start = SettingAt<TSettingDate>(document, 0, 0);

  ReadFromDevice(start, 6, 1);  // June 1st
  ASSERT_FALSE(start.Changed());
  Pick(start.MonthBox, 0);
  EXPECT_TRUE(start.Changed());
  EXPECT_EQ(start.Value(), 0);
  EXPECT_EQ(Holding(231), 1);
  EXPECT_EQ(Holding(232), 1);

  ReadFromDevice(start, 1, 20);  // January 20th
  ASSERT_FALSE(start.Changed());
  Pick(start.DayBox, 0);
  EXPECT_TRUE(start.Changed());
  EXPECT_EQ(start.Day, 0);
  EXPECT_EQ(Holding(232), 1);

  // Picking what is already chosen changes nothing.
  ReadFromDevice(start, 4, 9);
  Pick(start.DayBox, 8);
  EXPECT_FALSE(start.Changed());

  // Changes made by the program are no picks.
  start.MonthBox->setCurrentIndex(7);
  start.DayBox->setCurrentIndex(2);
  EXPECT_EQ(start.Month, 3);
  EXPECT_EQ(Holding(231), 4);
  EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(SettingDateTest, DatesOfAnExclusionGroupMayNotShareAMonth) {
  TSettings& document = LoadOffline(kTwoDates);
  ShowPage(document, 0);
  auto& start = SettingAt<TSettingDate>(document, 0, 0);
  auto& end = SettingAt<TSettingDate>(document, 0, 1);
  // Both start on January, but a read gives the start March.
  ReadFromDevice(start, 3, 10);

  end.SetChanged(false);
  Pick(end.MonthBox, 2);
  ASSERT_EQ(boxes_.Texts().size(), 1u);
  EXPECT_EQ(boxes_.Texts()[0],
            "This setting is mutually exclusive and can not share the same value\n"
            "as the following settings:\n\n"
            " \u2022 Summer start\n\n"
            "Please choose another value that is not being used.");
  EXPECT_EQ(end.MonthBox->currentText(), "January");
  EXPECT_EQ(end.DayBox->count(), 31);
  EXPECT_EQ(end.Month, 0);
  EXPECT_FALSE(end.Changed());
  EXPECT_EQ(Holding(233), 1);

  // A day picked within a free month passes; December is allowed to all.
  Pick(end.DayBox, 4);
  EXPECT_EQ(Holding(234), 5);
  Pick(start.MonthBox, 11);
  Pick(end.MonthBox, 11);
  EXPECT_EQ(end.Month, 11);
  EXPECT_EQ(Holding(233), 12);
  EXPECT_EQ(boxes_.Texts().size(), 1u);
}

TEST_F(SettingDateTest, SettingsFilesCarryZeroBasedMonthAndDay) {
  TSettings& document = LoadOffline(kTwoDates);
  ShowPage(document, 0);
  auto& start = SettingAt<TSettingDate>(document, 0, 0);
  ReadFromDevice(start, 3, 15);

  pugi::xml_document file;
  pugi::xml_node group = file.append_child("group");
  const pugi::xml_node saved = start.SaveToXml(group);
  EXPECT_STREQ(saved.attribute("value").value(), "2");
  EXPECT_STREQ(saved.attribute("register").value(), "230");
  EXPECT_STREQ(saved.attribute("Month").value(), "2");
  EXPECT_STREQ(saved.attribute("Day").value(), "14");
  std::vector<std::string> names;
  for (const pugi::xml_attribute& attribute : saved.attributes()) {
    names.push_back(attribute.name());
  }
  EXPECT_EQ(names, (std::vector<std::string>{"name", "ID", "value", "register", "Month", "Day"}));

  auto loadFile = [&](const char* month, const char* day) {
    pugi::xml_document values;
    pugi::xml_node element = values.append_child("group").append_child("setting");
    element.append_attribute("ID") = start.Id();
    element.append_attribute("value") = 7;  // not read
    element.append_attribute("Month") = month;
    element.append_attribute("Day") = day;
    start.SetChanged(false);
    start.LoadFromXml(element);
  };
  loadFile("11", "24");
  EXPECT_EQ(start.MonthBox->currentText(), "December");
  EXPECT_EQ(start.DayBox->currentText(), "25");
  EXPECT_TRUE(start.Changed());
  EXPECT_EQ(start.Value(), 11);
  EXPECT_EQ(Holding(231), 12);
  EXPECT_EQ(Holding(232), 25);

  // A file is limited as the device is, before any list is filled.
  for (const auto& [month, day] : std::vector<std::pair<const char*, const char*>>{
           {"12", "3"}, {"4", "31"}, {"-1", "0"}, {"65548", "0"}}) {
    loadFile(month, day);
    EXPECT_EQ(start.Month, 0) << month << "/" << day;
    EXPECT_EQ(start.Day, 0) << month << "/" << day;
    EXPECT_EQ(start.MonthBox->currentText(), "January");
    EXPECT_EQ(Holding(231), 1);
    EXPECT_EQ(Holding(232), 1);
  }
  loadFile("1", "30");  // 31 February: kept, shown as the 28th
  EXPECT_EQ(start.Day, 30);
  EXPECT_EQ(start.DayBox->currentText(), "28");
  EXPECT_EQ(Holding(232), 31);
}

TEST_F(SettingDateTest, CsvGivesMonthNameAndDayNumberWithoutAPage) {
  TSettings& document = LoadOffline(kTwoDates);
  auto& start = SettingAt<TSettingDate>(document, 0, 0);
  ReadFromDevice(start, 12, 25);
  ASSERT_TRUE(start.DayEntries.empty());
  std::vector<std::string> lines;
  document.Groups[0]->ExportCsv(lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"Summer start,December", "Summer start,25",
                                             "Summer end,January", "Summer end,1"}));
}

TEST_F(SettingDateTest, RestoringDefaultsWritesTheCurrentDateAgain) {
  TSettings& document = LoadOffline(kTwoDates);
  auto& start = SettingAt<TSettingDate>(document, 0, 0);
  ReadFromDevice(start, 8, 6);
  const int16_t other[] = {1, 1};
  store_.SetHoldingRegisters(231, other, 2);
  document.RestoreFactoryDefaults();
  EXPECT_EQ(start.Month, 7);
  EXPECT_EQ(start.Day, 5);
  EXPECT_TRUE(start.Changed());
  EXPECT_EQ(start.Value(), 7);  // still the month, not the base default
  EXPECT_EQ(Holding(231), 8);
  EXPECT_EQ(Holding(232), 6);
}

TEST_F(SettingDateTest, TransfersCountTwoRegisters) {
  TSettings& document = LoadOffline(kTwoDates);
  auto& start = SettingAt<TSettingDate>(document, 0, 0);
  std::vector<int> counts;
  document.OnProgress = [&](const void*, const std::string&, bool, int32_t count) {
    counts.push_back(count);
  };
  start.RequestRead();
  EXPECT_EQ(start.PendingCount(), 2);
  start.RequestWrite();
  EXPECT_EQ(start.PendingCount(), 4);
  start.Poll(1, nullptr);
  EXPECT_EQ(start.PendingCount(), 0);
  start.Refresh();
  EXPECT_EQ(counts, std::vector<int>{2});
}

const std::string kDateTemplate = ModelFixture::OneDevice(R"(
  <group name="Group" description="">
    <setting name="Service date" value_type="date" register="1000" offset="2"
             type="holding_register"/>
    <setting name="Level" value_type="int" register="2000" offset="1" type="holding_register"
             min="0" max="9" default="1" value_text=""/>
  </group>)");

TEST_F(SettingDateTest, TemplateDatesStoreNothingAndCopyIntoTheStore) {
  TSettings& document = LoadOffline(kDateTemplate);
  TGroup& templateGroup = *document.Groups[0];
  ASSERT_TRUE(templateGroup.IsTemplate);
  auto& source = SettingAt<TSettingDate>(document, 0, 1);
  // Only the instances' registers are registered: 250 dates and 250 levels.
  EXPECT_EQ(store_.RegisterCount(), 750);

  ShowPage(document, 0);
  EXPECT_EQ(source.CopyToGroupsButton()->geometry().left(), 350);
  Pick(source.MonthBox, 4);
  Pick(source.DayBox, 19);
  EXPECT_EQ(source.Month, 4);
  EXPECT_EQ(source.Day, 19);

  source.CopyToAllGroupsClick();
  EXPECT_TRUE(boxes_.Boxes().empty());
  auto& first = SettingAt<TSettingDate>(document, 1, 1);   // group 1
  auto& tenth = SettingAt<TSettingDate>(document, 1, 28);  // group 10
  ASSERT_EQ(tenth.Name(), "Service date");
  for (TSettingDate* target : {&first, &tenth}) {
    EXPECT_EQ(target->Month, 4);
    EXPECT_EQ(target->Day, 19);
    EXPECT_EQ(target->Value(), 4);
    EXPECT_TRUE(target->Changed());
    EXPECT_EQ(Holding(target->Reference()), 5);
    EXPECT_EQ(Holding(target->Reference() + 1), 20);
  }
  EXPECT_EQ(SettingAt<TSettingDate>(document, 7, 1).Month, 0);  // R12 2 untouched

  // A copy from another kind is refused with the kind's message.
  EXPECT_EQ(Thrown([&] { first.CopyValueFrom(*templateGroup.Settings[2]); }),
            "CopyValuesFrom Exception - class is not of type TSettingDate");
}

TEST_F(SettingDateTest, ADateNeedsTwoRegistersWithinTheDevice) {
  const auto at = [](const char* reg) {
    return ModelFixture::OneDevice(std::string(R"(<group name="G" description="">
      <setting name="Far" value_type="date" register=")") +
                                   reg + R"(" type="coil"/></group>)");
  };
  EXPECT_NO_THROW(Load(at("65534")));
  EXPECT_EQ(Thrown([&] { Load(at("65535")); }),
            "Setting 'Far' refers to register reference 65537, outside 1 to 65536");
}

}  // namespace
}  // namespace model
