#include "tests/fuzz/FuzzQt.h"

#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "ui/Skin.h"

namespace fuzzsupport {
namespace {

// Answers every box as a user who only presses the default button.
class TSilentBoxes : public ui::TMessageBoxes {
 public:
  ui::TBoxAnswer Show(ui::TBoxIcon, const std::string&, const std::string&,
                      ui::TBoxButtons buttons) override {
    return buttons == ui::TBoxButtons::YesNo ? ui::TBoxAnswer::Yes : ui::TBoxAnswer::Ok;
  }
};

// The folder lives as long as the process; its path is kept in static storage that is never
// destroyed, so the removal at exit can still read it.
const char* ScratchFolder() {
  static char folder[64] = {};
  if (folder[0] == 0) {
    const char* base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    std::snprintf(folder, sizeof folder, "%s/dravonik-fuzz-XXXXXX", base);
    if (::mkdtemp(folder) == nullptr) {
      throw std::runtime_error("cannot make a scratch folder");
    }
    // libFuzzer ends the process through exit().
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(folder, ignored);
    });
  }
  return folder;
}

}  // namespace

void StartApplication(int* argc, char*** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  static QApplication application(*argc, *argv);
  ui::ApplySkin(application);
  static TSilentBoxes boxes;
  ui::SetMessageBoxes(&boxes);
}

std::string WriteScratchFile(const std::string& name, const std::uint8_t* data, std::size_t size) {
  const std::filesystem::path path = std::filesystem::path(ScratchFolder()) / name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  out.close();
  if (!out) {
    throw std::runtime_error("cannot write the scratch file " + path.string());
  }
  return path.string();
}

void DeleteDeferredWidgets() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace fuzzsupport
