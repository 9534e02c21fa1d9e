#include "app/Fm_main.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QWheelEvent>

#include "app/Fm_about.h"
#include "app/TitleBand.h"
#include "app/Version.h"
#include "model/Group.h"
#include "ui/ErrorBox.h"
#include "ui/Fonts.h"
#include "ui/ImageButton.h"
#include "ui/Panel.h"
#include "ui/ScrollBox.h"

TfmMain* fmMain = nullptr;

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

QPixmap Picture(const QString& imagesFolder, const char* name) {
  return QPixmap(imagesFolder + QLatin1Char('/') + QLatin1String(name));
}

}  // namespace

TfmMain::TfmMain(const QString& programFolder)
    : ShownGroupButton(model::ShownGroupButton), programFolder_(programFolder) {
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
}

void TfmMain::BuildTitleBand() {
  pnTitle = new ui::TPanel(this);
  pnTitle->setFixedHeight(kTitleHeight);
  auto* layout = new QVBoxLayout(pnTitle);
  layout->setContentsMargins(0, 0, 0, 0);
  pb = new TTitleBand(pnTitle);
  layout->addWidget(pb);

  Label1 = new QLabel(QStringLiteral("Dravonik Configuration Manager"), pb);
  QFont titleFont(QStringLiteral("Arial Narrow"));
  titleFont.setStyleHint(QFont::SansSerif);
  titleFont.setStretch(QFont::SemiCondensed);
  titleFont.setBold(true);
  titleFont.setPixelSize(27);
  Label1->setFont(titleFont);
  Label1->setAttribute(Qt::WA_TranslucentBackground);
  Label1->move(16, 20);
  Label1->adjustSize();

  const QString images = programFolder_ + QStringLiteral("/images");
  Image1 = new ui::TImageButton(pb);
  const QPixmap logo = Picture(images, "logo.bmp");
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
  for (QAction* item : {tbLoadSettings, tbSaveSettings, tbRestoreDefault}) {
    item->setEnabled(false);
  }
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
  modbusHandler_ = std::make_unique<TModbusHandler>();
  registerDataStore_ = std::make_unique<TRegisterDataStore>(*modbusHandler_);
  devices_ = std::make_unique<model::TDevices>(*registerDataStore_);
  model::SetImagesFolder(programFolder_ + QStringLiteral("/images"));
  ui::RunGuarded([this] { devices_->LoadFromFile(DefinitionsPath().toStdString()); });
}

void TfmMain::FormDestroy() {
  // The device definitions go first, with every settings document.
  CurrentDevice = nullptr;
  devices_.reset();
  registerDataStore_.reset();
  modbusHandler_.reset();
}

bool TfmMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize && (watched == pb || watched == pnToolbarBottom)) {
    PlaceAnchoredControls();
  } else if (event->type() == QEvent::Wheel && watched->isWidgetType() &&
             static_cast<QWidget*>(watched)->window() == this) {
    OnMouseWheel(static_cast<QWheelEvent*>(event)->angleDelta().y());
    // Anywhere in the window the wheel scrolls the page by its own delta and
    // does nothing else: no second scroll by the scroll box, and no setting
    // changes its value under a wheel that was meant to scroll the page.
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
