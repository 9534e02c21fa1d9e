#include <QApplication>
#include <QTimer>
#include <exception>

#include "app/Fm_main.h"
#include "ui/ErrorBox.h"
#include "ui/Skin.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(ui::kApplicationTitle));
  ui::ApplySkin(application);

  ui::RunGuarded([] {
    TfmMain window(QCoreApplication::applicationDirPath());
    fmMain = &window;
    window.show();
    // A settings file given (a double-click in the file manager) opens once the window is up.
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 1) {
      const QString file = arguments.at(1);
      QTimer::singleShot(0, &window, [&window, file] { window.OpenSettingsFile(file); });
    }
    QApplication::exec();
    fmMain = nullptr;
  });
  return 0;
}
