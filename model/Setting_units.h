#pragma once

#include <cstdint>
#include <string>

#include "model/Setting_editrow.h"

namespace model {

// A velocity or a pressure, shown and typed in the display units chosen by
// the document's units selector ("m/sec", "ft/min", "Pa" or "ins Wg").
//
// The register word says in which unit it holds the number: bit 15 set means
// whole ft/min or whole Pa, clear means hundredths of m/s or of an inch of
// water gauge. A pressure carries its sign in bit 14 (set: zero or positive)
// and its magnitude in bits 13..0; a velocity has no sign and a 15-bit
// magnitude. A typed number is stored in the representation of the unit it
// was typed in.
class TSettingUnits : public TSettingEditRow {
 public:
  TSettingUnits(TGroup* group, int32_t instanceIndex);

  void LoadDefinition(const pugi::xml_node& element) override;
  void UpdateDisplay(bool decorated) override;
  void CheckDefinition(TDefinitionCheck& check) const override;
  void ExportCsv(std::vector<std::string>& lines) override;
  std::optional<TShownValue> ShownValue() const override;
  double ToDisplayValue(int32_t raw) override;

  // Whether the display units are one of the four this kind converts to.
  static bool IsKnownUnit(const std::string& unitsName);
  static bool IsVelocityUnit(const std::string& unitsName);
  static bool IsPressureUnit(const std::string& unitsName);

  // The register word as a number in the unit, at single precision. With a
  // unit name outside the four the word itself, unconverted.
  static float Decode(uint16_t raw, const std::string& unitsName);
  // The number as a register word in the unit's own representation. Only
  // numbers that fit the word give a meaningful result; CheckEntry
  // refuses the others before they get here. With a unit name outside the
  // four the number itself, truncated.
  static uint16_t Encode(float value, const std::string& unitsName);
  // The register word as a number to compare relative limits with: whole
  // m/s for either velocity unit, whole Pa for either pressure unit, the
  // word unchanged for a unit name outside the four.
  static double ComparableValue(int32_t raw, const std::string& unitsName);

  // The value in the document's display units, with the unit when
  // decorated.
  std::string FormatValue(bool decorated) const;
  // The same for another raw value (the factory default, say).
  std::string FormatWord(int32_t raw, bool decorated) const;

  // Why a typed text cannot be taken, or nothing.
  TRefusal CheckEntry(const std::string& text) const;
  // Takes a checked text unless it breaks a relative limit, and shows the value again.
  void TakeEntry(const std::string& text);

 protected:
  TEditBehaviour EntryBehaviour() override;

 private:
  // The typed text as a number in the display units, or why it is none.
  TRefusal ParseEntry(const std::string& text, float& number) const;
};

}  // namespace model
