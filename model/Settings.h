#pragma once

#include <QPointer>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "model/Refusal.h"
#include "registers/Registerdatastore.h"

namespace modbus {
class MbusMasterFunctions;
}  // namespace modbus

class QWidget;

namespace ui {
class TScrollBox;
}

namespace model {

class TDevice;
class TGroup;
class TSetting;

// What the settings documents of one definitions file share. TDevices owns it with them.
struct TDocumentSet {
  // The group whose page is shown, of whichever document; null when none is. GUI thread only.
  TGroup* CurrentGroup = nullptr;
  // Only the first navigation built shows its first page.
  bool NavigationBuilt = false;
  // Where the navigation buttons' pictures are read from; empty: the images folder beside
  // the program.
  QString ImagesFolder;
  // Where the idle poll stands in page order, kept across documents. The poll runs on the
  // GUI thread (the worker hands it over), so this does too.
  int PollGroup = 0;
  int PollSetting = 0;
  // The running ids of groups and settings, in the order the definitions load.
  int32_t NextGroupId = 0;
  int32_t NextSettingId = 0;

  // The navigation button of the group whose page is shown, or null when no page is shown
  // or its group has no button (after a disconnection).
  QWidget* ShownGroupButton() const;
  // The folder the pictures are read from.
  QString PicturesFolder() const;
};

// The settings document of one device type: its groups in navigation order,
// built once from the device's `settings` element, with the operations that
// act on all settings at once (enable, restore defaults, settings files, CSV,
// registration in the register store, idle polling) and the rules that span
// groups (lookup by name, exclusion groups, display units, template copies).
class TSettings {
 public:
  TSettings(TDevice* owner, registers::TRegisterDataStore& store, TDocumentSet& set);
  ~TSettings();
  TSettings(const TSettings&) = delete;
  TSettings& operator=(const TSettings&) = delete;

  void LoadFromXml(const pugi::xml_node& settingsElement);
  // One group, or the 30 groups of the R12 expansion for the template
  // element named "Group".
  void AddGroupFromXml(const pugi::xml_node& groupElement);

  void CreateGroupButtons(ui::TScrollBox* column);
  // The column the navigation buttons were last built in; null before the
  // first build or once that column is gone.
  ui::TScrollBox* GroupColumn() const;
  void DestroyGroupButtons();
  void ShowFirstGroup();
  void SetEnabled(bool enabled);
  void SetUnitsName(const std::string& name);
  void RefreshPolledSetting();
  // Every setting takes its value from the register image (after a read, so that a file
  // saved then holds what the device holds, not only the pages shown).
  void ReloadFromStore();

  void RestoreFactoryDefaults();
  void ExportCsv(const std::string& path);
  // Throws, writing nothing, when a value is one a settings file's load would refuse (a
  // factory default its register cannot hold).
  void SaveToFile(const std::string& path);
  // Takes the values of a settings file, or none when the file is refused (throws with the
  // reason). Returns one notice per value the definitions' limits or entries forbid, loaded
  // as it stands ("Group / Setting: value, outside its limits ..."); the caller shows them.
  [[nodiscard]] std::vector<std::string> LoadFromFile(const std::string& path);
  // The same notices for the values the settings hold now (after a read from a device):
  // each drop-down whose value none of its entries has, in page order.
  [[nodiscard]] std::vector<std::string> HeldValueNotices() const;

  void ClearPending();
  void RegisterRegisters();
  // One step of the idle poll: the next setting in page order takes what is marked for it
  // (GUI thread).
  bool PollNext(int slaveAddress, modbus::MbusMasterFunctions* protocol);
  // The idle poll's steps up to the end of the round (the first group again), each setting
  // refreshed after its step, so that one hand-over of the worker takes every mark.
  void PollRound(int slaveAddress, modbus::MbusMasterFunctions* protocol);
  // Whether the idle poll has nothing to do: a whole round of it passed while the store's
  // work signal stayed at `workCount` (no setting was marked meanwhile). Any thread.
  bool PollSettled(std::uint64_t workCount) const { return settledAt_.load() == workCount; }

  // Throws when no setting has the name.
  TSetting& FindSettingByName(const std::string& name) const;
  // The setting a `minsetting`/`maxsetting` name means for `from`: inside an
  // R12 group the one of the same numbered instance, otherwise (or when the
  // instance has none) the first of the document.
  TSetting& FindSettingForLimit(const std::string& name, const TSetting& from) const;
  // Why the setting cannot take the value: another setting of its exclusion group holds it
  // (naming them all), or nothing.
  TRefusal CheckExclusion(const TSetting& setting, int32_t value) const;
  void CopyToControllerGroups(TSetting& templateSetting, const TGroup& group);
  void CopyToAllControllers(TSetting& templateSetting);

  // Called for every setting added; refuses documents too large to hold.
  void CountNewSetting();

  TDevice* Owner() const { return owner_; }
  registers::TRegisterDataStore& Store() const { return store_; }
  TDocumentSet& Set() const { return set_; }
  const pugi::xml_node& SettingsElement() const { return settingsElement_; }
  const std::string& UnitsName() const { return unitsName_; }
  int SettingCount() const { return settingCount_; }

  std::vector<std::unique_ptr<TGroup>> Groups;
  // Where group pages are built; set by the main window before the
  // navigation is built. Null: pages are not built (offline commands).
  ui::TScrollBox* PageArea = nullptr;
  // Whether a page shown now may be edited: not while a device is read or written. The
  // main window sets it; offline work leaves it on.
  bool EditingEnabled = true;
  registers::TProgressEvent OnProgress;

  // At most this many settings in one document (a definitions file with a
  // runaway R12 template fails its load instead of exhausting the memory).
  static constexpr int kMaxSettings = 200000;

 private:
  TSetting* NextPollSetting();

  TDevice* owner_;
  registers::TRegisterDataStore& store_;
  TDocumentSet& set_;
  pugi::xml_node settingsElement_;
  std::string unitsName_;
  std::atomic<TSetting*> lastPolled_{nullptr};
  // The poll round under way began at this work count (GUI thread).
  std::optional<std::uint64_t> roundStart_;
  std::atomic<std::uint64_t> settledAt_{UINT64_MAX};
  QPointer<ui::TScrollBox> groupColumn_;
  int settingCount_ = 0;
};

}  // namespace model
