#include "model/Setting_password.h"

#include <QLineEdit>
#include <algorithm>
#include <cstdio>

#include "model/Xmlutil.h"

namespace model {

namespace {

constexpr int32_t kHighestCode = 9999;

}  // namespace

TSettingPassword::TSettingPassword(TGroup* group, int32_t instanceIndex)
    : TSettingEditRow(group, instanceIndex) {}

TEditBehaviour TSettingPassword::EntryBehaviour() {
  return {
      .Check = [this](const std::string& text) { return CheckPasswordText(text); },
      .Take =
          [this](const std::string& text) {
            ChangeValue(StrToInt(text));
            StoreValue();
            UpdateDisplay(true);
          },
      .CheckOnEnterKey = false,
  };
}

void TSettingPassword::PrepareBox(QLineEdit& box) {
  box.setMaxLength(kDigits);
  // Typing never makes the text longer than four characters, or than the
  // device value shown when that is longer.
  QObject::connect(&box, &QLineEdit::textEdited, &Relay(), [edit = &box](const QString& text) {
    edit->setMaxLength(std::max(kDigits, static_cast<int>(text.size())));
  });
}

void TSettingPassword::UpdateDisplay(bool) {
  ShowText(FormatPassword());
}

void TSettingPassword::ShowText(const std::string& text) {
  if (!Edit) {
    return;
  }
  const QString shown = QString::fromStdString(text);
  // The limit applies to typing only: a longer device value is shown whole.
  Edit->setMaxLength(std::max(kDigits, static_cast<int>(shown.size())));
  Edit->setText(shown);
}

void TSettingPassword::ExportCsv(std::vector<std::string>& lines) {
  lines.push_back(Name() + "," + FormatPassword());
}

std::string TSettingPassword::FormatPassword() const {
  return FormatCode(Value());
}

std::string TSettingPassword::FormatCode(int32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d", static_cast<int>(code));
  return text;
}

TRefusal TSettingPassword::CheckPasswordText(const std::string& text) const {
  int32_t code = 0;
  if (TRefusal refusal = ParseInteger(text, code)) {
    return refusal;
  }
  if (code > kHighestCode) {
    return "The password must contain only 4 digits";
  }
  // Counted in characters, so that "-123" passes as a four-character code.
  if (text.size() < static_cast<size_t>(kDigits)) {
    return "The password must contain 4 digits";
  }
  return std::nullopt;
}

std::optional<TShownValue> TSettingPassword::ShownValue() const {
  return TShownValue{FormatPassword(), "", FormatCode(Default())};
}

}  // namespace model
