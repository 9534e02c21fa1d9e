#include "model/Group.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <atomic>
#include <stdexcept>

#include "model/ElementIndex.h"
#include "model/Setting_4partid.h"
#include "model/Setting_button.h"
#include "model/Setting_checkbox.h"
#include "model/Setting_date.h"
#include "model/Setting_dropdown.h"
#include "model/Setting_int.h"
#include "model/Setting_label.h"
#include "model/Setting_name.h"
#include "model/Setting_password.h"
#include "model/Setting_sectionlabel.h"
#include "model/Setting_time.h"
#include "model/Setting_units.h"
#include "model/Settings.h"
#include "model/Xmlutil.h"
#include "registers/Registerdatastore.h"
#include "ui/ErrorBox.h"
#include "ui/Fonts.h"
#include "ui/ImageButton.h"
#include "ui/LabelFit.h"
#include "ui/Picture.h"
#include "ui/ScrollBox.h"

namespace model {

namespace {

constexpr int kGroupButtonLeft = 13;
constexpr int kGroupButtonTop = 16;
constexpr int kGroupButtonPitch = 40;
constexpr int kGroupButtonWidth = 200;
constexpr int kGroupButtonHeight = 32;
constexpr int kPaddedCaptionWidth = 140;
constexpr int kTitleLeft = 27;
constexpr int kTitleTop = 28;
constexpr int kTitlePointSize = 15;
constexpr int kDescriptionLeft = 50;
constexpr int kDescriptionTop = 70;
constexpr int kFirstRowTop = 120;
constexpr int kRowPitch = 32;
constexpr int kInstancesOfTenfoldGroup = 10;
constexpr const char* kTemplateElementName = "Group";

ui::TPicture LoadPicture(const QString& folder, const char* name) {
  const QString path = folder + QLatin1Char('/') + QLatin1String(name);
  ui::TPicture picture = ui::TPicture::Load(path);
  if (picture.IsNull()) {
    throw std::runtime_error("Cannot open file \"" + path.toStdString() + "\"");
  }
  return picture;
}

}  // namespace

QString PaddedCaption(const std::string& name, const QFont& font) {
  const QFontMetrics metrics(font);
  QString caption = QString::fromStdString(name);
  // A space that measures nothing would never reach the width.
  if (metrics.horizontalAdvance(QLatin1Char(' ')) <= 0) {
    return caption;
  }
  while (metrics.horizontalAdvance(caption) < kPaddedCaptionWidth) {
    caption += QLatin1Char(' ');
  }
  return caption;
}

TGroup::TGroup(TSettings* document) : Document(document) {}

TGroup::~TGroup() {
  if (Document != nullptr && Document->Set().CurrentGroup == this) {
    ClosePage();
    Document->Set().CurrentGroup = nullptr;
  }
  // The button's click calls into this group: it goes with it.
  DestroyButton();
  Settings.clear();
}

bool TGroup::ReadName(const pugi::xml_node& element) {
  Name = GetAttribute(element, "name").AsString();
  return Name == kTemplateElementName;
}

void TGroup::LoadFromXml(const pugi::xml_node& element) {
  Element = element;
  Name = GetAttribute(element, "name").AsString();
  Description = GetAttribute(element, "description").AsString();
  Id = Document->Set().NextGroupId++;
  if (Name != kTemplateElementName) {
    for (const pugi::xml_node& child : element.children("setting")) {
      AddSettingFromXml(child, 0);
    }
    return;
  }
  const int instances = IsTenfold ? kInstancesOfTenfoldGroup : 1;
  for (int i = 0; i < instances; ++i) {
    AddSectionLabel(IsTemplate ? "Template Group"
                               : "Group " + std::to_string(FirstGroupNumber + i));
    const int32_t instanceIndex = FirstGroupNumber + i + 50 * ControllerNumber - 51;
    for (const pugi::xml_node& child : element.children("setting")) {
      AddSettingFromXml(child, instanceIndex);
    }
  }
}

std::unique_ptr<TSetting> TGroup::CreateSettingOfKind(const std::string& kind,
                                                      int32_t instanceIndex) {
  if (kind == "units") {
    return std::make_unique<TSettingUnits>(this, instanceIndex);
  }
  if (kind == "checkbox") {
    return std::make_unique<TSettingCheckBox>(this, instanceIndex);
  }
  if (kind == "int") {
    return std::make_unique<TSettingInt>(this, instanceIndex);
  }
  if (kind == "drop_down") {
    return std::make_unique<TSettingDropDown>(this, instanceIndex);
  }
  if (kind == "password") {
    return std::make_unique<TSettingPassword>(this, instanceIndex);
  }
  if (kind == "name") {
    return std::make_unique<TSettingName>(this, instanceIndex);
  }
  if (kind == "label") {
    return std::make_unique<TSettingLabel>(this, instanceIndex);
  }
  if (kind == "4PartID") {
    return std::make_unique<TSetting4PartID>(this, instanceIndex);
  }
  if (kind == "button") {
    return std::make_unique<TSettingButton>(this, instanceIndex);
  }
  if (kind == "time") {
    return std::make_unique<TSettingTime>(this, instanceIndex);
  }
  if (kind == "date") {
    return std::make_unique<TSettingDate>(this, instanceIndex);
  }
  throw std::runtime_error("Unknown setting type " + kind);
}

void TGroup::AddSettingFromXml(const pugi::xml_node& element, int32_t instanceIndex) {
  const std::string kind = GetAttribute(element, "value_type").AsString();
  std::unique_ptr<TSetting> setting = CreateSettingOfKind(kind, instanceIndex);
  setting->LoadDefinition(element);
  AddSetting(std::move(setting));
}

void TGroup::AddSectionLabel(const std::string& caption) {
  AddSetting(std::make_unique<TSettingSectionLabel>(this, caption));
}

void TGroup::AddSetting(std::unique_ptr<TSetting> setting) {
  Document->CountNewSetting();
  setting->SetIndexInGroup(Count(), TSetting::TGroupKey());
  Settings.push_back(std::move(setting));
}

void TGroup::CreateButton(ui::TScrollBox* column, int index) {
  auto* button = new ui::TImageButton(column->Content());
  button->hide();
  button->setGeometry(kGroupButtonLeft, kGroupButtonTop + kGroupButtonPitch * index,
                      kGroupButtonWidth, kGroupButtonHeight);
  button->setFont(ui::DefaultFont());
  button->setText(PaddedCaption(Name, button->font()));
  button->SetCaptionAlignment(Qt::AlignCenter);
  button->setProperty(TSetting::kTagProperty, index);
  const QString folder = Document->Set().PicturesFolder();
  const ui::TPicture normal =
      LoadPicture(folder, IsSubgroup ? "subgroup_normal.bmp" : "group_normal.bmp");
  const ui::TPicture down =
      LoadPicture(folder, IsSubgroup ? "subgroup_down.bmp" : "group_down.bmp");
  button->SetPictures(normal, down, down);
  QObject::connect(button, &QAbstractButton::clicked, button,
                   [this] { ui::RunGuarded([this] { Show(); }); });
  NavigationButton = button;
  button->show();
}

void TGroup::DestroyButton() {
  delete NavigationButton.data();
  NavigationButton = nullptr;
}

void TGroup::FocusButton() {
  if (NavigationButton) {
    NavigationButton->setFocus();
  }
}

void TGroup::Show() {
  TGroup*& shown = Document->Set().CurrentGroup;
  if (shown != nullptr) {
    shown->ClosePage();
  }
  RefreshFromStore();
  SetEnabled(Document->EditingEnabled);
  shown = this;
  if (Document->PageArea != nullptr) {
    BuildPage(Document->PageArea);
  }
}

void TGroup::BuildPage(ui::TScrollBox* pageArea) {
  QWidget* page = pageArea->Content();
  // The rows are built out of sight and shown together.
  page->hide();

  auto* title = new QLabel(QString::fromStdString(Name), page);
  title->hide();
  QFont titleFont = ui::FaceFont(QStringLiteral("Arial"));
  titleFont.setPointSize(kTitlePointSize);
  titleFont.setBold(true);
  title->setFont(titleFont);
  title->move(kTitleLeft, kTitleTop);
  title->adjustSize();
  TitleLabel = title;

  auto* description = new QLabel(QString::fromStdString(Description), page);
  description->hide();
  description->move(kDescriptionLeft, kDescriptionTop);
  description->adjustSize();
  DescriptionLabel = description;

  auto* end = new QLabel(page);
  end->hide();
  EndLabel = end;

  int top = kFirstRowTop;
  for (int k = 0; k < Count(); ++k) {
    TSetting& setting = *Settings[static_cast<size_t>(k)];
    setting.CreateControls(page, k, top);
    top += kRowPitch;
    if (!IsTemplate) {
      top += setting.YOffset();
    }
  }

  // The empty end label makes the scroll range reach below the last row.
  end->setGeometry(kDescriptionLeft, top, 1, QFontMetrics(end->font()).height());
  ui::FitCaptionsToControls(*page);
  end->show();
  description->show();
  title->show();
  page->show();
}

void TGroup::ClosePage() {
  delete DescriptionLabel.data();
  delete TitleLabel.data();
  delete EndLabel.data();
  for (auto& setting : Settings) {
    setting->DestroyControls();
  }
}

void TGroup::SetEnabled(bool enabled) {
  for (auto& setting : Settings) {
    setting->SetEnabled(enabled);
  }
}

void TGroup::RedisplayAll() {
  for (auto& setting : Settings) {
    setting->UpdateDisplay(true);
  }
}

void TGroup::RestoreDefaults() {
  for (auto& setting : Settings) {
    setting->RestoreDefault();
  }
}

void TGroup::ClearPending() {
  for (auto& setting : Settings) {
    setting->ClearPending();
  }
}

int TGroup::PendingCount() {
  int count = 0;
  for (auto& setting : Settings) {
    count += setting->PendingCount();
  }
  return count;
}

void TGroup::RegisterInStore() {
  for (auto& setting : Settings) {
    if (!setting->IsTemplate()) {
      setting->RegisterInStore();
    }
  }
}

void TGroup::RefreshFromStore() {
  if (Document->Store().IsComplete()) {
    ReloadFromStore();
  }
}

void TGroup::ReloadFromStore() {
  for (auto& setting : Settings) {
    setting->RequestRead();
    setting->LoadValueFromStore();
  }
}

void TGroup::StoreAll() {
  for (auto& setting : Settings) {
    setting->StoreValue();
  }
}

void TGroup::SaveToXml(pugi::xml_node deviceElement) {
  pugi::xml_node element = deviceElement.append_child("group");
  element.append_attribute("name") = Name.c_str();
  element.append_attribute("ID") = Id;
  for (auto& setting : Settings) {
    setting->SaveToXml(element);
  }
}

void TGroup::FindValuesInXml(const pugi::xml_node& groupElement,
                             std::vector<std::pair<TSetting*, pugi::xml_node>>& found,
                             std::vector<std::string>& notices) const {
  const TElementIndex elements(groupElement, "setting");
  TNameRanks ranks;
  for (const auto& setting : Settings) {
    const pugi::xml_node element =
        elements.Find(setting->Id(), setting->Name(), ranks.Next(setting->Name()));
    if (!element) {
      throw std::runtime_error("Could not find a value for setting '" + setting->Name() +
                               "' in the XML document");
    }
    std::string notice = setting->CheckFileValue(element);
    if (!notice.empty()) {
      notices.push_back(std::move(notice));
    }
    found.emplace_back(setting.get(), element);
  }
}

void TGroup::ExportCsv(std::vector<std::string>& lines) {
  for (auto& setting : Settings) {
    setting->ExportCsv(lines);
  }
}

TSetting* TGroup::FindSetting(const std::string& name) const {
  for (const auto& setting : Settings) {
    if (setting->Name() == name) {
      return setting.get();
    }
  }
  return nullptr;
}

TSetting* TGroup::FindSettingInInstance(const std::string& name, const TSetting& from) const {
  auto isSectionLabel = [this](size_t i) {
    return dynamic_cast<const TSettingSectionLabel*>(Settings[i].get()) != nullptr;
  };
  const size_t at = static_cast<size_t>(from.IndexInGroup());
  if (at >= Settings.size() || Settings[at].get() != &from) {
    return nullptr;
  }
  size_t first = at;
  while (first > 0 && !isSectionLabel(first - 1)) {
    --first;
  }
  if (first == 0 || !isSectionLabel(first - 1)) {
    return nullptr;  // not inside a numbered instance
  }
  for (size_t i = first; i < Settings.size() && !isSectionLabel(i); ++i) {
    if (Settings[i]->Name() == name) {
      return Settings[i].get();
    }
  }
  return nullptr;
}

bool TGroup::IsValueFree(const TSetting& setting, int32_t candidate) const {
  for (const auto& other : Settings) {
    if (other.get() != &setting && other->ExclusionGroup() != -1 &&
        other->ExclusionGroup() == setting.ExclusionGroup() && other->Value() == candidate) {
      return false;
    }
  }
  return true;
}

std::string TGroup::ListExclusionPartners(const TSetting& setting) const {
  std::string lines;
  for (const auto& other : Settings) {
    if (other.get() != &setting && other->ExclusionGroup() != -1 &&
        other->ExclusionGroup() == setting.ExclusionGroup()) {
      lines += " \u2022 " + other->Name() + "\n";
    }
  }
  return lines;
}

bool TGroup::CopyFromTemplate(TSetting& templateSetting) {
  // Only the ten instances of a tenfold group hold counterparts of a
  // template setting; every other group is left alone.
  if (IsTemplate || !IsTenfold || Count() % kInstancesOfTenfoldGroup != 0) {
    return true;
  }
  const int32_t step = Count() / kInstancesOfTenfoldGroup;
  for (int32_t k = templateSetting.IndexInGroup(); k < Count(); k += step) {
    TSetting& target = *Settings[static_cast<size_t>(k)];
    if (target.Name() != templateSetting.Name()) {
      continue;
    }
    if (!target.CopyValueFrom(templateSetting)) {
      return false;
    }
  }
  return true;
}

}  // namespace model
