#include "app/Fm_main.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>
#include <string_view>
#include <utility>

#include "app/Fm_about.h"
#include "app/Fm_commlog.h"
#include "app/Fm_connect.h"
#include "app/TitleBand.h"
#include "app/Version.h"
#include "comms/Serialmanager.h"
#include "comms/TransferMonitor.h"
#include "model/Group.h"
#include "model/OfflineEdit.h"
#include "model/Settings.h"
#include "model/SettingsReport.h"
#include "model/Xmlutil.h"
#include "ui/ErrorBox.h"
#include "ui/Fonts.h"
#include "ui/ImageButton.h"
#include "ui/MessageBoxes.h"
#include "ui/Panel.h"
#include "ui/Picture.h"
#include "ui/ScrollBox.h"

namespace {

constexpr int kClientWidth = 992;
constexpr int kClientHeight = 689;
constexpr int kTitleHeight = 71;
constexpr int kGroupColumnWidth = 225;
constexpr int kCommandPanelHeight = 25;
constexpr int kConnectStatusHeight = 33;
constexpr int kToolbarHeight = 40;

// Distances of the right-anchored controls from the right edge of their
// panel, as laid out in the 992-pixel-wide window.
constexpr int kLogoRightMargin = kClientWidth - (832 + 153);
constexpr int kToolbarWidth = kClientWidth - kGroupColumnWidth;
constexpr int kWriteRightMargin = kToolbarWidth - (572 + 88);
constexpr int kExitRightMargin = kToolbarWidth - (668 + 88);

// Where the settings menu opens, relative to the window's outer top-left.
constexpr int kMenuOffsetX = 84;
constexpr int kMenuOffsetY = 124;

const QColor kWhite(255, 255, 255);
const QColor kCommandPanelColour(212, 208, 200);
const QColor kRed(255, 0, 0);
const QColor kSeparatorColour(172, 168, 153);
const QColor kStatusTextColour(128, 128, 128);

ui::TPicture Picture(const QString& imagesFolder, const char* name) {
  return ui::TPicture::Load(imagesFolder + QLatin1Char('/') + QLatin1String(name));
}

// The settings files carry ".ZSF"; on Linux names are case-sensitive, so the patterns also
// take the lower-case spelling.
constexpr const char* kLoadFilter = "ZSF Settings File (*.ZSF *.zsf);;All Files (*)";
constexpr const char* kSaveFilter =
    "ZSF Settings File (*.ZSF *.zsf);;Comma Separated Values (*.CSV *.csv);;All Files (*)";
constexpr const char* kReportFilter = "PDF Document (*.pdf *.PDF);;All Files (*)";
constexpr const char* kTableFilter = "Comma Separated Values (*.csv *.CSV);;All Files (*)";

QString RunFileDialog(QWidget* parent, const QString& title, const QString& filter, bool save) {
  QFileDialog dialog(parent, title, QString(), filter);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  // The first pattern's extension: "ZSF" for the settings files.
  const qsizetype pattern = filter.indexOf(QStringLiteral("(*."));
  dialog.setDefaultSuffix(
      filter.mid(pattern + 3, filter.indexOf(QLatin1Char(' '), pattern) - pattern - 3));
  dialog.setOption(QFileDialog::ReadOnly, false);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return QString();
  }
  return dialog.selectedFiles().front();
}

bool EndsInCsv(const QString& path) {
  return path.toUpper().endsWith(QStringLiteral(".CSV"));
}

// Values that the definitions' limits or entries forbid, named in one information box under
// the intro: a settings file's are loaded as they stand (a device may hold them and this
// program saves them); a device's are kept as read.
void ShowForbiddenValues(const std::string& intro, const std::vector<std::string>& notices) {
  if (notices.empty()) {
    return;
  }
  // The box stays on the screen however many there are.
  constexpr size_t kNamed = 20;
  std::string text = intro + "\n";
  for (size_t i = 0; i < notices.size() && i < kNamed; ++i) {
    text += "\n" + notices[i];
  }
  if (notices.size() > kNamed) {
    text += "\n... and " + std::to_string(notices.size() - kNamed) + " more";
  }
  ui::MessageBoxes().Show(ui::TBoxIcon::Information, ui::kApplicationTitle, text,
                          ui::TBoxButtons::Ok);
}

void ShowValuesOutsideLimits(const std::vector<std::string>& notices) {
  ShowForbiddenValues(
      "Some values of the settings file are outside the limits of the device definitions. "
      "They were loaded as they stand:",
      notices);
}

// A question box (information icon, Yes and No).
ui::TBoxAnswer Ask(const std::string& question) {
  return ui::MessageBoxes().Show(ui::TBoxIcon::Information, ui::kApplicationTitle, question,
                                 ui::TBoxButtons::YesNo);
}

constexpr const char* kWriteAgain = "Writing settings failed, please try writing again";

constexpr const char* kNotWritten = "The changed settings have not been written to the unit.";
constexpr const char* kNotSaved = "The changed settings have not been saved to a file.";
constexpr const char* kReadFailed =
    "Reading the settings failed: check the cable and the device's power, then press Connect.";
constexpr const char* kWriteFailed =
    "Writing the settings failed: check the cable and the device's power, then press Connect.";

// Room between the status note and the write button.
constexpr int kNoteGap = 8;
// How long a closing window waits, once the store has ended a write, for the write's last
// report.
constexpr int kClosingReportWaitMs = 500;
constexpr int kCloseWaitSliceMs = 50;

}  // namespace

TfmMain::TfmMain(const QString& programFolder)
    : ChooseFileToLoad([this](const QString& title, const QString& filter) {
        return RunFileDialog(this, title, filter, false);
      }),
      ChooseFileToSave([this](const QString& title, const QString& filter) {
        return RunFileDialog(this, title, filter, true);
      }),
      programFolder_(programFolder) {
  setWindowTitle(QStringLiteral("Dravonik Configuration Manager"));
  setFont(ui::DefaultFont());
  resize(kClientWidth, kClientHeight);
  BuildLayout();
  CentreOnScreen();
  // Wheel events of every control of the window pass through eventFilter.
  qApp->installEventFilter(this);
  FormCreate();
}

TfmMain::~TfmMain() {
  qApp->removeEventFilter(this);
  FormDestroy();
}

QString TfmMain::DefinitionsPath() const {
  return programFolder_ + QStringLiteral("/Devices.xml");
}

void TfmMain::BuildLayout() {
  auto* windowLayout = new QVBoxLayout(this);
  windowLayout->setContentsMargins(0, 0, 0, 0);
  windowLayout->setSpacing(0);

  BuildTitleBand();
  windowLayout->addWidget(pnTitle);

  auto* body = new QHBoxLayout;
  body->setSpacing(0);
  windowLayout->addLayout(body, 1);

  BuildGroupColumn();
  body->addWidget(pnGroups);
  BuildPageArea();
  body->addWidget(Panel3, 1);

  BuildPopupMenu();
  BuildTimers();
}

void TfmMain::BuildTimers() {
  const auto makeTimer = [this](void (TfmMain::*handler)()) {
    auto* timer = new QTimer(this);
    timer->setInterval(kTimerMs);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this,
            [this, handler] { ui::RunGuarded([this, handler] { (this->*handler)(); }); });
    return timer;
  };
  WrittenSettingsTimer = makeTimer(&TfmMain::WrittenSettingsTimerTimer);
  FailTimer = makeTimer(&TfmMain::FailTimerTimer);
  ReadCompleteTimer = makeTimer(&TfmMain::ReadCompleteTimerTimer);
  CommLogTimer = new QTimer(this);
  CommLogTimer->setInterval(kTimerMs);
  connect(CommLogTimer, &QTimer::timeout, this, [this] { DrainCommLog(); });
}

void TfmMain::BuildTitleBand() {
  pnTitle = new ui::TPanel(this);
  pnTitle->setFixedHeight(kTitleHeight);
  auto* layout = new QVBoxLayout(pnTitle);
  layout->setContentsMargins(0, 0, 0, 0);
  pb = new TTitleBand(pnTitle);
  layout->addWidget(pb);

  Label1 = new QLabel(QStringLiteral("Dravonik Configuration Manager"), pb);
  QFont titleFont = ui::FaceFont(QStringLiteral("Arial Narrow"));
  titleFont.setBold(true);
  titleFont.setPixelSize(27);
  Label1->setFont(titleFont);
  Label1->setAttribute(Qt::WA_TranslucentBackground);
  Label1->move(16, 20);
  Label1->adjustSize();

  const QString images = programFolder_ + QStringLiteral("/images");
  Image1 = new ui::TImageButton(pb);
  const ui::TPicture logo = Picture(images, "logo.bmp");
  Image1->SetPictures(logo, logo, logo);
  Image1->setGeometry(832, 8, 153, 53);
  Image1->setCursor(Qt::PointingHandCursor);
  Image1->setFocusPolicy(Qt::NoFocus);
  connect(Image1, &QAbstractButton::clicked, this,
          [this] { ui::RunGuarded([this] { Image1Click(); }); });
  pb->installEventFilter(this);
}

void TfmMain::BuildGroupColumn() {
  pnGroups = new ui::TPanel(this, kWhite);
  pnGroups->setFixedWidth(kGroupColumnWidth);
  auto* column = new QVBoxLayout(pnGroups);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  Panel2 = new ui::TPanel(pnGroups, kCommandPanelColour);
  Panel2->setFixedHeight(kCommandPanelHeight);
  column->addWidget(Panel2);
  const QString images = programFolder_ + QStringLiteral("/images");
  btConnect = new ui::TImageButton(Panel2);
  btConnect->SetPictures(Picture(images, "connect_normal.bmp"),
                         Picture(images, "connect_hover.bmp"), Picture(images, "connect_down.bmp"));
  btConnect->setGeometry(2, 1, 82, 22);
  btConnect->setToolTip(QStringLiteral("Connect"));
  btRefresh = new ui::TImageButton(Panel2);
  btRefresh->SetPictures(Picture(images, "refresh_normal.bmp"),
                         Picture(images, "refresh_hover.bmp"), Picture(images, "refresh_down.bmp"));
  btRefresh->setGeometry(84, 1, 72, 22);
  btRefresh->setToolTip(QStringLiteral("Refresh"));
  btRefresh->installEventFilter(this);
  connect(btConnect, &QAbstractButton::clicked, this,
          [this] { ui::RunGuarded([this] { btConnectClick(); }); });
  // A mouse press opens the menu before any click (eventFilter); a click comes from Space
  // or Enter only.
  connect(btRefresh, &QAbstractButton::clicked, this,
          [this] { ui::RunGuarded([this] { btRefreshMouseDown(); }); });
  Shape1 = new ui::TPanel(Panel2, kRed);
  Shape1->setGeometry(0, kCommandPanelHeight - 1, kGroupColumnWidth, 1);

  auto* lower = new QHBoxLayout;
  lower->setSpacing(0);
  column->addLayout(lower, 1);
  Panel1 = new ui::TPanel(pnGroups, kWhite);
  lower->addWidget(Panel1, 1);
  Shape2 = new ui::TPanel(pnGroups, kSeparatorColour);
  Shape2->setFixedWidth(1);
  lower->addWidget(Shape2);

  auto* groupsLayout = new QVBoxLayout(Panel1);
  groupsLayout->setContentsMargins(0, 0, 0, 0);
  groupsLayout->setSpacing(0);
  sbSettingsGroups = new ui::TScrollBox(Panel1);
  // The buttons' right edges may pass under the vertical scroll bar; a
  // sideways scroll of the column would serve nobody.
  sbSettingsGroups->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  groupsLayout->addWidget(sbSettingsGroups, 1);
  pnConnectStatus = new ui::TPanel(Panel1);
  pnConnectStatus->setFixedHeight(kConnectStatusHeight);
  groupsLayout->addWidget(pnConnectStatus);
  lbConnectStatus = new QLabel(QStringLiteral("Disconnected."), pnConnectStatus);
  lbConnectStatus->setGeometry(6, 3, 211, 27);
  lbConnectStatus->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
  // "Connected to " and a long device name take the label's second line.
  lbConnectStatus->setWordWrap(true);
  QPalette grey = lbConnectStatus->palette();
  grey.setColor(QPalette::WindowText, kStatusTextColour);
  lbConnectStatus->setPalette(grey);
}

void TfmMain::BuildPageArea() {
  Panel3 = new ui::TPanel(this, kWhite);
  auto* layout = new QVBoxLayout(Panel3);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  pnMainPage = new ui::TPanel(Panel3, kWhite);
  layout->addWidget(pnMainPage, 1);
  auto* pageLayout = new QVBoxLayout(pnMainPage);
  pageLayout->setContentsMargins(0, 0, 0, 0);
  sbMainArea = new ui::TScrollBox(pnMainPage);
  pageLayout->addWidget(sbMainArea);
  sbMainArea->viewport()->installEventFilter(this);
  sbMainArea->Content()->installEventFilter(this);

  pnToolbarBottom = new ui::TPanel(Panel3, kWhite);
  pnToolbarBottom->setFixedHeight(kToolbarHeight);
  layout->addWidget(pnToolbarBottom);
  Shape3 = new ui::TPanel(pnToolbarBottom, kSeparatorColour);
  Shape3->setGeometry(0, 0, kToolbarWidth, 1);
  lbProgress = new QLabel(pnToolbarBottom);
  lbProgress->move(16, 5);
  lbProgress->hide();
  ProgressBar1 = new QProgressBar(pnToolbarBottom);
  ProgressBar1->setGeometry(15, 23, 409, 17);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  btWriteSettings = new QPushButton(QStringLiteral("&Write Settings"), pnToolbarBottom);
  btWriteSettings->setGeometry(572, 9, 88, 21);
  btWriteSettings->setEnabled(false);
  // Two lines beside the write button, where the progress text shows during a transfer.
  lbStatusNote = new QLabel(pnToolbarBottom);
  lbStatusNote->setGeometry(lbProgress->x(), lbProgress->y(),
                            btWriteSettings->x() - kNoteGap - lbProgress->x(),
                            kToolbarHeight - 2 * lbProgress->y());
  lbStatusNote->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lbStatusNote->setWordWrap(true);
  lbStatusNote->hide();
  connect(btWriteSettings, &QPushButton::clicked, this,
          [this] { ui::RunGuarded([this] { btWriteSettingsClick(); }); });
  btExit = new QPushButton(QStringLiteral("E&xit"), pnToolbarBottom);
  btExit->setGeometry(668, 9, 88, 21);
  connect(btExit, &QPushButton::clicked, this,
          [this] { ui::RunGuarded([this] { btExitClick(); }); });
  pnToolbarBottom->installEventFilter(this);
}

void TfmMain::BuildPopupMenu() {
  PopupMenu = new QMenu(this);
  tbLoadSettings = PopupMenu->addAction(QStringLiteral("&Load Settings"));
  tbLoadSettings->setToolTip(QStringLiteral("Load Settings"));
  tbSaveSettings = PopupMenu->addAction(QStringLiteral("&Save Settings"));
  tbSaveSettings->setToolTip(QStringLiteral("Save Settings"));
  PopupMenu->addSeparator();
  tbRestoreDefault = PopupMenu->addAction(QStringLiteral("&Restore Factory Defaults"));
  tbRestoreDefault->setToolTip(QStringLiteral("Restore Factory Defaults"));
  PopupMenu->addSeparator();
  tbCommLog = PopupMenu->addAction(QStringLiteral("Communication &Log"));
  tbCommLog->setToolTip(QStringLiteral("Communication Log"));
  tbCommLog->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
  // The shortcut works with the menu closed too.
  addAction(tbCommLog);
  connect(tbCommLog, &QAction::triggered, this,
          [this] { ui::RunGuarded([this] { ShowCommLog(); }); });
  // What is handed over with the unit: its report and its table for a spreadsheet.
  PopupMenu->addSeparator();
  tbSaveReport = PopupMenu->addAction(QStringLiteral("Save Re&port\u2026"));
  tbSaveReport->setToolTip(QStringLiteral("Save the settings as a PDF report"));
  tbExportTable = PopupMenu->addAction(QStringLiteral("Export &Table\u2026"));
  tbExportTable->setToolTip(QStringLiteral("Export the settings as a table for spreadsheets"));
  connect(tbSaveReport, &QAction::triggered, this,
          [this] { ui::RunGuarded([this] { tbSaveReportClick(); }); });
  connect(tbExportTable, &QAction::triggered, this,
          [this] { ui::RunGuarded([this] { tbExportTableClick(); }); });
  SetMenuItemsEnabled(false);
  connect(tbLoadSettings, &QAction::triggered, this,
          [this] { ui::RunGuarded([this] { tbLoadSettingsClick(); }); });
  connect(tbSaveSettings, &QAction::triggered, this,
          [this] { ui::RunGuarded([this] { tbSaveSettingsClick(); }); });
  connect(tbRestoreDefault, &QAction::triggered, this,
          [this] { ui::RunGuarded([this] { tbRestoreDefaultClick(); }); });
  // Closing the menu resets the pressed look of the refresh button.
  connect(PopupMenu, &QMenu::aboutToHide, this, [this] {
    btRefresh->setEnabled(false);
    btRefresh->setEnabled(true);
  });
}

void TfmMain::PlaceAnchoredControls() {
  Image1->move(pb->width() - kLogoRightMargin - Image1->width(), Image1->y());
  const int toolbarWidth = pnToolbarBottom->width();
  btWriteSettings->move(toolbarWidth - kWriteRightMargin - btWriteSettings->width(),
                        btWriteSettings->y());
  btExit->move(toolbarWidth - kExitRightMargin - btExit->width(), btExit->y());
  lbStatusNote->resize(std::max(btWriteSettings->x() - kNoteGap - lbStatusNote->x(), 0),
                       lbStatusNote->height());
  Shape3->resize(toolbarWidth, 1);
}

void TfmMain::CentreOnScreen() {
  if (const QScreen* screen = QApplication::primaryScreen()) {
    const QRect available = screen->availableGeometry();
    move(available.center() - rect().center());
  }
}

void TfmMain::FormCreate() {
  CurrentDevice = nullptr;
  // The settings documents are bound to the store as the definitions are
  // loaded, so the store comes first; nothing is transferred before a link
  // gives it a protocol.
  modbusHandler_ = std::make_unique<registers::TModbusHandler>();
  registerDataStore_ = std::make_unique<registers::TRegisterDataStore>(*modbusHandler_);
  serialManager_ =
      std::make_unique<comms::TSerialManager>(*registerDataStore_, *modbusHandler_, choices_);
  serialManager_->SetOnResetProgress([this] { ResetProgress(); });
  transfers_ = std::make_unique<comms::TTransferMonitor>(
      *registerDataStore_, *serialManager_,
      [this](const comms::TTransferReport& report) { ShowReport(report); });
  devices_ = std::make_unique<model::TDevices>(*registerDataStore_);
  devices_->Set().ImagesFolder = programFolder_ + QStringLiteral("/images");
  ShownGroupButton = [this] { return devices_->Set().ShownGroupButton(); };
  ui::RunGuarded([this] { devices_->LoadFromFile(DefinitionsPath().toStdString()); });
}

void TfmMain::FormDestroy() {
  // The workers stop before the settings documents they serve are destroyed; then the
  // device definitions go, with every settings document.
  CurrentDevice = nullptr;
  // The log goes first: its closing detaches it from links about to go.
  if (CommLog != nullptr) {
    CommLog->OnClosed = nullptr;
    delete CommLog;
    CommLog = nullptr;
  }
  serialManager_->CloseAllLinks();
  serialManager_.reset();
  devices_.reset();
  transfers_.reset();
  registerDataStore_.reset();
  modbusHandler_.reset();
}

bool TfmMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize && (watched == pb || watched == pnToolbarBottom)) {
    PlaceAnchoredControls();
  } else if (event->type() == QEvent::Wheel && watched->isWidgetType() &&
             static_cast<QWidget*>(watched)->window() == this && watched != sbSettingsGroups &&
             !sbSettingsGroups->isAncestorOf(static_cast<QWidget*>(watched))) {
    OnMouseWheel(static_cast<QWheelEvent*>(event)->angleDelta().y());
    // The navigation column's scroll box scrolls itself. Anywhere else in the
    // window the wheel scrolls the page by its own delta and does nothing else:
    // no second scroll by the scroll box, and no setting changes its value
    // under a wheel that was meant to scroll the page.
    return true;
  } else if (watched == sbMainArea->viewport() || watched == sbMainArea->Content()) {
    if (event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
      ui::RunGuarded([this] { sbMainAreaClick(); });
    }
  } else if (watched == btRefresh && event->type() == QEvent::MouseButtonPress) {
    ui::RunGuarded([this] { btRefreshMouseDown(); });
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TfmMain::OnMouseWheel(int delta) {
  sbMainArea->SetVerticalPosition(sbMainArea->VerticalPosition() - delta);
}

void TfmMain::sbMainAreaClick() {
  QWidget* button = ShownGroupButton ? ShownGroupButton() : nullptr;
  if (button != nullptr) {
    button->setFocus(Qt::MouseFocusReason);
  }
}

void TfmMain::Image1Click() {
  TfmAbout about(this, programFolder_ + QStringLiteral("/images"), kProgramVersion);
  about.exec();
}

void TfmMain::btExitClick() {
  close();
}

void TfmMain::btRefreshMouseDown() {
  const QPoint outer = frameGeometry().topLeft();
  PopupMenu->popup(QPoint(outer.x() + kMenuOffsetX, outer.y() + kMenuOffsetY));
}

void TfmMain::btConnectClick() {
  if (CurrentDevice != nullptr && CurrentDevice->Online) {
    std::string question = "Are you sure you wish to disconnect?";
    if (HasUnwrittenChanges()) {
      question += std::string("\n\n") + kNotWritten;
    }
    if (Ask(question) != ui::TBoxAnswer::Yes) {
      return;
    }
    SetConnected(this, false);
  } else if (!MayLeaveChanges()) {
    return;  // an offline edit with changes not saved
  }
  TDeviceInfo info;
  int result = TfmConnect::kResultCancel;
  {
    TfmConnect dialog(this, *serialManager_, CurrentDevice);
    devices_->FillDeviceList(*dialog.cbDevice);
    result = dialog.ShowModal();
    if (result != TfmConnect::kResultCancel) {
      info = dialog.Info;
    }
  }
  if (result == TfmConnect::kResultOnline) {
    OnlineConnection(info);
  } else if (result == TfmConnect::kResultOffline) {
    OfflineEdit(info);
  }
  if (CurrentDevice != nullptr && result != TfmConnect::kResultCancel) {
    CurrentDevice->Settings->PageArea = sbMainArea;
    CurrentDevice->Settings->CreateGroupButtons(sbSettingsGroups);
  }
}

void TfmMain::OpenSettingsFile(const QString& path) {
  const std::string file = QFile::encodeName(path).toStdString();
  bool opened = false;
  try {
    const model::TDevice& type = devices_->FindDevice(model::SettingsFileDeviceId(file));
    TDeviceInfo info;
    for (int i = 0; i < devices_->Count(); ++i) {
      if (&devices_->GetDevice(i) == &type) {
        info.DeviceValue = i;
      }
    }
    OfflineEdit(info);
    opened = true;
    CurrentDevice->Settings->PageArea = sbMainArea;
    CurrentDevice->Settings->CreateGroupButtons(sbSettingsGroups);
    const std::vector<std::string> notices = CurrentDevice->Settings->LoadFromFile(file);
    MarkWritten();
    ReadCompleteTimer->start();
    ShowValuesOutsideLimits(notices);
  } catch (const std::exception& error) {
    // Half a file's values on display would look like a loaded file: nothing stays open.
    if (opened && CurrentDevice != nullptr) {
      CurrentDevice->Settings->DestroyGroupButtons();
      ShowDisconnected();
      CurrentDevice = nullptr;
    }
    ui::ShowApplicationError(error.what());
  }
}

void TfmMain::ClosePageOfOtherDocument(const model::TDevice& next) {
  const model::TGroup* shown = devices_->Set().CurrentGroup;
  if (shown != nullptr && shown->Document != next.Settings.get()) {
    CloseShownPage();
  }
}

void TfmMain::CloseShownPage() {
  model::TGroup*& shown = devices_->Set().CurrentGroup;
  if (shown != nullptr) {
    shown->ClosePage();
    shown = nullptr;
  }
}

void TfmMain::OnlineConnection(const TDeviceInfo& info) {
  model::TDevice* device = nullptr;
  try {
    device = &devices_->FindDevice(info.DeviceValue);
  } catch (const std::exception& error) {
    ui::MessageBoxes().Show(ui::TBoxIcon::None, ui::kApplicationTitle, error.what(),
                            ui::TBoxButtons::Ok);
    return;
  }
  ClosePageOfOtherDocument(*device);
  transfers_->NewConnection();
  CurrentDevice = device;
  device->CommPort = info.CommPort;
  device->Address = info.Address;
  device->Online = true;
  transfer_ = TTransfer::None;
  const auto report = [monitor = transfers_.get()](const void* sender, const std::string& text,
                                                   bool failed, int32_t count) {
    monitor->Report(sender, text, failed, count);
  };
  registerDataStore_->SetOnProgress(report);
  model::TSettings& document = *device->Settings;
  document.OnProgress = report;
  document.ClearPending();
  registerDataStore_->Reset();
  MarkWritten();
  SetStatusNote({});
  document.EditingEnabled = false;
  document.SetEnabled(false);
  SetConnected(this, true);
  try {
    serialManager_->Connect(*device);
  } catch (...) {
    // No link serves the device: undo the connection, so that the user may connect again.
    ReleaseCurrentDevice();
    ShowDisconnected();
    throw;
  }
}

void TfmMain::OfflineEdit(const TDeviceInfo& info) {
  model::TDevice& device = devices_->GetDevice(info.DeviceValue);
  ClosePageOfOtherDocument(device);
  CurrentDevice = &device;
  lbConnectStatus->setText(QString::fromStdString("Offline edit " + device.Name + "."));
  device.Online = false;
  transfer_ = TTransfer::None;
  model::OpenOffline(*device.Settings);
  MarkWritten();
  SetStatusNote({});
  device.Settings->EditingEnabled = true;
  device.Settings->SetEnabled(true);
  btWriteSettings->setEnabled(false);
  SetMenuItemsEnabled(true);
}

void TfmMain::SetConnected(const void*, bool connected) {
  // Write becomes possible only once the device has been read.
  btWriteSettings->setEnabled(connected && OnlineAndReady());
  if (connected) {
    lbConnectStatus->setText(QString::fromStdString("Connected to " + CurrentDevice->Name + "."));
    lbProgress->setText(QStringLiteral("Reading settings please wait..."));
    lbProgress->adjustSize();
    lbProgress->show();
    ShowStatusNote();
    transfer_ = TTransfer::None;
    return;
  }
  ShowDisconnected();
  SetStatusNote({});
  if (CurrentDevice != nullptr) {
    CurrentDevice->Settings->DestroyGroupButtons();
    // The device is released whatever fails on the way, so the user can always connect
    // again and always close the window.
    ReleaseCurrentDevice();
  }
}

void TfmMain::ReleaseCurrentDevice() {
  model::TDevice* device = CurrentDevice;
  CurrentDevice = nullptr;
  transfers_->NewConnection();
  transfer_ = TTransfer::None;
  if (device != nullptr) {
    serialManager_->Disconnect(*device);
  }
}

void TfmMain::ShowDisconnected() {
  lbConnectStatus->setText(QStringLiteral("Disconnected."));
  transfer_ = TTransfer::None;
  if (CurrentDevice != nullptr) {
    CurrentDevice->Settings->EditingEnabled = false;
    CurrentDevice->Settings->SetEnabled(false);
  }
  btWriteSettings->setEnabled(false);
  SetMenuItemsEnabled(false);
}

bool TfmMain::HasUnwrittenChanges() const {
  return CurrentDevice != nullptr && registerDataStore_->ChangeCount() != writtenChangeCount_;
}

void TfmMain::MarkWritten() {
  writtenChangeCount_ = registerDataStore_->ChangeCount();
}

bool TfmMain::MayLeaveChanges() {
  if (!HasUnwrittenChanges()) {
    return true;
  }
  const std::string question = CurrentDevice->Online
                                   ? std::string(kNotWritten) + "\n\nLeave without writing them?"
                                   : std::string(kNotSaved) + "\n\nLeave without saving them?";
  return Ask(question) == ui::TBoxAnswer::Yes;
}

void TfmMain::SetStatusNote(const QString& note) {
  lbStatusNote->setText(note);
  ShowStatusNote();
}

void TfmMain::ShowStatusNote() {
  lbStatusNote->setVisible(!lbStatusNote->text().isEmpty() && lbProgress->isHidden());
}

void TfmMain::SetMenuItemsEnabled(bool enabled) {
  for (QAction* item :
       {tbLoadSettings, tbSaveSettings, tbRestoreDefault, tbSaveReport, tbExportTable}) {
    item->setEnabled(enabled);
  }
}

bool TfmMain::OnlineAndReady() const {
  return CurrentDevice != nullptr && CurrentDevice->Online && transfer_ == TTransfer::Ready;
}

void TfmMain::SetEditingEnabled(bool enabled) {
  if (CurrentDevice != nullptr) {
    CurrentDevice->Settings->EditingEnabled = enabled;
    CurrentDevice->Settings->SetEnabled(enabled);
  }
  const bool online = CurrentDevice != nullptr && CurrentDevice->Online;
  transfer_ = enabled && online ? TTransfer::Ready : TTransfer::None;
  btWriteSettings->setEnabled(OnlineAndReady());
  SetMenuItemsEnabled(enabled);
}

void TfmMain::ResetProgress() {
  // Only the current online device is being read; nothing once it has been released.
  if (CurrentDevice == nullptr || !CurrentDevice->Online) {
    return;
  }
  ProgressMax = registerDataStore_->RegisterCount();
  position_ = 0;
  CurrentDevice->Settings->ClearPending();
  ProgressBar1->setRange(0, std::max(ProgressMax, 1));
  ProgressBar1->setValue(0);
  if (ProgressMax == 0) {
    // Nothing to read: the store raises no report, so the read is over now.
    lbProgress->hide();
    ProgressBar1->hide();
    SetEditingEnabled(true);
    MarkWritten();
    SetStatusNote({});
    ReadCompleteTimer->start();
  }
}

void TfmMain::ShowReport(const comms::TTransferReport& report) {
  if (report.connection != transfers_->Connection() || CurrentDevice == nullptr ||
      !CurrentDevice->Online) {
    return;  // a report of a connection that has ended
  }
  const bool writing = Writing();
  ProgressBar1->show();
  lbProgress->setText(QString::fromStdString(report.text));
  lbProgress->adjustSize();
  lbProgress->show();
  ShowStatusNote();
  btWriteSettings->setEnabled(false);
  SetMenuItemsEnabled(false);
  ProgressBar1->setValue(std::min(ProgressBar1->value() + report.count, ProgressBar1->maximum()));
  position_ += report.count;
  // A write is over at the store's closing report (the device has taken the marker) or at a
  // failure; not at its last block.
  const bool over = writing ? report.hasFailed || (report.text.empty() && report.complete)
                            : position_ >= ProgressMax || report.complete || report.hasFailed;
  if (!over) {
    return;
  }
  ProgressBar1->hide();
  lbProgress->hide();
  ShowStatusNote();
  SetEditingEnabled(true);
  if (!report.failed) {
    if (writing) {
      WrittenSettingsTimer->start();
    } else {
      // Every setting takes what was read, so that a file saved now holds what the device
      // holds, not only the pages shown.
      CurrentDevice->Settings->ReloadFromStore();
      heldValueNotices_ = CurrentDevice->Settings->HeldValueNotices();
    }
    if (report.fromStore) {
      // The device holds what the settings hold now.
      MarkWritten();
      SetStatusNote({});
    }
    ReadCompleteTimer->start();
  } else if (report.hasFailed) {
    FailureMessage = report.text;
    if (!writing) {
      EndFailedRead();
    } else if (report.reopened) {
      FailureMessage = kWriteAgain;
    } else {
      ShowDisconnected();
      SetStatusNote(QString::fromLatin1(kWriteFailed));
    }
    FailTimer->start();
  }
}

void TfmMain::EndFailedRead() {
  // What the settings held before the read is on the page shown, not what the device holds.
  CloseShownPage();
  // The window is disconnected, as it says: the next Connect starts a new connection.
  ui::RunGuarded([this] { SetConnected(this, false); });
  SetStatusNote(QString::fromLatin1(kReadFailed));
}

void TfmMain::btWriteSettingsClick() {
  // Only a device that has been read may be written: unread registers would go out as 0.
  if (!OnlineAndReady()) {
    return;
  }
  transfer_ = TTransfer::Writing;
  btWriteSettings->setEnabled(false);
  ProgressMax = registerDataStore_->RegisterCount();
  position_ = 0;
  ProgressBar1->setRange(0, std::max(ProgressMax, 1));
  ProgressBar1->setValue(0);
  lbProgress->setText(QStringLiteral("Writing settings please wait..."));
  lbProgress->adjustSize();
  lbProgress->show();
  ShowStatusNote();
  CurrentDevice->Settings->EditingEnabled = false;
  CurrentDevice->Settings->SetEnabled(false);
  transfers_->StartWrite();
}

void TfmMain::ShowCommLog() {
  if (CommLog == nullptr) {
    CommLog = new TfmCommLog(this);
    CommLog->OnClosed = [this] {
      if (serialManager_) {
        serialManager_->SetFrameObserver(nullptr);
      }
      CommLogTimer->stop();
      DrainCommLog();
    };
  }
  // Reports that came in while the log was closed belong to no one.
  static_cast<void>(commQueue_.Take());
  if (serialManager_) {
    serialManager_->SetFrameObserver(&commQueue_);
  }
  CommLogTimer->start();
  CommLog->show();
  CommLog->raise();
  CommLog->activateWindow();
}

void TfmMain::DrainCommLog() {
  std::size_t dropped = 0;
  std::vector<modbus::TFrameEvent> events = commQueue_.Take(&dropped);
  if (CommLog != nullptr && (!events.empty() || dropped > 0)) {
    CommLog->Add(events, dropped);
  }
}

void TfmMain::WrittenSettingsTimerTimer() {
  WrittenSettingsTimer->stop();
  ui::MessageBoxes().Show(ui::TBoxIcon::Information, ui::kApplicationTitle,
                          "Settings written successfully.", ui::TBoxButtons::Ok);
}

void TfmMain::FailTimerTimer() {
  FailTimer->stop();
  ui::ShowErrorBox(FailureMessage);
}

void TfmMain::ReadCompleteTimerTimer() {
  ReadCompleteTimer->stop();
  serialManager_->ShowFirstGroup();
  // Named once the page is up: the list shows its first entry for each of them.
  ShowForbiddenValues(
      "Some values read from the device are none of the entries of their lists. Each list "
      "shows its first entry, and the value is kept as read unless you choose another:",
      std::exchange(heldValueNotices_, {}));
}

void TfmMain::tbLoadSettingsClick() {
  if (CurrentDevice == nullptr) {
    return;
  }
  const QString path =
      ChooseFileToLoad(QStringLiteral("Load Settings..."), QString::fromLatin1(kLoadFilter));
  if (path.isEmpty()) {
    return;
  }
  if (CurrentDevice->Online &&
      Ask("Are you sure you wish to load the new settings?  This will overwrite any settings "
          "stored in the unit.") == ui::TBoxAnswer::No) {
    return;
  }
  const std::vector<std::string> notices =
      CurrentDevice->Settings->LoadFromFile(QFile::encodeName(path).toStdString());
  if (CurrentDevice->Online) {
    SetStatusNote(QStringLiteral("Loaded %1: press Write Settings to send it to the unit.")
                      .arg(QFileInfo(path).fileName()));
  } else {
    // The offline document holds what the file holds: leaving it loses nothing.
    MarkWritten();
  }
  ReadCompleteTimer->start();
  ShowValuesOutsideLimits(notices);
}

void TfmMain::tbSaveSettingsClick() {
  if (CurrentDevice == nullptr) {
    return;
  }
  const QString path =
      ChooseFileToSave(QStringLiteral("Save Settings..."), QString::fromLatin1(kSaveFilter));
  if (path.isEmpty()) {
    return;
  }
  const std::string file = QFile::encodeName(path).toStdString();
  if (EndsInCsv(path)) {
    // A CSV file cannot be loaded again: it keeps no offline edit.
    CurrentDevice->Settings->ExportCsv(file);
  } else {
    CurrentDevice->Settings->SaveToFile(file);
    if (!CurrentDevice->Online) {
      MarkWritten();
    }
  }
}

void TfmMain::tbSaveReportClick() {
  if (CurrentDevice == nullptr) {
    return;
  }
  const QString path =
      ChooseFileToSave(QStringLiteral("Save Report..."), QString::fromLatin1(kReportFilter));
  if (path.isEmpty()) {
    return;
  }
  const std::string connection =
      CurrentDevice->Online ? choices_.LinkDevice(CurrentDevice->CommPort) : "offline edit";
  model::SaveReport(*CurrentDevice->Settings,
                    {CurrentDevice->Name, CurrentDevice->DeviceId, model::ReportTimeNow(),
                     std::string("Dravonik Configuration Manager ") + kProgramVersion, connection},
                    QFile::encodeName(path).toStdString());
}

void TfmMain::tbExportTableClick() {
  if (CurrentDevice == nullptr) {
    return;
  }
  const QString path =
      ChooseFileToSave(QStringLiteral("Export Table..."), QString::fromLatin1(kTableFilter));
  if (!path.isEmpty()) {
    model::ExportTable(*CurrentDevice->Settings, QFile::encodeName(path).toStdString());
  }
}

void TfmMain::tbRestoreDefaultClick() {
  if (CurrentDevice == nullptr) {
    return;
  }
  if (CurrentDevice->Online &&
      Ask("Are you sure you wish to restore the factory defaults?") == ui::TBoxAnswer::No) {
    return;
  }
  CurrentDevice->Settings->RestoreFactoryDefaults();
  if (CurrentDevice->Online) {
    SetStatusNote(QStringLiteral(
        "Restored the factory defaults: press Write Settings to send them to the unit."));
  }
}

void TfmMain::closeEvent(QCloseEvent* event) {
  const bool online = CurrentDevice != nullptr && CurrentDevice->Online;
  if (online) {
    // A write stopped halfway would leave the device with part of the new settings and
    // without its closing marker: it is let finish (each block ends within one request).
    // Its last report is awaited too, so that a write that succeeded asks nothing.
    setEnabled(false);
    QElapsedTimer sinceWriteEnded;
    while (Writing()) {
      if (registerDataStore_->State() != registers::TRegisterDataStore::TState::Writing) {
        if (!sinceWriteEnded.isValid()) {
          sinceWriteEnded.start();
        } else if (sinceWriteEnded.elapsed() > kClosingReportWaitMs) {
          break;
        }
      }
      QEventLoop wait;
      QTimer::singleShot(kCloseWaitSliceMs, &wait, &QEventLoop::quit);
      wait.exec();
    }
    setEnabled(true);
  }
  if (!MayLeaveChanges()) {
    event->ignore();
    return;
  }
  if (online) {
    ui::RunGuarded([this] { ReleaseCurrentDevice(); });
  }
  QWidget::closeEvent(event);
}
