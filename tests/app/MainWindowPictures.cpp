#include "tests/app/MainWindowPictures.h"

#include <cstdlib>

#include "model/Group.h"
#include "model/OfflineEdit.h"
#include "model/Settings.h"
#include "tests/support/SimProcess.h"

namespace testsupport {

namespace {

// The bundled device type whose definitions expand into group ranges.
constexpr int kDeviceWithRanges = 1;

}  // namespace

TWindowWithPictures::TWindowWithPictures() {
  window_ = std::make_unique<TfmMain>(QString::fromStdString(SimProcess::BinDir()));
  window_->show();
  // A settings file of the device type's factory defaults, opened as a double-click does.
  const std::string path = files_.File("defaults.zsf");
  model::TSettings& document = *window_->Devices()->GetDevice(kDeviceWithRanges).Settings;
  model::OpenOffline(document);
  document.SaveToFile(path);
  window_->OpenSettingsFile(QString::fromStdString(path));
}

TWindowWithPictures::~TWindowWithPictures() {
  window_->close();
  window_.reset();
}

std::vector<TWindowWithPictures::TButton> TWindowWithPictures::Buttons() const {
  std::vector<TButton> buttons = {{window_->btConnect, "connect_normal", "connect_down"},
                                  {window_->btRefresh, "refresh_normal", "refresh_down"},
                                  {window_->Image1, "logo", "logo"}};
  if (window_->CurrentDevice != nullptr) {
    for (const auto& group : window_->CurrentDevice->Settings->Groups) {
      if (group->NavigationButton) {
        const std::string kind = group->IsSubgroup ? "subgroup" : "group";
        buttons.push_back({group->NavigationButton.data(), kind + "_normal", kind + "_down"});
      }
    }
  }
  return buttons;
}

QImage BundledPicture(const std::string& file) {
  return QImage(QString::fromStdString(DRAVONIK_SOURCE_DIR "/data/images/" + file))
      .convertToFormat(QImage::Format_RGB32);
}

QImage Rgb(const QPixmap& pixmap) {
  return pixmap.toImage().convertToFormat(QImage::Format_RGB32);
}

}  // namespace testsupport
