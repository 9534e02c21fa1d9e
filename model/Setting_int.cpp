#include "model/Setting_int.h"

#include <QLineEdit>

#include "model/DefinitionCheck.h"
#include "model/Xmlutil.h"
#include "ui/GuiThread.h"

namespace model {

TSettingInt::TSettingInt(TGroup* group, int32_t instanceIndex)
    : TSettingEditRow(group, instanceIndex) {}

void TSettingInt::LoadDefinition(const pugi::xml_node& element) {
  TSetting::LoadDefinition(element);
  const int32_t minimum = GetAttribute(element, "min").AsInteger();
  const int32_t maximum = GetAttribute(element, "max").AsInteger();
  SetLimits(minimum, maximum);
  SetDefault(GetAttribute(element, "default").AsInteger());
  const int32_t xOffset =
      element.attribute("XOffset") ? GetAttribute(element, "XOffset").AsInteger() : 0;
  const int32_t yOffset =
      element.attribute("YOffset") ? GetAttribute(element, "YOffset").AsInteger() : 0;
  SetRowOffset(xOffset, yOffset);
  ValueText = GetAttribute(element, "value_text").AsString();
  if (element.attribute("DisabledValue")) {
    DisabledValue = GetAttribute(element, "DisabledValue").AsInteger();
    HasDisabledValue = true;
  } else {
    DisabledValue = static_cast<int64_t>(Minimum()) - 1;
  }
}

QPoint TSettingInt::CreateCaption(QWidget* page, int index, int top) {
  if (IsTemplate()) {
    return TSettingEditRow::CreateCaption(page, index, top);
  }
  CreateLabelAt(page, index, top, XOffset(), YOffset());
  return {XOffset(), YOffset()};
}

TEditBehaviour TSettingInt::EntryBehaviour() {
  return {
      .EntryText = [this] { return QString::number(Value()); },
      .Check = [this](const std::string& text) { return CheckEntry(text); },
      .Take = [this](const std::string& text) { TakeEntry(text); },
      .ShowValue = [this] { UpdateDisplay(true); },
  };
}

void TSettingInt::UpdateDisplay(bool decorated) {
  if (!Edit) {
    return;
  }
  std::string text;
  if (Value() == DisabledValue) {
    text = "-";
  } else {
    text = std::to_string(Value());
    if (decorated) {
      text += " " + ValueText;
    }
  }
  Edit.SetText(QString::fromStdString(text));
}

void TSettingInt::ExportCsv(std::vector<std::string>& lines) {
  lines.push_back(Name() + "," + std::to_string(Value()) + " " + ValueText);
}

void TSettingInt::LoadValueFromStore() {
  TSetting::LoadValueFromStore();
  if (HasDisabledValue) {
    UpdateDisplay(false);
  }
}

TRefusal TSettingInt::CheckEntry(const std::string& text) const {
  int32_t number = 0;
  if (TRefusal refusal = ParseInteger(text, number)) {
    return refusal;
  }
  return CheckLimits(number);
}

void TSettingInt::TakeEntry(const std::string& text) {
  const int32_t number = StrToInt(text);
  if (!ShowRefusal(CheckRelativeLimits(number)) && number != Value()) {
    ChangeValue(number);
    StoreValue();
  }
  UpdateDisplay(true);
}

void TSettingInt::CheckDefinition(TDefinitionCheck& check) const {
  check.CheckLimits(*this, std::to_string(Minimum()), std::to_string(Maximum()),
                    Minimum() > Maximum(), Default() < Minimum() || Default() > Maximum(),
                    std::to_string(Default()));
}

std::optional<TShownValue> TSettingInt::ShownValue() const {
  const auto text = [this](int32_t value) {
    return value == DisabledValue ? std::string("-") : std::to_string(value);
  };
  return TShownValue{text(Value()), ValueText, text(Default())};
}

}  // namespace model
