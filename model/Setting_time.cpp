#include "model/Setting_time.h"

#include <QCheckBox>
#include <QLineEdit>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <utility>

#include "model/DefinitionCheck.h"
#include "model/Group.h"
#include "model/Settings.h"
#include "model/Xmlutil.h"
#include "registers/Registerdatastore.h"
#include "ui/ErrorBox.h"
#include "ui/GuiThread.h"

namespace model {

namespace {

constexpr int kHoursLeft = 200;
constexpr int kMinutesLeft = 235;
constexpr int kClockEditWidth = 30;
constexpr int kClockEditHeight = 21;
constexpr int kEnableLeft = 270;
constexpr int kEnableMinWidth = 18;
constexpr int kEnableHeight = 17;
constexpr int kLastHour = 23;
constexpr int kLastMinute = 59;
// Each transfer of a time moves its two registers.
constexpr int kRegistersPerTime = 2;

bool IsValidTime(int32_t hours, int32_t minutes) {
  return hours >= 0 && hours <= kLastHour && minutes >= 0 && minutes <= kLastMinute;
}

// Whether a pair from the device, a settings file, the definitions' default
// or a copy means a switched-on time: anything above 23 hours or 59 minutes
// is off. The comparison is signed, so a negative part passes here and the
// store rules replace it.
bool ReadsAsOn(int16_t hours, int16_t minutes) {
  return hours <= kLastHour && minutes <= kLastMinute;
}

}  // namespace

TSettingTime::TSettingTime(TGroup* group, int32_t instanceIndex)
    : TSetting(group, instanceIndex, kRegistersPerTime) {}

void TSettingTime::LoadDefinition(const pugi::xml_node& element) {
  TSetting::LoadDefinition(element);
  CheckReferenceSpan(Reference(), kRegistersPerTime);
  SetDefault(GetAttribute(element, "default_hrs").AsInteger());
  DefaultMinutes = GetAttribute(element, "default_mins").AsInteger();
  ValueText = GetAttribute(element, "value_text").AsString();
  if (element.attribute("GreaterThan")) {
    // The followed time's hours register, as a reference without the
    // instance offset.
    const int64_t reference =
        static_cast<int64_t>(GetAttribute(element, "GreaterThan").AsInteger()) + 1;
    GreaterThanReference =
        reference <= std::numeric_limits<int32_t>::max() ? static_cast<int32_t>(reference) : -1;
  }
  if (element.attribute("NoEnableCheckbox")) {
    NoEnableCheckbox = StrToBool(GetAttribute(element, "NoEnableCheckbox").AsString());
  }
}

TEditBox& TSettingTime::EditOf(int which) {
  return which == kHoursBox ? HoursEdit : MinutesEdit;
}

void TSettingTime::CreateControls(QWidget* page, int index, int top) {
  TSetting::CreateControls(page, index, top);
  for (const int which : {kHoursBox, kMinutesBox}) {
    const int left = which == kHoursBox ? kHoursLeft : kMinutesLeft;
    EditOf(which).Create(
        page, index, QRect(left, top, kClockEditWidth, kClockEditHeight),
        {
            // The bare number, 99 for a time that is off.
            .EntryText = [this,
                          which] { return QString::number(which == kHoursBox ? Hours : Minutes); },
            .Check = [this, which](const std::string& text) { return CheckTimeText(which, text); },
            .Take = [this, which](const std::string& text) { TakeEntry(which, text); },
            .ShowValue = [this] { UpdateDisplay(true); },
        });
  }
  if (!NoEnableCheckbox) {
    auto* box = new QCheckBox(QStringLiteral("Enable"), page);
    box->hide();
    // Wide enough for its caption, which ends before the copy buttons.
    box->setGeometry(kEnableLeft, top, std::max(kEnableMinWidth, box->sizeHint().width()),
                     kEnableHeight);
    box->setProperty(kTagProperty, index);
    box->setChecked(TimeEnabled);
    box->setEnabled(Enabled());
    // Only a user's click counts; the display's own ticks do not.
    QObject::connect(box, &QCheckBox::clicked, &Relay(),
                     [this] { ui::RunGuarded([this] { EnableClicked(); }); });
    EnableBox = box;
  }
  CreateCopyButtons(page, index, kCopyButtonsLeft, top);
  UpdateDisplay(true);
  HoursEdit->show();
  MinutesEdit->show();
  if (EnableBox) {
    EnableBox->show();
  }
}

void TSettingTime::DestroyControls() {
  TSetting::DestroyControls();
  HoursEdit.Destroy();
  MinutesEdit.Destroy();
  delete EnableBox.data();
}

void TSettingTime::ApplyEditState() {
  for (TEditBox* edit : {&HoursEdit, &MinutesEdit}) {
    if (TimeEnabled) {
      edit->SetEnabled(Enabled());
    } else if (*edit) {
      (*edit)->setEnabled(false);
    }
  }
}

void TSettingTime::SetEnabled(bool enabled) {
  TSetting::SetEnabled(enabled);
  ApplyEditState();
  if (EnableBox) {
    EnableBox->setEnabled(enabled);
  }
}

void TSettingTime::UpdateDisplay(bool) {
  if (HoursEdit) {
    if (Hours < 0 || Hours > kLastHour) {
      HoursEdit->setText(QStringLiteral("-"));
      TimeEnabled = false;
    } else {
      HoursEdit->setText(QString::number(Hours));
    }
  }
  if (MinutesEdit) {
    if (Minutes < 0 || Minutes > kLastMinute) {
      MinutesEdit->setText(QStringLiteral("-"));
      TimeEnabled = false;
    } else {
      MinutesEdit->setText(QString::number(Minutes));
    }
  }
  if (EnableBox) {
    EnableBox->setChecked(TimeEnabled);
  }
  ApplyEditState();
}

void TSettingTime::RestoreDefault() {
  ChangeValue(Default());
  Hours = static_cast<int16_t>(Default());
  Minutes = static_cast<int16_t>(DefaultMinutes);
  // The factory state is the default time: a time switched off since is
  // switched on again, unless the default itself is off.
  TimeEnabled = ReadsAsOn(Hours, Minutes);
  StoreValue();
  UpdateDisplay(true);
}

pugi::xml_node TSettingTime::SaveToXml(pugi::xml_node groupElement) {
  pugi::xml_node element = TSetting::SaveToXml(groupElement);
  element.append_attribute("Hour") = Hours;
  element.append_attribute("Minute") = Minutes;
  return element;
}

void TSettingTime::ReadValueFromXml(const pugi::xml_node& settingElement) {
  Hours = static_cast<int16_t>(GetAttribute(settingElement, "Hour").AsInteger());
  Minutes = static_cast<int16_t>(GetAttribute(settingElement, "Minute").AsInteger());
  SetChanged(true);
  // A file is trusted no more than the device.
  TimeEnabled = ReadsAsOn(Hours, Minutes);
}

std::string TSettingTime::CheckFileValue(const pugi::xml_node& settingElement) const {
  // Each part is one register, read as a signed 16-bit number.
  for (const char* part : {"Hour", "Minute"}) {
    const std::string text = GetAttribute(settingElement, part).AsString();
    const int32_t value = StrToInt(text);
    if (value < std::numeric_limits<int16_t>::min() ||
        value > std::numeric_limits<int16_t>::max()) {
      RefuseFileValue(std::string(part) + " " + text,
                      "-32768 to 32767 (0 to 23 hours and 0 to 59 minutes, beyond them off)");
    }
  }
  return {};
}

void TSettingTime::ExportCsv(std::vector<std::string>& lines) {
  lines.push_back(Name() + "," + std::to_string(Hours) + " " + ValueText);
  lines.push_back(Name() + "," + std::to_string(Minutes) + " " + ValueText);
}

void TSettingTime::LoadValueFromStore() {
  auto lock = Store().Lock();
  if (!ReadPending()) {
    return;
  }
  int16_t words[kRegistersPerTime] = {};
  Store().GetHoldingRegisters(Reference(), words, kRegistersPerTime);
  Hours = words[0];
  Minutes = words[1];
  TimeEnabled = ReadsAsOn(Hours, Minutes);
  ApplyEditState();
  if (EnableBox) {
    EnableBox->setChecked(TimeEnabled);
  }
  FinishRead();
}

bool TSettingTime::CopyValueFrom(TSetting& source) {
  const auto* time = dynamic_cast<const TSettingTime*>(&source);
  if (time == nullptr) {
    throw std::runtime_error("CopyValuesFrom Exception - class is not of type TSettingTime");
  }
  if (time->Hours != Hours || time->Minutes != Minutes) {
    SetChanged(true);
  }
  Hours = time->Hours;
  Minutes = time->Minutes;
  SetValue(Hours);
  // The copy is switched on or off as its pair says and goes into the
  // register image, so that a write sends what a save would record.
  TimeEnabled = ReadsAsOn(Hours, Minutes);
  StoreValue();
  return true;
}

bool TSettingTime::ReadFollowedTime(int16_t& hours, int16_t& minutes) const {
  // A template's GreaterThan names no counterpart of its own instance.
  if (IsTemplate() || GreaterThanReference == -1) {
    return false;
  }
  const registers::TRegisterDataStore& store = Store();
  if (GreaterThanReference >= registers::TRegisterDataStore::kMaxReference ||
      !store.IsHoldingRegisterRegistered(GreaterThanReference) ||
      !store.IsHoldingRegisterRegistered(GreaterThanReference + 1)) {
    return false;
  }
  int16_t words[kRegistersPerTime] = {};
  store.GetHoldingRegisters(GreaterThanReference, words, kRegistersPerTime);
  hours = words[0];
  minutes = words[1];
  return true;
}

void TSettingTime::PutValueInStore() {
  const int16_t words[kRegistersPerTime] = {Hours, Minutes};
  Store().SetHoldingRegisters(Reference(), words, kRegistersPerTime);
}

void TSettingTime::StoreValue() {
  {
    // The followed time is read and this one written as one step.
    auto lock = Store().Lock();
    const bool valid = IsValidTime(Hours, Minutes);
    if (!valid) {
      SetChanged(true);
    }
    if (TimeEnabled) {
      int16_t followedHours = 0;
      int16_t followedMinutes = 0;
      if (!ReadFollowedTime(followedHours, followedMinutes)) {
        if (!valid) {
          Hours = 0;
          Minutes = 0;
        }
      } else if (!valid || followedHours == kOff) {
        SetChanged(true);
        Hours = followedHours;
        Minutes = followedMinutes;
      }
      if (!IsValidTime(Hours, Minutes)) {
        TimeEnabled = false;
      }
    }
    if (!TimeEnabled) {
      // The pair kept is the pair stored, so that a save records what a
      // write sends.
      Hours = kOff;
      Minutes = kOff;
      SetChanged(true);
    }
    // Template times are bound to no registers: their pair stays on the
    // page and goes to the instances only through the copy buttons.
    if (!IsTemplate() && !IsUnitsSelector()) {
      PutValueInStore();
    }
  }
  if (Changed() && ui::OnGuiThread()) {
    UpdateDisplay(false);
  }
}

TRefusal TSettingTime::CheckTimeText(int which, const std::string& text) const {
  int32_t number = 0;
  if (TRefusal refusal = ParseInteger(text, number)) {
    return refusal;
  }
  return CheckRange(number, 0, which == kHoursBox ? kLastHour : kLastMinute);
}

void TSettingTime::TakeEntry(int which, const std::string& text) {
  const auto number = static_cast<int16_t>(StrToInt(text));
  if (which == kHoursBox) {
    if (number != Hours) {
      SetChanged(true);
    }
    SetValue(number);
    Hours = number;
  } else {
    if (number != Minutes) {
      SetChanged(true);
    }
    Minutes = number;
  }
  if (Changed()) {
    StoreValue();
    // The times that follow this one apply their rules to the new value.
    Group().StoreAll();
  }
  UpdateDisplay(true);
}

void TSettingTime::EnableClicked() {
  if (!EnableBox || EnableBox->isChecked() == TimeEnabled) {
    return;
  }
  TimeEnabled = EnableBox->isChecked();
  ApplyEditState();
  StoreValue();
  UpdateDisplay(false);
  SetChanged(true);
  Group().StoreAll();
}

// A time is two registers, hours and minutes; a part above 23 hours or 59 minutes means off,
// a negative part is neither a time nor off.
void TSettingTime::CheckDefinition(TDefinitionCheck& check) const {
  for (const auto& [attribute, value] :
       {std::pair<const char*, std::int32_t>{"default_hrs", Default()},
        std::pair<const char*, std::int32_t>{"default_mins", DefaultMinutes}}) {
    if (value < INT16_MIN || value > INT16_MAX) {
      check.Add(Definition(), check.Subject(*this) + ": " + attribute + " " +
                                  std::to_string(value) + " is outside 16 bits");
      return;
    }
  }
  if (Default() < 0 || DefaultMinutes < 0) {
    check.Add(Definition(), check.Subject(*this) + ": default time " + std::to_string(Default()) +
                                ":" + std::to_string(DefaultMinutes) +
                                " is neither a time of day (0:00 to 23:59) nor off");
  }
}

namespace {

// "07:00"; a pair past 23 hours or 59 minutes is the device's "switched off".
std::string ClockText(int hours, int minutes, bool on) {
  if (!on || hours < 0 || hours > kLastHour || minutes < 0 || minutes > kLastMinute) {
    return "off";
  }
  char text[8];
  std::snprintf(text, sizeof text, "%02d:%02d", hours, minutes);
  return text;
}

}  // namespace

std::optional<TShownValue> TSettingTime::ShownValue() const {
  return TShownValue{ClockText(Hours, Minutes, TimeEnabled), "",
                     ClockText(Default(), DefaultMinutes, true)};
}

}  // namespace model
