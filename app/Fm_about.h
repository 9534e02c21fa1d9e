#pragma once

#include <QDialog>
#include <optional>
#include <string>

class QLabel;
class QPushButton;

namespace ui {
class TPanel;
}

// The version as the About box shows it, "major.minor.release.build", or
// nothing when the text is not four numbers of 0..65535 separated by dots.
std::optional<std::string> FormatVersion(const std::string& version);

// The About box: product title, program version and logo.
class TfmAbout : public QDialog {
  Q_OBJECT

 public:
  // `imagesFolder` holds the logo; `version` is the program's four-part
  // version as the build recorded it.
  TfmAbout(QWidget* parent, const QString& imagesFolder, const std::string& version);

  ui::TPanel* GroupBox = nullptr;
  QLabel* lbTitle = nullptr;
  QLabel* lbSoftwareVersion = nullptr;
  QLabel* Image1 = nullptr;
  QPushButton* suiButton1 = nullptr;

 private:
  void FormCreate(const std::string& version);
};
