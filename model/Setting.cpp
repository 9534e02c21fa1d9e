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
    : group_(group), instanceIndex_(instanceIndex), registersPerTransfer_(registersPerTransfer) {}

TSetting::~TSetting() = default;

ui::TEventRelay& TSetting::Relay() {
  if (!relay_) {
    relay_ = std::make_unique<ui::TEventRelay>();
  }
  return *relay_;
}

TSettings& TSetting::Document() const {
  return *group_->Document;
}

registers::TRegisterDataStore& TSetting::Store() const {
  return Document().Store();
}

void TSetting::LoadDefinition(const pugi::xml_node& element) {
  // The settings of a template group stand for every instance and are bound to no register.
  isTemplate_ = group_->IsTemplate;
  id_ = Document().Set().NextSettingId++;
  definition_ = element;
  name_ = GetAttribute(element, "name").AsString();
  int64_t reference = static_cast<int64_t>(GetAttribute(element, "register").AsInteger()) + 1;
  registerType_ = RegisterTypeOf(GetAttribute(element, "type").AsString());
  if (element.attribute("units")) {
    isUnitsSelector_ = true;
  }
  if (const auto attribute = element.attribute("exclusiongroup")) {
    exclusionGroup_ = StrToInt(attribute.value());
  }
  if (const auto attribute = element.attribute("excludeallowed")) {
    excludeAllowed_ = StrToInt(attribute.value());
  }
  if (const auto attribute = element.attribute("minsetting")) {
    minSettingName_ = attribute.value();
  }
  if (const auto attribute = element.attribute("maxsetting")) {
    maxSettingName_ = attribute.value();
  }
  if (element.attribute("bold")) {
    bold_ = StrToBool(GetAttribute(element, "bold").AsString());
  }
  if (element.attribute("offset")) {
    reference += static_cast<int64_t>(GetAttribute(element, "offset").AsInteger()) * instanceIndex_;
  }
  if (element.attribute("value_offset")) {
    valueOffset_ = GetAttribute(element, "value_offset").AsInteger();
  }
  if (element.attribute("bitmask")) {
    bitMask_ = static_cast<int16_t>(GetAttribute(element, "bitmask").AsInteger());
  }
  CheckReferenceSpan(reference, registerSpan_);
  reference_ = static_cast<int32_t>(reference);
}

void TSetting::SetLimits(int32_t minimum, int32_t maximum) {
  hasLimits_ = true;
  minimum_ = minimum;
  maximum_ = maximum;
}

void TSetting::SetRowOffset(int32_t x, int32_t y) {
  xOffset_ = x;
  yOffset_ = y;
}

void TSetting::CheckReferenceSpan(int64_t reference, int32_t span) const {
  const int64_t last = reference + std::max(span, 1) - 1;
  const bool fits = isTemplate_ ? (reference >= std::numeric_limits<int32_t>::min() &&
                                   last <= std::numeric_limits<int32_t>::max())
                                : (reference >= kLowestReference && last <= kHighestReference);
  if (!fits) {
    // The reference named is the one that lies outside: the first when the setting starts
    // too low, else the last of its registers.
    const int64_t outside = reference < kLowestReference ? reference : last;
    throw std::runtime_error("Setting '" + name_ + "' refers to register reference " +
                             std::to_string(outside) + ", outside 1 to 65536");
  }
}

void TSetting::CreateControls(QWidget* page, int index, int top) {
  CreateLabelAt(page, index, top, 0, 0);
  if (bold_) {
    QFont font = captionLabel_->font();
    font.setBold(true);
    captionLabel_->setFont(font);
    captionLabel_->adjustSize();
  }
}

void TSetting::CreateLabelAt(QWidget* page, int index, int top, int xOffset, int yOffset) {
  auto* label = new QLabel(page);
  label->hide();
  label->setText(QString::fromStdString(name_));
  label->move(kCaptionLeft + xOffset, top + yOffset);
  label->setProperty(kTagProperty, index);
  label->adjustSize();
  label->show();
  captionLabel_ = label;
}

QLabel* TSetting::CaptionLabel() const {
  return captionLabel_.data();
}

QPushButton* TSetting::CopyToGroupsButton() const {
  return copyToGroupsButton_.data();
}

QPushButton* TSetting::CopyToR12sButton() const {
  return copyToR12sButton_.data();
}

void TSetting::DestroyControls() {
  delete captionLabel_.data();
  delete copyToGroupsButton_.data();
  delete copyToR12sButton_.data();
}

void TSetting::CreateCopyButtons(QWidget* page, int index, int left, int top) {
  if (!isTemplate_) {
    return;
  }
  auto makeButton = [&](const char* caption, int x, void (TSetting::*handler)()) {
    auto* button = new QPushButton(QString::fromUtf8(caption), page);
    button->setGeometry(x, top, kCopyButtonWidth, kCopyButtonHeight);
    button->setProperty(kTagProperty, index);
    button->setEnabled(enabled_);
    QObject::connect(button, &QPushButton::clicked, &Relay(),
                     [this, handler] { ui::RunGuarded([this, handler] { (this->*handler)(); }); });
    button->show();
    return button;
  };
  copyToGroupsButton_ = makeButton("Copy to all groups", left, &TSetting::CopyToAllGroupsClick);
  copyToR12sButton_ =
      makeButton("Copy to all R12s", left + kCopyButtonSpacing, &TSetting::CopyToAllR12sClick);
}

void TSetting::SetEnabled(bool enabled) {
  enabled_ = enabled;
  // The copy buttons follow the row, so that nothing is copied while the
  // settings are locked (during a transfer or after a disconnection).
  for (QPushButton* button : {copyToGroupsButton_.data(), copyToR12sButton_.data()}) {
    if (button != nullptr) {
      button->setEnabled(enabled);
    }
  }
}

void TSetting::UpdateDisplay(bool) {}

void TSetting::RestoreDefault() {
  ChangeValue(default_);
  StoreValue();
  UpdateDisplay(true);
}

pugi::xml_node TSetting::SaveToXml(pugi::xml_node groupElement) {
  pugi::xml_node element = groupElement.append_child("setting");
  element.append_attribute("name") = name_.c_str();
  element.append_attribute("ID") = id_;
  element.append_attribute("value") = value_;
  element.append_attribute("register") = static_cast<long long>(reference_) - 1;
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
  if (registerType_ == kCoil || registerType_ == kHoldingRegister) {
    int32_t lowest = 0;
    int32_t highest = 0;
    StorableRange(lowest, highest);
    if (value < lowest || value > highest) {
      RefuseFileValue(text, std::to_string(lowest) + " to " + std::to_string(highest));
    }
  }
  if (hasLimits_ && !WithinLimits(value)) {
    return FullName() + ": " + std::to_string(value) + ", outside its limits " +
           std::to_string(minimum_) + " to " + std::to_string(maximum_);
  }
  return {};
}

std::string TSetting::HeldValueNotice() const {
  return {};
}

std::string TSetting::FullName() const {
  return group_->Name + " / " + name_;
}

TUnstorableValue::TUnstorableValue(const std::string& setting, const std::string& value,
                                   const std::string& allowed)
    : std::runtime_error("The settings file gives setting '" + setting + "' the value " + value +
                         ", which it cannot hold: it holds " + allowed + "."),
      Setting(setting),
      Value(value),
      Allowed(allowed) {}

void TSetting::RefuseFileValue(const std::string& value, const std::string& allowed) const {
  throw TUnstorableValue(FullName(), value, allowed);
}

void TSetting::StorableRange(int32_t& lowest, int32_t& highest) const {
  if (registerType_ == kCoil) {
    lowest = 0;
    highest = 1;
    return;
  }
  // A register (or its field) of w bits takes any w-bit pattern, written as a signed or as an
  // unsigned number: 49232 and -16304 are one word. The value is the pattern less the offset.
  const int width = bitMask_ == 0 ? 16 : std::popcount(static_cast<uint16_t>(bitMask_));
  const int64_t patternLowest = -(int64_t{1} << (width - 1));
  const int64_t patternHighest = (int64_t{1} << width) - 1;
  constexpr int64_t kLowest = std::numeric_limits<int32_t>::min();
  constexpr int64_t kHighest = std::numeric_limits<int32_t>::max();
  lowest =
      static_cast<int32_t>(std::clamp<int64_t>(patternLowest - valueOffset_, kLowest, kHighest));
  highest =
      static_cast<int32_t>(std::clamp<int64_t>(patternHighest - valueOffset_, kLowest, kHighest));
}

bool TSetting::WithinLimits(int32_t value) const {
  if (value >= minimum_ && value <= maximum_) {
    return true;
  }
  // A whole register read from the device is signed, while its limits may be written unsigned.
  if (registerType_ != kHoldingRegister || bitMask_ != 0) {
    return false;
  }
  for (const int64_t word : {int64_t{value} + 65536, int64_t{value} - 65536}) {
    if (word >= minimum_ && word <= maximum_) {
      return true;
    }
  }
  return false;
}

void TSetting::RequestWrite() {
  if (isTemplate_) {
    return;
  }
  auto lock = Store().Lock();
  marks_.ProgressDue = false;
  marks_.WritePending = true;
  lock.unlock();
  Store().Work().Notify();
}

void TSetting::RequestRead() {
  if (!isTemplate_) {
    MarkReadPending();
  }
}

void TSetting::CheckDefinition(TDefinitionCheck&) const {}

void TSetting::ExportCsv(std::vector<std::string>& lines) {
  lines.push_back(name_ + "," + std::to_string(value_));
}

void TSetting::RegisterInStore() {
  if (isTemplate_) {
    return;
  }
  if (registersPerTransfer_ > 1) {
    // A value that spans registers is held in consecutive holding registers, whatever the
    // definition's `type` says.
    for (int32_t i = 0; i < registersPerTransfer_; ++i) {
      Store().InsertHoldingRegister(reference_ + i);
    }
  } else if (registerType_ == kCoil) {
    Store().InsertCoil(reference_);
  } else if (registerType_ == kHoldingRegister) {
    Store().InsertHoldingRegister(reference_);
  }
}

bool TSetting::Poll(int, modbus::MbusMasterFunctions*) {
  auto lock = Store().Lock();
  marks_.ProgressDue = marks_.ReadPending || marks_.WritePending;
  marks_.Error = false;
  marks_.RedisplayDue = false;
  if (marks_.WritePending) {
    StoreValue();
    marks_.ProgressText = "Writing setting " + name_ + "...";
    marks_.WritePending = false;
    changed_ = false;
  }
  LoadValueFromStore();
  return true;
}

bool TSetting::ReadRegisterValue(int32_t& value) const {
  registers::TRegisterDataStore& store = Store();
  if (registerType_ == kCoil) {
    value = store.GetCoil(reference_) ? 1 : 0;
    return true;
  }
  if (registerType_ != kHoldingRegister) {
    return false;
  }
  int16_t raw = 0;
  if (bitMask_ == 0) {
    store.GetHoldingRegisters(reference_, &raw, 1);
  } else {
    store.GetHoldingRegisterBits(reference_, bitMask_, raw);
  }
  value = Signed16(static_cast<int64_t>(raw) - valueOffset_);
  return true;
}

void TSetting::FinishRead(bool describe) {
  auto lock = Store().Lock();
  if (describe) {
    marks_.ProgressText = "Reading setting " + name_ + "...";
  }
  marks_.RedisplayDue = true;
  marks_.ReadPending = false;
  changed_ = false;
}

void TSetting::MarkReadPending() {
  auto lock = Store().Lock();
  marks_.ProgressDue = false;
  marks_.ReadPending = true;
  lock.unlock();
  Store().Work().Notify();
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
    value_ = value;
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
    Document().OnProgress(this, text, failed, registersPerTransfer_);
  }
  if (redisplayDue) {
    UpdateDisplay(true);
  }
}

int TSetting::PendingCount() {
  auto lock = Store().Lock();
  return (marks_.ReadPending ? registersPerTransfer_ : 0) +
         (marks_.WritePending ? registersPerTransfer_ : 0);
}

double TSetting::ToDisplayValue(int32_t raw) {
  return raw;
}

bool TSetting::CopyValueFrom(TSetting& source) {
  if (ShowRefusal(CheckRelativeLimits(source.Value()))) {
    return false;
  }
  if (hasLimits_ && ShowRefusal(CheckLimits(source.Value()))) {
    return false;
  }
  ChangeValue(source.Value());
  PutValueInStore();
  return true;
}

void TSetting::StoreValue() {
  if (isUnitsSelector_ || isTemplate_) {
    return;
  }
  PutValueInStore();
}

void TSetting::PutValueInStore() {
  registers::TRegisterDataStore& store = Store();
  if (registerType_ == kCoil) {
    store.SetCoil(reference_, value_ != 0);
  } else if (registerType_ == kHoldingRegister) {
    const auto word = static_cast<int16_t>(
        static_cast<uint16_t>((static_cast<int64_t>(value_) + valueOffset_) & 0xFFFF));
    if (bitMask_ == 0) {
      store.SetHoldingRegister(reference_, word);
    } else {
      store.SetHoldingRegisterBits(reference_, word, bitMask_);
    }
  }
}

void TSetting::ReadValueFromXml(const pugi::xml_node& settingElement) {
  ChangeValue(GetAttribute(settingElement, "value").AsInteger());
}

void TSetting::ClearPending() {
  auto lock = Store().Lock();
  marks_.ReadPending = false;
  marks_.WritePending = false;
}

TRefusal TSetting::CheckRelativeLimits(int32_t candidate) {
  TSetting* lower =
      minSettingName_.empty() ? nullptr : &Document().FindSettingForLimit(minSettingName_, *this);
  TSetting* upper =
      maxSettingName_.empty() ? nullptr : &Document().FindSettingForLimit(maxSettingName_, *this);
  // Compared in display terms, at single precision.
  const float value = static_cast<float>(ToDisplayValue(candidate));
  const bool belowLower =
      lower != nullptr && value < static_cast<float>(lower->ToDisplayValue(lower->Value()));
  const bool aboveUpper =
      upper != nullptr && value > static_cast<float>(upper->ToDisplayValue(upper->Value()));
  if (lower != nullptr && upper != nullptr && (belowLower || aboveUpper)) {
    return "Setting '" + name_ + "' must be greater than setting '" + lower->Name() +
           "' and less than setting '" + upper->Name() + "'";
  }
  if (belowLower) {
    return "Setting '" + name_ + "' must be greater than setting '" + lower->Name() + "'";
  }
  if (aboveUpper) {
    return "Setting '" + name_ + "' must be less than setting '" + upper->Name() + "'";
  }
  return std::nullopt;
}

TRefusal TSetting::CheckLimits(int32_t candidate) const {
  return CheckRange(candidate, minimum_, maximum_);
}

void TSetting::CopyToAllGroupsClick() {
  try {
    Document().CopyToControllerGroups(*this, *group_);
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

std::optional<TShownValue> TSetting::ShownValue() const {
  return TShownValue{std::to_string(Value()), "", std::to_string(Default())};
}

}  // namespace model
