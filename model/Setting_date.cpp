#include "model/Setting_date.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <stdexcept>

#include "model/Settings.h"
#include "model/Xmlutil.h"
#include "registers/Registerdatastore.h"
#include "ui/ComboBox.h"
#include "ui/ErrorBox.h"

namespace model {

namespace {

constexpr int kMonthLeft = 200;
constexpr int kMonthWidth = 100;
constexpr int kDayLeft = 305;
constexpr int kDayWidth = 35;
// Narrower than the month's, so that the day's field holds "31" whole.
constexpr int kDayArrowWidth = 12;
constexpr int kListHeight = 21;
constexpr int kMonthsInYear = 12;
constexpr int kLongestMonth = 31;
// Each transfer of a date moves its two registers.
constexpr int kRegistersPerDate = 2;

// The property that tells the month list (0) from the day list (1).
constexpr const char* kListProperty = "list";

constexpr const char* kMonthNames[kMonthsInYear] = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};

// A position in a list, with "nothing selected" taken as the first entry.
uint16_t PositionOf(const QComboBox& list) {
  return static_cast<uint16_t>(std::max(list.currentIndex(), 0));
}

}  // namespace

TSettingDate::TSettingDate(TGroup* group, int32_t instanceIndex)
    : TSetting(group, instanceIndex, kRegistersPerDate) {}

void TSettingDate::LoadDefinition(const pugi::xml_node& element) {
  TSetting::LoadDefinition(element);
  CheckReferenceSpan(Reference(), kRegistersPerDate);
  MonthEntries.clear();
  DayEntries.clear();
  FillMonthEntries();
}

void TSettingDate::FillMonthEntries() {
  for (int month = 0; month < kMonthsInYear; ++month) {
    MonthEntries.push_back(TDDType{kMonthNames[month], month});
  }
}

void TSettingDate::FillDayEntries(int month) {
  const int days = DaysInMonth.at(static_cast<size_t>(month));
  DayEntries.clear();
  for (int day = 1; day <= days; ++day) {
    DayEntries.push_back(TDDType{std::to_string(day), day});
  }
  if (!DayBox) {
    return;
  }
  const int selected = DayBox->currentIndex();
  DayBox->clear();
  for (const TDDType& entry : DayEntries) {
    DayBox->addItem(QString::fromStdString(entry.Name));
  }
  DayBox->setCurrentIndex(std::min(selected, days - 1));
}

int TSettingDate::EntryIndexOf(const std::vector<TDDType>& list, int32_t value) {
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].Value == value) {
      return static_cast<int>(i);
    }
  }
  return 0;
}

void TSettingDate::CreateControls(QWidget* page, int index, int top) {
  TSetting::CreateControls(page, index, top);
  auto makeList = [&](int list, int left, int width) {
    auto* box = new ui::TComboBox(page);
    box->hide();
    box->setGeometry(left, top, width, kListHeight);
    box->setEditable(false);
    box->setProperty(kTagProperty, index);
    box->setProperty(kListProperty, list);
    // Only a user's pick counts; the display's own changes do not.
    QObject::connect(box, &QComboBox::activated, &Relay(),
                     [this, list] { ui::RunGuarded([this, list] { SelectionChanged(list); }); });
    box->setEnabled(Enabled());
    return box;
  };
  MonthBox = makeList(kMonthList, kMonthLeft, kMonthWidth);
  for (const TDDType& entry : MonthEntries) {
    MonthBox->addItem(QString::fromStdString(entry.Name));
  }
  ui::TComboBox* dayBox = makeList(kDayList, kDayLeft, kDayWidth);
  dayBox->SetArrowWidth(kDayArrowWidth);
  DayBox = dayBox;
  for (const TDDType& entry : DayEntries) {
    DayBox->addItem(QString::fromStdString(entry.Name));
  }
  CreateCopyButtons(page, index, kCopyButtonsLeft, top);
  UpdateDisplay(true);
  MonthBox->show();
  DayBox->show();
}

void TSettingDate::DestroyControls() {
  TSetting::DestroyControls();
  delete MonthBox.data();
  delete DayBox.data();
}

void TSettingDate::SetEnabled(bool enabled) {
  TSetting::SetEnabled(enabled);
  for (QComboBox* box : {MonthBox.data(), DayBox.data()}) {
    if (box != nullptr) {
      box->setEnabled(enabled);
    }
  }
}

void TSettingDate::SelectDate() {
  MonthBox->setCurrentIndex(Month);
  FillDayEntries(Month);
  if (DayBox) {
    // A day the month does not have (30 February from the device) shows as
    // the month's last day; Day keeps what was read.
    DayBox->setCurrentIndex(std::min<int>(Day, DayBox->count() - 1));
  }
}

void TSettingDate::UpdateDisplay(bool) {
  if (!MonthBox) {
    return;
  }
  SelectDate();
}

void TSettingDate::SelectionChanged(int list) {
  if (!MonthBox || !DayBox) {
    return;
  }
  if (list == kMonthList) {
    const int picked = MonthBox->currentIndex();
    if (picked < 0 || picked >= kMonthsInYear) {
      return;
    }
    FillDayEntries(picked);
  }
  // Dates of one exclusion group must not share a month, whichever list
  // was picked from.
  const uint16_t month = PositionOf(*MonthBox);
  if (ShowRefusal(Document().CheckExclusion(*this, month))) {
    UpdateDisplay(true);
    return;
  }
  const uint16_t day = PositionOf(*DayBox);
  if (month != Month || day != Day) {
    SetChanged(true);
  }
  Month = month;
  Day = day;
  SetValue(Month);
  if (Changed()) {
    StoreValue();
  }
}

pugi::xml_node TSettingDate::SaveToXml(pugi::xml_node groupElement) {
  pugi::xml_node element = TSetting::SaveToXml(groupElement);
  element.append_attribute("Month") = static_cast<unsigned>(Month);
  element.append_attribute("Day") = static_cast<unsigned>(Day);
  return element;
}

void TSettingDate::ReadValueFromXml(const pugi::xml_node& settingElement) {
  Month = static_cast<uint16_t>(GetAttribute(settingElement, "Month").AsInteger());
  Day = static_cast<uint16_t>(GetAttribute(settingElement, "Day").AsInteger());
  // A file is trusted no more than the device: the indexes are limited
  // before they reach the day table or the lists.
  LimitDate();
  ChangeValue(Month);
}

std::string TSettingDate::CheckFileValue(const pugi::xml_node& settingElement) const {
  // The device counts months and days from 0; a date beyond them is never read from it.
  const std::string month = GetAttribute(settingElement, "Month").AsString();
  const std::string day = GetAttribute(settingElement, "Day").AsString();
  const int32_t monthIndex = StrToInt(month);
  const int32_t dayIndex = StrToInt(day);
  if (monthIndex < 0 || monthIndex >= kMonthsInYear || dayIndex < 0 || dayIndex >= kLongestMonth) {
    RefuseFileValue("Month " + month + " Day " + day,
                    "Month 0 to 11 (January to December) and Day 0 to 30 (the 1st to the 31st)");
  }
  return {};
}

void TSettingDate::LimitDate() {
  if (Month >= kMonthsInYear || Day >= kLongestMonth) {
    Month = 0;
    Day = 0;
  }
}

void TSettingDate::ExportCsv(std::vector<std::string>& lines) {
  const std::string month =
      MonthEntries.empty()
          ? std::to_string(Month)
          : MonthEntries[static_cast<size_t>(EntryIndexOf(MonthEntries, Month))].Name;
  lines.push_back(Name() + "," + month);
  lines.push_back(Name() + "," + std::to_string(Day + 1));
}

void TSettingDate::LoadValueFromStore() {
  auto lock = Store().Lock();
  if (!ReadPending()) {
    return;
  }
  int16_t words[kRegistersPerDate] = {};
  Store().GetHoldingRegisters(Reference(), words, kRegistersPerDate);
  Month = static_cast<uint16_t>(words[0]);
  Day = static_cast<uint16_t>(words[1]);
  // The device counts from 1; a 0 is read as the first month or day.
  if (Month > 0) {
    --Month;
  }
  if (Day > 0) {
    --Day;
  }
  LimitDate();
  SetValue(Month);
  if (MonthBox) {
    SelectDate();
  }
  FinishRead(/*describe=*/MonthBox != nullptr);
}

bool TSettingDate::CopyValueFrom(TSetting& source) {
  const auto* date = dynamic_cast<const TSettingDate*>(&source);
  if (date == nullptr) {
    throw std::runtime_error("CopyValuesFrom Exception - class is not of type TSettingDate");
  }
  if (date->Month != Month || date->Day != Day) {
    SetChanged(true);
  }
  Month = date->Month;
  Day = date->Day;
  SetValue(Month);
  // The copy goes into the register image too, so that a write sends what
  // a save would record.
  StoreValue();
  return true;
}

void TSettingDate::StoreValue() {
  // Restoring the default sets Value to 0 without changing the date; the
  // month index stays what Value stands for.
  SetValue(Month);
  if (IsTemplate() || IsUnitsSelector()) {
    return;
  }
  PutValueInStore();
}

void TSettingDate::PutValueInStore() {
  const int16_t words[kRegistersPerDate] = {static_cast<int16_t>(Month + 1),
                                            static_cast<int16_t>(Day + 1)};
  Store().SetHoldingRegisters(Reference(), words, kRegistersPerDate);
}

std::optional<TShownValue> TSettingDate::ShownValue() const {
  const std::string month =
      MonthEntries.empty()
          ? std::to_string(Month)
          : MonthEntries[static_cast<std::size_t>(EntryIndexOf(MonthEntries, Month))].Name;
  return TShownValue{month + " " + std::to_string(Day + 1), "", "", false};
}

}  // namespace model
