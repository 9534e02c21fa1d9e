#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/Setting_editrow.h"

namespace model {

// A text (a name) that the device keeps in NumOfRegisters registers. How the
// characters lie in those registers is not known, so the text is shown,
// copied between groups and exported, but never typed in, read from the
// device or written to it; towards the register store the setting is a plain
// integer of one register.
class TSettingName : public TSettingEditRow {
 public:
  TSettingName(TGroup* group, int32_t instanceIndex);

  void LoadDefinition(const pugi::xml_node& element) override;
  void UpdateDisplay(bool decorated) override;
  void ExportCsv(std::vector<std::string>& lines) override;
  std::optional<TShownValue> ShownValue() const override;
  bool CopyValueFrom(TSetting& source) override;

  // Read-only whether enabled or not (the row's box without an entry behaviour): a typed
  // name could be neither sent to the device nor kept, so the box does not pretend to take
  // one, and says so in its look and its tooltip. Enabled, its text can still be selected
  // and copied.
  std::string NameText;

  // The box's tooltip.
  static constexpr const char* kSetOnTheDevice =
      "The name is set on the device; it cannot be changed here.";

 protected:
  void PrepareBox(QLineEdit& box) override;
};

}  // namespace model
