#include "model/Setting_editrow.h"

#include <QLineEdit>

namespace model {

namespace {

constexpr int kEditLeft = 200;
constexpr int kEditWidth = 140;
constexpr int kEditHeight = 21;

}  // namespace

QPoint TSettingEditRow::CreateCaption(QWidget* page, int index, int top) {
  TSetting::CreateControls(page, index, top);
  return {};
}

void TSettingEditRow::CreateControls(QWidget* page, int index, int top) {
  const QPoint offset = CreateCaption(page, index, top);
  QLineEdit* box = Edit.Create(
      page, index, QRect(kEditLeft + offset.x(), top + offset.y(), kEditWidth, kEditHeight),
      EntryBehaviour());
  Edit.SetEnabled(Enabled());
  PrepareBox(*box);
  box->show();
  CreateCopyButtons(page, index, kCopyButtonsLeft, top);
  UpdateDisplay(true);
}

void TSettingEditRow::DestroyControls() {
  TSetting::DestroyControls();
  Edit.Destroy();
}

void TSettingEditRow::SetEnabled(bool enabled) {
  TSetting::SetEnabled(enabled);
  Edit.SetEnabled(enabled);
}

}  // namespace model
