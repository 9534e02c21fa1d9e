#include "model/Setting_label.h"

#include <QLabel>

#include "model/Setting_units.h"
#include "model/Settings.h"
#include "model/Xmlutil.h"
#include "registers/Registerdatastore.h"

namespace model {

namespace {

constexpr int kValueLeft = 200;
constexpr int kValueWidth = 140;
constexpr int kValueHeight = 21;

}  // namespace

TSettingLabel::TSettingLabel(TGroup* group, int32_t instanceIndex)
    : TSetting(group, instanceIndex) {}

void TSettingLabel::LoadDefinition(const pugi::xml_node& element) {
  TSetting::LoadDefinition(element);
  SetDefault(GetAttribute(element, "default").AsInteger());
  if (element.attribute("label_only")) {
    LabelOnly = StrToBool(GetAttribute(element, "label_only").AsString());
  }
}

void TSettingLabel::CreateControls(QWidget* page, int index, int top) {
  TSetting::CreateControls(page, index, top);
  auto* label = new QLabel(page);
  label->hide();
  label->setGeometry(kValueLeft, top, kValueWidth, kValueHeight);
  label->setEnabled(Enabled());
  ValueLabel = label;
  UpdateDisplay(true);
  label->setProperty(kTagProperty, index);
  if (!LabelOnly) {
    label->show();
  }
}

void TSettingLabel::DestroyControls() {
  TSetting::DestroyControls();
  delete ValueLabel.data();
}

void TSettingLabel::SetEnabled(bool enabled) {
  TSetting::SetEnabled(enabled);
  if (ValueLabel) {
    ValueLabel->setEnabled(enabled);
  }
}

void TSettingLabel::UpdateDisplay(bool decorated) {
  if (ValueLabel) {
    ValueLabel->setText(QString::fromStdString(FormatLabelValue(decorated)));
  }
}

void TSettingLabel::RequestWrite() {}

void TSettingLabel::RequestRead() {
  if (!IsTemplate() && !LabelOnly) {
    MarkReadPending();
  }
}

void TSettingLabel::ExportCsv(std::vector<std::string>& lines) {
  lines.push_back(Name() + "," + FormatLabelValue(true));
}

double TSettingLabel::ToDisplayValue(int32_t raw) {
  return TSettingUnits::ComparableValue(raw, Document().UnitsName());
}

void TSettingLabel::StoreValue() {
  if (LabelOnly) {
    return;
  }
  TSetting::StoreValue();
}

std::string TSettingLabel::FormatLabelValue(bool decorated) const {
  std::string text = std::to_string(Value());
  if (decorated) {
    text += " " + Document().UnitsName();
  }
  return text;
}

double TSettingLabel::ConvertRaw(int32_t raw, const std::string& unitName) {
  return TSettingUnits::Decode(static_cast<uint16_t>(raw & 0xFFFF), unitName);
}

std::optional<TShownValue> TSettingLabel::ShownValue() const {
  if (LabelOnly) {
    return std::nullopt;
  }
  return TShownValue{FormatLabelValue(false), Document().UnitsName(), std::to_string(Default())};
}

}  // namespace model
