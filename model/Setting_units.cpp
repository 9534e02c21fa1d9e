#include "model/Setting_units.h"

#include <QLineEdit>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "model/DefinitionCheck.h"
#include "model/Settings.h"
#include "model/Xmlutil.h"

namespace model {

namespace {

constexpr const char* kMetresPerSecond = "m/sec";
constexpr const char* kFeetPerMinute = "ft/min";
constexpr const char* kPascals = "Pa";
constexpr const char* kInchesOfWater = "ins Wg";

// The conversion factors at the precision the installed base has always
// converted with: the two ratios in double precision, their reciprocals and
// 0.01 in extended precision, every product kept at single precision. Other
// arithmetic shows some words a hundredth apart (2.55 would encode 254).
constexpr double kHundredthsMsPerFtMin = 0.51;
constexpr double kPaPerHundredthInWg = 2.491;
constexpr long double kHundredth = 0.01L;
constexpr long double kFtMinPerHundredthMs = 1.9607843137254901L;
constexpr long double kHundredthInWgPerPa = 0.40144520272982737L;
constexpr float kHundred = 100.0f;

// Bit 15: whole ft/min or whole Pa; clear: hundredths of m/s or of in WG.
constexpr uint16_t kWholeUnitsBit = 0x8000;
// Pressures only: set when the value is zero or positive.
constexpr uint16_t kNotNegativeBit = 0x4000;
constexpr uint16_t kVelocityMagnitude = 0x7FFF;
constexpr uint16_t kPressureMagnitude = 0x3FFF;

float Rounded(long double value) {
  return static_cast<float>(value);
}

// Toward zero. Numbers too large for any register come out as 0; entries
// are refused long before they get that large.
int64_t Truncate(float value) {
  if (!(std::fabs(value) < 9.0e18f)) {
    return 0;
  }
  return static_cast<int64_t>(value);
}

// Two decimals with "." whatever the locale. A zero with its sign bit set
// (a pressure word holding "minus nothing") prints as zero.
std::string TwoDecimals(float value) {
  char text[64];
  const double shown = static_cast<double>(value) + 0.0;
  const auto result = std::to_chars(text, text + sizeof(text), shown, std::chars_format::fixed, 2);
  return std::string(text, result.ptr);
}

// A decimal number with "." as separator and an optional sign, without
// blanks; "inf" and "infinity" are numbers (that no register holds), "nan"
// is none.
double StrToFloat(const std::string& text) {
  const char* first = text.data();
  const char* last = text.data() + text.size();
  // from_chars takes a minus sign but no plus sign.
  if (first != last && *first == '+' && last - first > 1 && first[1] != '-') {
    ++first;
  }
  double value = 0.0;
  const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
  if (error != std::errc() || end != last || first == last || std::isnan(value)) {
    throw std::runtime_error("'" + text + "' is not a valid floating point value");
  }
  return value;
}

// The units in which the register holds hundredths rather than whole units
// when a number is typed in them.
bool InHundredths(const std::string& unitsName) {
  return unitsName == kMetresPerSecond || unitsName == kInchesOfWater;
}

// The ends of the range a word holds in the representation of the units:
// 0 to 327.67 m/sec, 0 to 32767 ft/min, -16383 to 16383 Pa, -163.83 to
// 163.83 ins Wg.
uint16_t LowestWord(const std::string& unitsName) {
  if (unitsName == kFeetPerMinute) {
    return kWholeUnitsBit;
  }
  if (unitsName == kPascals) {
    return kWholeUnitsBit | kPressureMagnitude;
  }
  if (unitsName == kInchesOfWater) {
    return kPressureMagnitude;
  }
  return 0;
}

uint16_t HighestWord(const std::string& unitsName) {
  if (unitsName == kFeetPerMinute || unitsName == kPascals) {
    return 0xFFFF;
  }
  return kVelocityMagnitude;
}

}  // namespace

TSettingUnits::TSettingUnits(TGroup* group, int32_t instanceIndex)
    : TSettingEditRow(group, instanceIndex) {}

bool TSettingUnits::IsVelocityUnit(const std::string& unitsName) {
  return unitsName == kMetresPerSecond || unitsName == kFeetPerMinute;
}

bool TSettingUnits::IsPressureUnit(const std::string& unitsName) {
  return unitsName == kPascals || unitsName == kInchesOfWater;
}

bool TSettingUnits::IsKnownUnit(const std::string& unitsName) {
  return IsVelocityUnit(unitsName) || IsPressureUnit(unitsName);
}

float TSettingUnits::Decode(uint16_t raw, const std::string& unitsName) {
  if (!IsKnownUnit(unitsName)) {
    return static_cast<float>(raw);
  }
  const bool wholeUnits = (raw & kWholeUnitsBit) != 0;
  uint16_t magnitude = raw & kVelocityMagnitude;
  bool negative = false;
  if (IsPressureUnit(unitsName)) {
    negative = (raw & kNotNegativeBit) == 0;
    magnitude &= kPressureMagnitude;
  }
  float number = 0.0f;
  if (unitsName == kMetresPerSecond) {
    number = wholeUnits ? Rounded(magnitude * static_cast<long double>(kHundredthsMsPerFtMin))
                        : Rounded(magnitude);
    number = Rounded(kHundredth * number);
  } else if (unitsName == kFeetPerMinute) {
    number = wholeUnits ? Rounded(magnitude) : Rounded(magnitude * kFtMinPerHundredthMs);
  } else if (unitsName == kPascals) {
    number = wholeUnits ? Rounded(magnitude)
                        : Rounded(magnitude * static_cast<long double>(kPaPerHundredthInWg));
  } else {
    number = wholeUnits ? Rounded(magnitude * kHundredthInWgPerPa) : Rounded(magnitude);
    number = Rounded(kHundredth * number);
  }
  return negative ? -number : number;
}

uint16_t TSettingUnits::Encode(float value, const std::string& unitsName) {
  int64_t word = 0;
  if (unitsName == kMetresPerSecond) {
    const float hundredths = value * kHundred;
    word = Truncate(hundredths);
  } else if (unitsName == kInchesOfWater) {
    const bool negative = value < 0.0f;
    const float magnitude = negative ? -value : value;
    const float hundredths = magnitude * kHundred;
    word = Truncate(hundredths);
    if (!negative) {
      word |= kNotNegativeBit;
    }
  } else if (unitsName == kFeetPerMinute) {
    word = Truncate(value) | kWholeUnitsBit;
  } else if (unitsName == kPascals) {
    const bool negative = value < 0.0f;
    word = Truncate(negative ? -value : value);
    if (!negative) {
      word |= kNotNegativeBit;
    }
    word |= kWholeUnitsBit;
  } else {
    word = Truncate(value);
  }
  return static_cast<uint16_t>(word & 0xFFFF);
}

double TSettingUnits::ComparableValue(int32_t raw, const std::string& unitsName) {
  const auto word = static_cast<uint16_t>(raw & 0xFFFF);
  if (IsVelocityUnit(unitsName)) {
    return static_cast<double>(Truncate(Decode(word, kMetresPerSecond)));
  }
  if (IsPressureUnit(unitsName)) {
    return static_cast<double>(Truncate(Decode(word, kPascals)));
  }
  return raw;
}

void TSettingUnits::LoadDefinition(const pugi::xml_node& element) {
  TSetting::LoadDefinition(element);
  const int32_t minimum = GetAttribute(element, "min").AsInteger();
  const int32_t maximum = GetAttribute(element, "max").AsInteger();
  SetLimits(minimum, maximum);
  SetDefault(GetAttribute(element, "default").AsInteger());
}

TEditBehaviour TSettingUnits::EntryBehaviour() {
  return {
      .EntryText = [this] { return QString::fromStdString(FormatValue(false)); },
      .Check = [this](const std::string& text) { return CheckEntry(text); },
      .Take = [this](const std::string& text) { TakeEntry(text); },
      .ShowValue = [this] { UpdateDisplay(true); },
  };
}

void TSettingUnits::UpdateDisplay(bool decorated) {
  Edit.SetText(QString::fromStdString(FormatValue(decorated)));
}

void TSettingUnits::ExportCsv(std::vector<std::string>& lines) {
  lines.push_back(Name() + "," + FormatValue(true));
}

double TSettingUnits::ToDisplayValue(int32_t raw) {
  return ComparableValue(raw, Document().UnitsName());
}

std::string TSettingUnits::FormatValue(bool decorated) const {
  return FormatWord(Value(), decorated);
}

std::string TSettingUnits::FormatWord(int32_t raw, bool decorated) const {
  const std::string& unitsName = Document().UnitsName();
  const auto word = static_cast<uint16_t>(raw & 0xFFFF);
  // Without a unit to convert to, the register word itself is the only
  // honest number to show; it carries no unit.
  if (!IsKnownUnit(unitsName)) {
    return std::to_string(word);
  }
  const float number = Decode(word, unitsName);
  std::string text =
      InHundredths(unitsName) ? TwoDecimals(number) : std::to_string(Truncate(number));
  if (decorated) {
    text += " " + unitsName;
  }
  return text;
}

TRefusal TSettingUnits::ParseEntry(const std::string& text, float& number) const {
  const std::string& unitsName = Document().UnitsName();
  if (!IsKnownUnit(unitsName)) {
    return "This setting cannot be changed while the display units are '" + unitsName +
           "': choose m/sec, ft/min, Pa or ins Wg first";
  }
  try {
    number = InHundredths(unitsName) ? static_cast<float>(StrToFloat(text))
                                     : static_cast<float>(StrToInt(text));
  } catch (const std::runtime_error& error) {
    return std::string(error.what());
  }
  return std::nullopt;
}

TRefusal TSettingUnits::CheckEntry(const std::string& text) const {
  float number = 0.0f;
  if (TRefusal refusal = ParseEntry(text, number)) {
    return refusal;
  }
  const std::string& unitsName = Document().UnitsName();
  const uint16_t lowestWord = LowestWord(unitsName);
  const uint16_t highestWord = HighestWord(unitsName);
  // The limits in the display units. A limit held in the other
  // representation may lie beyond what the word holds in this one (500.00
  // m/sec is more than 32767 ft/min): the word's own end is the limit then.
  const float minimum = std::max(Decode(static_cast<uint16_t>(Minimum() & 0xFFFF), unitsName),
                                 Decode(lowestWord, unitsName));
  const float maximum = std::min(Decode(static_cast<uint16_t>(Maximum() & 0xFFFF), unitsName),
                                 Decode(highestWord, unitsName));
  const std::string belowMinimum = BelowMinimum(TwoDecimals(minimum));
  const std::string aboveMaximum = AboveMaximum(TwoDecimals(maximum));

  // What the word cannot hold would wrap into another value: a velocity has
  // no sign, and the magnitude has 15 bits for a velocity, 14 for a
  // pressure.
  if (IsVelocityUnit(unitsName) && number < 0.0f) {
    return belowMinimum;
  }
  const float magnitude = std::fabs(number);
  const float scaled = InHundredths(unitsName) ? magnitude * kHundred : magnitude;
  const uint16_t largest = IsVelocityUnit(unitsName) ? kVelocityMagnitude : kPressureMagnitude;
  if (!(scaled < static_cast<float>(largest) + 1.0f)) {
    return number < 0.0f ? belowMinimum : aboveMaximum;
  }

  // The entry and the limits are compared as the words they would be in
  // the representation of the display units.
  const float entry = Decode(Encode(number, unitsName), unitsName);
  if (entry < Decode(Encode(minimum, unitsName), unitsName)) {
    return belowMinimum;
  }
  if (entry > Decode(Encode(maximum, unitsName), unitsName)) {
    return aboveMaximum;
  }
  return std::nullopt;
}

void TSettingUnits::TakeEntry(const std::string& text) {
  float number = 0.0f;
  ParseEntry(text, number);
  const int32_t raw = Encode(number, Document().UnitsName());
  if (!ShowRefusal(CheckRelativeLimits(raw)) && raw != Value()) {
    ChangeValue(raw);
    StoreValue();
  }
  UpdateDisplay(true);
}

// Limits and default are register words; the setting compares them as the display shows
// them, so the check compares them in each unit family the document may show. Display values
// closer than half the finest step (a hundredth) are equal.
void TSettingUnits::CheckDefinition(TDefinitionCheck& check) const {
  constexpr double kTolerance = 0.005;
  const std::vector<std::string>& families = check.UnitFamilies();
  auto shown = [](std::int32_t raw, const std::string& unit) {
    return static_cast<double>(Decode(static_cast<uint16_t>(raw & 0xFFFF), unit));
  };
  bool minAboveMax = true;
  bool defaultOutside = true;
  for (const std::string& unit : families) {
    const double minimum = shown(Minimum(), unit);
    const double maximum = shown(Maximum(), unit);
    const double value = shown(Default(), unit);
    minAboveMax = minAboveMax && minimum - maximum > kTolerance;
    defaultOutside =
        defaultOutside && (minimum - value > kTolerance || value - maximum > kTolerance);
  }
  auto text = [&](std::int32_t raw) {
    std::string result = std::to_string(raw);
    if (families.size() == 1) {
      char decimals[64];
      std::snprintf(decimals, sizeof(decimals), "%.2f", shown(raw, families[0]) + 0.0);
      result += std::string(" (") + decimals + " " + families[0] + ")";
    }
    return result;
  };
  check.CheckLimits(*this, text(Minimum()), text(Maximum()), minAboveMax, defaultOutside,
                    text(Default()));
}

std::optional<TShownValue> TSettingUnits::ShownValue() const {
  const std::string& units = Document().UnitsName();
  return TShownValue{FormatValue(false), IsKnownUnit(units) ? units : "",
                     FormatWord(Default(), false)};
}

}  // namespace model
