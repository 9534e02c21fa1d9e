#pragma once

#include <QPointer>
#include <cstdint>

#include "model/Setting.h"

class QCheckBox;

namespace model {

// An on/off choice. Plain, it is bound to a coil or to a register holding 0
// or 1 (or to a field of one). With a value pair it is a view onto a
// register that another setting owns: ticking writes one of two
// whole-register values, and every setting of the group then takes up the
// register's new contents.
class TSettingCheckBox : public TSetting {
 public:
  TSettingCheckBox(TGroup* group, int32_t instanceIndex);

  void LoadDefinition(const pugi::xml_node& element) override;
  void CreateControls(QWidget* page, int index, int top) override;
  void DestroyControls() override;
  void SetEnabled(bool enabled) override;
  void UpdateDisplay(bool decorated) override;
  std::string CheckFileValue(const pugi::xml_node& settingElement) const override;
  void ExportCsv(std::vector<std::string>& lines) override;
  std::optional<TShownValue> ShownValue() const override;
  void RegisterInStore() override;
  void LoadValueFromStore() override;
  void StoreValue() override;

  // The user clicked the box.
  void CheckBoxClick();

  QPointer<QCheckBox> CheckBox;
  bool HasValuePair = false;
  int32_t UncheckedValue = 0;
  int32_t CheckedValue = 1;

 protected:
  void PutValueInStore() override;

 private:
  // The state the register image shows for a box with a value pair: 1 when
  // it holds the checked value.
  int32_t PairStateInStore() const;
  // The register word for a value: value + ValueOffset, low 16 bits.
  int16_t Word(int32_t value) const;
};

}  // namespace model
