#pragma once

#include <QPointer>
#include <cstdint>
#include <string>
#include <vector>

#include "model/Setting.h"

class QLineEdit;

namespace model {

// A four-digit numeric code kept in one register as a plain integer ("0042"
// is 42). It is shown with leading zeros and moves to and from the device as
// an integer setting's value does.
class TSettingPassword : public TSetting {
 public:
  TSettingPassword(TGroup* group, int32_t instanceIndex);

  void CreateControls(QWidget* page, int index, int top) override;
  void DestroyControls() override;
  void SetEnabled(bool enabled) override;
  void UpdateDisplay(bool decorated) override;
  void ExportCsv(std::vector<std::string>& lines) override;

  // Value as at least four digits with leading zeros; a negative value keeps
  // its sign inside the four characters, a larger one all its digits.
  std::string FormatPassword() const;
  // Checks a typed code, with the messages the user sees.
  bool CheckPasswordText(const std::string& text);

  // The edit box's handlers.
  void PasswordEntered();
  void PasswordExited();

  QPointer<QLineEdit> PasswordEdit;

  // The user types at most this many characters.
  static constexpr int kDigits = 4;

 private:
  // Shows a text, letting the box hold more than four characters only when
  // the text itself is longer (a device value above 9999).
  void ShowText(const std::string& text);

  // The box has the focus since the user entered it.
  bool entered_ = false;
};

}  // namespace model
