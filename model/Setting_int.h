#pragma once

#include <QPointer>
#include <cstdint>
#include <string>

#include "model/Setting.h"

class QLineEdit;

namespace model {

// A plain number typed into an edit box, shown with its unit text. One
// value may be shown as "-" (the disabled value). The only kind whose row
// can be moved by XOffset/YOffset, so that two rows share one line.
class TSettingInt : public TSetting {
 public:
  TSettingInt(TGroup* group, int32_t instanceIndex);

  void LoadDefinition(const pugi::xml_node& element) override;
  void CreateControls(QWidget* page, int index, int top) override;
  void DestroyControls() override;
  void SetEnabled(bool enabled) override;
  void UpdateDisplay(bool decorated) override;
  void ExportCsv(std::vector<std::string>& lines) override;
  void LoadValueFromStore() override;

  // Checks a typed text against the limits, with the messages the user sees.
  bool ValidateEntry(const std::string& text);

  // The edit box's handlers.
  void EditEnter();
  void EditKeyPress(int key);
  void EditExit();

  std::string ValueText;
  QPointer<QLineEdit> Edit;
  int64_t DisabledValue = 0;
  bool HasDisabledValue = false;

 private:
  // The box has the focus and holds the bare number being edited.
  bool entered_ = false;
};

}  // namespace model
