#include "ui/Skin.h"

#include <QApplication>

#include "ui/Fonts.h"

namespace ui {

namespace {

constexpr const char* kStyleSheet = R"(
QPushButton {
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 #e4e2dc);
  border: 1px solid #8e8b80;
  border-radius: 2px;
  padding: 0px 2px;
  color: #3f3d3d;
}
QPushButton:hover { border-color: #c8102e; }
QPushButton:pressed { background: #d4d0c8; }
QPushButton:disabled { color: #a8a69f; border-color: #c4c1b8; }
QPushButton:focus { border-color: #5b5955; }
QLineEdit, QComboBox {
  background: #ffffff;
  border: 1px solid #aca899;
  padding: 0px 2px;
  color: #3f3d3d;
}
QLineEdit:read-only { background: #f1efe9; }
QLineEdit:disabled, QComboBox:disabled { background: #f1efe9; color: #a8a69f; }
QCheckBox, QRadioButton { color: #3f3d3d; }
QCheckBox:disabled, QRadioButton:disabled { color: #a8a69f; }
QGroupBox { border: 1px solid #aca899; margin-top: 8px; }
QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }
QProgressBar {
  border: 1px solid #aca899;
  background: #ffffff;
  text-align: center;
}
QProgressBar::chunk { background: #c8102e; }
)";

}  // namespace

void ApplySkin(QApplication& application) {
  application.setFont(DefaultFont());
  application.setStyleSheet(QString::fromUtf8(kStyleSheet));
}

}  // namespace ui
