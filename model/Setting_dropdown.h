#pragma once

#include <QPointer>
#include <cstdint>
#include <string>
#include <vector>

#include "model/Setting.h"

class QComboBox;

namespace model {

// One entry of a drop-down: its caption and the raw value it stands for.
struct TDDType {
  std::string Name;
  int32_t Value = 0;
};

// A value chosen from a fixed list of named values. A drop-down defined with
// the `units` attribute is the document's units selector: picking an entry
// changes the display units instead of storing a value.
class TSettingDropDown : public TSetting {
 public:
  TSettingDropDown(TGroup* group, int32_t instanceIndex);

  void LoadDefinition(const pugi::xml_node& element) override;
  void CreateControls(QWidget* page, int index, int top) override;
  void DestroyControls() override;
  void SetEnabled(bool enabled) override;
  void UpdateDisplay(bool decorated) override;
  void RestoreDefault() override;
  void LoadFromXml(const pugi::xml_node& settingElement) override;
  std::string CheckFileValue(const pugi::xml_node& settingElement) const override;
  std::string HeldValueNotice() const override;
  void CheckDefinition(TDefinitionCheck& check) const override;
  void ExportCsv(std::vector<std::string>& lines) override;
  std::optional<TShownValue> ShownValue() const override;
  void Refresh() override;

  // The position of the first entry with that value; 0 when none has it.
  int IndexOfValue(int32_t value) const;
  // The user picked the entry at that position.
  void ComboBoxSelect(int position);

  std::vector<TDDType> Entries;
  QPointer<QComboBox> ComboBox;

 private:
  void AnnounceUnits();
  // "Group / Setting: 7, not one of its entries 0 (Off), 1 (On)"; empty when an entry has
  // the value or the list has none.
  std::string UnlistedNotice(int32_t value) const;
};

}  // namespace model
