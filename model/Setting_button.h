#pragma once

#include <QPointer>
#include <cstdint>
#include <string>
#include <vector>

#include "model/Setting.h"

class QPushButton;

namespace model {

// A push button captioned with the setting's name. With `function` "1" it
// adds one more "Nodes" group to the document each time it is pressed;
// with any other function it does nothing. Its register is bound and stored
// as any setting's, without being shown.
class TSettingButton : public TSetting {
 public:
  TSettingButton(TGroup* group, int32_t instanceIndex);

  void LoadDefinition(const pugi::xml_node& element) override;
  void CreateControls(QWidget* page, int index, int top) override;
  void DestroyControls() override;
  void SetEnabled(bool enabled) override;
  void ExportCsv(std::vector<std::string>& lines) override;
  std::optional<TShownValue> ShownValue() const override;

  void ButtonClicked();
  // Appends a group built from the definitions' "Nodes" group element and
  // builds the navigation again, when it is shown.
  void AddNodesGroups();

  QPointer<QPushButton> ActionButton;
  bool IsNodesButton = false;
};

}  // namespace model
