#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/Setting_editrow.h"

namespace model {

// A four-digit numeric code kept in one register as a plain integer ("0042"
// is 42). It is shown with leading zeros and moves to and from the device as
// an integer setting's value does.
class TSettingPassword : public TSettingEditRow {
 public:
  TSettingPassword(TGroup* group, int32_t instanceIndex);

  void UpdateDisplay(bool decorated) override;
  void ExportCsv(std::vector<std::string>& lines) override;
  std::optional<TShownValue> ShownValue() const override;

  // Value as at least four digits with leading zeros; a negative value keeps
  // its sign inside the four characters, a larger one all its digits.
  std::string FormatPassword() const;
  // The same for any code (the factory default, say).
  static std::string FormatCode(int32_t code);
  // Why a typed code cannot be taken, or nothing.
  TRefusal CheckPasswordText(const std::string& text) const;

  // The user types at most this many characters.
  static constexpr int kDigits = 4;

 protected:
  TEditBehaviour EntryBehaviour() override;
  void PrepareBox(QLineEdit& box) override;

 private:
  // Shows a text, letting the box hold more than four characters only when
  // the text itself is longer (a device value above 9999).
  void ShowText(const std::string& text);
};

}  // namespace model
