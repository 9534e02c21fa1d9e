#include "model/Setting_name.h"

#include <QLineEdit>
#include <stdexcept>
#include <typeinfo>

#include "model/Xmlutil.h"

namespace model {

TSettingName::TSettingName(TGroup* group, int32_t instanceIndex)
    : TSettingEditRow(group, instanceIndex) {}

void TSettingName::LoadDefinition(const pugi::xml_node& element) {
  TSetting::LoadDefinition(element);
  SetRegisterSpan(GetAttribute(element, "NumOfRegisters").AsInteger());
  CheckReferenceSpan(Reference(), RegisterSpan());
}

void TSettingName::PrepareBox(QLineEdit& box) {
  box.setToolTip(QString::fromLatin1(kSetOnTheDevice));
}

void TSettingName::UpdateDisplay(bool) {
  Edit.SetText(QString::fromStdString(NameText));
}

void TSettingName::ExportCsv(std::vector<std::string>& lines) {
  lines.push_back(Name() + "," + NameText);
}

bool TSettingName::CopyValueFrom(TSetting& source) {
  if (typeid(source) != typeid(TSettingName)) {
    throw std::runtime_error("CopyValuesFromSetting Exception - class is not of type TSettingName");
  }
  NameText = static_cast<TSettingName&>(source).NameText;
  return true;
}

std::optional<TShownValue> TSettingName::ShownValue() const {
  return TShownValue{NameText, "", "", false};
}

}  // namespace model
