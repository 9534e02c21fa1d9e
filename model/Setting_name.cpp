#include "model/Setting_name.h"

#include <QLineEdit>
#include <stdexcept>
#include <typeinfo>

#include "model/Xmlutil.h"

namespace model {

namespace {

constexpr int kEditLeft = 200;
constexpr int kEditWidth = 140;
constexpr int kEditHeight = 21;
constexpr int kCopyButtonsLeft = 350;

}  // namespace

TSettingName::TSettingName(TGroup* group, int32_t instanceIndex) : TSetting(group, instanceIndex) {}

void TSettingName::LoadDefinition(const pugi::xml_node& element) {
  TSetting::LoadDefinition(element);
  RegisterSpan = GetAttribute(element, "NumOfRegisters").AsInteger();
  CheckReferenceSpan(Reference, RegisterSpan);
}

void TSettingName::CreateControls(QWidget* page, int index, int top) {
  TSetting::CreateControls(page, index, top);
  auto* edit = new QLineEdit(page);
  edit->hide();
  edit->setGeometry(kEditLeft, top, kEditWidth, kEditHeight);
  // Read-only whether enabled or not: a typed name could be neither sent to
  // the device nor kept, so the box does not pretend to take one. Enabled,
  // its text can still be selected and copied.
  edit->setReadOnly(true);
  edit->setEnabled(Enabled);
  NameEdit = edit;
  edit->show();
  CreateCopyButtons(page, index, kCopyButtonsLeft, top);
  UpdateDisplay(true);
  edit->setProperty(kTagProperty, index);
}

void TSettingName::DestroyControls() {
  TSetting::DestroyControls();
  delete NameEdit.data();
}

void TSettingName::SetEnabled(bool enabled) {
  TSetting::SetEnabled(enabled);
  if (NameEdit) {
    NameEdit->setEnabled(enabled);
  }
}

void TSettingName::UpdateDisplay(bool) {
  if (NameEdit) {
    NameEdit->setText(QString::fromStdString(NameText));
  }
}

void TSettingName::ExportCsv(std::vector<std::string>& lines) {
  lines.push_back(Name + "," + NameText);
}

bool TSettingName::CopyValueFrom(TSetting& source) {
  if (typeid(source) != typeid(TSettingName)) {
    throw std::runtime_error("CopyValuesFromSetting Exception - class is not of type TSettingName");
  }
  NameText = static_cast<TSettingName&>(source).NameText;
  return true;
}

}  // namespace model
