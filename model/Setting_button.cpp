#include "model/Setting_button.h"

#include <QPushButton>
#include <algorithm>
#include <exception>

#include "model/Group.h"
#include "model/Settings.h"
#include "model/Xmlutil.h"
#include "ui/ErrorBox.h"
#include "ui/ImageButton.h"
#include "ui/MessageBoxes.h"
#include "ui/ScrollBox.h"

namespace model {

namespace {

constexpr int kButtonLeft = 200;
constexpr int kButtonWidth = 200;
constexpr int kButtonHeight = 25;
constexpr const char* kNodesFunction = "1";
constexpr const char* kNodesGroupName = "Nodes";

}  // namespace

TSettingButton::TSettingButton(TGroup* group, int32_t instanceIndex)
    : TSetting(group, instanceIndex) {}

void TSettingButton::LoadDefinition(const pugi::xml_node& element) {
  TSetting::LoadDefinition(element);
  IsNodesButton = GetAttribute(element, "function").AsString() == kNodesFunction;
}

void TSettingButton::CreateControls(QWidget* page, int index, int top) {
  TSetting::CreateControls(page, index, top);
  auto* button = new QPushButton(QString::fromStdString(Name()), page);
  button->hide();
  button->setGeometry(kButtonLeft, top, kButtonWidth, kButtonHeight);
  button->setProperty(kTagProperty, index);
  button->setEnabled(Enabled());
  QObject::connect(button, &QPushButton::clicked, &Relay(),
                   [this] { ui::RunGuarded([this] { ButtonClicked(); }); });
  ActionButton = button;
  button->show();
}

void TSettingButton::DestroyControls() {
  TSetting::DestroyControls();
  delete ActionButton.data();
}

void TSettingButton::SetEnabled(bool enabled) {
  TSetting::SetEnabled(enabled);
  if (ActionButton) {
    ActionButton->setEnabled(enabled);
  }
}

void TSettingButton::ExportCsv(std::vector<std::string>&) {}

void TSettingButton::ButtonClicked() {
  if (IsNodesButton) {
    AddNodesGroups();
  }
}

void TSettingButton::AddNodesGroups() {
  // The group belongs to this button's document, whichever device is shown.
  TSettings& document = Document();
  try {
    for (const pugi::xml_node& child : document.SettingsElement().children("group")) {
      if (GetAttribute(child, "name").AsString() != kNodesGroupName) {
        continue;
      }
      document.AddGroupFromXml(child);
      ui::TScrollBox* column = document.GroupColumn();
      const bool navigationShown =
          column != nullptr &&
          std::any_of(document.Groups.begin(), document.Groups.end(),
                      [](const auto& group) { return !group->NavigationButton.isNull(); });
      // The buttons are built again from scratch: the old ones would lie
      // under the new ones and outlive a disconnection.
      if (navigationShown) {
        document.DestroyGroupButtons();
        document.CreateGroupButtons(column);
      }
      return;
    }
  } catch (const std::exception& error) {
    ui::MessageBoxes().Show(ui::TBoxIcon::None, ui::kApplicationTitle, error.what(),
                            ui::TBoxButtons::Ok);
  }
}

std::optional<TShownValue> TSettingButton::ShownValue() const {
  return std::nullopt;
}

}  // namespace model
