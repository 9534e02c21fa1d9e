#pragma once

#include <QPoint>

#include "model/EditBox.h"
#include "model/Setting.h"

namespace model {

// A setting shown as its caption and one edit box (and a template's copy buttons): the
// integer, unit-converted, password and name kinds. The row's life is here; each kind says
// how its text is checked, taken and shown.
class TSettingEditRow : public TSetting {
 public:
  using TSetting::TSetting;

  void CreateControls(QWidget* page, int index, int top) override;
  void DestroyControls() override;
  void SetEnabled(bool enabled) override;

  TEditBox Edit;

 protected:
  // What the box does with an entry. None (the default): the box is read-only.
  virtual TEditBehaviour EntryBehaviour() { return {}; }
  // Makes the caption; returns how far the box is moved from its usual place with it.
  virtual QPoint CreateCaption(QWidget* page, int index, int top);
  // The kind's own touches to a box just made, before it is shown.
  virtual void PrepareBox(QLineEdit&) {}
};

}  // namespace model
