#pragma once

#include <QPointer>
#include <cstdint>
#include <string>
#include <vector>

#include "model/Setting.h"

class QLineEdit;

namespace model {

// A text (a name) that the device keeps in NumOfRegisters registers. How the
// characters lie in those registers is not known, so the text is shown,
// copied between groups and exported, but never typed in, read from the
// device or written to it; towards the register store the setting is a plain
// integer of one register.
class TSettingName : public TSetting {
 public:
  TSettingName(TGroup* group, int32_t instanceIndex);

  void LoadDefinition(const pugi::xml_node& element) override;
  void CreateControls(QWidget* page, int index, int top) override;
  void DestroyControls() override;
  void SetEnabled(bool enabled) override;
  void UpdateDisplay(bool decorated) override;
  void ExportCsv(std::vector<std::string>& lines) override;
  bool CopyValueFrom(TSetting& source) override;

  std::string NameText;
  QPointer<QLineEdit> NameEdit;
};

}  // namespace model
