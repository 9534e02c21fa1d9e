#pragma once

#include <QPointer>

#include "model/Setting.h"

class QLabel;

namespace model {

// The heading row at the top of each numbered instance of the R12 template:
// "Group " + number, or "Template Group". It is never built from a
// definition, so its id, reference and value stay 0.
class TSettingSectionLabel : public TSetting {
 public:
  TSettingSectionLabel(TGroup* group, const std::string& caption);

  void CreateControls(QWidget* page, int index, int top) override;
  void DestroyControls() override;
  void SetEnabled(bool enabled) override;
  void UpdateDisplay(bool decorated) override;
  void RequestWrite() override;

  QPointer<QLabel> HeadingLabel;
};

}  // namespace model
