#pragma once

#include <QPointer>
#include <cstdint>
#include <string>
#include <vector>

#include "model/EditBox.h"
#include "model/Setting.h"

class QCheckBox;

namespace model {

// A time of day in two consecutive holding registers, hours then minutes,
// which the device also holds switched off as the pair 99, 99. Shown as an
// hours box, a minutes box and an "Enable" check box. A time may follow
// another one (`GreaterThan`): switched on without a valid value of its own,
// or while the followed time is off, it takes the followed time's value.
//
// Value holds the hours last typed or restored; the settings file writes it
// as its `value` attribute.
class TSettingTime : public TSetting {
 public:
  TSettingTime(TGroup* group, int32_t instanceIndex);

  void LoadDefinition(const pugi::xml_node& element) override;
  void CreateControls(QWidget* page, int index, int top) override;
  void DestroyControls() override;
  void SetEnabled(bool enabled) override;
  void UpdateDisplay(bool decorated) override;
  void RestoreDefault() override;
  pugi::xml_node SaveToXml(pugi::xml_node groupElement) override;
  void CheckDefinition(TDefinitionCheck& check) const override;
  void ExportCsv(std::vector<std::string>& lines) override;
  std::optional<TShownValue> ShownValue() const override;
  void LoadValueFromStore() override;
  bool CopyValueFrom(TSetting& source) override;
  void StoreValue() override;
  void ReadValueFromXml(const pugi::xml_node& settingElement) override;
  std::string CheckFileValue(const pugi::xml_node& settingElement) const override;

  // Which box an entry belongs to.
  static constexpr int kHoursBox = 0;
  static constexpr int kMinutesBox = 1;
  // Both registers hold this while the time is switched off.
  static constexpr int16_t kOff = 99;

  // Why a typed text cannot be taken in the hours (0) or minutes (1) box, or nothing.
  TRefusal CheckTimeText(int which, const std::string& text) const;
  // The hours (0) or minutes (1) box.
  TEditBox& EditOf(int which);

  // The "Enable" check box's handler.
  void EnableClicked();

  std::string ValueText;
  TEditBox HoursEdit;
  TEditBox MinutesEdit;
  QPointer<QCheckBox> EnableBox;
  bool TimeEnabled = true;
  int32_t DefaultMinutes = 0;
  int16_t Hours = 0;
  int16_t Minutes = 0;
  int32_t GreaterThanReference = -1;
  bool NoEnableCheckbox = false;

 protected:
  void PutValueInStore() override;

 private:
  // Takes a checked entry of the hours (0) or minutes (1) box.
  void TakeEntry(int which, const std::string& text);
  // The followed time as the store holds it; false when there is none or the
  // store does not hold both of its registers.
  bool ReadFollowedTime(int16_t& hours, int16_t& minutes) const;
  // The boxes accept input only while the row is enabled and the time on.
  void ApplyEditState();
};

}  // namespace model
