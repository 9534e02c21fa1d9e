#pragma once

#include <QPointer>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "model/Setting.h"

class QLabel;

namespace ui {
class TImageButton;
class TScrollBox;
}  // namespace ui

namespace model {

class TSettings;

// One group of settings: a navigation button in the group column and a page
// of setting rows. The R12 template element yields template groups (one
// instance, not bound to registers) and tenfold groups (ten numbered
// instances of the template's settings).
class TGroup {
 public:
  explicit TGroup(TSettings* document);
  ~TGroup();
  TGroup(const TGroup&) = delete;
  TGroup& operator=(const TGroup&) = delete;

  // Reads `name`; true for the R12 template element, named "Group".
  bool ReadName(const pugi::xml_node& element);
  void LoadFromXml(const pugi::xml_node& element);
  void AddSettingFromXml(const pugi::xml_node& element, int32_t instanceIndex);
  void AddSetting(std::unique_ptr<TSetting> setting);

  void CreateButton(ui::TScrollBox* column, int index);
  void DestroyButton();
  void FocusButton();
  void Show();
  void BuildPage(ui::TScrollBox* pageArea);
  void ClosePage();

  void SetEnabled(bool enabled);
  void RedisplayAll();
  void RestoreDefaults();
  void ClearPending();
  int PendingCount();
  void RegisterInStore();
  void RefreshFromStore();
  void ReloadFromStore();
  void StoreAll();
  void SaveToXml(pugi::xml_node deviceElement);
  // Finds the element of each of the group's settings in the group's own element of a
  // settings file (see TElementIndex for how) and checks its value (TSetting::CheckFileValue),
  // taking nothing: appends each setting with its element to `found` and each notice to
  // `notices`. Throws the load's message when a setting has no element or a refused value.
  void FindValuesInXml(const pugi::xml_node& groupElement,
                       std::vector<std::pair<TSetting*, pugi::xml_node>>& found,
                       std::vector<std::string>& notices) const;
  void ExportCsv(std::vector<std::string>& lines);
  TSetting* FindSetting(const std::string& name) const;
  // The setting of that name within the numbered instance (between two
  // section labels) that holds `from`; null when there is none.
  TSetting* FindSettingInInstance(const std::string& name, const TSetting& from) const;
  bool IsValueFree(const TSetting& setting, int32_t candidate) const;
  std::string ListExclusionPartners(const TSetting& setting) const;
  bool CopyFromTemplate(TSetting& templateSetting);

  int32_t Count() const { return static_cast<int32_t>(Settings.size()); }

  std::string Name;
  std::string Description;
  bool IsSubgroup = false;
  bool IsTenfold = false;
  int32_t ControllerNumber = 0;
  int32_t FirstGroupNumber = 1;
  bool IsTemplate = false;
  TSettings* Document;
  int32_t Id = 0;
  // The `group` element of the definitions the group was built from (for an R12 group the
  // template element); null for a group not loaded from the definitions.
  pugi::xml_node Element;
  std::vector<std::unique_ptr<TSetting>> Settings;
  QPointer<ui::TImageButton> NavigationButton;
  QPointer<QLabel> TitleLabel;
  QPointer<QLabel> DescriptionLabel;
  QPointer<QLabel> EndLabel;

 private:
  std::unique_ptr<TSetting> CreateSettingOfKind(const std::string& kind, int32_t instanceIndex);
  void AddSectionLabel(const std::string& caption);
};

// The caption of a navigation button: the name padded with spaces until it
// measures at least 140 pixels in the font given.
QString PaddedCaption(const std::string& name, const class QFont& font);

}  // namespace model
