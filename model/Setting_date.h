#pragma once

#include <QPointer>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/Setting.h"
#include "model/Setting_dropdown.h"

class QComboBox;

namespace model {

// A day of the year (month and day, no year) in two consecutive holding
// registers: the month number 1 to 12, then the day number 1 to 31. Shown as
// a month list and a day list that offers exactly the days of the month.
//
// Value holds the month index: it is what the exclusion check compares and
// what the settings file's `value` attribute carries.
class TSettingDate : public TSetting {
 public:
  TSettingDate(TGroup* group, int32_t instanceIndex);

  void LoadDefinition(const pugi::xml_node& element) override;
  void CreateControls(QWidget* page, int index, int top) override;
  void DestroyControls() override;
  void SetEnabled(bool enabled) override;
  void UpdateDisplay(bool decorated) override;
  pugi::xml_node SaveToXml(pugi::xml_node groupElement) override;
  void ExportCsv(std::vector<std::string>& lines) override;
  std::optional<TShownValue> ShownValue() const override;
  void LoadValueFromStore() override;
  bool CopyValueFrom(TSetting& source) override;
  void StoreValue() override;
  void ReadValueFromXml(const pugi::xml_node& settingElement) override;
  std::string CheckFileValue(const pugi::xml_node& settingElement) const override;

  // The days of each month by month index; February never has a 29th.
  static constexpr std::array<int, 12> DaysInMonth{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  // Which list a pick came from.
  static constexpr int kMonthList = 0;
  static constexpr int kDayList = 1;

  void FillMonthEntries();
  // Rebuilds the day entries, and the day list's items when it exists, for
  // that month index; a selection beyond the month's end moves to its last
  // day. Throws std::out_of_range for a month index outside 0 to 11.
  void FillDayEntries(int month);
  // The position of the first entry with that value; 0 when none has it.
  static int EntryIndexOf(const std::vector<TDDType>& list, int32_t value);
  // The user picked an entry in the month list or the day list.
  void SelectionChanged(int list);

  std::vector<TDDType> MonthEntries;
  std::vector<TDDType> DayEntries;
  QPointer<QComboBox> MonthBox;
  QPointer<QComboBox> DayBox;
  uint16_t Month = 0;
  uint16_t Day = 0;

 protected:
  void PutValueInStore() override;

 private:
  // A month index of 12 or more, or a day index of 31 or more, makes the
  // whole date January 1st.
  void LimitDate();
  void SelectDate();
};

}  // namespace model
