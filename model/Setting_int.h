#pragma once

#include <cstdint>
#include <string>

#include "model/Setting_editrow.h"

namespace model {

// A plain number typed into an edit box, shown with its unit text. One
// value may be shown as "-" (the disabled value). The only kind whose row
// can be moved by XOffset/YOffset, so that two rows share one line.
class TSettingInt : public TSettingEditRow {
 public:
  TSettingInt(TGroup* group, int32_t instanceIndex);

  void LoadDefinition(const pugi::xml_node& element) override;
  void UpdateDisplay(bool decorated) override;
  void CheckDefinition(TDefinitionCheck& check) const override;
  void ExportCsv(std::vector<std::string>& lines) override;
  std::optional<TShownValue> ShownValue() const override;
  void LoadValueFromStore() override;

  // Why a typed text cannot be taken, or nothing.
  TRefusal CheckEntry(const std::string& text) const;
  // Takes a checked text unless it breaks a relative limit, and shows the value again.
  void TakeEntry(const std::string& text);

  std::string ValueText;
  int64_t DisabledValue = 0;
  bool HasDisabledValue = false;

 protected:
  TEditBehaviour EntryBehaviour() override;
  QPoint CreateCaption(QWidget* page, int index, int top) override;
};

}  // namespace model
