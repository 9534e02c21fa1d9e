#include "app/Fm_main.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include "app/Fm_about.h"
#include "app/TitleBand.h"
#include "tests/support/RecordingMessageBoxes.h"
#include "tests/support/TempDir.h"
#include "ui/ImageButton.h"
#include "ui/Panel.h"
#include "ui/ScrollBox.h"

namespace {

constexpr const char* kOneDevice = R"(<zsf>
  <settings settings_id="1"/>
  <device name="Alpha" device_id="1" live_status_id="0" settings_id="1"/>
</zsf>)";

class FmMainTest : public testing::Test {
 protected:
  QString Folder() const { return QString::fromStdString(folder_.Path().string()); }

  // The window as it opens, with its error boxes recorded and what it wrote
  // to standard error kept.
  std::unique_ptr<TfmMain> Open() {
    testing::internal::CaptureStderr();
    auto window = std::make_unique<TfmMain>(Folder());
    errorOutput_ = testing::internal::GetCapturedStderr();
    window->show();
    return window;
  }

  // Where the control sits in the window's client area.
  static QRect InWindow(const QWidget* control) {
    return QRect(control->mapTo(control->window(), QPoint(0, 0)), control->size());
  }

  testsupport::TTempDir folder_;
  testsupport::TRecordingMessageBoxes boxes_;
  std::string errorOutput_;
};

TEST_F(FmMainTest, OpensWithTheDefinitionsBesideIt) {
  folder_.Write("Devices.xml", kOneDevice);
  auto window = Open();
  EXPECT_TRUE(boxes_.Boxes().empty());
  EXPECT_EQ(errorOutput_, "");
  ASSERT_EQ(window->Devices()->Count(), 1);
  EXPECT_EQ(window->Devices()->GetDevice(0).Name, "Alpha");
  EXPECT_EQ(window->CurrentDevice, nullptr);
  EXPECT_EQ(window->windowTitle(), "Dravonik Configuration Manager");
  EXPECT_EQ(window->lbConnectStatus->text(), "Disconnected.");
  EXPECT_FALSE(window->btWriteSettings->isEnabled());
  EXPECT_FALSE(window->tbLoadSettings->isEnabled());
  EXPECT_FALSE(window->tbSaveSettings->isEnabled());
  EXPECT_FALSE(window->tbRestoreDefault->isEnabled());
  EXPECT_FALSE(window->lbProgress->isVisible());
  EXPECT_EQ(window->ProgressBar1->maximum(), 100);
}

TEST_F(FmMainTest, MissingDefinitionsAreReportedAndTheWindowStillOpens) {
  auto window = Open();
  const std::string path = (folder_.Path() / "Devices.xml").string();
  const std::string expected = "Could not find XML document : " + path + ".";
  ASSERT_EQ(boxes_.Boxes().size(), 1u);
  EXPECT_EQ(boxes_.Boxes()[0].Text, expected);
  EXPECT_EQ(boxes_.Boxes()[0].Caption, "Brennhaven Dravonik");
  EXPECT_EQ(boxes_.Boxes()[0].Icon, ui::TBoxIcon::Error);
  EXPECT_EQ(errorOutput_, expected + "\n");
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->Devices()->Count(), 0);
}

TEST_F(FmMainTest, BadDefinitionsKeepTheDevicesReadBeforeTheFailure) {
  folder_.Write("Devices.xml", R"(<zsf>
    <settings settings_id="1"/>
    <device name="Alpha" device_id="1" live_status_id="0" settings_id="1"/>
    <device name="Beta" device_id="2" live_status_id="0" settings_id="9"/>
    <device name="Gamma" device_id="3" live_status_id="0" settings_id="1"/>
  </zsf>)");
  auto window = Open();
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"Could not find a settings node with id 9."});
  EXPECT_EQ(window->Devices()->Count(), 2);
}

TEST_F(FmMainTest, WrongRootShowsTheTagWithAFullStop) {
  folder_.Write("Devices.xml", "<devices/>");
  auto window = Open();
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"Could not find parent tag: zsf."});
  EXPECT_EQ(window->Devices()->Count(), 0);
}

TEST_F(FmMainTest, LayoutOfTheMainControls) {
  folder_.Write("Devices.xml", kOneDevice);
  auto window = Open();
  EXPECT_EQ(window->size(), QSize(992, 689));

  EXPECT_EQ(InWindow(window->pnTitle), QRect(0, 0, 992, 71));
  EXPECT_EQ(InWindow(window->pb), QRect(0, 0, 992, 71));
  EXPECT_EQ(InWindow(window->Label1).topLeft(), QPoint(16, 20));
  EXPECT_EQ(InWindow(window->Image1), QRect(832, 8, 153, 53));

  EXPECT_EQ(InWindow(window->pnGroups), QRect(0, 71, 225, 618));
  EXPECT_EQ(InWindow(window->Panel2), QRect(0, 71, 225, 25));
  EXPECT_EQ(window->Panel2->Colour(), QColor(212, 208, 200));
  EXPECT_EQ(window->btConnect->geometry(), QRect(2, 1, 82, 22));
  EXPECT_EQ(window->btRefresh->geometry(), QRect(84, 1, 72, 22));
  EXPECT_EQ(window->btConnect->toolTip(), "Connect");
  EXPECT_EQ(window->btRefresh->toolTip(), "Refresh");
  EXPECT_EQ(window->Shape1->geometry(), QRect(0, 24, 225, 1));
  EXPECT_EQ(window->Shape1->Colour(), QColor(255, 0, 0));
  EXPECT_EQ(InWindow(window->Shape2), QRect(224, 96, 1, 593));
  EXPECT_EQ(window->Shape2->Colour(), QColor(172, 168, 153));
  EXPECT_EQ(InWindow(window->Panel1), QRect(0, 96, 224, 593));
  EXPECT_EQ(InWindow(window->sbSettingsGroups), QRect(0, 96, 224, 560));
  EXPECT_EQ(InWindow(window->pnConnectStatus), QRect(0, 656, 224, 33));
  EXPECT_EQ(window->lbConnectStatus->geometry(), QRect(6, 3, 211, 27));

  EXPECT_EQ(InWindow(window->Panel3), QRect(225, 71, 767, 618));
  EXPECT_EQ(InWindow(window->sbMainArea), QRect(225, 71, 767, 578));
  EXPECT_EQ(InWindow(window->pnToolbarBottom), QRect(225, 649, 767, 40));
  EXPECT_EQ(window->Shape3->geometry(), QRect(0, 0, 767, 1));
  EXPECT_EQ(window->lbProgress->pos(), QPoint(16, 5));
  EXPECT_EQ(window->ProgressBar1->geometry(), QRect(15, 23, 409, 17));
  EXPECT_EQ(window->btWriteSettings->geometry(), QRect(572, 9, 88, 21));
  EXPECT_EQ(window->btWriteSettings->text(), "&Write Settings");
  EXPECT_EQ(window->btExit->geometry(), QRect(668, 9, 88, 21));
  EXPECT_EQ(window->btExit->text(), "E&xit");
}

TEST_F(FmMainTest, RightAnchoredControlsFollowTheRightEdge) {
  folder_.Write("Devices.xml", kOneDevice);
  auto window = Open();
  window->resize(1200, 800);
  QApplication::processEvents();
  EXPECT_EQ(InWindow(window->Image1), QRect(1040, 8, 153, 53));
  EXPECT_EQ(window->btWriteSettings->geometry(), QRect(780, 9, 88, 21));
  EXPECT_EQ(window->btExit->geometry(), QRect(876, 9, 88, 21));
  EXPECT_EQ(window->ProgressBar1->geometry(), QRect(15, 23, 409, 17));
  EXPECT_EQ(InWindow(window->pnToolbarBottom), QRect(225, 760, 975, 40));
}

TEST_F(FmMainTest, TheWheelScrollsTheAreaItIsOverByItsDelta) {
  folder_.Write("Devices.xml", kOneDevice);
  auto window = Open();
  auto* tall = new QLabel("bottom row", window->sbMainArea->Content());
  tall->setGeometry(0, 2000, 100, 20);
  tall->show();
  QApplication::processEvents();

  auto wheel = [&](QWidget* target, int delta) {
    QWheelEvent event(QPointF(10, 10), target->mapToGlobal(QPointF(10, 10)), QPoint(),
                      QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
  };
  wheel(window->sbMainArea->viewport(), -120);
  EXPECT_EQ(window->sbMainArea->VerticalPosition(), 120);
  wheel(window->sbMainArea->viewport(), -240);
  EXPECT_EQ(window->sbMainArea->VerticalPosition(), 360);
  wheel(window->sbMainArea->viewport(), 120);
  EXPECT_EQ(window->sbMainArea->VerticalPosition(), 240);
  // Over the rest of the window the wheel scrolls the page as well, and
  // nothing else.
  wheel(window->pnToolbarBottom, 120);
  EXPECT_EQ(window->sbMainArea->VerticalPosition(), 120);
  wheel(tall, 480);
  EXPECT_EQ(window->sbMainArea->VerticalPosition(), 0);

  // Over the navigation column it scrolls the column, not the page.
  auto* lastButton = new ui::TImageButton(window->sbSettingsGroups->Content());
  lastButton->setGeometry(13, 2000, 200, 32);
  lastButton->show();
  QApplication::processEvents();
  window->sbMainArea->SetVerticalPosition(120);
  wheel(window->sbSettingsGroups->viewport(), -120);
  EXPECT_EQ(window->sbSettingsGroups->VerticalPosition(), 120);
  wheel(lastButton, -240);
  EXPECT_EQ(window->sbSettingsGroups->VerticalPosition(), 360);
  EXPECT_EQ(window->sbMainArea->VerticalPosition(), 120);
  wheel(window->sbMainArea->viewport(), 120);
  EXPECT_EQ(window->sbMainArea->VerticalPosition(), 0);
  EXPECT_EQ(window->sbSettingsGroups->VerticalPosition(), 360);
}

TEST_F(FmMainTest, ClickingThePageAreaFocusesTheShownGroupsButton) {
  folder_.Write("Devices.xml", kOneDevice);
  auto window = Open();
  QApplication::setActiveWindow(window.get());
  auto* button = new ui::TImageButton(window->sbSettingsGroups->Content());
  button->setGeometry(0, 0, 200, 30);
  button->show();
  window->btExit->setFocus();

  // No page on display: the click changes nothing.
  QTest::mouseClick(window->sbMainArea->viewport(), Qt::LeftButton, {}, QPoint(300, 300));
  EXPECT_EQ(QApplication::focusWidget(), window->btExit);

  window->ShownGroupButton = [button] { return button; };
  QTest::mouseClick(window->sbMainArea->viewport(), Qt::LeftButton, {}, QPoint(300, 300));
  EXPECT_EQ(QApplication::focusWidget(), button);
}

TEST_F(FmMainTest, TheLogoOpensTheAboutBoxModally) {
  folder_.Write("Devices.xml", kOneDevice);
  auto window = Open();
  QString shownVersion;
  bool wasModal = false;
  QTimer::singleShot(0, [&] {
    auto* about = qobject_cast<TfmAbout*>(QApplication::activeModalWidget());
    ASSERT_NE(about, nullptr);
    wasModal = about->isModal();
    shownVersion = about->lbSoftwareVersion->text();
    about->accept();
  });
  QTest::mouseClick(window->Image1, Qt::LeftButton);
  EXPECT_TRUE(wasModal);
  EXPECT_TRUE(shownVersion.startsWith("Software Version "));
  // The box is gone once it has closed.
  EXPECT_TRUE(window->findChildren<TfmAbout*>().isEmpty());
}

TEST_F(FmMainTest, TheRefreshButtonOpensTheSettingsMenuBelowIt) {
  folder_.Write("Devices.xml", kOneDevice);
  auto window = Open();
  window->move(40, 30);
  QApplication::processEvents();
  QTest::mousePress(window->btRefresh, Qt::RightButton);
  ASSERT_TRUE(window->PopupMenu->isVisible());
  const QPoint outer = window->frameGeometry().topLeft();
  EXPECT_EQ(window->PopupMenu->pos(), outer + QPoint(84, 124));
  const auto items = window->PopupMenu->actions();
  ASSERT_EQ(items.size(), 9);
  EXPECT_EQ(items[0]->text(), "&Load Settings");
  EXPECT_EQ(items[1]->text(), "&Save Settings");
  EXPECT_TRUE(items[2]->isSeparator());
  EXPECT_EQ(items[3]->text(), "&Restore Factory Defaults");
  // The communication log below them, enabled with no device too.
  EXPECT_TRUE(items[4]->isSeparator());
  EXPECT_EQ(items[5]->text(), "Communication &Log");
  EXPECT_TRUE(items[5]->isEnabled());
  EXPECT_EQ(items[5]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_L));
  // What is handed over with a unit, below them all; only with settings on display.
  EXPECT_TRUE(items[6]->isSeparator());
  EXPECT_EQ(items[7]->text(), QStringLiteral("Save Re&port\u2026"));
  EXPECT_EQ(items[8]->text(), QStringLiteral("Export &Table\u2026"));
  EXPECT_FALSE(items[7]->isEnabled());
  EXPECT_FALSE(items[8]->isEnabled());
  window->PopupMenu->hide();
  EXPECT_TRUE(window->btRefresh->isEnabled());
}

TEST_F(FmMainTest, TheCommandButtonsAreReachedAndPressedFromTheKeyboard) {
  folder_.Write("Devices.xml", kOneDevice);
  auto window = Open();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  window->btConnect->setFocus(Qt::TabFocusReason);
  QTest::keyClick(window->btConnect, Qt::Key_Tab);
  ASSERT_EQ(QApplication::focusWidget(), window->btRefresh);
  QTest::keyClick(window->btRefresh, Qt::Key_Space);
  EXPECT_TRUE(window->PopupMenu->isVisible());
  window->PopupMenu->hide();
  QTest::keyClick(window->btRefresh, Qt::Key_Return);
  EXPECT_TRUE(window->PopupMenu->isVisible());
  window->PopupMenu->hide();
}

TEST_F(FmMainTest, ExitClosesTheWindow) {
  folder_.Write("Devices.xml", kOneDevice);
  auto window = Open();
  QTest::mouseClick(window->btExit, Qt::LeftButton);
  EXPECT_FALSE(window->isVisible());
}

}  // namespace
