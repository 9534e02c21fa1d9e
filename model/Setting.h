#pragma once

#include <QPointer>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "model/Refusal.h"
#include "ui/EventRelay.h"

namespace modbus {
class MbusMasterFunctions;
}  // namespace modbus
class QLabel;
class QLineEdit;
class QRect;
class QPushButton;
class QWidget;
namespace registers {
class TRegisterDataStore;
}  // namespace registers

namespace model {

class TDefinitionCheck;

class TGroup;
class TSettings;

// Register types of the definitions' `type` attribute.
enum TRegisterType : int32_t {
  kNoRegister = 0,
  kCoil = 1,
  kDiscreteInput = 2,
  kHoldingRegister = 3,
  kInputRegister = 4,
};

// One configurable value of a device: created from a `setting` element of
// the definitions, bound to one register of the register store, shown as one
// row of controls on its group's page, written to settings files and CSV.
// Every kind of setting derives from it.
//
// Threads: a settings document and its settings belong to the thread that built them (the
// GUI thread in the program, the main thread in dravonik-cli), and every accessor below is
// for that thread alone, the transfer marks (a read or write waiting, a progress report or a
// redisplay due) included: the serial worker never touches a setting, and hands the steps
// that do (the collect before a read, the idle poll, the refresh) to the GUI thread. What
// the worker shares with the settings is the register store. A setting changes its marks
// and its registers under the store's lock (Store().Lock()), so that a block the worker
// gathers or stores meanwhile never holds half of a change (one register of a time, say).
//
// The definition (name, register, limits, default, layout) is set while the definitions
// load, by LoadDefinition and the kinds' overrides of it, and read-only afterwards. The value
// and its changed mark are what edits, reads from the register store and settings files
// change.
// A value a setting's register cannot hold, as a settings file gives it: the message names
// the setting, the value and what the register holds; the parts are kept for callers that
// say it another way.
class TUnstorableValue : public std::runtime_error {
 public:
  TUnstorableValue(const std::string& setting, const std::string& value,
                   const std::string& allowed);
  std::string Setting;
  std::string Value;
  std::string Allowed;
};

// A value as its setting's page shows it, for the handover report and the settings table:
// the value, its unit apart, and the factory default shown the same way.
struct TShownValue {
  std::string Value;
  std::string Unit;
  std::string Default;  // empty for a kind without one (a name set on the device, a date)
  bool HasDefault = true;
};

class TSetting {
 public:
  // Only the group that holds a setting makes this key: it numbers its settings.
  class TGroupKey {
    friend class TGroup;
    TGroupKey() = default;
  };

  // The kinds whose value lies in more than one register say how many one transfer moves.
  TSetting(TGroup* group, int32_t instanceIndex, int32_t registersPerTransfer = 1);
  virtual ~TSetting();
  TSetting(const TSetting&) = delete;
  TSetting& operator=(const TSetting&) = delete;

  // The operations every kind may override, in their fixed order.
  virtual void LoadDefinition(const pugi::xml_node& element);
  virtual void CreateControls(QWidget* page, int index, int top);
  virtual void CreateLabelAt(QWidget* page, int index, int top, int xOffset, int yOffset);
  virtual void DestroyControls();
  virtual void CreateCopyButtons(QWidget* page, int index, int left, int top);
  virtual void SetEnabled(bool enabled);
  virtual void UpdateDisplay(bool decorated);
  virtual void RestoreDefault();
  virtual pugi::xml_node SaveToXml(pugi::xml_node groupElement);
  // Takes the value of the setting's own element of a settings file.
  virtual void LoadFromXml(const pugi::xml_node& settingElement);
  // Looks at the value the setting's element of a settings file carries before anything of
  // the file is taken. A value that cannot be stored as it stands throws std::runtime_error
  // naming the setting, the value and what its register holds. A value the register holds
  // but the definitions' limits or entries forbid comes back as a notice naming the setting,
  // the value and its limits: a device can report such a value and this tool saves it, so
  // the file still loads. Nothing wrong gives an empty text.
  virtual std::string CheckFileValue(const pugi::xml_node& settingElement) const;
  // The same kind of notice for the value the setting holds (after a read): a drop-down's
  // value that none of its entries has. Empty when the value is one the definitions know.
  virtual std::string HeldValueNotice() const;
  // The definitions check's rules of the setting's kind: what in its definition is wrong
  // or will not do what its writer meant (limits, default, entries), told to the check.
  // The base has none.
  virtual void CheckDefinition(TDefinitionCheck& check) const;
  // The value as the setting's page shows it; nothing for a kind with no value of its own
  // to hand over (a button, a caption-only label). The base shows the register's number.
  virtual std::optional<TShownValue> ShownValue() const;
  virtual void RequestWrite();
  virtual void RequestRead();
  virtual void ExportCsv(std::vector<std::string>& lines);
  virtual void RegisterInStore();
  virtual bool Poll(int slaveAddress, modbus::MbusMasterFunctions* protocol);
  virtual void LoadValueFromStore();
  virtual void Refresh();
  virtual int PendingCount();
  virtual double ToDisplayValue(int32_t raw);
  virtual bool CopyValueFrom(TSetting& source);
  virtual void StoreValue();
  virtual void ReadValueFromXml(const pugi::xml_node& settingElement);

  void ClearPending();
  // Whether a write or a read waits for this setting.
  bool WritePending() const;
  bool ReadPending() const;
  // Why the value cannot be taken: below the setting named by `minsetting` or above the one
  // named by `maxsetting` (compared as shown), or outside `min`..`max`.
  TRefusal CheckRelativeLimits(int32_t candidate);
  TRefusal CheckLimits(int32_t candidate) const;
  void CopyToAllGroupsClick();
  void CopyToAllR12sClick();

  TSettings& Document() const;
  registers::TRegisterDataStore& Store() const;
  // The row's controls carry the setting's index in its group under this
  // property name.
  static constexpr const char* kTagProperty = "tag";

  // The value as the register holds it (less the value offset), or as the kind keeps it.
  int32_t Value() const { return value_; }
  // Sets the value alone; whether it differs from the device's stays as it was.
  void SetValue(int32_t value) { value_ = value; }
  // Whether the value was changed here (edited, restored, copied, loaded from a file) since
  // the device last gave or took it.
  bool Changed() const { return changed_; }
  void SetChanged(bool changed) { changed_ = changed; }

  const std::string& Name() const { return name_; }
  // The running number of the setting in the order the definitions load; 0 for a section
  // label.
  int32_t Id() const { return id_; }
  TGroup& Group() const { return *group_; }
  // The position of the setting in its group.
  int32_t IndexInGroup() const { return indexInGroup_; }
  void SetIndexInGroup(int32_t index, TGroupKey) { indexInGroup_ = index; }
  // What the definitions' `offset` is multiplied by before it is added to the register: in
  // the R12 groups, group n of R12 c counts 50 (c - 1) + n - 1 (the template -50); 0 elsewhere.
  int32_t InstanceIndex() const { return instanceIndex_; }
  // Built from a setting of an R12 template group: bound to no register.
  bool IsTemplate() const { return isTemplate_; }
  // The first register's reference (the definitions' `register` plus one, plus the
  // instance's offset).
  int32_t Reference() const { return reference_; }
  int32_t RegisterType() const { return registerType_; }
  // How many registers the value lies in (a name's `NumOfRegisters`).
  int32_t RegisterSpan() const { return registerSpan_; }
  // How many consecutive holding registers one transfer of the value moves.
  int32_t RegistersPerTransfer() const { return registersPerTransfer_; }
  // The bits of the register the value occupies; 0 for the whole register.
  int16_t BitMask() const { return bitMask_; }
  // Added to the value on its way into the register, taken off on its way out.
  int32_t ValueOffset() const { return valueOffset_; }
  int32_t Minimum() const { return minimum_; }
  int32_t Maximum() const { return maximum_; }
  int32_t Default() const { return default_; }
  // Settings of one exclusion group must not share a value; -1 for none.
  int32_t ExclusionGroup() const { return exclusionGroup_; }
  // The one value settings of an exclusion group may share; -1 for none.
  int32_t ExcludeAllowed() const { return excludeAllowed_; }
  // The drop-down that chooses the document's display units.
  bool IsUnitsSelector() const { return isUnitsSelector_; }
  // How far the row is moved from its usual place.
  int32_t XOffset() const { return xOffset_; }
  int32_t YOffset() const { return yOffset_; }
  // The `setting` element of the definitions this setting was built from (the definitions
  // document outlives every setting); null for the section labels a group inserts.
  pugi::xml_node Definition() const { return definition_; }
  // Whether the row may be edited now.
  bool Enabled() const { return enabled_; }

  // The row's caption and a template's copy buttons while the page is shown; null otherwise.
  QLabel* CaptionLabel() const;
  QPushButton* CopyToGroupsButton() const;
  QPushButton* CopyToR12sButton() const;

 protected:
  // Where a row's copy buttons start on the page, after the widest of the kinds' controls.
  static constexpr int kCopyButtonsLeft = 350;

  // Sets the value and marks it changed: a value the device does not hold yet.
  void ChangeValue(int32_t value) {
    value_ = value;
    changed_ = true;
  }
  // The definition's parts that only some kinds read, set by their LoadDefinition. A kind
  // with limits checks copies and settings files' values against them.
  void SetLimits(int32_t minimum, int32_t maximum);
  void SetDefault(int32_t value) { default_ = value; }
  void SetRegisterSpan(int32_t span) { registerSpan_ = span; }
  void SetRowOffset(int32_t x, int32_t y);
  // A caption of the setting's own (the section labels, built without a definition).
  void SetName(const std::string& name) { name_ = name; }

  // Puts the value into the register image as StoreValue does, without asking
  // whether the setting stores at all (the copy operations use it).
  virtual void PutValueInStore();
  // Reads the value from the register image: the raw register (or its field)
  // less the value offset as a signed 16-bit number, or the coil. False when the
  // store holds nothing for this kind of register.
  bool ReadRegisterValue(int32_t& value) const;
  // Fails the definitions load when the registers this setting spans lie
  // outside the references a device can have.
  void CheckReferenceSpan(int64_t reference, int32_t span) const;
  // A read of the value is wanted; a progress report not yet shown is dropped.
  void MarkReadPending();
  // Marks served by LoadValueFromStore after a value was taken: the read is done, the row
  // due for a redisplay and, when `describe`, the progress text says what was read.
  void FinishRead(bool describe = true);
  // Whether the next refresh redraws the row.
  bool RedisplayDue() const;
  // The group's and the setting's names as a user finds them: "Group / Setting".
  std::string FullName() const;
  // Throws the refusal of a settings file's value: `value` as the file has it, `allowed` the
  // values the register holds.
  [[noreturn]] void RefuseFileValue(const std::string& value, const std::string& allowed) const;
  // The values that StoreValue puts into the register (or its bit field) as they stand, once
  // the value offset is applied.
  void StorableRange(int32_t& lowest, int32_t& highest) const;
  // Whether the value lies within `min`..`max`, a whole register's word read either as
  // signed or as unsigned.
  bool WithinLimits(int32_t value) const;
  // The value modulo 2^16 as a signed 16-bit number: a register word as the
  // settings read it.
  static int32_t Signed16(int64_t value);
  // The receiver of the row's signals and events, made when first needed
  // (settings that are never shown cost no QObject).
  ui::TEventRelay& Relay();

 private:
  int32_t value_ = 0;
  bool changed_ = false;

  TGroup* const group_;
  const int32_t instanceIndex_;
  // The registers one transfer of the setting moves: what its progress
  // report adds to the progress bar and each pending mark counts.
  const int32_t registersPerTransfer_;
  int32_t indexInGroup_ = 0;
  std::string name_;
  int32_t id_ = 0;
  pugi::xml_node definition_;
  bool isTemplate_ = false;
  int32_t reference_ = 0;
  int32_t registerType_ = kNoRegister;
  int32_t registerSpan_ = 1;
  int16_t bitMask_ = 0;
  int32_t valueOffset_ = 0;
  bool hasLimits_ = false;
  int32_t minimum_ = 0;
  int32_t maximum_ = 0;
  int32_t default_ = 0;
  int32_t exclusionGroup_ = -1;
  int32_t excludeAllowed_ = -1;
  // The settings named by `minsetting` and `maxsetting`; empty for none.
  std::string minSettingName_;
  std::string maxSettingName_;
  bool isUnitsSelector_ = false;
  bool bold_ = false;
  int32_t xOffset_ = 0;
  int32_t yOffset_ = 0;
  bool enabled_ = true;

  QPointer<QLabel> captionLabel_;
  QPointer<QPushButton> copyToGroupsButton_;
  QPointer<QPushButton> copyToR12sButton_;

  // Under the store's lock.
  struct TTransferMarks {
    bool WritePending = false;
    bool ReadPending = false;
    bool ProgressDue = false;
    bool Error = false;
    bool RedisplayDue = false;
    std::string ProgressText;
  };
  TTransferMarks marks_;
  std::unique_ptr<ui::TEventRelay> relay_;
};

}  // namespace model
