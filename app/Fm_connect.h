#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTimer;

namespace comms {
class TSerialManager;
}
namespace model {
class TDevice;
}

// What the connection dialog tells the main window when it closes with a result other than
// cancel.
struct TDeviceInfo {
  // Online: the comm port number, 1..20; 0 for offline.
  int32_t CommPort = 0;
  // Online: the Modbus slave address searched, always 1; 0 for offline.
  int32_t Address = 0;
  // Online: the device type id the device reported; offline: the chosen device's position.
  int32_t DeviceValue = 0;
};

// The connection dialog: online with a device (USB or RS-232 and a comm port) or offline
// with a device type. The choices are kept in the user's settings from one run to the next.
// For online work it searches for the device through the serial manager and waits for the
// result without blocking the window; a result that arrives after the dialog has gone is
// dropped by the manager.
class TfmConnect : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kResultOnline = 1;
  static constexpr int kResultCancel = 2;
  static constexpr int kResultOffline = 6;
  static constexpr int kCommPorts = 20;

  // currentDevice: the main window's current device, may be null.
  TfmConnect(QWidget* owner, comms::TSerialManager& manager, model::TDevice* currentDevice);

  int ShowModal();

  void FormShow();
  void rbOnlineClick(QRadioButton* sender);
  void rgConnectionTypeClick();
  void btConnectClick();
  void btCancelClick();
  void SearchCallback(int32_t value, int32_t found);
  // As each attempt of the search begins: shows that it is still trying.
  void SearchAttempt(int attempt, int attempts);
  void CallBackTimerTimer();
  // Shows which device file the chosen comm port opens, and offers the others present.
  void ShowPortDevice();
  void cbPortDeviceChange();

  TDeviceInfo Info;
  int32_t SearchValue = 0;
  bool SearchFound = false;
  // Result code of the last attempt of the last search.
  int SearchResult = 0;

  QGroupBox* suiGroupBox2 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* lbInstructions = nullptr;
  QGroupBox* suiGroupBox1 = nullptr;
  QRadioButton* rbOnline = nullptr;
  QGroupBox* rgConnectionType = nullptr;
  QRadioButton* rgConnectionTypeUsb = nullptr;
  QRadioButton* rgConnectionTypeSerial = nullptr;
  QLabel* Label4 = nullptr;
  QComboBox* cbCommPort = nullptr;
  QLabel* lbPortDevice = nullptr;
  QComboBox* cbPortDevice = nullptr;
  QRadioButton* rbOffline = nullptr;
  QLabel* Label7 = nullptr;
  QComboBox* cbDevice = nullptr;
  QPushButton* btnConnect = nullptr;
  QPushButton* btnCancel = nullptr;
  // "Connecting: attempt 3 of 15" while a search runs.
  QLabel* lbSearch = nullptr;
  QTimer* CallBackTimer = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  // The close box and Escape cancel, as the cancel button does.
  void reject() override;

 private:
  void BuildLayout();
  bool SerialChosen() const;
  // The device file "COM<n>" of the chosen comm port opens.
  std::string ChosenPortDevice() const;

  // The connect button is usable again, and the search state is gone.
  void EndSearch();

  comms::TSerialManager& manager_;
  model::TDevice* currentDevice_;
  // The device file a serial search opened.
  std::string searchDevice_;
  bool shown_ = false;
};
