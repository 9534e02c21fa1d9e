#include "tools/cli/CheckCommand.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

#include "model/Devices.h"
#include "model/Group.h"
#include "model/OfflineEdit.h"
#include "model/Setting.h"
#include "model/Setting_4partid.h"
#include "model/Setting_checkbox.h"
#include "model/Setting_dropdown.h"
#include "model/Setting_int.h"
#include "model/Setting_label.h"
#include "model/Setting_time.h"
#include "model/Setting_units.h"
#include "model/Settings.h"
#include "model/Xmlutil.h"
#include "registers/Registerdatastore.h"
#include "tools/cli/SettingTexts.h"

namespace {

// The device reports its type in holding register 28; the tool writes 123 to 27 after
// every write.
constexpr std::int32_t kWriteEndReference = registers::TRegisterDataStore::kWriteEndReference;
constexpr std::int32_t kDeviceTypeReference = 28;
// R12 instances: fifty groups per controller.
constexpr std::int32_t kGroupsPerController = 50;
// Converted display values closer than this (half the finest step, a hundredth) are equal.
constexpr double kDisplayTolerance = 0.005;

struct TFinding {
  long line = 0;
  std::string text;
};

// The encoding of a file in UTF-16 or UTF-32, told by its byte order mark or by how its
// first "<" is written, as the XML parser tells it.
std::optional<QStringConverter::Encoding> WideEncoding(const std::string& bytes) {
  auto startsWith = [&](std::string_view prefix) {
    return std::string_view(bytes).substr(0, prefix.size()) == prefix;
  };
  using namespace std::string_view_literals;
  if (startsWith("\0\0\xFE\xFF"sv) || startsWith("\0\0\0<"sv)) {
    return QStringConverter::Utf32BE;
  }
  if (startsWith("\xFF\xFE\0\0"sv) || startsWith("<\0\0\0"sv)) {
    return QStringConverter::Utf32LE;
  }
  if (startsWith("\xFE\xFF"sv) || startsWith("\0<"sv)) {
    return QStringConverter::Utf16BE;
  }
  if (startsWith("\xFF\xFE"sv) || startsWith("<\0"sv)) {
    return QStringConverter::Utf16LE;
  }
  return std::nullopt;
}

// Line numbers of nodes, from their offsets into the text the parser holds: the file's
// text, which the parser converts to UTF-8 (its byte order mark included) when it is
// UTF-16 or UTF-32.
class TLines {
 public:
  explicit TLines(std::string text) {
    if (const auto encoding = WideEncoding(text)) {
      QStringDecoder decoder(*encoding, QStringConverter::Flag::ConvertInitialBom);
      const QString decoded =
          decoder(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
      text = decoded.toUtf8().toStdString();
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\n') {
        newlines_.push_back(static_cast<std::ptrdiff_t>(i));
      }
    }
  }

  long Of(const pugi::xml_node& node) const {
    const std::ptrdiff_t offset = node.offset_debug();
    if (offset < 0) {
      return 0;
    }
    return static_cast<long>(std::upper_bound(newlines_.begin(), newlines_.end(), offset) -
                             newlines_.begin()) +
           1;
  }

 private:
  std::vector<std::ptrdiff_t> newlines_;
};

std::string Quoted(std::string_view text) {
  return "\"" + Printable(text) + "\"";
}

std::string NameOf(const pugi::xml_node& element) {
  return Quoted(element.attribute("name").value());
}

bool IsElement(const pugi::xml_node& node, std::string_view name) {
  return node.type() == pugi::node_element && name == node.name();
}

// A number as the display shows it, with two decimals.
std::string Decimals(double value) {
  char text[64];
  std::snprintf(text, sizeof(text), "%.2f", value + 0.0);
  return text;
}

// The unit families a document's unit-converted settings are shown in: those of the units
// selector's entries ("m/sec" for velocities, "Pa" for pressures); both when no selector
// names a known unit.
std::vector<std::string> UnitFamilies(const model::TSettings& document) {
  bool velocity = false;
  bool pressure = false;
  for (const auto& group : document.Groups) {
    for (const auto& setting : group->Settings) {
      const auto* selector = dynamic_cast<const model::TSettingDropDown*>(setting.get());
      if (selector == nullptr || !selector->IsUnitsSelector()) {
        continue;
      }
      for (const model::TDDType& entry : selector->Entries) {
        velocity = velocity || model::TSettingUnits::IsVelocityUnit(entry.Name);
        pressure = pressure || model::TSettingUnits::IsPressureUnit(entry.Name);
      }
    }
  }
  std::vector<std::string> families;
  if (velocity || !pressure) {
    families.emplace_back("m/sec");
  }
  if (pressure || !velocity) {
    families.emplace_back("Pa");
  }
  return families;
}

class TDefinitionsCheck {
 public:
  TDefinitionsCheck(const model::TDevices& devices, const std::string& text)
      : devices_(devices), lines_(text) {}

  std::vector<TFinding> Run() {
    const pugi::xml_node root = devices_.Document().document_element();
    if (devices_.Count() == 0) {
      Add(root, "no device elements: the file describes no device type");
    }
    CheckDeviceIds();
    CheckSettingsIds(root);
    for (int i = 0; i < devices_.Count(); ++i) {
      model::TDevice& device = devices_.GetDevice(i);
      const pugi::xml_node settings = device.Settings->SettingsElement();
      if (firstUser_.emplace(settings.internal_object(), &device).second) {
        CheckDocument(device);
      }
    }
    CheckPlacement(root);
    std::stable_sort(findings_.begin(), findings_.end(),
                     [](const TFinding& a, const TFinding& b) { return a.line < b.line; });
    return findings_;
  }

 private:
  // Each finding once: the instances of an R12 setting share their element.
  void Add(const pugi::xml_node& at, const std::string& text) {
    const long line = lines_.Of(at);
    if (seen_.emplace(line, text).second) {
      findings_.push_back({line, text});
    }
  }

  std::string Subject(const model::TSetting& setting) const {
    return "setting " + Quoted(setting.Name()) + " in group " + NameOf(setting.Group().Element) +
           " of device " + Quoted(device_->Name);
  }

  // Which instance of an R12 setting, for findings that depend on it.
  static std::string Instance(const model::TSetting& setting) {
    const std::int32_t index = setting.InstanceIndex();
    return " (R12 " + std::to_string(index / kGroupsPerController + 1) + ", group " +
           std::to_string(index % kGroupsPerController + 1) + ")";
  }

  void CheckDeviceIds() {
    std::map<std::int32_t, const model::TDevice*> first;
    for (int i = 0; i < devices_.Count(); ++i) {
      const model::TDevice& device = devices_.GetDevice(i);
      const auto [at, inserted] = first.emplace(device.DeviceId, &device);
      if (!inserted) {
        const std::string id = std::to_string(device.DeviceId);
        Add(device.Element(), "device " + Quoted(device.Name) + ": device_id " + id +
                                  " repeats that of device " + Quoted(at->second->Name) +
                                  " (line " + std::to_string(lines_.Of(at->second->Element())) +
                                  "); the first wins: a device reporting " + id + " is taken for " +
                                  Quoted(at->second->Name));
      }
    }
  }

  void CheckSettingsIds(const pugi::xml_node& root) {
    std::map<std::int32_t, long> first;
    for (const pugi::xml_node& child : root.children("settings")) {
      std::int32_t id = 0;
      try {
        id = model::GetAttribute(child, "settings_id").AsInteger();
      } catch (const std::runtime_error&) {
        continue;  // the device search reports it when it reaches the element
      }
      const auto [at, inserted] = first.emplace(id, lines_.Of(child));
      if (!inserted) {
        Add(child, "settings " + std::to_string(id) + ": settings_id repeats that of line " +
                       std::to_string(at->second) +
                       "; the first wins: this settings element is never used");
      }
    }
  }

  void CheckDocument(model::TDevice& device) {
    device_ = &device;
    model::TSettings& document = *device.Settings;
    try {
      CheckReservedRegisters(document);
      const std::vector<std::string> families = UnitFamilies(document);
      for (const auto& group : document.Groups) {
        for (const auto& setting : group->Settings) {
          if (setting->Definition()) {
            CheckDefault(*setting, families);
          }
        }
      }
      CheckExclusionGroups(document);
    } catch (const std::exception& error) {
      Add(device.Element(), "device " + Quoted(device.Name) +
                                ": its factory defaults cannot be set: " + Printable(error.what()));
    }
  }

  // Every register a setting uses on the device: those it registers in the store (which
  // the write pass writes back) and, for a holding register, the span it declares.
  void CheckReservedRegisters(model::TSettings& document) {
    registers::TRegisterDataStore& store = document.Store();
    store.Reset();
    std::set<std::pair<std::ptrdiff_t, std::int32_t>> reported;
    for (const auto& group : document.Groups) {
      for (const auto& setting : group->Settings) {
        if (setting->IsTemplate() || !setting->Definition()) {
          continue;
        }
        setting->RegisterInStore();
        const std::int64_t first = setting->Reference();
        const std::int64_t last = first + std::max(setting->RegisterSpan(), 1) - 1;
        bool hit = false;
        for (const std::int32_t reference : {kWriteEndReference, kDeviceTypeReference}) {
          const bool spanned = setting->RegisterType() == model::kHoldingRegister &&
                               first <= reference && reference <= last;
          if (!spanned && !store.IsHoldingRegisterRegistered(reference)) {
            continue;
          }
          hit = true;
          if (!reported.emplace(setting->Definition().offset_debug(), reference).second) {
            continue;
          }
          const bool perInstance =
              group->IsTenfold && setting->Definition().attribute("offset").as_llong() != 0;
          Add(setting->Definition(),
              Subject(*setting) + (perInstance ? Instance(*setting) : "") +
                  ": on holding register reference " + std::to_string(reference) +
                  (reference == kWriteEndReference
                       ? ", the write marker (the tool writes 123 to it after every write)"
                       : ", where the device reports its type"));
        }
        if (hit) {
          store.Reset();
        }
      }
    }
  }

  void CheckDefault(model::TSetting& setting, const std::vector<std::string>& families) {
    if (auto* id = dynamic_cast<model::TSetting4PartID*>(&setting)) {
      CheckFourPartLimits(*id);
    } else if (auto* units = dynamic_cast<model::TSettingUnits*>(&setting)) {
      CheckUnitsLimits(*units, families);
    } else if (dynamic_cast<model::TSettingInt*>(&setting) != nullptr) {
      CheckLimits(setting, std::to_string(setting.Minimum()), std::to_string(setting.Maximum()),
                  setting.Minimum() > setting.Maximum(),
                  setting.Default() < setting.Minimum() || setting.Default() > setting.Maximum(),
                  std::to_string(setting.Default()));
    } else if (auto* dropDown = dynamic_cast<model::TSettingDropDown*>(&setting)) {
      CheckEntries(*dropDown);
    } else if (auto* time = dynamic_cast<model::TSettingTime*>(&setting)) {
      CheckTime(*time);
    }
    CheckStoredDefault(setting);
  }

  void CheckLimits(const model::TSetting& setting, const std::string& minimum,
                   const std::string& maximum, bool minAboveMax, bool defaultOutside,
                   const std::string& defaultText) {
    if (minAboveMax) {
      Add(setting.Definition(), Subject(setting) + ": min " + minimum + " is above max " + maximum);
    } else if (defaultOutside) {
      Add(setting.Definition(), Subject(setting) + ": default " + defaultText + " is outside min " +
                                    minimum + " to max " + maximum);
    }
  }

  // Limits and default are register words; the kind compares them as the display shows
  // them, so they are compared here in each unit family the document may show.
  void CheckUnitsLimits(const model::TSettingUnits& setting,
                        const std::vector<std::string>& families) {
    auto shown = [](std::int32_t raw, const std::string& unit) {
      return static_cast<double>(
          model::TSettingUnits::Decode(static_cast<uint16_t>(raw & 0xFFFF), unit));
    };
    bool minAboveMax = true;
    bool defaultOutside = true;
    for (const std::string& unit : families) {
      const double minimum = shown(setting.Minimum(), unit);
      const double maximum = shown(setting.Maximum(), unit);
      const double value = shown(setting.Default(), unit);
      minAboveMax = minAboveMax && minimum - maximum > kDisplayTolerance;
      defaultOutside = defaultOutside &&
                       (minimum - value > kDisplayTolerance || value - maximum > kDisplayTolerance);
    }
    auto text = [&](std::int32_t raw) {
      std::string result = std::to_string(raw);
      if (families.size() == 1) {
        result += " (" + Decimals(shown(raw, families[0])) + " " + families[0] + ")";
      }
      return result;
    };
    CheckLimits(setting, text(setting.Minimum()), text(setting.Maximum()), minAboveMax,
                defaultOutside, text(setting.Default()));
  }

  // The identifier's four parts each lie within min..max.
  void CheckFourPartLimits(const model::TSetting4PartID& setting) {
    const std::uint32_t id = setting.DefaultId;
    const std::int32_t parts[4] = {
        static_cast<std::int32_t>((id >> 24) & 0xFF), static_cast<std::int32_t>((id >> 16) & 0xFF),
        static_cast<std::int32_t>((id >> 8) & 0xFF), static_cast<std::int32_t>(id & 0xFF)};
    std::string shown = std::to_string(id) + " (";
    const std::int32_t* outside = nullptr;
    for (const std::int32_t& part : parts) {
      shown += std::to_string(part) + (&part == &parts[3] ? ")" : ".");
      if (outside == nullptr && (part < setting.Minimum() || part > setting.Maximum())) {
        outside = &part;
      }
    }
    if (setting.Minimum() > setting.Maximum()) {
      CheckLimits(setting, std::to_string(setting.Minimum()), std::to_string(setting.Maximum()),
                  true, false, "");
    } else if (outside != nullptr) {
      Add(setting.Definition(), Subject(setting) + ": default " + shown + " has part " +
                                    std::to_string(*outside) + " outside min " +
                                    std::to_string(setting.Minimum()) + " to max " +
                                    std::to_string(setting.Maximum()));
    }
  }

  // The entry marked default="true" (the last one so marked) is the default; without one
  // the default stays 0.
  void CheckEntries(const model::TSettingDropDown& setting) {
    pugi::xml_node marked;
    for (const pugi::xml_node& entry : setting.Definition().children("ddvalue")) {
      const std::string_view value = entry.attribute("default").value();
      std::string lower(value);
      std::transform(lower.begin(), lower.end(), lower.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      if (value == "true") {
        if (marked) {
          Add(entry, Subject(setting) + ": entry " + NameOf(entry) +
                         " is marked default=\"true\" after entry " + NameOf(marked) + " (line " +
                         std::to_string(lines_.Of(marked)) + "); the last wins");
        }
        marked = entry;
      } else if (lower == "true" || lower == "yes" || lower == "1") {
        Add(entry, Subject(setting) + ": entry " + NameOf(entry) + " has default=\"" +
                       Printable(value) + "\", which does not count: only \"true\" marks the " +
                       "default entry");
      }
    }
    if (marked) {
      return;
    }
    // Without a marked entry the default is 0: the writer's choice or a forgotten mark.
    const auto zero =
        std::find_if(setting.Entries.begin(), setting.Entries.end(),
                     [&](const model::TDDType& entry) { return entry.Value == setting.Default(); });
    Add(setting.Definition(),
        Subject(setting) + ": no entry is marked default=\"true\"; the default is " +
            std::to_string(setting.Default()) +
            (zero != setting.Entries.end() ? ", entry " + Quoted(zero->Name)
                                           : ", which matches none of its entries"));
  }

  // A time is two registers, hours and minutes; a part above 23 hours or 59 minutes means
  // off, a negative part is neither a time nor off.
  void CheckTime(const model::TSettingTime& setting) {
    for (const auto& [attribute, value] :
         {std::pair<const char*, std::int32_t>{"default_hrs", setting.Default()},
          std::pair<const char*, std::int32_t>{"default_mins", setting.DefaultMinutes}}) {
      if (value < INT16_MIN || value > INT16_MAX) {
        Add(setting.Definition(), Subject(setting) + ": " + attribute + " " +
                                      std::to_string(value) + " is outside 16 bits");
        return;
      }
    }
    if (setting.Default() < 0 || setting.DefaultMinutes < 0) {
      Add(setting.Definition(), Subject(setting) + ": default time " +
                                    std::to_string(setting.Default()) + ":" +
                                    std::to_string(setting.DefaultMinutes) +
                                    " is neither a time of day (0:00 to 23:59) nor off");
    }
  }

  // The kinds that keep their value in one holding register store (value + value_offset)
  // modulo 2^16, or its field under the bit mask, and read back (the word or field -
  // value_offset) as a signed 16-bit number. A check box stores its checked_value or
  // unchecked_value (1 and 0 without them), or under a bit mask its state itself.
  void CheckStoredDefault(const model::TSetting& setting) {
    if (setting.RegisterType() != model::kHoldingRegister) {
      return;
    }
    const auto* box = dynamic_cast<const model::TSettingCheckBox*>(&setting);
    const auto* label = dynamic_cast<const model::TSettingLabel*>(&setting);
    const bool units = dynamic_cast<const model::TSettingUnits*>(&setting) != nullptr;
    const bool oneWord = box != nullptr || units || (label != nullptr && !label->LabelOnly) ||
                         dynamic_cast<const model::TSettingInt*>(&setting) != nullptr ||
                         dynamic_cast<const model::TSettingDropDown*>(&setting) != nullptr;
    if (!oneWord) {
      return;
    }
    const bool ticked = setting.Default() != 0;
    // A box with both values compares the whole register whatever its bit mask says.
    const bool storesPair = box != nullptr && (box->HasValuePair || setting.BitMask() == 0);
    const std::int16_t mask = storesPair ? 0 : setting.BitMask();
    const std::int64_t value =
        storesPair ? (ticked ? box->CheckedValue : box->UncheckedValue) : setting.Default();
    std::string what = "default " + std::to_string(value);
    if (storesPair) {
      what = std::string("default (") +
             (ticked ? "checked) stores checked_value " : "unchecked) stores unchecked_value ") +
             std::to_string(value);
    }
    const std::int64_t word = value + setting.ValueOffset();
    if (word < INT16_MIN || word > UINT16_MAX) {
      Add(setting.Definition(),
          Subject(setting) + ": " + what +
              (setting.ValueOffset() != 0
                   ? " plus value_offset " + std::to_string(setting.ValueOffset()) + " makes " +
                         std::to_string(word) + ", outside 16 bits"
                   : (storesPair ? ", outside 16 bits" : " is outside 16 bits")));
      return;
    }
    const std::int32_t back = ReadBack(word, mask, setting.ValueOffset());
    bool same = back == value;
    std::string backText = std::to_string(back);
    if (units) {
      same = (back & 0xFFFF) == (value & 0xFFFF);
    } else if (box != nullptr) {
      const bool backTicked = box->HasValuePair ? back == box->CheckedValue : back != 0;
      same = backTicked == ticked;
      backText = backTicked ? "checked" : "unchecked";
    }
    if (same) {
      return;
    }
    if (mask != 0) {
      char maskText[16];
      std::snprintf(maskText, sizeof(maskText), "0x%04X", static_cast<unsigned>(mask) & 0xFFFFu);
      Add(setting.Definition(), Subject(setting) + ": " + what + " does not fit bitmask " +
                                    maskText + ": it reads back as " + backText);
    } else if (box != nullptr) {
      Add(setting.Definition(),
          Subject(setting) + ": " + what + ", which reads back as " + backText);
    } else {
      Add(setting.Definition(),
          Subject(setting) + ": " + what + " reads back from its register as " + backText);
    }
  }

  // What a setting reads back after storing the word, through a register store of its own.
  static std::int32_t ReadBack(std::int64_t word, std::int16_t mask, std::int32_t valueOffset) {
    registers::TModbusHandler handler;
    registers::TRegisterDataStore store(handler);
    store.InsertHoldingRegister(1);
    const auto stored = static_cast<std::int16_t>(static_cast<std::uint16_t>(word & 0xFFFF));
    std::int16_t raw = 0;
    if (mask == 0) {
      store.SetHoldingRegister(1, stored);
      store.GetHoldingRegisters(1, &raw, 1);
    } else {
      store.SetHoldingRegisterBits(1, stored, mask);
      store.GetHoldingRegisterBits(1, mask, raw);
    }
    return static_cast<std::int16_t>(
        static_cast<std::uint16_t>((static_cast<std::int64_t>(raw) - valueOffset) & 0xFFFF));
  }

  // With the factory defaults in place, every setting of an exclusion group must be free
  // to hold its default, as the document's own rule decides.
  // Settings of one exclusion group that share a default the group does not allow to repeat:
  // one finding per group and value, at the first setting that may not repeat it, with the
  // count of the others and the first few of them.
  void CheckExclusionGroups(model::TSettings& document) {
    model::OpenOffline(document);
    std::map<std::pair<std::int32_t, std::int32_t>, std::vector<const model::TSetting*>> sharing;
    for (const auto& group : document.Groups) {
      for (const auto& setting : group->Settings) {
        if (setting->ExclusionGroup() != -1) {
          sharing[{setting->ExclusionGroup(), setting->Value()}].push_back(setting.get());
        }
      }
    }
    std::vector<std::pair<const model::TSetting*, std::vector<const model::TSetting*>>> broken;
    for (const auto& [key, settings] : sharing) {
      const auto first =
          std::find_if(settings.begin(), settings.end(), [](const model::TSetting* setting) {
            return setting->Definition() && setting->Value() != setting->ExcludeAllowed();
          });
      if (settings.size() > 1 && first != settings.end()) {
        broken.emplace_back(*first, settings);
      }
    }
    // In the order of the definitions, as the other findings.
    std::sort(broken.begin(), broken.end(), [this](const auto& a, const auto& b) {
      return lines_.Of(a.first->Definition()) < lines_.Of(b.first->Definition());
    });
    constexpr std::size_t kNamed = 3;
    for (const auto& [setting, settings] : broken) {
      std::vector<std::string> partners;
      for (const model::TSetting* other : settings) {
        const std::string partner = other == setting ? std::string()
                                    : other->Definition() == setting->Definition()
                                        ? "its other R12 instances"
                                        : Quoted(other->Name()) + " (line " +
                                              std::to_string(lines_.Of(other->Definition())) + ")";
        if (!partner.empty() &&
            std::find(partners.begin(), partners.end(), partner) == partners.end()) {
          partners.push_back(partner);
        }
      }
      const std::size_t named = partners.size() > kNamed + 1 ? kNamed : partners.size();
      std::string list;
      for (std::size_t i = 0; i < named; ++i) {
        list += (i == 0                                       ? ""
                 : i + 1 == named && named == partners.size() ? " and "
                                                              : ", ") +
                partners[i];
      }
      if (named < partners.size()) {
        list += " and " + std::to_string(partners.size() - named) + " more";
      }
      Add(setting->Definition(),
          Subject(*setting) + ": default " + std::to_string(setting->Value()) +
              " breaks exclusion group " + std::to_string(setting->ExclusionGroup()) +
              ": it is also the default of " +
              (partners.size() > 1 ? std::to_string(partners.size()) + " others: " : "") + list);
    }
  }

  // Groups and settings where the loader does not look: it reads the `group` children of
  // a used `settings` element and the `setting` children of those groups, nothing else.
  void CheckPlacement(const pugi::xml_node& root) {
    for (const pugi::xml_node& child : root.children()) {
      if (child.type() != pugi::node_element || IsElement(child, "device")) {
        continue;
      }
      if (IsElement(child, "settings")) {
        const auto user = firstUser_.find(child.internal_object());
        if (user != firstUser_.end()) {
          CheckSettingsPlacement(child, *user->second);
        }
        continue;  // a settings element no device uses is not loaded at all
      }
      FindStray(child, "outside any settings element");
    }
  }

  void CheckSettingsPlacement(const pugi::xml_node& settings, const model::TDevice& device) {
    const std::string where = "of device " + Quoted(device.Name);
    for (const pugi::xml_node& child : settings.children()) {
      if (IsElement(child, "group")) {
        const std::string inGroup = "inside group " + NameOf(child) + " " + where;
        for (const pugi::xml_node& member : child.children()) {
          if (IsElement(member, "setting")) {
            for (const pugi::xml_node& part : member.children()) {
              FindStray(part, "inside setting " + NameOf(member) + " " + where);
            }
          } else {
            FindStray(member, inGroup);
          }
        }
      } else {
        FindStray(child, "outside any group " + where);
      }
    }
  }

  // The element itself, or else the first group, setting or device elements below it, in
  // document order. Walked without recursion: a file may nest elements a million deep.
  void FindStray(const pugi::xml_node& top, const std::string& where) {
    pugi::xml_node node = top;
    while (node) {
      const char* stray = nullptr;
      if (node.type() == pugi::node_element) {
        for (const char* kind : {"group", "setting", "device"}) {
          stray = IsElement(node, kind) ? kind : stray;
        }
        if (stray != nullptr) {
          Add(node, std::string(stray) + " " + NameOf(node) + " " + where +
                        ": the loader skips it" +
                        (std::string_view(stray) == "setting" ? "" : " and all it holds"));
        } else if (node.first_child()) {
          node = node.first_child();
          continue;
        }
      }
      // On to what follows the element and all it holds, never leaving `top`.
      while (node != top && !node.next_sibling()) {
        node = node.parent();
      }
      node = node == top ? pugi::xml_node() : node.next_sibling();
    }
  }

  const model::TDevices& devices_;
  TLines lines_;
  const model::TDevice* device_ = nullptr;
  // Each used settings element with the first device that uses it.
  std::map<pugi::xml_node_struct*, const model::TDevice*> firstUser_;
  std::set<std::pair<long, std::string>> seen_;
  std::vector<TFinding> findings_;
};

}  // namespace

int RunCheckCommand(const TCliCommand& command, const std::string& defaultDevicesPath,
                    std::ostream& out, std::ostream& err) {
  const std::string path = command.devicesPath.empty() ? defaultDevicesPath : command.devicesPath;
  std::vector<TFinding> findings;
  try {
    registers::TModbusHandler handler;
    registers::TRegisterDataStore store(handler);
    model::TDevices devices(store);
    devices.LoadFromFile(path);
    findings = TDefinitionsCheck(devices, model::ReadXmlText(path)).Run();
  } catch (const std::exception& error) {
    err << "error: " << PrintableMessage(error.what()) << '\n';
    return 1;
  }
  for (const TFinding& finding : findings) {
    out << Printable(path) << ':' << finding.line << ": " << finding.text << '\n';
  }
  out.flush();
  return findings.empty() ? 0 : 1;
}
