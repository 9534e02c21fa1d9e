#include "model/Setting_dropdown.h"

#include <QComboBox>
#include <algorithm>
#include <cctype>
#include <string_view>

#include "model/DefinitionCheck.h"
#include "model/Settings.h"
#include "model/Xmlutil.h"
#include "ui/ComboBox.h"
#include "ui/ErrorBox.h"

namespace model {

namespace {

constexpr int kComboLeft = 200;
constexpr int kComboWidth = 140;
constexpr int kComboHeight = 21;

}  // namespace

TSettingDropDown::TSettingDropDown(TGroup* group, int32_t instanceIndex)
    : TSetting(group, instanceIndex) {}

void TSettingDropDown::LoadDefinition(const pugi::xml_node& element) {
  TSetting::LoadDefinition(element);
  Entries.clear();
  for (const pugi::xml_node& child : element.children("ddvalue")) {
    TDDType entry;
    entry.Name = GetAttribute(child, "name").AsString();
    entry.Value = GetAttribute(child, "value").AsInteger();
    if (std::string_view(child.attribute("default").value()) == "true") {
      SetDefault(entry.Value);
    }
    Entries.push_back(entry);
    // The units selector starts on its value-0 entry.
    if (IsUnitsSelector() && entry.Value == 0) {
      Document().SetUnitsName(entry.Name);
    }
  }
}

void TSettingDropDown::CreateControls(QWidget* page, int index, int top) {
  TSetting::CreateControls(page, index, top);
  auto* combo = new ui::TComboBox(page);
  combo->hide();
  combo->setGeometry(kComboLeft, top, kComboWidth, kComboHeight);
  combo->clear();
  combo->setEditable(false);
  combo->setProperty(kTagProperty, index);
  // Only a user's pick counts; the display's own changes do not.
  QObject::connect(combo, &QComboBox::activated, &Relay(), [this](int position) {
    ui::RunGuarded([this, position] { ComboBoxSelect(position); });
  });
  combo->setEnabled(Enabled());
  ComboBox = combo;
  CreateCopyButtons(page, index, kCopyButtonsLeft, top);
  for (const TDDType& entry : Entries) {
    combo->addItem(QString::fromStdString(entry.Name));
  }
  UpdateDisplay(true);
  combo->show();
}

void TSettingDropDown::DestroyControls() {
  TSetting::DestroyControls();
  delete ComboBox.data();
}

void TSettingDropDown::SetEnabled(bool enabled) {
  TSetting::SetEnabled(enabled);
  if (ComboBox) {
    ComboBox->setEnabled(enabled);
  }
}

void TSettingDropDown::UpdateDisplay(bool) {
  if (ComboBox) {
    ComboBox->setCurrentIndex(Entries.empty() ? -1 : IndexOfValue(Value()));
  }
}

int TSettingDropDown::IndexOfValue(int32_t value) const {
  for (size_t i = 0; i < Entries.size(); ++i) {
    if (Entries[i].Value == value) {
      return static_cast<int>(i);
    }
  }
  return 0;
}

void TSettingDropDown::ComboBoxSelect(int position) {
  if (position < 0 || position >= static_cast<int>(Entries.size())) {
    return;
  }
  const TDDType& entry = Entries[static_cast<size_t>(position)];
  if (ShowRefusal(Document().CheckExclusion(*this, entry.Value))) {
    UpdateDisplay(true);
    return;
  }
  if (entry.Value != Value()) {
    SetChanged(true);
  }
  SetValue(entry.Value);
  if (IsUnitsSelector()) {
    Document().SetUnitsName(entry.Name);
  } else {
    StoreValue();
  }
}

void TSettingDropDown::AnnounceUnits() {
  if (IsUnitsSelector() && !Entries.empty()) {
    Document().SetUnitsName(Entries[static_cast<size_t>(IndexOfValue(Value()))].Name);
  }
}

void TSettingDropDown::RestoreDefault() {
  TSetting::RestoreDefault();
  AnnounceUnits();
}

void TSettingDropDown::LoadFromXml(const pugi::xml_node& settingElement) {
  TSetting::LoadFromXml(settingElement);
  AnnounceUnits();
}

std::string TSettingDropDown::CheckFileValue(const pugi::xml_node& settingElement) const {
  const std::string notice = TSetting::CheckFileValue(settingElement);
  return notice.empty() ? UnlistedNotice(GetAttribute(settingElement, "value").AsInteger())
                        : notice;
}

std::string TSettingDropDown::HeldValueNotice() const {
  // Without a register the value is only ever one of the entries.
  return RegisterType() == kNoRegister ? std::string() : UnlistedNotice(Value());
}

std::string TSettingDropDown::UnlistedNotice(int32_t value) const {
  if (Entries.empty() || std::any_of(Entries.begin(), Entries.end(), [value](const TDDType& entry) {
        return entry.Value == value;
      })) {
    return {};
  }
  // A long list is cut: the notice names the setting, not every choice it has.
  constexpr size_t kEntriesNamed = 8;
  std::string entries;
  for (size_t i = 0; i < Entries.size() && i < kEntriesNamed; ++i) {
    entries +=
        (i == 0 ? "" : ", ") + std::to_string(Entries[i].Value) + " (" + Entries[i].Name + ")";
  }
  if (Entries.size() > kEntriesNamed) {
    entries += ", ...";
  }
  return FullName() + ": " + std::to_string(value) + ", not one of its entries " + entries;
}

void TSettingDropDown::Refresh() {
  const bool redisplayDue = RedisplayDue();
  TSetting::Refresh();
  if (redisplayDue) {
    AnnounceUnits();
  }
}

void TSettingDropDown::ExportCsv(std::vector<std::string>& lines) {
  if (Entries.empty()) {
    lines.push_back(Name() + "," + std::to_string(Value()));
  } else {
    lines.push_back(Name() + "," + Entries[static_cast<size_t>(IndexOfValue(Value()))].Name);
  }
}

// The entry marked default="true" (the last one so marked) is the default; without one the
// default stays 0.
void TSettingDropDown::CheckDefinition(TDefinitionCheck& check) const {
  auto nameOf = [&](const pugi::xml_node& entry) {
    return check.Quoted(entry.attribute("name").value());
  };
  pugi::xml_node marked;
  for (const pugi::xml_node& entry : Definition().children("ddvalue")) {
    const std::string_view value = entry.attribute("default").value();
    std::string lower(value);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (value == "true") {
      if (marked) {
        check.Add(entry, check.Subject(*this) + ": entry " + nameOf(entry) +
                             " is marked default=\"true\" after entry " + nameOf(marked) +
                             " (line " + std::to_string(check.LineOf(marked)) + "); the last wins");
      }
      marked = entry;
    } else if (lower == "true" || lower == "yes" || lower == "1") {
      check.Add(entry, check.Subject(*this) + ": entry " + nameOf(entry) +
                           " has default=" + check.Quoted(value) +
                           ", which does not count: only \"true\" marks the default entry");
    }
  }
  if (marked) {
    return;
  }
  // Without a marked entry the default is 0: the writer's choice or a forgotten mark.
  const auto zero = std::find_if(Entries.begin(), Entries.end(),
                                 [&](const TDDType& entry) { return entry.Value == Default(); });
  check.Add(Definition(), check.Subject(*this) +
                              ": no entry is marked default=\"true\"; the default is " +
                              std::to_string(Default()) +
                              (zero != Entries.end() ? ", entry " + check.Quoted(zero->Name)
                                                     : ", which matches none of its entries"));
}

std::optional<TShownValue> TSettingDropDown::ShownValue() const {
  const auto name = [this](int32_t value) {
    return Entries.empty() ? std::to_string(value)
                           : Entries[static_cast<std::size_t>(IndexOfValue(value))].Name;
  };
  return TShownValue{name(Value()), "", name(Default())};
}

}  // namespace model
