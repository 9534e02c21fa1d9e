#pragma once

#include <QImage>
#include <memory>
#include <string>
#include <vector>

#include "app/Fm_main.h"
#include "tests/support/RecordingMessageBoxes.h"
#include "tests/support/TempDir.h"
#include "ui/ImageButton.h"

namespace testsupport {

// The main window run from the build's program folder (the bundled Devices.xml and images),
// with the factory defaults of the bundled device type that has group ranges open for offline
// edit: group and group-range navigation buttons are on display beside the tool buttons.
class TWindowWithPictures {
 public:
  // A picture button and the bundled pictures it shows normally and pressed ("connect_normal",
  // "connect_down"); the logo shows "logo" in both.
  struct TButton {
    ui::TImageButton* Button;
    std::string Normal;
    std::string Down;
  };

  TWindowWithPictures();
  ~TWindowWithPictures();
  TWindowWithPictures(const TWindowWithPictures&) = delete;
  TWindowWithPictures& operator=(const TWindowWithPictures&) = delete;

  TfmMain& Window() const { return *window_; }
  std::vector<TButton> Buttons() const;
  // What the open went through: an empty list when it went as it should.
  const TRecordingMessageBoxes& Boxes() const { return boxes_; }

 private:
  testsupport::TConfigHome config_;
  TTempDir files_;
  TRecordingMessageBoxes boxes_;
  std::unique_ptr<TfmMain> window_;
};

// A picture file of the source's images folder ("connect_normal@2x.png"), as 32-bit RGB.
QImage BundledPicture(const std::string& file);

// A pixmap as 32-bit RGB, for comparing with a bundled picture.
QImage Rgb(const QPixmap& pixmap);

}  // namespace testsupport
