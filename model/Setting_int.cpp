#include "model/Setting_int.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QThread>
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

bool OnGuiThread() {
  const QCoreApplication* application = QCoreApplication::instance();
  return application != nullptr && QThread::currentThread() == application->thread();
}

}  // namespace

TSettingInt::TSettingInt(TGroup* group, int32_t instanceIndex) : TSetting(group, instanceIndex) {}

void TSettingInt::LoadDefinition(const pugi::xml_node& element) {
  TSetting::LoadDefinition(element);
  HasLimits = true;
  Minimum = GetAttribute(element, "min").AsInteger();
  Maximum = GetAttribute(element, "max").AsInteger();
  Default = GetAttribute(element, "default").AsInteger();
  if (element.attribute("XOffset")) {
    XOffset = GetAttribute(element, "XOffset").AsInteger();
  }
  if (element.attribute("YOffset")) {
    YOffset = GetAttribute(element, "YOffset").AsInteger();
  }
  ValueText = GetAttribute(element, "value_text").AsString();
  if (element.attribute("DisabledValue")) {
    DisabledValue = GetAttribute(element, "DisabledValue").AsInteger();
    HasDisabledValue = true;
  } else {
    DisabledValue = static_cast<int64_t>(Minimum) - 1;
  }
}

void TSettingInt::CreateControls(QWidget* page, int index, int top) {
  int left = kEditLeft;
  int editTop = top;
  if (IsTemplate) {
    TSetting::CreateControls(page, index, top);
  } else {
    CreateLabelAt(page, index, top, XOffset, YOffset);
    left += XOffset;
    editTop += YOffset;
  }
  auto* edit = NewEditBox(page, index, QRect(left, editTop, kEditWidth, kEditHeight));
  edit->setEnabled(Enabled);
  edit->setReadOnly(!Enabled);
  Relay().SetFilter(ui::EditBoxFilter({
      .Entered = [this](QLineEdit&) { EditEnter(); },
      .Left = [this](QLineEdit&) { EditExit(); },
      .KeyPressed = [this](QLineEdit&, int key) { EditKeyPress(key); },
  }));
  Edit = edit;
  edit->show();
  CreateCopyButtons(page, index, kCopyButtonsLeft, top);
  UpdateDisplay(true);
}

void TSettingInt::DestroyControls() {
  TSetting::DestroyControls();
  DeleteEditBox(Edit);
}

void TSettingInt::SetEnabled(bool enabled) {
  TSetting::SetEnabled(enabled);
  if (Edit) {
    Edit->setReadOnly(!enabled);
    Edit->setEnabled(enabled);
  }
}

void TSettingInt::UpdateDisplay(bool decorated) {
  if (!Edit) {
    return;
  }
  std::string text;
  if (Value == DisabledValue) {
    text = "-";
  } else {
    text = std::to_string(Value);
    if (decorated) {
      text += " " + ValueText;
    }
  }
  Edit->setText(QString::fromStdString(text));
}

void TSettingInt::ExportCsv(std::vector<std::string>& lines) {
  lines.push_back(Name + "," + std::to_string(Value) + " " + ValueText);
}

void TSettingInt::LoadValueFromStore() {
  TSetting::LoadValueFromStore();
  // The worker thread never touches the box; its Refresh redraws it.
  if (HasDisabledValue && OnGuiThread()) {
    UpdateDisplay(false);
  }
}

bool TSettingInt::ValidateEntry(const std::string& text) {
  int32_t number = 0;
  try {
    number = StrToInt(text);
  } catch (const std::runtime_error& error) {
    ui::ShowErrorBox(error.what());
    return false;
  }
  return CheckLimits(number);
}

void TSettingInt::EditEnter() {
  if (!Edit) {
    return;
  }
  entered_ = true;
  Edit->setText(QString::number(Value));
  Edit->selectAll();
}

void TSettingInt::EditKeyPress(int key) {
  if (Edit && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
    ValidateEntry(Edit->text().toStdString());
  }
}

void TSettingInt::EditExit() {
  // A box that never had the focus shows its decorated text, not an entry.
  if (!Edit || !entered_) {
    return;
  }
  entered_ = false;
  const std::string text = Edit->text().toStdString();
  if (!ValidateEntry(text)) {
    // The entry stays for the user to mend.
    entered_ = true;
    ui::ReturnFocusTo(*Edit);
    return;
  }
  const int32_t number = StrToInt(text);
  if (CheckRelativeLimits(number) && number != Value) {
    Value = number;
    Changed = true;
    StoreValue();
  }
  UpdateDisplay(true);
}

}  // namespace model
