#include <QApplication>
#include <QTimer>
#include <cstring>
#include <exception>
#include <iostream>

#include "app/Fm_main.h"
#include "app/Version.h"
#include "ui/ErrorBox.h"
#include "ui/Skin.h"

namespace {

constexpr const char* kUsage = R"(Usage: dravonik-config [FILE.zsf]
Reads, edits and writes the configuration of a Dravonik device over an RS-232 port or an FTDI
USB converter, and edits settings offline. FILE.zsf, a settings file, opens as an offline edit
of its device type.

  --help     this text
  --version  the program's version
Qt's own options (-platform NAME, -style NAME, ...) are taken as well.
)";

}  // namespace

int main(int argc, char* argv[]) {
  // Answered before any window exists, so that they need no display.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::cout << kUsage;
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::cout << "dravonik-config " << kProgramVersion << '\n';
      return 0;
    }
  }
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(ui::kApplicationTitle));
  ui::ApplySkin(application);

  ui::RunGuarded([] {
    TfmMain window(QCoreApplication::applicationDirPath());
    window.show();
    // A settings file given (a double-click in the file manager) opens once the window is up.
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 1) {
      const QString file = arguments.at(1);
      QTimer::singleShot(0, &window, [&window, file] { window.OpenSettingsFile(file); });
    }
    QApplication::exec();
  });
  return 0;
}
