#include "model/Settings.h"

#include <QCursor>
#include <QGuiApplication>
#include <sstream>
#include <stdexcept>

#include "model/AtomicFile.h"
#include "model/Device.h"
#include "model/ElementIndex.h"
#include "model/Group.h"
#include "model/Setting.h"
#include "model/Xmlutil.h"
#include "ui/ImageButton.h"
#include "ui/ScrollBox.h"

namespace model {

namespace {

constexpr int kControllers = 5;
constexpr int kRangeGroupsPerController = 5;
constexpr int kGroupsPerRange = 10;

// Shows the hourglass while a copy runs; restores the cursor however the
// copy ends.
class TBusyCursor {
 public:
  TBusyCursor() : active_(qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
    if (active_) {
      QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
  }
  ~TBusyCursor() {
    if (active_) {
      QGuiApplication::restoreOverrideCursor();
    }
  }
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;

 private:
  bool active_;
};

}  // namespace

QWidget* TDocumentSet::ShownGroupButton() const {
  return CurrentGroup != nullptr ? CurrentGroup->NavigationButton.data() : nullptr;
}

QString TDocumentSet::PicturesFolder() const {
  return ImagesFolder.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/images")
                                : ImagesFolder;
}

TSettings::TSettings(TDevice* owner, registers::TRegisterDataStore& store, TDocumentSet& set)
    : owner_(owner), store_(store), set_(set) {}

TSettings::~TSettings() {
  Groups.clear();
  settingsElement_ = pugi::xml_node();
}

void TSettings::LoadFromXml(const pugi::xml_node& settingsElement) {
  settingsElement_ = settingsElement;
  for (const pugi::xml_node& child : settingsElement.children("group")) {
    AddGroupFromXml(child);
  }
}

void TSettings::AddGroupFromXml(const pugi::xml_node& groupElement) {
  auto group = std::make_unique<TGroup>(this);
  if (!group->ReadName(groupElement)) {
    Groups.push_back(std::move(group));
    Groups.back()->LoadFromXml(groupElement);
    return;
  }
  // The R12 template: per controller a template group followed by its five
  // tenfold range groups.
  for (int controller = 1; controller <= kControllers; ++controller) {
    Groups.push_back(controller == 1 ? std::move(group) : std::make_unique<TGroup>(this));
    TGroup& templateGroup = *Groups.back();
    templateGroup.IsTemplate = true;
    templateGroup.LoadFromXml(groupElement);
    // Assigned after the load: the template's settings are built with
    // controller number 0.
    templateGroup.Name = "R12 " + std::to_string(controller);
    templateGroup.ControllerNumber = controller;
    templateGroup.Description = "Group Template";

    for (int range = 0; range < kRangeGroupsPerController; ++range) {
      const int first = kGroupsPerRange * range + 1;
      Groups.push_back(std::make_unique<TGroup>(this));
      TGroup& rangeGroup = *Groups.back();
      rangeGroup.IsTenfold = true;
      rangeGroup.ControllerNumber = controller;
      rangeGroup.FirstGroupNumber = first;
      rangeGroup.LoadFromXml(groupElement);
      rangeGroup.IsSubgroup = true;
      rangeGroup.Name =
          "Groups " + std::to_string(first) + " to " + std::to_string(first + kGroupsPerRange - 1);
      rangeGroup.Description = "Groups on R12 " + std::to_string(controller);
    }
  }
}

void TSettings::CountNewSetting() {
  if (settingCount_ >= kMaxSettings) {
    throw std::runtime_error("The device definitions hold more than " +
                             std::to_string(kMaxSettings) + " settings for one device type");
  }
  ++settingCount_;
}

void TSettings::CreateGroupButtons(ui::TScrollBox* column) {
  groupColumn_ = column;
  for (size_t i = 0; i < Groups.size(); ++i) {
    Groups[i]->CreateButton(column, static_cast<int>(i));
    if (i == 0 && !set_.NavigationBuilt) {
      set_.NavigationBuilt = true;
      Groups[0]->Show();
    }
  }
}

ui::TScrollBox* TSettings::GroupColumn() const {
  return groupColumn_.data();
}

void TSettings::DestroyGroupButtons() {
  for (auto& group : Groups) {
    group->DestroyButton();
  }
}

void TSettings::ShowFirstGroup() {
  if (!Groups.empty()) {
    Groups.front()->Show();
  }
}

void TSettings::SetEnabled(bool enabled) {
  for (auto& group : Groups) {
    group->SetEnabled(enabled);
  }
}

void TSettings::SetUnitsName(const std::string& name) {
  unitsName_ = name;
  // Only the page shown has controls to redraw; redrawing every setting here made loading
  // definitions with many units selectors quadratic.
  TGroup* shown = set_.CurrentGroup;
  if (shown != nullptr && shown->Document == this) {
    shown->RedisplayAll();
  }
}

void TSettings::RefreshPolledSetting() {
  if (TSetting* setting = lastPolled_.load()) {
    setting->Refresh();
  }
}

void TSettings::ReloadFromStore() {
  for (auto& group : Groups) {
    group->ReloadFromStore();
  }
}

void TSettings::RestoreFactoryDefaults() {
  for (auto& group : Groups) {
    group->RestoreDefaults();
  }
}

void TSettings::ExportCsv(const std::string& path) {
  std::vector<std::string> lines{"Setting Name,Value"};
  for (auto& group : Groups) {
    group->ExportCsv(lines);
  }
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  WriteFileAtomically(path, text);
}

void TSettings::SaveToFile(const std::string& path) {
  // A file is only written if it loads again: each value passes the check a load makes.
  for (auto& group : Groups) {
    for (auto& setting : group->Settings) {
      pugi::xml_document scratch;
      try {
        static_cast<void>(setting->CheckFileValue(setting->SaveToXml(scratch.append_child("g"))));
      } catch (const TUnstorableValue& refusal) {
        throw std::runtime_error(
            "Setting '" + refusal.Setting + "' holds " + refusal.Value +
            ", which its register cannot hold (it holds " + refusal.Allowed +
            "): a file with it would not load, so \"" + path +
            "\" was not written. A factory default of the device definitions may be at fault "
            "(dravonik-cli check lists them).");
      }
    }
  }
  pugi::xml_document document;
  pugi::xml_node declaration = document.append_child(pugi::node_declaration);
  declaration.append_attribute("version") = "1.0";
  pugi::xml_node device = document.append_child("settings").append_child("device");
  device.append_attribute("name") = owner_->Name.c_str();
  device.append_attribute("device_id") = owner_->DeviceId;
  for (auto& group : Groups) {
    group->SaveToXml(device);
  }
  std::ostringstream text;
  document.save(text, "  ", pugi::format_indent, pugi::encoding_utf8);
  WriteFileAtomically(path, text.str());
}

std::vector<std::string> TSettings::HeldValueNotices() const {
  std::vector<std::string> notices;
  for (const auto& group : Groups) {
    for (const auto& setting : group->Settings) {
      std::string notice = setting->HeldValueNotice();
      if (!notice.empty()) {
        notices.push_back(std::move(notice));
      }
    }
  }
  return notices;
}

std::vector<std::string> TSettings::LoadFromFile(const std::string& path) {
  pugi::xml_document document;
  LoadXmlDocument(document, path);
  const pugi::xml_node root = document.document_element();
  if (std::string_view(root.name()) != "settings") {
    throw std::runtime_error("Could not find root node 'settings' in XML document");
  }
  const pugi::xml_node device = FindChildElement(root, "device");
  if (!device) {
    throw std::runtime_error("Could not find node 'device' in XML document");
  }
  if (GetAttribute(device, "name").AsString() != owner_->Name) {
    throw std::runtime_error("Device name is not ' " + owner_->Name +
                             ".'\nThis settings file has been created for a different type of "
                             "device.");
  }
  if (GetAttribute(device, "device_id").AsInteger() != owner_->DeviceId) {
    throw std::runtime_error("Device id is not ' " + std::to_string(owner_->DeviceId) + "'");
  }
  // Each group finds its element as each setting does within it (see TElementIndex). The
  // whole file is checked before a value is taken, so a refused file changes nothing: a Write
  // after the error never sends a mix of old and new values.
  const TElementIndex elements(device, "group");
  TNameRanks ranks;
  std::vector<std::pair<TSetting*, pugi::xml_node>> found;
  std::vector<std::string> notices;
  for (auto& group : Groups) {
    const pugi::xml_node element = elements.Find(group->Id, group->Name, ranks.Next(group->Name));
    if (!element) {
      throw std::runtime_error("Could not find settings group '" + group->Name +
                               "' in the XML document");
    }
    group->FindValuesInXml(element, found, notices);
  }
  for (auto& [setting, element] : found) {
    setting->LoadFromXml(element);
  }
  return notices;
}

void TSettings::ClearPending() {
  for (auto& group : Groups) {
    group->ClearPending();
  }
}

void TSettings::RegisterRegisters() {
  for (auto& group : Groups) {
    group->RegisterInStore();
  }
}

TSetting* TSettings::NextPollSetting() {
  if (set_.PollGroup >= static_cast<int>(Groups.size())) {
    set_.PollGroup = 0;
    return nullptr;
  }
  TGroup& group = *Groups[static_cast<size_t>(set_.PollGroup)];
  if (set_.PollSetting >= group.Count()) {
    ++set_.PollGroup;
    set_.PollSetting = 0;
    return nullptr;
  }
  return group.Settings[static_cast<size_t>(set_.PollSetting++)].get();
}

bool TSettings::PollNext(int slaveAddress, modbus::MbusMasterFunctions* protocol) {
  if (set_.PollGroup == 0 && set_.PollSetting == 0) {
    roundStart_ = store_.Work().Count();
  }
  TSetting* setting = NextPollSetting();
  if (setting == nullptr) {
    // Back at the first group: every setting was polled once since the round began.
    if (set_.PollGroup == 0 && roundStart_) {
      if (*roundStart_ == store_.Work().Count()) {
        settledAt_ = *roundStart_;
      }
      roundStart_.reset();
    }
    return true;
  }
  lastPolled_ = setting;
  return setting->Poll(slaveAddress, protocol);
}

void TSettings::PollRound(int slaveAddress, modbus::MbusMasterFunctions* protocol) {
  do {
    PollNext(slaveAddress, protocol);
    RefreshPolledSetting();
  } while (set_.PollGroup != 0 || set_.PollSetting != 0);
}

TSetting& TSettings::FindSettingByName(const std::string& name) const {
  for (const auto& group : Groups) {
    if (TSetting* setting = group->FindSetting(name)) {
      return *setting;
    }
  }
  throw std::runtime_error("Could not find setting with name '" + name +
                           "'.\nThe most likely cause is a problem in the devices.xml file");
}

TSetting& TSettings::FindSettingForLimit(const std::string& name, const TSetting& from) const {
  if (from.Group().IsTemplate || from.Group().IsTenfold) {
    if (TSetting* sibling = from.Group().FindSettingInInstance(name, from)) {
      return *sibling;
    }
  }
  return FindSettingByName(name);
}

TRefusal TSettings::CheckExclusion(const TSetting& setting, int32_t value) const {
  if (value == setting.ExcludeAllowed()) {
    return std::nullopt;
  }
  bool free = true;
  for (const auto& group : Groups) {
    if (!group->IsValueFree(setting, value)) {
      free = false;
      break;
    }
  }
  if (free) {
    return std::nullopt;
  }
  std::string partners;
  for (const auto& group : Groups) {
    partners += group->ListExclusionPartners(setting);
  }
  return "This setting is mutually exclusive and can not share the same value\nas the following "
         "settings:\n\n" +
         partners + "\nPlease choose another value that is not being used.";
}

void TSettings::CopyToControllerGroups(TSetting& templateSetting, const TGroup& group) {
  TBusyCursor busy;
  for (auto& target : Groups) {
    if (target->IsTenfold && target->ControllerNumber == group.ControllerNumber &&
        !target->CopyFromTemplate(templateSetting)) {
      return;
    }
  }
}

void TSettings::CopyToAllControllers(TSetting& templateSetting) {
  TBusyCursor busy;
  for (auto& target : Groups) {
    if (target->IsTenfold && !target->CopyFromTemplate(templateSetting)) {
      return;
    }
  }
}

}  // namespace model
