#include "app/Fm_about.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QStringList>

#include "ui/ErrorBox.h"
#include "ui/Fonts.h"
#include "ui/MessageBoxes.h"
#include "ui/Panel.h"
#include "ui/Picture.h"

namespace {

const QColor kTextColour(63, 61, 61);
const QColor kOutlineColour(172, 168, 153);
constexpr const char* kNoVersion = "<could not access version info>";

}  // namespace

std::optional<std::string> FormatVersion(const std::string& version) {
  const QStringList parts = QString::fromStdString(version).split('.');
  if (parts.size() != 4) {
    return std::nullopt;
  }
  QStringList numbers;
  for (const QString& part : parts) {
    bool ok = false;
    const uint number = part.toUInt(&ok, 10);
    if (!ok || number > 0xFFFF) {
      return std::nullopt;
    }
    numbers << QString::number(number);
  }
  return numbers.join('.').toStdString();
}

TfmAbout::TfmAbout(QWidget* parent, const QString& imagesFolder, const std::string& version)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("About"));
  setFixedSize(380, 310);
  setFont(ui::DefaultFont());
  QPalette palette = this->palette();
  palette.setColor(QPalette::WindowText, kTextColour);
  setPalette(palette);

  GroupBox = new ui::TPanel(this);
  GroupBox->setObjectName(QStringLiteral("GroupBox"));
  GroupBox->setGeometry(17, 15, 345, 249);
  GroupBox->setStyleSheet(QStringLiteral("#GroupBox { border: 1px solid rgb(%1, %2, %3); }")
                              .arg(kOutlineColour.red())
                              .arg(kOutlineColour.green())
                              .arg(kOutlineColour.blue()));
  GroupBox->setAttribute(Qt::WA_StyledBackground, true);

  lbTitle = new QLabel(QStringLiteral("Dravonik Configuration Manager"), GroupBox);
  lbTitle->setGeometry(80, 27, 214, 38);
  lbTitle->setWordWrap(true);
  QFont titleFont = ui::FaceFont(QStringLiteral("Verdana"));
  titleFont.setBold(true);
  titleFont.setPixelSize(16);
  lbTitle->setFont(titleFont);

  lbSoftwareVersion = new QLabel(GroupBox);
  lbSoftwareVersion->move(80, 87);
  QFont boldFont = ui::DefaultFont();
  boldFont.setBold(true);
  lbSoftwareVersion->setFont(boldFont);
  QPalette black = lbSoftwareVersion->palette();
  black.setColor(QPalette::WindowText, Qt::black);
  lbSoftwareVersion->setPalette(black);

  Image1 = new QLabel(GroupBox);
  Image1->setGeometry(81, 125, 161, 65);
  const ui::TPicture logo = ui::TPicture::Load(imagesFolder + QStringLiteral("/logo.bmp"));
  if (!logo.IsNull()) {
    // Fitted to the label's device pixels from the drawing made for the screen's density.
    const qreal ratio = devicePixelRatioF();
    QPixmap fitted = logo.ForRatio(ratio).scaled(Image1->size() * ratio, Qt::KeepAspectRatio,
                                                 Qt::SmoothTransformation);
    fitted.setDevicePixelRatio(ratio);
    Image1->setPixmap(fitted);
  }
  Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  // A push button of a dialog closes it with Esc as the cancel button does.
  suiButton1 = new QPushButton(QStringLiteral("&Ok"), this);
  suiButton1->setGeometry(154, 274, 72, 22);
  suiButton1->setDefault(true);
  connect(suiButton1, &QPushButton::clicked, this, &QDialog::accept);

  FormCreate(version);
}

void TfmAbout::FormCreate(const std::string& version) {
  std::optional<std::string> text = FormatVersion(version);
  if (!text) {
    ui::MessageBoxes().Show(
        ui::TBoxIcon::None, ui::kApplicationTitle,
        "The program's version information is not a four-part version: '" + version + "'",
        ui::TBoxButtons::Ok);
    text = kNoVersion;
  }
  lbSoftwareVersion->setText(QString::fromStdString("Software Version " + *text));
  lbSoftwareVersion->adjustSize();
}
