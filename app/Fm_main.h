#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "model/Devices.h"
#include "registers/Registerdatastore.h"

class QLabel;
class QMenu;
class QAction;
class QProgressBar;
class QPushButton;
class TTitleBand;

namespace ui {
class TImageButton;
class TPanel;
class TScrollBox;
}  // namespace ui

// The main window: title band, group navigation column, page area and the
// bottom tool bar. It owns the device definitions and holds the device whose
// settings are on display.
class TfmMain : public QWidget {
  Q_OBJECT

 public:
  // `programFolder` holds Devices.xml and the images folder: the folder of
  // the running executable in the program.
  explicit TfmMain(const QString& programFolder);
  ~TfmMain() override;

  model::TDevices* Devices() const { return devices_.get(); }
  TRegisterDataStore* RegisterDataStore() const { return registerDataStore_.get(); }
  TModbusHandler* ModbusHandler() const { return modbusHandler_.get(); }
  QString DefinitionsPath() const;

  // Called when the empty page area is clicked: the navigation button of the
  // group whose page is on display, or null when no page is shown or the
  // group lost its button.
  std::function<QWidget*()> ShownGroupButton;

  void sbMainAreaClick();
  void Image1Click();
  void btExitClick();
  void btRefreshMouseDown();

  // The device whose settings are on display; null when nothing is connected
  // or edited. Not owned: devices belong to Devices().
  model::TDevice* CurrentDevice = nullptr;
  int32_t ProgressMax = 0;
  bool Writing = false;
  std::string FailureMessage;

  // Controls, named as the window's layout names them.
  ui::TPanel* pnTitle = nullptr;
  TTitleBand* pb = nullptr;
  QLabel* Label1 = nullptr;
  ui::TImageButton* Image1 = nullptr;
  ui::TPanel* pnGroups = nullptr;
  ui::TPanel* Panel2 = nullptr;
  ui::TPanel* Shape1 = nullptr;
  ui::TImageButton* btConnect = nullptr;
  ui::TImageButton* btRefresh = nullptr;
  ui::TPanel* Shape2 = nullptr;
  ui::TPanel* Panel1 = nullptr;
  ui::TScrollBox* sbSettingsGroups = nullptr;
  ui::TPanel* pnConnectStatus = nullptr;
  QLabel* lbConnectStatus = nullptr;
  ui::TPanel* Panel3 = nullptr;
  ui::TPanel* pnMainPage = nullptr;
  ui::TScrollBox* sbMainArea = nullptr;
  ui::TPanel* pnToolbarBottom = nullptr;
  ui::TPanel* Shape3 = nullptr;
  QLabel* lbProgress = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QPushButton* btWriteSettings = nullptr;
  QPushButton* btExit = nullptr;

  QMenu* PopupMenu = nullptr;
  QAction* tbLoadSettings = nullptr;
  QAction* tbSaveSettings = nullptr;
  QAction* tbRestoreDefault = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildLayout();
  void BuildTitleBand();
  void BuildGroupColumn();
  void BuildPageArea();
  void BuildPopupMenu();
  void PlaceAnchoredControls();
  void CentreOnScreen();
  void FormCreate();
  void FormDestroy();
  void OnMouseWheel(int delta);

  QString programFolder_;
  std::unique_ptr<TModbusHandler> modbusHandler_;
  std::unique_ptr<TRegisterDataStore> registerDataStore_;
  std::unique_ptr<model::TDevices> devices_;
};

// The one main window of the program, for the parts that must reach it.
extern TfmMain* fmMain;
