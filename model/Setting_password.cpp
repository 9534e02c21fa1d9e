#include "model/Setting_password.h"

#include <QLineEdit>
#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "model/Xmlutil.h"
#include "ui/EditBoxEvents.h"
#include "ui/ErrorBox.h"

namespace model {

namespace {

constexpr int kEditLeft = 200;
constexpr int kEditWidth = 140;
constexpr int kEditHeight = 21;
constexpr int kCopyButtonsLeft = 350;
constexpr int32_t kHighestCode = 9999;

}  // namespace

TSettingPassword::TSettingPassword(TGroup* group, int32_t instanceIndex)
    : TSetting(group, instanceIndex) {}

void TSettingPassword::CreateControls(QWidget* page, int index, int top) {
  TSetting::CreateControls(page, index, top);
  auto* edit = NewEditBox(page, index, QRect(kEditLeft, top, kEditWidth, kEditHeight));
  edit->setMaxLength(kDigits);
  edit->setEnabled(Enabled);
  Relay().SetFilter(ui::EditBoxFilter({
      .Entered = [this](QLineEdit&) { PasswordEntered(); },
      .Left = [this](QLineEdit&) { PasswordExited(); },
      .KeyPressed = {},
  }));
  // Typing never makes the text longer than four characters, or than the
  // device value shown when that is longer.
  QObject::connect(edit, &QLineEdit::textEdited, &Relay(), [edit](const QString& text) {
    edit->setMaxLength(std::max(kDigits, static_cast<int>(text.size())));
  });
  PasswordEdit = edit;
  edit->show();
  CreateCopyButtons(page, index, kCopyButtonsLeft, top);
  UpdateDisplay(true);
}

void TSettingPassword::DestroyControls() {
  TSetting::DestroyControls();
  DeleteEditBox(PasswordEdit);
  entered_ = false;
}

void TSettingPassword::SetEnabled(bool enabled) {
  TSetting::SetEnabled(enabled);
  if (PasswordEdit) {
    PasswordEdit->setEnabled(enabled);
  }
}

void TSettingPassword::UpdateDisplay(bool) {
  ShowText(FormatPassword());
}

void TSettingPassword::ShowText(const std::string& text) {
  if (!PasswordEdit) {
    return;
  }
  const QString shown = QString::fromStdString(text);
  // The limit applies to typing only: a longer device value is shown whole.
  PasswordEdit->setMaxLength(std::max(kDigits, static_cast<int>(shown.size())));
  PasswordEdit->setText(shown);
}

void TSettingPassword::ExportCsv(std::vector<std::string>& lines) {
  lines.push_back(Name + "," + FormatPassword());
}

std::string TSettingPassword::FormatPassword() const {
  char text[16];
  std::snprintf(text, sizeof text, "%04d", static_cast<int>(Value));
  return text;
}

bool TSettingPassword::CheckPasswordText(const std::string& text) {
  int32_t code = 0;
  try {
    code = StrToInt(text);
  } catch (const std::runtime_error& error) {
    ui::ShowErrorBox(error.what());
    return false;
  }
  if (code > kHighestCode) {
    ui::ShowErrorBox("The password must contain only 4 digits");
    return false;
  }
  // Counted in characters, so that "-123" passes as a four-character code.
  if (text.size() < static_cast<size_t>(kDigits)) {
    ui::ShowErrorBox("The password must contain 4 digits");
    return false;
  }
  return true;
}

void TSettingPassword::PasswordEntered() {
  entered_ = true;
}

void TSettingPassword::PasswordExited() {
  if (!PasswordEdit || !entered_) {
    return;
  }
  entered_ = false;
  const std::string text = PasswordEdit->text().toStdString();
  if (!CheckPasswordText(text)) {
    // The entry stays for the user to mend.
    entered_ = true;
    ui::ReturnFocusTo(*PasswordEdit);
    return;
  }
  Value = StrToInt(text);
  Changed = true;
  StoreValue();
  UpdateDisplay(true);
}

}  // namespace model
