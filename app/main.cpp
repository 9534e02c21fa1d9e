#include <QApplication>
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
    QApplication::exec();
    fmMain = nullptr;
  });
  return 0;
}
