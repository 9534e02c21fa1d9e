#include "model/Setting.h"

#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "model/Group.h"
#include "model/Settings.h"
#include "model/Xmlutil.h"
#include "registers/Registerdatastore.h"
#include "ui/ErrorBox.h"
#include "ui/MessageBoxes.h"

namespace model {

namespace {

constexpr int kCopyButtonWidth = 100;
constexpr int kCopyButtonHeight = 21;
constexpr int kCopyButtonSpacing = 105;
constexpr int kCaptionLeft = 40;
constexpr int64_t kLowestReference = 1;
constexpr int64_t kHighestReference = 65536;

int32_t RegisterTypeOf(const std::string& text) {
  if (text == "coil")
    return kCoil;
  if (text == "discrete_input")
    return kDiscreteInput;
  if (text == "holding_register")
    return kHoldingRegister;
  if (text == "input_register")
    return kInputRegister;
  throw std::runtime_error("Unknown value type : " + text);
}

}  // namespace

int32_t TSetting::Signed16(int64_t value) {
  return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint64_t>(value) & 0xFFFFu));
}

TSetting::TSetting(TGroup* group, int32_t instanceIndex, int32_t registersPerTransfer)
    : Group(group), InstanceIndex(instanceIndex), RegistersPerTransfer(registersPerTransfer) {}

TSetting::~TSetting() = default;

ui::TEventRelay& TSetting::Relay() {
  if (!relay_) {
    relay_ = std::make_unique<ui::TEventRelay>();
  }
  return *relay_;
}

TSettings& TSetting::Document() const {
  return *Group->Document;
}

TRegisterDataStore& TSetting::Store() const {
  return Document().Store();
}

void TSetting::LoadDefinition(const pugi::xml_node& element) {
  // The settings of a template group stand for every instance and are bound to no register.
  IsTemplate = Group->IsTemplate;
  Id = Document().Set().NextSettingId++;
  Definition = element;
  Name = GetAttribute(element, "name").AsString();
  int64_t reference = static_cast<int64_t>(GetAttribute(element, "register").AsInteger()) + 1;
  RegisterType = RegisterTypeOf(GetAttribute(element, "type").AsString());
  if (element.attribute("units")) {
    IsUnitsSelector = true;
  }
  if (const auto attribute = element.attribute("exclusiongroup")) {
    ExclusionGroup = StrToInt(attribute.value());
  }
  if (const auto attribute = element.attribute("excludeallowed")) {
    ExcludeAllowed = StrToInt(attribute.value());
  }
  if (const auto attribute = element.attribute("minsetting")) {
    MinSettingName = attribute.value();
  }
  if (const auto attribute = element.attribute("maxsetting")) {
    MaxSettingName = attribute.value();
  }
  if (element.attribute("bold")) {
    Bold = StrToBool(GetAttribute(element, "bold").AsString());
  }
  if (element.attribute("offset")) {
    reference += static_cast<int64_t>(GetAttribute(element, "offset").AsInteger()) * InstanceIndex;
  }
  if (element.attribute("value_offset")) {
    ValueOffset = GetAttribute(element, "value_offset").AsInteger();
  }
  if (element.attribute("bitmask")) {
    BitMask = static_cast<int16_t>(GetAttribute(element, "bitmask").AsInteger());
  }
  CheckReferenceSpan(reference, RegisterSpan);
  Reference = static_cast<int32_t>(reference);
}

void TSetting::CheckReferenceSpan(int64_t reference, int32_t span) const {
  const int64_t last = reference + std::max(span, 1) - 1;
  const bool fits = IsTemplate ? (reference >= std::numeric_limits<int32_t>::min() &&
                                  last <= std::numeric_limits<int32_t>::max())
                               : (reference >= kLowestReference && last <= kHighestReference);
  if (!fits) {
    // The reference named is the one that lies outside: the first when the setting starts
    // too low, else the last of its registers.
    const int64_t outside = reference < kLowestReference ? reference : last;
    throw std::runtime_error("Setting '" + Name + "' refers to register reference " +
                             std::to_string(outside) + ", outside 1 to 65536");
  }
}

void TSetting::CreateControls(QWidget* page, int index, int top) {
  CreateLabelAt(page, index, top, 0, 0);
  if (Bold) {
    QFont font = CaptionLabel->font();
    font.setBold(true);
    CaptionLabel->setFont(font);
    CaptionLabel->adjustSize();
  }
}

void TSetting::CreateLabelAt(QWidget* page, int index, int top, int xOffset, int yOffset) {
  auto* label = new QLabel(page);
  label->hide();
  label->setText(QString::fromStdString(Name));
  label->move(kCaptionLeft + xOffset, top + yOffset);
  label->setProperty(kTagProperty, index);
  label->adjustSize();
  label->show();
  CaptionLabel = label;
}

void TSetting::DestroyControls() {
  delete CaptionLabel.data();
  delete CopyToGroupsButton.data();
  delete CopyToR12sButton.data();
}

void TSetting::CreateCopyButtons(QWidget* page, int index, int left, int top) {
  if (!IsTemplate) {
    return;
  }
  auto makeButton = [&](const char* caption, int x, void (TSetting::*handler)()) {
    auto* button = new QPushButton(QString::fromUtf8(caption), page);
    button->setGeometry(x, top, kCopyButtonWidth, kCopyButtonHeight);
    button->setProperty(kTagProperty, index);
    button->setEnabled(Enabled);
    QObject::connect(button, &QPushButton::clicked, &Relay(),
                     [this, handler] { ui::RunGuarded([this, handler] { (this->*handler)(); }); });
    button->show();
    return button;
  };
  CopyToGroupsButton = makeButton("Copy to all groups", left, &TSetting::CopyToAllGroupsClick);
  CopyToR12sButton =
      makeButton("Copy to all R12s", left + kCopyButtonSpacing, &TSetting::CopyToAllR12sClick);
}

void TSetting::SetEnabled(bool enabled) {
  Enabled = enabled;
  // The copy buttons follow the row, so that nothing is copied while the
  // settings are locked (during a transfer or after a disconnection).
  for (QPushButton* button : {CopyToGroupsButton.data(), CopyToR12sButton.data()}) {
    if (button != nullptr) {
      button->setEnabled(enabled);
    }
  }
}

void TSetting::UpdateDisplay(bool) {}

void TSetting::RestoreDefault() {
  Value = Default;
  Changed = true;
  StoreValue();
  UpdateDisplay(true);
}

pugi::xml_node TSetting::SaveToXml(pugi::xml_node groupElement) {
  pugi::xml_node element = groupElement.append_child("setting");
  element.append_attribute("name") = Name.c_str();
  element.append_attribute("ID") = Id;
  element.append_attribute("value") = Value;
  element.append_attribute("register") = static_cast<long long>(Reference) - 1;
  return element;
}

void TSetting::LoadFromXml(const pugi::xml_node& settingElement) {
  ReadValueFromXml(settingElement);
  StoreValue();
  UpdateDisplay(true);
}

std::string TSetting::CheckFileValue(const pugi::xml_node& settingElement) const {
  const std::string text = GetAttribute(settingElement, "value").AsString();
  const int32_t value = StrToInt(text);
  if (RegisterType == kCoil || RegisterType == kHoldingRegister) {
    int32_t lowest = 0;
    int32_t highest = 0;
    StorableRange(lowest, highest);
    if (value < lowest || value > highest) {
      RefuseFileValue(text, std::to_string(lowest) + " to " + std::to_string(highest));
    }
  }
  if (HasLimits && !WithinLimits(value)) {
    return FullName() + ": " + std::to_string(value) + ", outside its limits " +
           std::to_string(Minimum) + " to " + std::to_string(Maximum);
  }
  return {};
}

std::string TSetting::FullName() const {
  return Group->Name + " / " + Name;
}

void TSetting::RefuseFileValue(const std::string& value, const std::string& allowed) const {
  throw std::runtime_error("The settings file gives setting '" + FullName() + "' the value " +
                           value + ", which it cannot hold: it holds " + allowed + ".");
}

void TSetting::StorableRange(int32_t& lowest, int32_t& highest) const {
  if (RegisterType == kCoil) {
    lowest = 0;
    highest = 1;
    return;
  }
  // A register (or its field) of w bits takes any w-bit pattern, written as a signed or as an
  // unsigned number: 49232 and -16304 are one word. The value is the pattern less the offset.
  const int width = BitMask == 0 ? 16 : std::popcount(static_cast<uint16_t>(BitMask));
  const int64_t patternLowest = -(int64_t{1} << (width - 1));
  const int64_t patternHighest = (int64_t{1} << width) - 1;
  constexpr int64_t kLowest = std::numeric_limits<int32_t>::min();
  constexpr int64_t kHighest = std::numeric_limits<int32_t>::max();
  lowest =
      static_cast<int32_t>(std::clamp<int64_t>(patternLowest - ValueOffset, kLowest, kHighest));
  highest =
      static_cast<int32_t>(std::clamp<int64_t>(patternHighest - ValueOffset, kLowest, kHighest));
}

bool TSetting::WithinLimits(int32_t value) const {
  if (value >= Minimum && value <= Maximum) {
    return true;
  }
  // A whole register read from the device is signed, while its limits may be written unsigned.
  if (RegisterType != kHoldingRegister || BitMask != 0) {
    return false;
  }
  for (const int64_t word : {int64_t{value} + 65536, int64_t{value} - 65536}) {
    if (word >= Minimum && word <= Maximum) {
      return true;
    }
  }
  return false;
}

void TSetting::RequestWrite() {
  if (IsTemplate) {
    return;
  }
  auto lock = Store().Lock();
  marks_.ProgressDue = false;
  marks_.WritePending = true;
}

void TSetting::RequestRead() {
  if (!IsTemplate) {
    MarkReadPending();
  }
}

void TSetting::ExportCsv(std::vector<std::string>& lines) {
  lines.push_back(Name + "," + std::to_string(Value));
}

void TSetting::RegisterInStore() {
  if (IsTemplate) {
    return;
  }
  if (RegisterType == kCoil) {
    Store().InsertCoil(Reference);
  } else if (RegisterType == kHoldingRegister) {
    Store().InsertHoldingRegister(Reference);
  }
}

bool TSetting::Poll(int, MbusMasterFunctions*) {
  auto lock = Store().Lock();
  marks_.ProgressDue = marks_.ReadPending || marks_.WritePending;
  marks_.Error = false;
  marks_.RedisplayDue = false;
  if (marks_.WritePending) {
    StoreValue();
    marks_.ProgressText = "Writing setting " + Name + "...";
    marks_.WritePending = false;
    Changed = false;
  }
  LoadValueFromStore();
  return true;
}

bool TSetting::ReadRegisterValue(int32_t& value) const {
  TRegisterDataStore& store = Store();
  if (RegisterType == kCoil) {
    value = store.GetCoil(Reference) ? 1 : 0;
    return true;
  }
  if (RegisterType != kHoldingRegister) {
    return false;
  }
  int16_t raw = 0;
  if (BitMask == 0) {
    store.GetHoldingRegisters(Reference, &raw, 1);
  } else {
    store.GetHoldingRegisterBits(Reference, BitMask, raw);
  }
  value = Signed16(static_cast<int64_t>(raw) - ValueOffset);
  return true;
}

void TSetting::FinishRead(bool describe) {
  auto lock = Store().Lock();
  if (describe) {
    marks_.ProgressText = "Reading setting " + Name + "...";
  }
  marks_.RedisplayDue = true;
  marks_.ReadPending = false;
  Changed = false;
}

void TSetting::MarkReadPending() {
  auto lock = Store().Lock();
  marks_.ProgressDue = false;
  marks_.ReadPending = true;
}

bool TSetting::RedisplayDue() const {
  auto lock = Store().Lock();
  return marks_.RedisplayDue;
}

bool TSetting::WritePending() const {
  auto lock = Store().Lock();
  return marks_.WritePending;
}

bool TSetting::ReadPending() const {
  auto lock = Store().Lock();
  return marks_.ReadPending;
}

void TSetting::LoadValueFromStore() {
  auto lock = Store().Lock();
  if (!marks_.ReadPending) {
    return;
  }
  int32_t value = 0;
  // Section labels, discrete inputs and input registers have nothing in the
  // store: their value stays as it is.
  if (ReadRegisterValue(value)) {
    Value = value;
  }
  FinishRead();
}

void TSetting::Refresh() {
  bool progressDue = false;
  bool redisplayDue = false;
  bool failed = false;
  std::string text;
  {
    auto lock = Store().Lock();
    progressDue = marks_.ProgressDue;
    redisplayDue = marks_.RedisplayDue;
    failed = marks_.Error;
    text = marks_.ProgressText;
    marks_.ProgressDue = false;
    marks_.RedisplayDue = false;
  }
  if (progressDue && Document().OnProgress) {
    Document().OnProgress(this, text, failed, RegistersPerTransfer);
  }
  if (redisplayDue) {
    UpdateDisplay(true);
  }
}

int TSetting::PendingCount() {
  auto lock = Store().Lock();
  return (marks_.ReadPending ? RegistersPerTransfer : 0) +
         (marks_.WritePending ? RegistersPerTransfer : 0);
}

double TSetting::ToDisplayValue(int32_t raw) {
  return raw;
}

bool TSetting::CopyValueFrom(TSetting& source) {
  if (ShowRefusal(CheckRelativeLimits(source.Value))) {
    return false;
  }
  if (HasLimits && ShowRefusal(CheckLimits(source.Value))) {
    return false;
  }
  Value = source.Value;
  Changed = true;
  PutValueInStore();
  return true;
}

void TSetting::StoreValue() {
  if (IsUnitsSelector || IsTemplate) {
    return;
  }
  PutValueInStore();
}

void TSetting::PutValueInStore() {
  TRegisterDataStore& store = Store();
  if (RegisterType == kCoil) {
    store.SetCoil(Reference, Value != 0);
  } else if (RegisterType == kHoldingRegister) {
    const auto word = static_cast<int16_t>(
        static_cast<uint16_t>((static_cast<int64_t>(Value) + ValueOffset) & 0xFFFF));
    if (BitMask == 0) {
      store.SetHoldingRegister(Reference, word);
    } else {
      store.SetHoldingRegisterBits(Reference, word, BitMask);
    }
  }
}

void TSetting::ReadValueFromXml(const pugi::xml_node& settingElement) {
  Value = GetAttribute(settingElement, "value").AsInteger();
  Changed = true;
}

void TSetting::ClearPending() {
  auto lock = Store().Lock();
  marks_.ReadPending = false;
  marks_.WritePending = false;
}

TRefusal TSetting::CheckRelativeLimits(int32_t candidate) {
  TSetting* lower =
      MinSettingName.empty() ? nullptr : &Document().FindSettingForLimit(MinSettingName, *this);
  TSetting* upper =
      MaxSettingName.empty() ? nullptr : &Document().FindSettingForLimit(MaxSettingName, *this);
  // Compared in display terms, at single precision.
  const float value = static_cast<float>(ToDisplayValue(candidate));
  const bool belowLower =
      lower != nullptr && value < static_cast<float>(lower->ToDisplayValue(lower->Value));
  const bool aboveUpper =
      upper != nullptr && value > static_cast<float>(upper->ToDisplayValue(upper->Value));
  if (lower != nullptr && upper != nullptr && (belowLower || aboveUpper)) {
    return "Setting '" + Name + "' must be greater than setting '" + lower->Name +
           "' and less than setting '" + upper->Name + "'";
  }
  if (belowLower) {
    return "Setting '" + Name + "' must be greater than setting '" + lower->Name + "'";
  }
  if (aboveUpper) {
    return "Setting '" + Name + "' must be less than setting '" + upper->Name + "'";
  }
  return std::nullopt;
}

TRefusal TSetting::CheckLimits(int32_t candidate) const {
  return CheckRange(candidate, Minimum, Maximum);
}

void TSetting::CopyToAllGroupsClick() {
  try {
    Document().CopyToControllerGroups(*this, *Group);
  } catch (const std::exception& error) {
    ui::MessageBoxes().Show(ui::TBoxIcon::None, ui::kApplicationTitle,
                            std::string("Copy to all groups exception - ") + error.what(),
                            ui::TBoxButtons::Ok);
  }
}

void TSetting::CopyToAllR12sClick() {
  try {
    Document().CopyToAllControllers(*this);
  } catch (const std::exception& error) {
    ui::MessageBoxes().Show(ui::TBoxIcon::None, ui::kApplicationTitle,
                            std::string("Copy to all R12's exception - ") + error.what(),
                            ui::TBoxButtons::Ok);
  }
}

}  // namespace model
