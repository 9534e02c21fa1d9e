#include "model/Setting_4partid.h"

#include <QLineEdit>
#include <algorithm>
#include <charconv>
#include <stdexcept>
#include <typeinfo>

#include "model/DefinitionCheck.h"
#include "model/Settings.h"
#include "model/Xmlutil.h"
#include "registers/Registerdatastore.h"

namespace model {

namespace {

constexpr int kPartsLeft = 200;
constexpr int kPartPitch = 65;
constexpr int kPartWidth = 60;
constexpr int kPartHeight = 21;
// Each part is one byte of the identifier.
constexpr int32_t kLowestPart = 0;
constexpr int32_t kHighestPart = 255;
// Registers per identifier, as counted by the transfer progress.
constexpr int kRegisters = 2;

// A decimal number from 0 to 4294967295, as identifiers are written.
uint32_t StrToUInt32(const std::string& text) {
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') {
    ++first;
  }
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(first, last, value, 10);
  if (error != std::errc() || end != last || first == last) {
    throw std::runtime_error("'" + text + "' is not a valid integer value");
  }
  return value;
}

}  // namespace

TSetting4PartID::TSetting4PartID(TGroup* group, int32_t instanceIndex)
    : TSetting(group, instanceIndex, kRegisters) {}

void TSetting4PartID::LoadDefinition(const pugi::xml_node& element) {
  TSetting::LoadDefinition(element);
  CheckReferenceSpan(Reference(), kRegisters);
  const int32_t minimum = GetAttribute(element, "min").AsInteger();
  const int32_t maximum = GetAttribute(element, "max").AsInteger();
  SetLimits(minimum, maximum);
  DefaultId = StrToUInt32(GetAttribute(element, "default").AsString());
  SplitId(DefaultId);
  ValueText = GetAttribute(element, "value_text").AsString();
}

uint32_t TSetting4PartID::CombineParts() const {
  return (static_cast<uint32_t>(Parts[0]) << 24) + (static_cast<uint32_t>(Parts[1]) << 16) +
         (static_cast<uint32_t>(Parts[2]) << 8) + static_cast<uint32_t>(Parts[3]);
}

void TSetting4PartID::SplitId(uint32_t id) {
  Parts[0] = static_cast<uint16_t>((id >> 24) & 0xFF);
  Parts[1] = static_cast<uint16_t>((id >> 16) & 0xFF);
  Parts[2] = static_cast<uint16_t>((id >> 8) & 0xFF);
  Parts[3] = static_cast<uint16_t>(id & 0xFF);
}

void TSetting4PartID::CreateControls(QWidget* page, int index, int top) {
  TSetting::CreateControls(page, index, top);
  for (int part = 0; part < kParts; ++part) {
    TEditBox& edit = PartEdits[static_cast<size_t>(part)];
    edit.Create(
        page, index, QRect(kPartsLeft + kPartPitch * part, top, kPartWidth, kPartHeight),
        {
            .EntryText = [this, part] { return QString::number(Parts[static_cast<size_t>(part)]); },
            .Check = [this](const std::string& text) { return CheckPartText(text); },
            .Take = [this, part](const std::string& text) { TakeEntry(part, text); },
            .ShowValue = [this] { ShowParts(); },
        });
    edit.SetEnabled(Enabled());
    edit->show();
  }
  ShowParts();
}

void TSetting4PartID::DestroyControls() {
  TSetting::DestroyControls();
  for (TEditBox& edit : PartEdits) {
    edit.Destroy();
  }
}

void TSetting4PartID::SetEnabled(bool enabled) {
  TSetting::SetEnabled(enabled);
  for (TEditBox& edit : PartEdits) {
    edit.SetEnabled(enabled);
  }
}

void TSetting4PartID::ShowParts() {
  std::array<uint16_t, kParts> parts{};
  parts = Parts;
  for (size_t i = 0; i < PartEdits.size(); ++i) {
    PartEdits[i].SetText(QString::number(parts[i]));
  }
}

void TSetting4PartID::UpdateDisplay(bool) {
  ShowParts();
}

void TSetting4PartID::RestoreDefault() {
  {
    auto lock = Store().Lock();
    SplitId(DefaultId);
    SetChanged(true);
    StoreValue();
  }
  ShowParts();
}

pugi::xml_node TSetting4PartID::SaveToXml(pugi::xml_node groupElement) {
  pugi::xml_node element = TSetting::SaveToXml(groupElement);
  element.append_attribute("Address") = static_cast<unsigned long long>(CombineParts());
  return element;
}

void TSetting4PartID::ReadValueFromXml(const pugi::xml_node& settingElement) {
  const uint32_t id = StrToUInt32(GetAttribute(settingElement, "Address").AsString());
  auto lock = Store().Lock();
  SplitId(id);
  SetChanged(true);
}

std::string TSetting4PartID::CheckFileValue(const pugi::xml_node& settingElement) const {
  // Every 32-bit number is an identifier: two registers hold it whole.
  StrToUInt32(GetAttribute(settingElement, "Address").AsString());
  return {};
}

void TSetting4PartID::ExportCsv(std::vector<std::string>& lines) {
  // The whole identifier, as the settings file's Address carries it.
  lines.push_back(Name() + "," + std::to_string(CombineParts()) + " " + ValueText);
}

void TSetting4PartID::PutValueInStore() {
  auto lock = Store().Lock();
  const uint32_t id = CombineParts();
  // The device keeps the low half of the identifier in the first register.
  const int16_t words[kRegisters] = {static_cast<int16_t>(id & 0xFFFF),
                                     static_cast<int16_t>(id >> 16)};
  Store().SetHoldingRegisters(Reference(), words, kRegisters);
}

void TSetting4PartID::LoadValueFromStore() {
  auto lock = Store().Lock();
  if (!ReadPending()) {
    return;
  }
  int16_t words[kRegisters] = {};
  Store().GetHoldingRegisters(Reference(), words, kRegisters);
  SplitId(static_cast<uint32_t>(static_cast<uint16_t>(words[0])) +
          (static_cast<uint32_t>(static_cast<uint16_t>(words[1])) << 16));
  FinishRead();
}

bool TSetting4PartID::CopyValueFrom(TSetting& source) {
  if (typeid(source) != typeid(TSetting4PartID)) {
    throw std::runtime_error("CopyValuesFrom Exception - class is not of type TSetting4PartID");
  }
  if (ShowRefusal(CheckRelativeLimits(source.Value()))) {
    return false;
  }
  const auto& from = static_cast<const TSetting4PartID&>(source);
  auto lock = Store().Lock();
  for (size_t i = 0; i < Parts.size(); ++i) {
    // A zero part ends the copy; the parts before it stay copied.
    if (from.Parts[i] == 0) {
      return false;
    }
    if (from.Parts[i] != Parts[i]) {
      Parts[i] = from.Parts[i];
      SetChanged(true);
    }
  }
  return true;
}

TRefusal TSetting4PartID::CheckPartText(const std::string& text) const {
  int32_t part = 0;
  if (TRefusal refusal = ParseInteger(text, part)) {
    return refusal;
  }
  // A part beyond its byte would spill into the next part or wrap, so the
  // definition's limits are narrowed to the byte and the user is shown the
  // limit that applies.
  return CheckRange(part, std::max(Minimum(), kLowestPart), std::min(Maximum(), kHighestPart));
}

void TSetting4PartID::TakeEntry(int part, const std::string& text) {
  const int32_t number = StrToInt(text);
  if (!ShowRefusal(CheckRelativeLimits(number))) {
    auto lock = Store().Lock();
    if (number != Parts[static_cast<size_t>(part)]) {
      SetChanged(true);
      Parts[static_cast<size_t>(part)] = static_cast<uint16_t>(number);
      StoreValue();
    }
    SetValue(number);
  }
  UpdateDisplay(true);
}

// The identifier's four parts each lie within min..max.
void TSetting4PartID::CheckDefinition(TDefinitionCheck& check) const {
  const std::uint32_t id = DefaultId;
  const std::int32_t parts[4] = {
      static_cast<std::int32_t>((id >> 24) & 0xFF), static_cast<std::int32_t>((id >> 16) & 0xFF),
      static_cast<std::int32_t>((id >> 8) & 0xFF), static_cast<std::int32_t>(id & 0xFF)};
  std::string shown = std::to_string(id) + " (";
  const std::int32_t* outside = nullptr;
  for (const std::int32_t& part : parts) {
    shown += std::to_string(part) + (&part == &parts[3] ? ")" : ".");
    if (outside == nullptr && (part < Minimum() || part > Maximum())) {
      outside = &part;
    }
  }
  if (Minimum() > Maximum()) {
    check.CheckLimits(*this, std::to_string(Minimum()), std::to_string(Maximum()), true, false, "");
  } else if (outside != nullptr) {
    check.Add(Definition(), check.Subject(*this) + ": default " + shown + " has part " +
                                std::to_string(*outside) + " outside min " +
                                std::to_string(Minimum()) + " to max " + std::to_string(Maximum()));
  }
}

namespace {

std::string Dotted(std::uint32_t id) {
  return std::to_string(id >> 24) + "." + std::to_string((id >> 16) & 0xFF) + "." +
         std::to_string((id >> 8) & 0xFF) + "." + std::to_string(id & 0xFF);
}

}  // namespace

std::optional<TShownValue> TSetting4PartID::ShownValue() const {
  return TShownValue{Dotted(CombineParts()), ValueText, Dotted(DefaultId)};
}

}  // namespace model
