#pragma once

#include <QPointer>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "model/Refusal.h"
#include "ui/EventRelay.h"

class MbusMasterFunctions;
class QLabel;
class QLineEdit;
class QRect;
class QPushButton;
class QWidget;
class TRegisterDataStore;

namespace model {

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
// The transfer marks (a read or write waiting, a progress report or a redisplay due) are
// shared with the serial worker: they are private to this class and every accessor takes
// the register store's lock.
class TSetting {
 public:
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
  virtual void RequestWrite();
  virtual void RequestRead();
  virtual void ExportCsv(std::vector<std::string>& lines);
  virtual void RegisterInStore();
  virtual bool Poll(int slaveAddress, MbusMasterFunctions* protocol);
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
  TRegisterDataStore& Store() const;
  // The row's controls carry the setting's index in its group under this
  // property name.
  static constexpr const char* kTagProperty = "tag";

  int32_t Value = 0;
  int32_t Minimum = 0;
  int32_t Maximum = 0;
  int32_t Default = 0;
  int32_t RegisterSpan = 1;
  int32_t ExclusionGroup = -1;
  int32_t ExcludeAllowed = -1;
  std::string MinSettingName;
  std::string MaxSettingName;
  bool IsUnitsSelector = false;
  bool Changed = false;
  bool IsTemplate = false;
  int32_t IndexInGroup = 0;
  int32_t Reference = 0;
  int32_t RegisterType = kNoRegister;
  std::string Name;
  int32_t Id = 0;
  TGroup* Group;
  bool Enabled = true;
  int32_t InstanceIndex = 0;
  int32_t XOffset = 0;
  int32_t YOffset = 0;
  bool Bold = false;
  int32_t ValueOffset = 0;
  int16_t BitMask = 0;
  // The `setting` element of the definitions this setting was built from (the definitions
  // document outlives every setting); null for the section labels a group inserts.
  pugi::xml_node Definition;
  QPointer<QLabel> CaptionLabel;
  QPointer<QPushButton> CopyToGroupsButton;
  QPointer<QPushButton> CopyToR12sButton;

 protected:
  // Puts Value into the register image as StoreValue does, without asking
  // whether the setting stores at all (the copy operations use it).
  virtual void PutValueInStore();
  // Reads Value from the register image: the raw register (or its field)
  // less ValueOffset as a signed 16-bit number, or the coil. False when the
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
  // Kinds that read `min` and `max` check copies against them.
  bool HasLimits = false;
  // The registers one transfer of the setting moves: what its progress
  // report adds to the progress bar and each pending mark counts.
  const int32_t RegistersPerTransfer;

 private:
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
