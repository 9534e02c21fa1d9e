#include "model/Setting_checkbox.h"

#include <QCheckBox>

#include "model/Group.h"
#include "model/Settings.h"
#include "model/Xmlutil.h"
#include "registers/Registerdatastore.h"
#include "ui/ErrorBox.h"

namespace model {

namespace {

constexpr int kBoxLeft = 200;
constexpr int kBoxWidth = 18;
constexpr int kBoxHeight = 17;

}  // namespace

TSettingCheckBox::TSettingCheckBox(TGroup* group, int32_t instanceIndex)
    : TSetting(group, instanceIndex) {}

void TSettingCheckBox::LoadDefinition(const pugi::xml_node& element) {
  // The box reads its own attributes before the common ones.
  SetDefault(GetAttribute(element, "default").AsString() == "checked" ? 1 : 0);
  if (element.attribute("unchecked_value")) {
    UncheckedValue = GetAttribute(element, "unchecked_value").AsInteger();
    if (element.attribute("checked_value")) {
      CheckedValue = GetAttribute(element, "checked_value").AsInteger();
      HasValuePair = true;
    }
  }
  TSetting::LoadDefinition(element);
}

void TSettingCheckBox::CreateControls(QWidget* page, int index, int top) {
  TSetting::CreateControls(page, index, top);
  auto* box = new QCheckBox(page);
  box->hide();
  box->setGeometry(kBoxLeft, top, kBoxWidth, kBoxHeight);
  box->setProperty(kTagProperty, index);
  // Only a user's click counts; the display's own ticks do not.
  QObject::connect(box, &QCheckBox::clicked, &Relay(),
                   [this] { ui::RunGuarded([this] { CheckBoxClick(); }); });
  box->setEnabled(Enabled());
  CheckBox = box;
  box->show();
  CreateCopyButtons(page, index, kCopyButtonsLeft, top);
  UpdateDisplay(true);
}

void TSettingCheckBox::DestroyControls() {
  TSetting::DestroyControls();
  delete CheckBox.data();
}

void TSettingCheckBox::SetEnabled(bool enabled) {
  TSetting::SetEnabled(enabled);
  if (CheckBox) {
    CheckBox->setEnabled(enabled);
  }
}

void TSettingCheckBox::UpdateDisplay(bool) {
  if (CheckBox) {
    CheckBox->setChecked(Value() != 0);
  }
}

void TSettingCheckBox::CheckBoxClick() {
  if (!CheckBox) {
    return;
  }
  const int32_t ticked = CheckBox->isChecked() ? 1 : 0;
  if (ticked == Value()) {
    return;
  }
  SetValue(ticked);
  StoreValue();
  if (HasValuePair) {
    Group().ReloadFromStore();
  }
  SetChanged(true);
}

void TSettingCheckBox::RegisterInStore() {
  if (IsTemplate() || HasValuePair) {
    return;
  }
  TSetting::RegisterInStore();
}

int32_t TSettingCheckBox::PairStateInStore() const {
  int16_t raw = 0;
  Store().GetHoldingRegisters(Reference(), &raw, 1);
  return Signed16(static_cast<int64_t>(raw) - ValueOffset()) == CheckedValue ? 1 : 0;
}

void TSettingCheckBox::LoadValueFromStore() {
  if (!HasValuePair) {
    TSetting::LoadValueFromStore();
    return;
  }
  auto lock = Store().Lock();
  if (!ReadPending()) {
    return;
  }
  // A pair on a coil has nothing to compare with: the value stays.
  if (RegisterType() == kHoldingRegister) {
    SetValue(PairStateInStore());
  }
  FinishRead();
}

void TSettingCheckBox::StoreValue() {
  if (IsTemplate() || IsUnitsSelector()) {
    return;
  }
  PutValueInStore();
}

void TSettingCheckBox::PutValueInStore() {
  registers::TRegisterDataStore& store = Store();
  const int32_t ticked = Value() != 0 ? 1 : 0;
  if (RegisterType() == kCoil) {
    store.SetCoil(Reference(), ticked != 0);
    return;
  }
  if (RegisterType() != kHoldingRegister) {
    return;
  }
  auto lock = store.Lock();
  if (!HasValuePair) {
    // The value offset is added as reading subtracts it, so that a stored
    // state reads back as itself.
    if (BitMask() != 0) {
      store.SetHoldingRegisterBits(Reference(), static_cast<int16_t>(ticked + ValueOffset()),
                                   BitMask());
    } else {
      store.SetHoldingRegister(Reference(), Word(ticked != 0 ? CheckedValue : UncheckedValue));
    }
    return;
  }
  // The register belongs to another setting: it is rewritten only when the
  // box's state disagrees with it, so a box left unticked never overwrites
  // its owner's value.
  if (!store.IsHoldingRegisterRegistered(Reference()) || PairStateInStore() == ticked) {
    return;
  }
  store.SetHoldingRegister(Reference(), Word(ticked != 0 ? CheckedValue : UncheckedValue));
}

int16_t TSettingCheckBox::Word(int32_t value) const {
  return static_cast<int16_t>(
      static_cast<uint16_t>((static_cast<int64_t>(value) + ValueOffset()) & 0xFFFF));
}

std::string TSettingCheckBox::CheckFileValue(const pugi::xml_node& settingElement) const {
  // The file keeps whether the box is ticked, whatever the register holds for either state.
  const std::string text = GetAttribute(settingElement, "value").AsString();
  const int32_t ticked = StrToInt(text);
  if (ticked != 0 && ticked != 1) {
    RefuseFileValue(text, "0 (not ticked) or 1 (ticked)");
  }
  return {};
}

void TSettingCheckBox::ExportCsv(std::vector<std::string>& lines) {
  lines.push_back(Name() + "," + (Value() != 0 ? "Enabled" : "Disabled"));
}

std::optional<TShownValue> TSettingCheckBox::ShownValue() const {
  const auto text = [](int32_t value) { return value != 0 ? "Enabled" : "Disabled"; };
  return TShownValue{text(Value()), "", text(Default())};
}

}  // namespace model
