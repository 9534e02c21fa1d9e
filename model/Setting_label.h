#pragma once

#include <QPointer>
#include <cstdint>
#include <string>

#include "model/Setting.h"

class QLabel;

namespace model {

// A register value shown read-only, followed by the display units; or, with
// `label_only`, a row that shows its caption alone and is never read. Other
// settings may name it as their `minsetting`/`maxsetting`: it then compares
// as a velocity in whole m/s or a pressure in whole Pa.
class TSettingLabel : public TSetting {
 public:
  TSettingLabel(TGroup* group, int32_t instanceIndex);

  void LoadDefinition(const pugi::xml_node& element) override;
  void CreateControls(QWidget* page, int index, int top) override;
  void DestroyControls() override;
  void SetEnabled(bool enabled) override;
  void UpdateDisplay(bool decorated) override;
  void RequestWrite() override;
  void RequestRead() override;
  void ExportCsv(std::vector<std::string>& lines) override;
  std::optional<TShownValue> ShownValue() const override;
  double ToDisplayValue(int32_t raw) override;
  void StoreValue() override;

  // Value in decimal, with the display units when decorated.
  std::string FormatLabelValue(bool decorated) const;
  // A raw velocity or pressure word (its low 16 bits) as a number in the
  // unit named.
  static double ConvertRaw(int32_t raw, const std::string& unitName);

  QPointer<QLabel> ValueLabel;
  bool LabelOnly = false;
};

}  // namespace model
