#include "ui/QtMessageBoxes.h"

#include <QApplication>
#include <QMessageBox>

namespace ui {

namespace {

QMessageBox::Icon ToQtIcon(TBoxIcon icon) {
  switch (icon) {
    case TBoxIcon::Information:
      return QMessageBox::Information;
    case TBoxIcon::Error:
      return QMessageBox::Critical;
    case TBoxIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

TBoxAnswer TQtMessageBoxes::Show(TBoxIcon icon, const std::string& caption, const std::string& text,
                                 TBoxButtons buttons) {
  QMessageBox box(ToQtIcon(icon), QString::fromStdString(caption), QString::fromStdString(text),
                  QMessageBox::NoButton, QApplication::activeWindow());
  if (buttons == TBoxButtons::YesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
  }
  switch (box.exec()) {
    case QMessageBox::Ok:
      return TBoxAnswer::Ok;
    case QMessageBox::Yes:
      return TBoxAnswer::Yes;
    case QMessageBox::No:
      return TBoxAnswer::No;
    default:
      return TBoxAnswer::Closed;
  }
}

}  // namespace ui
