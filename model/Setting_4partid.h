#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/EditBox.h"
#include "model/Setting.h"

namespace model {

// A 32-bit identifier (an address) edited as four numbers, one per byte,
// most significant first. It lies in two holding registers, the low half
// first. Each part is checked against the setting's `min` and `max` and
// must fit its byte.
class TSetting4PartID : public TSetting {
 public:
  TSetting4PartID(TGroup* group, int32_t instanceIndex);

  void LoadDefinition(const pugi::xml_node& element) override;
  void CreateControls(QWidget* page, int index, int top) override;
  void DestroyControls() override;
  void SetEnabled(bool enabled) override;
  void UpdateDisplay(bool decorated) override;
  void RestoreDefault() override;
  pugi::xml_node SaveToXml(pugi::xml_node groupElement) override;
  void CheckDefinition(TDefinitionCheck& check) const override;
  void ExportCsv(std::vector<std::string>& lines) override;
  std::optional<TShownValue> ShownValue() const override;
  void LoadValueFromStore() override;
  bool CopyValueFrom(TSetting& source) override;
  void ReadValueFromXml(const pugi::xml_node& settingElement) override;
  std::string CheckFileValue(const pugi::xml_node& settingElement) const override;

  uint32_t CombineParts() const;
  void SplitId(uint32_t id);
  void ShowParts();
  // Why a typed part cannot be taken, or nothing.
  TRefusal CheckPartText(const std::string& text) const;

  static constexpr int kParts = 4;

  std::string ValueText;
  std::array<TEditBox, kParts> PartEdits;
  std::array<uint16_t, kParts> Parts{};
  uint32_t DefaultId = 0;

 protected:
  void PutValueInStore() override;

 private:
  // Takes a checked entry of a part (0, the most significant, to 3).
  void TakeEntry(int part, const std::string& text);
};

}  // namespace model
