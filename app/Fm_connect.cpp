#include "app/Fm_connect.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <cctype>
#include <stdexcept>

#include "comms/LinkError.h"
#include "comms/Registry.h"
#include "comms/SerialDevices.h"
#include "comms/Serialmanager.h"
#include "comms/StoredChoices.h"
#include "modbus/MbusMasterFunctions.h"
#include "modbus/SerialPort.h"
#include "ui/ComboBox.h"
#include "ui/ErrorBox.h"
#include "ui/Fonts.h"

namespace {

constexpr int kDialogWidth = 604;
constexpr int kDialogHeight = 400;
constexpr int kCallBackMs = 100;
constexpr const char* kKey = comms::kConfigKey;

constexpr const char* kInstructions =
    "Select the correct communication settings from the drop down options in the right hand "
    "pane.  These details must match the settings stored in the Dravonik device you wish to "
    "connect to.\n\nYou can modify a configuration settings file offline by choosing the "
    "'Offline Setting Editor' option and selecting the type of device.\n\n";
constexpr const char* kFailedToConnect =
    "Dravonik failed to connect, please check settings and try again";

QGroupBox* FramedBox(QWidget* parent, const char* name, const QRect& geometry) {
  auto* box = new QGroupBox(parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setGeometry(geometry);
  box->setStyleSheet(QStringLiteral("#%1 { border: 1px solid rgb(104, 104, 104); margin-top: 0; }")
                         .arg(QString::fromLatin1(name)));
  return box;
}

// Connects a click to a handler; an error the handler throws goes to the application's
// error box.
template <typename Button, typename Handler>
void OnClick(Button* button, QObject* context, Handler handler) {
  QObject::connect(button, &Button::clicked, context,
                   [handler] { ui::RunGuarded([&] { handler(); }); });
}

}  // namespace

TfmConnect::TfmConnect(QWidget* owner, comms::TSerialManager& manager,
                       model::TDevice* currentDevice)
    : QDialog(owner), manager_(manager), currentDevice_(currentDevice) {
  setWindowTitle(QStringLiteral("Connect"));
  setFont(ui::DefaultFont());
  setFixedSize(kDialogWidth, kDialogHeight);
  BuildLayout();
  if (owner != nullptr) {
    const QPoint centre = owner->frameGeometry().center();
    move(centre - QPoint(kDialogWidth / 2, kDialogHeight / 2));
  }
}

void TfmConnect::BuildLayout() {
  suiGroupBox2 = FramedBox(this, "suiGroupBox2", QRect(16, 8, 193, 329));
  Label1 = new QLabel(QStringLiteral("Connect Instructions..."), suiGroupBox2);
  QFont bold = font();
  bold.setBold(true);
  Label1->setFont(bold);
  Label1->move(8, 16);
  Label1->adjustSize();
  lbInstructions = new QLabel(suiGroupBox2);
  lbInstructions->setGeometry(8, 40, 169, 249);
  lbInstructions->setWordWrap(true);
  lbInstructions->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  suiGroupBox1 = FramedBox(this, "suiGroupBox1", QRect(224, 8, 364, 329));
  rbOnline = new QRadioButton(QStringLiteral("Online Configuration Manager"), suiGroupBox1);
  rbOnline->move(16, 24);
  rbOnline->adjustSize();
  rgConnectionType = new QGroupBox(QStringLiteral("Connection Type"), suiGroupBox1);
  rgConnectionType->setGeometry(40, 48, 249, 49);
  rgConnectionTypeUsb = new QRadioButton(QStringLiteral("USB"), rgConnectionType);
  rgConnectionTypeUsb->move(8, 20);
  rgConnectionTypeUsb->adjustSize();
  rgConnectionTypeSerial = new QRadioButton(QStringLiteral("Serial (RS232)"), rgConnectionType);
  rgConnectionTypeSerial->move(8 + 249 / 2, 20);
  rgConnectionTypeSerial->adjustSize();
  Label4 = new QLabel(QStringLiteral("Comm Port"), suiGroupBox1);
  Label4->move(40, 121);
  Label4->adjustSize();
  lbPortDevice = new QLabel(suiGroupBox1);
  lbPortDevice->setGeometry(40, 150, 316, 16);
  cbPortDevice = new ui::TComboBox(suiGroupBox1);
  cbPortDevice->setGeometry(40, 170, 305, 21);
  cbPortDevice->setPlaceholderText(QStringLiteral("Another serial device..."));
  rbOffline = new QRadioButton(QStringLiteral("Offline Settings Editor"), suiGroupBox1);
  rbOffline->move(16, 205);
  rbOffline->adjustSize();
  Label7 = new QLabel(QStringLiteral("Device"), suiGroupBox1);
  Label7->move(40, 241);
  Label7->adjustSize();
  cbDevice = new ui::TComboBox(suiGroupBox1);
  cbDevice->setGeometry(136, 237, 209, 21);

  // The comm port list lies on the dialog itself, over the choices pane.
  cbCommPort = new ui::TComboBox(this);
  cbCommPort->setGeometry(368, 125, 145, 21);
  for (int port = 1; port <= kCommPorts; ++port) {
    cbCommPort->addItem(QStringLiteral("Comm %1").arg(port));
  }

  btnConnect = new QPushButton(QStringLiteral("&Connect"), this);
  btnConnect->setGeometry(424, 360, 75, 25);
  // Enter connects (or edits), wherever the focus is; Escape cancels (reject).
  btnConnect->setDefault(true);
  btnCancel = new QPushButton(QStringLiteral("&Cancel"), this);
  btnCancel->setGeometry(512, 360, 75, 25);
  lbSearch = new QLabel(this);
  lbSearch->setGeometry(16, 364, 393, 17);
  CallBackTimer = new QTimer(this);
  CallBackTimer->setInterval(kCallBackMs);
  CallBackTimer->setSingleShot(true);

  OnClick(rbOnline, this, [this] { rbOnlineClick(rbOnline); });
  OnClick(rbOffline, this, [this] { rbOnlineClick(rbOffline); });
  OnClick(rgConnectionTypeUsb, this, [this] { rgConnectionTypeClick(); });
  OnClick(rgConnectionTypeSerial, this, [this] { rgConnectionTypeClick(); });
  OnClick(btnConnect, this, [this] { btConnectClick(); });
  OnClick(btnCancel, this, [this] { btCancelClick(); });
  connect(CallBackTimer, &QTimer::timeout, this,
          [this] { ui::RunGuarded([this] { CallBackTimerTimer(); }); });
  connect(cbCommPort, &QComboBox::currentIndexChanged, this, [this] { ShowPortDevice(); });
  connect(cbPortDevice, &QComboBox::activated, this,
          [this] { ui::RunGuarded([this] { cbPortDeviceChange(); }); });
}

int TfmConnect::ShowModal() {
  return exec();
}

void TfmConnect::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!shown_) {
    shown_ = true;
    ui::RunGuarded([this] { FormShow(); });
  }
}

void TfmConnect::FormShow() {
  lbInstructions->setText(QString::fromLatin1(kInstructions));
  cbCommPort->setCurrentIndex(
      comms::ReadRegistryInteger(kKey, "CommPortIndex", 0, 0, kCommPorts - 1));
  const int devices = cbDevice->count();
  cbDevice->setCurrentIndex(
      devices == 0 ? -1 : comms::ReadRegistryInteger(kKey, "DeviceIndex", 0, 0, devices - 1));
  const bool serial =
      comms::TRegistryChoices().ConnectionType() == registers::TConnectionType::Serial;
  (serial ? rgConnectionTypeSerial : rgConnectionTypeUsb)->setChecked(true);
  const bool online = comms::ReadRegistryBool(kKey, "Online", true);
  (online ? rbOnline : rbOffline)->setChecked(true);
  rbOnlineClick(online ? rbOnline : rbOffline);
  rgConnectionTypeClick();
  ShowPortDevice();
}

bool TfmConnect::SerialChosen() const {
  return rgConnectionTypeSerial->isChecked();
}

void TfmConnect::rbOnlineClick(QRadioButton* sender) {
  const bool offline = sender != rbOnline;
  cbCommPort->setEnabled(!offline && SerialChosen());
  cbPortDevice->setEnabled(cbCommPort->isEnabled());
  cbDevice->setEnabled(offline);
  btnConnect->setText(offline ? QStringLiteral("&Edit") : QStringLiteral("&Connect"));
}

void TfmConnect::rgConnectionTypeClick() {
  // With USB the list is disabled, but its choice still names the link of the search.
  cbCommPort->setEnabled(SerialChosen() && rbOnline->isChecked());
  cbPortDevice->setEnabled(cbCommPort->isEnabled());
}

std::string TfmConnect::ChosenPortDevice() const {
  return modbus::ResolvePortName(
      "COM" + std::to_string(cbCommPort->currentIndex() + 1),
      [](const std::string& name) { return comms::ReadPortDevice(name); });
}

void TfmConnect::ShowPortDevice() {
  const std::string path = ChosenPortDevice();
  const comms::TPortAccess access = comms::PortAccess(path);
  QString text = QString::fromStdString(path);
  if (!access.exists) {
    text += QStringLiteral(": not present");
  } else if (!access.permitted) {
    text +=
        QStringLiteral(": no permission (group '%1')").arg(QString::fromStdString(access.group));
  }
  lbPortDevice->setText(text);
  lbPortDevice->setToolTip(text);
  cbPortDevice->clear();
  for (const std::string& device : comms::PresentSerialDevices()) {
    cbPortDevice->addItem(QString::fromStdString(device));
  }
  cbPortDevice->setCurrentIndex(cbPortDevice->findText(QString::fromStdString(path)));
}

void TfmConnect::cbPortDeviceChange() {
  if (cbPortDevice->currentIndex() < 0) {
    return;
  }
  comms::WritePortDevice("COM" + std::to_string(cbCommPort->currentIndex() + 1),
                         cbPortDevice->currentText().toStdString());
  ShowPortDevice();
}

void TfmConnect::btConnectClick() {
  if (currentDevice_ != nullptr) {
    manager_.Disconnect(*currentDevice_);
  }
  comms::WriteRegistryInteger(kKey, "CommPortIndex", cbCommPort->currentIndex());
  comms::WriteRegistryInteger(kKey, "DeviceIndex", cbDevice->currentIndex());
  comms::WriteRegistryInteger(
      kKey, "ConnectionType",
      static_cast<std::int32_t>(SerialChosen() ? registers::TConnectionType::Serial
                                               : registers::TConnectionType::Usb));
  comms::WriteRegistryBool(kKey, "Online", rbOnline->isChecked());
  if (!rbOnline->isChecked()) {
    Info.DeviceValue = cbDevice->currentIndex();
    done(kResultOffline);
    return;
  }
  try {
    btnConnect->setEnabled(false);
    btnConnect->setText(QStringLiteral("&Connecting"));
    Info.CommPort = cbCommPort->currentIndex() + 1;
    Info.Address = 1;
    searchDevice_ = SerialChosen() ? ChosenPortDevice() : std::string();
    comms::TSearchResultEvent handler(
        this, [this](comms::TSerialThread* sender, int32_t value, int32_t found) {
          SearchResult = sender->LastSearchResult();
          SearchCallback(value, found);
        });
    handler.Attempt = [this](int attempt, int attempts) { SearchAttempt(attempt, attempts); };
    manager_.StartDeviceSearch(Info.CommPort, Info.Address, std::move(handler));
  } catch (const comms::TLinkError& error) {
    EndSearch();
    // The cause on a line of its own, as a sentence: what failed, and why.
    std::string cause = error.Cause();
    if (!cause.empty()) {
      cause[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(cause[0])));
    }
    std::string text = std::string(kFailedToConnect) + ".\n" + cause;
    const std::string group = comms::PortAccess(searchDevice_).group;
    if (error.Result() == modbus::kMbusNoPermission && !group.empty()) {
      const QString login = qEnvironmentVariable("USER");
      text += ".\nTo join it: sudo usermod -a -G " + group + " " +
              (login.isEmpty() ? "$USER" : login.toStdString()) + ", then log in again";
    }
    throw std::runtime_error(text);
  } catch (const std::exception&) {
    EndSearch();
    throw std::runtime_error(kFailedToConnect);
  }
}

void TfmConnect::btCancelClick() {
  done(kResultCancel);
}

void TfmConnect::reject() {
  btCancelClick();
}

void TfmConnect::SearchCallback(int32_t value, int32_t found) {
  SearchValue = value;
  SearchFound = found != 0;
  CallBackTimer->start();
}

void TfmConnect::SearchAttempt(int attempt, int attempts) {
  if (!btnConnect->isEnabled()) {
    lbSearch->setText(QStringLiteral("Connecting: attempt %1 of %2").arg(attempt).arg(attempts));
  }
}

void TfmConnect::EndSearch() {
  btnConnect->setEnabled(true);
  btnConnect->setText(QStringLiteral("&Connect"));
  lbSearch->clear();
}

void TfmConnect::CallBackTimerTimer() {
  CallBackTimer->stop();
  EndSearch();
  if (SearchValue != 0) {
    Info.DeviceValue = SearchValue;
    done(kResultOnline);
    return;
  }
  if (SerialChosen()) {
    ui::ShowErrorBox("Could not find a device attached to comm port '" +
                     std::to_string(Info.CommPort) + "' address '" + std::to_string(Info.Address) +
                     "'\n\nPlease ensure the device is connected to the serial bus, \nyou have "
                     "chosen the correct comm port and address,\nand the serial options are set "
                     "correctly\n\n" +
                     comms::SearchFailure(searchDevice_, SearchResult));
  } else {
    ui::ShowErrorBox(
        "Dravonik has been found but is not communicating\n\nPlease ensure that the Dravonik "
        "was powered up with the 'Sync' button held down.");
  }
}
