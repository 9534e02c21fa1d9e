#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "comms/Registry.h"
#include "modbus/FrameQueue.h"
#include "model/Devices.h"
#include "registers/Registerdatastore.h"

class QLabel;
class QMenu;
class QAction;
class QProgressBar;
class QPushButton;
class QTimer;
class TfmCommLog;
class TTitleBand;
struct TDeviceInfo;

namespace comms {
class TSerialManager;
class TTransferMonitor;
struct TTransferReport;
}  // namespace comms

namespace ui {
class TImageButton;
class TPanel;
class TScrollBox;
}  // namespace ui

// The main window: title band, group navigation column, page area and the
// bottom tool bar. It owns the device definitions and the serial links, holds
// the device whose settings are on display, and runs the commands: connect
// (online or offline), write, load, save, restore factory defaults, save a report, export
// a table.
//
// Every method runs on the GUI thread. The transfer reports reach it through a
// comms::TTransferMonitor, which takes them where they are raised (the store's on
// the serial worker) and hands them over in order; every box and page change
// follows from the one-shot timers.
class TfmMain : public QWidget {
  Q_OBJECT

 public:
  // `programFolder` holds Devices.xml and the images folder: the folder of
  // the running executable in the program.
  explicit TfmMain(const QString& programFolder);
  ~TfmMain() override;

  model::TDevices* Devices() const { return devices_.get(); }
  registers::TRegisterDataStore* RegisterDataStore() const { return registerDataStore_.get(); }
  comms::TSerialManager* SerialManager() const { return serialManager_.get(); }
  QString DefinitionsPath() const;

  // Opens a settings file as offline edit and "Load Settings" would: an offline edit of the
  // device type the file names, then the file loaded. A file the definitions do not know, or
  // one that cannot be read, is reported and leaves the window disconnected. (What a
  // double-click on a settings file runs.)
  void OpenSettingsFile(const QString& path);

  void btConnectClick();
  void btWriteSettingsClick();
  void tbLoadSettingsClick();
  void tbSaveSettingsClick();
  void tbRestoreDefaultClick();
  // The handover report (PDF) and the spreadsheet table of the settings on display.
  void tbSaveReportClick();
  void tbExportTableClick();
  // Opens the communication log (or brings it to the front): from now until it is closed
  // the link's master reports every frame to it.
  void ShowCommLog();
  void WrittenSettingsTimerTimer();
  void FailTimerTimer();
  void ReadCompleteTimerTimer();

  void SetConnected(const void* sender, bool connected);
  void ShowDisconnected();
  void SetEditingEnabled(bool enabled);
  // GUI thread, once the worker has collected the registers and started a read.
  void ResetProgress();
  // A write is under way, from Write Settings to its last report.
  bool Writing() const { return transfer_ == TTransfer::Writing; }

  // The file choosers of the settings menu: the chosen path, or empty when
  // cancelled. Tests replace them.
  std::function<QString(const QString& title, const QString& filter)> ChooseFileToLoad;
  std::function<QString(const QString& title, const QString& filter)> ChooseFileToSave;

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
  // What the user should know about the settings on display while no transfer runs, at the
  // progress text's place: values not yet in the unit, a read that failed and what to do.
  QLabel* lbStatusNote = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QPushButton* btWriteSettings = nullptr;
  QPushButton* btExit = nullptr;

  QMenu* PopupMenu = nullptr;
  QAction* tbLoadSettings = nullptr;
  QAction* tbSaveSettings = nullptr;
  QAction* tbRestoreDefault = nullptr;
  QAction* tbCommLog = nullptr;
  QAction* tbSaveReport = nullptr;
  QAction* tbExportTable = nullptr;
  // Made when first opened; a child of the window.
  TfmCommLog* CommLog = nullptr;
  // Hands the log what the masters reported, in batches, while it is open.
  QTimer* CommLogTimer = nullptr;

  QTimer* WrittenSettingsTimer = nullptr;
  QTimer* FailTimer = nullptr;
  QTimer* ReadCompleteTimer = nullptr;

  static constexpr int kTimerMs = 100;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  // FormClose: a write under way is let finish; changes neither written nor saved are asked
  // about, and the window stays open when the user chooses to stay; an online device is
  // released.
  void closeEvent(QCloseEvent* event) override;

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
  void BuildTimers();
  void DrainCommLog();

  // Where the window is with the device on display.
  enum class TTransfer {
    None,     // nothing online, or a read not yet over: nothing may be written
    Ready,    // the device has been read and may be written
    Writing,  // a write is under way
  };
  void OnlineConnection(const TDeviceInfo& info);
  void OfflineEdit(const TDeviceInfo& info);
  // Before another device becomes current: its page is closed, so that no
  // page stays editable on a document that is no longer current.
  void ClosePageOfOtherDocument(const model::TDevice& next);
  void ReleaseCurrentDevice();
  void ShowReport(const comms::TTransferReport& report);
  bool OnlineAndReady() const;
  void SetMenuItemsEnabled(bool enabled);
  void CloseShownPage();
  // After a read that did not reach its end: the device is released and no page shows values
  // that were never read.
  void EndFailedRead();

  // The settings of the current document were changed since the device last gave or took
  // them (online), or since the offline edit opened or its file was last saved or loaded.
  bool HasUnwrittenChanges() const;
  // From now on the current document counts as written (or saved).
  void MarkWritten();
  // True when leaving the current document loses nothing, or the user agrees to leave its
  // changes behind.
  bool MayLeaveChanges();
  void SetStatusNote(const QString& note);
  // The note is shown while no progress text is.
  void ShowStatusNote();

  QString programFolder_;
  comms::TRegistryChoices choices_;
  std::unique_ptr<registers::TModbusHandler> modbusHandler_;
  std::unique_ptr<registers::TRegisterDataStore> registerDataStore_;
  // What the links' masters report for the communication log; outlives the links.
  modbus::TFrameQueue commQueue_;
  std::unique_ptr<comms::TSerialManager> serialManager_;
  std::unique_ptr<model::TDevices> devices_;
  // Changes its connection whenever a device is attached or released: reports
  // raised for another connection are dropped.
  std::unique_ptr<comms::TTransferMonitor> transfers_;
  TTransfer transfer_ = TTransfer::None;
  // Registers moved so far by the transfer on display.
  int32_t position_ = 0;
  // The store's change count when the current document last matched the device or a file.
  uint64_t writtenChangeCount_ = 0;
  // What the last read found that none of the definitions' entries has, named once its
  // first page is up.
  std::vector<std::string> heldValueNotices_;
};
