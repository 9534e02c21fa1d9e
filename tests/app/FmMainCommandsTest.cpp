// The main window's commands end to end, offscreen: the real window and connection dialog
// against dravonik-sim on a pseudo-terminal. Connect, read, edit, write, failures with and
// without a reopened link, offline edit with the settings menu, and closing the window.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <thread>

#include "app/Fm_commlog.h"
#include "app/Fm_connect.h"
#include "app/Fm_main.h"
#include "comms/Registry.h"
#include "comms/Serialmanager.h"
#include "model/Group.h"
#include "model/OfflineEdit.h"
#include "model/Setting.h"
#include "model/Setting_dropdown.h"
#include "model/Setting_int.h"
#include "model/Settings.h"
#include "tests/support/DeviceTree.h"
#include "tests/support/FakeConverter.h"
#include "tests/support/RecordingMessageBoxes.h"
#include "tests/support/SettingOfKind.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"
#include "ui/ImageButton.h"
#include "ui/ScrollBox.h"

namespace {

using comms::kConfigKey;
using testsupport::ReadFile;

constexpr int kHangBoundMs = 60000;
constexpr const char* kDeviceName = "Dravonik V200 Ventilation Controller";

class FmMainCommands : public testing::Test {
 protected:
  FmMainCommands() {
    // The program folder of the build: Devices.xml and images beside the programs.
    window_ = std::make_unique<TfmMain>(QString::fromStdString(SimProcess::BinDir()));
    window_->show();
  }
  ~FmMainCommands() override {
    window_->close();
    window_.reset();
  }

  // Presses the connect button and lets act work the dialog once it is up.
  void Connect(const std::function<void(TfmConnect&)>& act) {
    bool acted = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* dialog = qobject_cast<TfmConnect*>(QApplication::activeModalWidget());
      if (dialog != nullptr && dialog->isVisible() && !acted) {
        acted = true;
        act(*dialog);
      }
    });
    poll.start(10);
    window_->btConnect->click();
  }

  // Online over serial Comm 1, opening path.
  void ConnectTo(const std::string& path) {
    comms::WriteRegistryInteger(kConfigKey, "ConnectionType", 1);
    comms::WriteRegistryInteger(kConfigKey, "CommPortIndex", 0);
    comms::WriteRegistryBool(kConfigKey, "Online", true);
    comms::WritePortDevice("COM1", path);
    Connect([](TfmConnect& dialog) { dialog.btnConnect->click(); });
  }

  // The read has ended and the first group's page is on display.
  bool ReadShown() {
    return QTest::qWaitFor(
        [&] {
          return window_->RegisterDataStore()->IsComplete() &&
                 window_->Devices()->Set().CurrentGroup != nullptr &&
                 !window_->ReadCompleteTimer->isActive() && window_->btWriteSettings->isEnabled();
        },
        kHangBoundMs);
  }

  bool BoxShown(const std::string& text) {
    return QTest::qWaitFor(
        [&] {
          for (const std::string& shown : boxes_.Texts()) {
            if (shown == text) {
              return true;
            }
          }
          return false;
        },
        kHangBoundMs);
  }

  std::string Status() const { return window_->lbConnectStatus->text().toStdString(); }
  // The status note as on the screen: empty while hidden.
  std::string Note() const {
    return window_->lbStatusNote->isVisible() ? window_->lbStatusNote->text().toStdString() : "";
  }
  model::TSettings& Document() const { return *window_->CurrentDevice->Settings; }

  // An edit of the first integer setting, as its edit box stores it.
  void ChangeAnInteger() {
    auto* integer = FirstOfKind<model::TSettingInt>();
    ASSERT_NE(integer, nullptr);
    integer->SetValue(integer->Value() == integer->Maximum() ? integer->Minimum()
                                                             : integer->Maximum());
    integer->StoreValue();
  }

  template <typename Kind>
  Kind* FirstOfKind() {
    return testsupport::FirstOfKind<Kind>(Document(), testsupport::IsWholeHoldingRegister);
  }

  testsupport::TConfigHome config_;
  testsupport::TRecordingMessageBoxes boxes_;
  std::unique_ptr<TfmMain> window_;
};

TEST_F(FmMainCommands, ConnectReadEditAndWrite) {
  SimProcess sim({"--set", "28=3", "--set", "2=7"});
  ConnectTo(sim.Path());
  EXPECT_EQ(Status(), std::string("Connected to ") + kDeviceName + ".");
  // Nothing may be written before the device has been read.
  EXPECT_FALSE(window_->btWriteSettings->isEnabled());
  window_->btWriteSettingsClick();
  EXPECT_NE(window_->RegisterDataStore()->State(), registers::TRegisterDataStore::TState::Writing);
  ASSERT_TRUE(ReadShown());
  EXPECT_FALSE(window_->ProgressBar1->isVisible());
  EXPECT_EQ(window_->ProgressMax, window_->RegisterDataStore()->RegisterCount());
  EXPECT_TRUE(window_->tbSaveSettings->isEnabled());
  // The 7 the device holds in 2 is none of the Display Units entries: kept, and named.
  EXPECT_EQ(boxes_.Texts(),
            std::vector<std::string>{
                "Some values read from the device are none of the entries of their lists. Each "
                "list shows its first entry, and the value is kept as read unless you choose "
                "another:\n\nSystem / Display Units: 7, not one of its entries 0 (m/sec), 1 "
                "(ft/min)"});
  EXPECT_EQ(Document().FindSettingByName("Display Units").Value(), 7);
  boxes_.Clear();

  // The user edits an integer and a drop-down, as their edit boxes store them.
  auto* integer = FirstOfKind<model::TSettingInt>();
  auto* dropDown = FirstOfKind<model::TSettingDropDown>();
  ASSERT_NE(integer, nullptr);
  ASSERT_NE(dropDown, nullptr);
  integer->SetValue(integer->Maximum());
  integer->StoreValue();
  dropDown->SetValue(1);
  dropDown->StoreValue();

  window_->btWriteSettingsClick();
  EXPECT_FALSE(window_->btWriteSettings->isEnabled());
  ASSERT_TRUE(BoxShown("Settings written successfully."));
  const std::string dump = sim.DumpText();
  EXPECT_NE(dump.find("h " + std::to_string(integer->Reference()) + " " +
                      std::to_string(static_cast<std::uint16_t>(integer->Maximum())) + "\n"),
            std::string::npos)
      << dump;
  EXPECT_NE(dump.find("h " + std::to_string(dropDown->Reference()) + " 1\n"), std::string::npos)
      << dump;
  EXPECT_NE(dump.find("h 27 123\n"), std::string::npos);
  EXPECT_TRUE(window_->btWriteSettings->isEnabled());
  EXPECT_EQ(Status(), std::string("Connected to ") + kDeviceName + ".");
}

// The communication log: a connection's frames live,
// errors alone on request, saved to a file, the last 10,000 kept.
TEST_F(FmMainCommands, TheCommunicationLogShowsSavesAndBoundsTheFrames) {
  window_->tbCommLog->trigger();
  TfmCommLog* log = window_->CommLog;
  ASSERT_NE(log, nullptr);
  ASSERT_TRUE(log->isVisible());

  SimProcess sim({"--set", "28=3"});
  ConnectTo(sim.Path());
  ASSERT_TRUE(ReadShown());
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return log->mmLog->toPlainText().contains("  TX  01 03 00 1B 00 01 F4 0D "); },
      kHangBoundMs));
  log->cbErrorsOnly->setChecked(true);  // a clean read has none
  EXPECT_EQ(log->mmLog->toPlainText(), "");
  log->cbErrorsOnly->setChecked(false);

  testsupport::TTempDir files;
  const std::string saved = files.File("log.txt");
  log->ChooseFileToSave = [&] { return QString::fromStdString(saved); };
  log->btSave->click();
  const std::string text = ReadFile(saved);
  EXPECT_EQ(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')), log->Kept());
  EXPECT_NE(text.find("read holding register 28 (1)\n"), std::string::npos);

  log->btClear->click();
  modbus::TFrameEvent retry;
  retry.kind = modbus::TFrameEvent::TKind::kRetry;
  log->Add(std::vector<modbus::TFrameEvent>(TfmCommLog::kMaxFrames + 1, retry));
  EXPECT_EQ(log->Kept(), TfmCommLog::kMaxFrames);
  EXPECT_EQ(log->Dropped(), 1u);
  EXPECT_EQ(log->lbCount->text(), "10000 frames kept, 1 dropped");
  EXPECT_EQ(log->mmLog->blockCount(), 10000);
  log->close();
  EXPECT_FALSE(window_->CommLogTimer->isActive());
}

TEST_F(FmMainCommands, AReadFailingMidwayLeavesTheWindowDisconnectedWithNothingUnread) {
  // The device type's blocks: coils 1 to 2, holding registers 1 to 2, 41 to 48, 51 to 54,
  // 61 to 63, 216 to 219; the fourth holding-register block fails.
  SimProcess failing({"--set", "28=3", "--exception", "62:4"});
  ConnectTo(failing.Path());
  // The first page is on display while the read runs.
  EXPECT_NE(window_->Devices()->Set().CurrentGroup, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes_.Boxes().empty(); }, kHangBoundMs));
  EXPECT_EQ(boxes_.Texts(), (std::vector<std::string>{"Reading Holding Registers 61 to 63Failed"}));
  EXPECT_EQ(boxes_.Boxes()[0].Icon, ui::TBoxIcon::Error);
  EXPECT_EQ(Status(), "Disconnected.");
  EXPECT_EQ(Note(),
            "Reading the settings failed: check the cable and the device's power, then "
            "press Connect.");
  EXPECT_FALSE(window_->btWriteSettings->isEnabled());
  EXPECT_EQ(window_->CurrentDevice, nullptr);
  // No page, nor a button to one, shows the values that were never read.
  EXPECT_EQ(window_->Devices()->Set().CurrentGroup, nullptr);
  EXPECT_TRUE(window_->sbMainArea->Content()->findChildren<QWidget*>().isEmpty());
  EXPECT_TRUE(window_->sbSettingsGroups->Content()->findChildren<QWidget*>().isEmpty());
  // Connect starts a new connection at once.
  SimProcess working({"--set", "28=3"});
  ConnectTo(working.Path());
  ASSERT_TRUE(ReadShown());
  EXPECT_EQ(boxes_.Texts().size(), 1u);
  EXPECT_EQ(Note(), "");
}

const std::string kDisconnect = "Are you sure you wish to disconnect?";
const std::string kNotWritten = "The changed settings have not been written to the unit.";

// Exit (as the close box) and Connect ask only while the settings hold changes the unit does
// not; No stays. A file loaded is said to wait for a write.
TEST_F(FmMainCommands, LeavingAConnectionAsksOnlyForChangesNotWritten) {
  SimProcess sim({"--set", "28=3"});
  ConnectTo(sim.Path());
  ASSERT_TRUE(ReadShown());
  for (auto& group : Document().Groups) {
    group->Show();  // showing a page changes nothing
  }
  const QString file = QString::fromStdString(config_.File("site.zsf"));
  window_->ChooseFileToSave = [&](const QString&, const QString&) { return file; };
  window_->ChooseFileToLoad = window_->ChooseFileToSave;
  window_->tbSaveSettingsClick();
  for (int i = 0; i < 3; ++i) {
    boxes_.QueueAnswer(ui::TBoxAnswer::No);
  }
  // Answered No, each stays; a dialog shown instead of a question would be cancelled.
  const auto connect = [&] { Connect([](TfmConnect& dialog) { dialog.btnCancel->click(); }); };
  connect();
  ChangeAnInteger();
  window_->btExit->click();
  connect();
  EXPECT_EQ(boxes_.Texts(),
            (std::vector<std::string>{kDisconnect, kNotWritten + "\n\nLeave without writing them?",
                                      kDisconnect + "\n\n" + kNotWritten}));
  EXPECT_TRUE(window_->isVisible());
  window_->tbLoadSettingsClick();
  EXPECT_EQ(Note(), "Loaded site.zsf: press Write Settings to send it to the unit.");
  window_->btWriteSettingsClick();
  ASSERT_TRUE(BoxShown("Settings written successfully."));
  EXPECT_EQ(Note(), "");
  boxes_.Clear();
  window_->btExit->click();
  EXPECT_TRUE(boxes_.Boxes().empty());
  EXPECT_FALSE(window_->isVisible());
}

TEST_F(FmMainCommands, LeavingAnOfflineEditAsksOnlyForChangesNotSaved) {
  Connect([](TfmConnect& dialog) {
    dialog.rbOffline->click();
    dialog.cbDevice->setCurrentIndex(2);
    dialog.btnConnect->click();
  });
  Connect([](TfmConnect& dialog) { dialog.btnCancel->click(); });
  EXPECT_TRUE(boxes_.Boxes().empty());
  ChangeAnInteger();
  boxes_.QueueAnswer(ui::TBoxAnswer::No);
  boxes_.QueueAnswer(ui::TBoxAnswer::No);
  window_->close();
  Connect([](TfmConnect& dialog) { dialog.btnCancel->click(); });
  const std::string question =
      "The changed settings have not been saved to a file.\n\nLeave without saving them?";
  EXPECT_EQ(boxes_.Texts(), (std::vector<std::string>{question, question}));
  EXPECT_TRUE(window_->isVisible());
  window_->ChooseFileToSave = [&](const QString&, const QString&) {
    return QString::fromStdString(config_.File("unit.zsf"));
  };
  window_->tbSaveSettingsClick();
  boxes_.Clear();
  window_->close();
  EXPECT_TRUE(boxes_.Boxes().empty());
  EXPECT_FALSE(window_->isVisible());
}

TEST_F(FmMainCommands, AFailedWriteWhoseLinkReopensAsksToWriteAgain) {
  auto first = std::make_unique<SimProcess>(std::vector<std::string>{"--set", "28=3"});
  SimProcess replacement({"--set", "28=3"});
  ConnectTo(first->Path());
  ASSERT_TRUE(ReadShown());
  comms::WritePortDevice("COM1", replacement.Path());
  first.reset();  // the line goes dead under the link
  window_->btWriteSettingsClick();
  ASSERT_TRUE(BoxShown("Writing settings failed, please try writing again"));
  EXPECT_EQ(Status(), std::string("Connected to ") + kDeviceName + ".");
  EXPECT_TRUE(window_->btWriteSettings->isEnabled());
  window_->btWriteSettingsClick();
  ASSERT_TRUE(BoxShown("Settings written successfully."));
  EXPECT_NE(replacement.DumpText().find("h 27 123\n"), std::string::npos);
}

// An error thrown inside a write pass ends the write as a failed block does: one box, and
// the link, reopened, lets the user write again.
TEST_F(FmMainCommands, AnErrorInsideAWritePassShowsExactlyOneBox) {
  registers::TRegisterDataStore& store = *window_->RegisterDataStore();
  std::atomic<bool> armed{false};
  store.SetPause([&] {
    if (store.State() == registers::TRegisterDataStore::TState::Writing && armed.exchange(false)) {
      throw std::runtime_error("Progress bar index out of range");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  SimProcess sim({"--set", "28=3"});
  ConnectTo(sim.Path());
  ASSERT_TRUE(ReadShown());
  boxes_.Clear();
  armed = true;
  window_->btWriteSettingsClick();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window_->Writing() && !boxes_.Boxes().empty(); },
                              kHangBoundMs));
  // A second box would follow within a timer's period of the first.
  QTest::qWait(4 * TfmMain::kTimerMs);
  EXPECT_EQ(boxes_.Texts(),
            (std::vector<std::string>{"Writing settings failed, please try writing again"}));
  EXPECT_TRUE(window_->btWriteSettings->isEnabled());
}

TEST_F(FmMainCommands, AFailedWriteWithoutALinkShowsTheStoresTextAndDisconnects) {
  auto sim = std::make_unique<SimProcess>(std::vector<std::string>{"--set", "28=3"});
  ConnectTo(sim->Path());
  ASSERT_TRUE(ReadShown());
  comms::WritePortDevice("COM1", config_.File("gone"));
  sim.reset();
  window_->btWriteSettingsClick();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes_.Boxes().empty(); }, kHangBoundMs));
  const std::string text = boxes_.Texts().front();
  EXPECT_EQ(text.rfind("Writing ", 0), 0u) << text;
  EXPECT_EQ(text.substr(text.size() - 6), "Failed");
  EXPECT_EQ(Status(), "Disconnected.");
  EXPECT_EQ(Note(),
            "Writing the settings failed: check the cable and the device's power, then "
            "press Connect.");
  EXPECT_FALSE(window_->btWriteSettings->isEnabled());
}

TEST_F(FmMainCommands, TheSimulatorKilledDuringAReadEndsItWithTheStoresText) {
  auto sim =
      std::make_unique<SimProcess>(std::vector<std::string>{"--set", "28=3", "--delay-ms", "100"});
  ConnectTo(sim->Path());
  ASSERT_TRUE(QTest::qWaitFor([&] { return window_->ProgressBar1->value() > 0; }, kHangBoundMs));
  sim.reset();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes_.Boxes().empty(); }, kHangBoundMs));
  const std::string text = boxes_.Texts().front();
  EXPECT_EQ(text.rfind("Reading ", 0), 0u) << text;
  EXPECT_EQ(text.substr(text.size() - 6), "Failed");
  EXPECT_EQ(Status(), "Disconnected.");
  EXPECT_EQ(window_->CurrentDevice, nullptr);
}

// The default first-run choice: USB. The converter is then unplugged while connected.
TEST_F(FmMainCommands, AnUnpluggedConverterFailsTheWriteAndCannotBeReopened) {
  auto sim = std::make_unique<SimProcess>(std::vector<std::string>{"--set", "28=3"});
  testsupport::TFakeConverter converter(sim->Path());
  Connect([](TfmConnect& dialog) { dialog.btnConnect->click(); });
  ASSERT_TRUE(ReadShown());
  EXPECT_EQ(Status(), std::string("Connected to ") + kDeviceName + ".");
  converter.Unplug();
  sim.reset();
  window_->btWriteSettingsClick();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes_.Boxes().empty(); }, kHangBoundMs));
  const std::string text = boxes_.Texts().front();
  EXPECT_EQ(text.rfind("Writing ", 0), 0u) << text;
  EXPECT_EQ(Status(), "Disconnected.");
}

TEST_F(FmMainCommands, OfflineEditLoadsSavesExportsReportsAndRestoresWithoutTraffic) {
  Connect([](TfmConnect& dialog) {
    dialog.rbOffline->click();
    dialog.cbDevice->setCurrentIndex(2);
    dialog.btnConnect->click();
  });
  ASSERT_NE(window_->CurrentDevice, nullptr);
  EXPECT_EQ(Status(), std::string("Offline edit ") + kDeviceName + ".");
  EXPECT_FALSE(window_->btWriteSettings->isEnabled());
  EXPECT_TRUE(window_->tbLoadSettings->isEnabled());

  const QString zsf = QString::fromStdString(config_.File("unit.zsf"));
  const QString csv = QString::fromStdString(config_.File("unit.CsV"));
  QString next;
  window_->ChooseFileToSave = [&](const QString& title, const QString& filter) {
    EXPECT_EQ(title, "Save Settings...");
    EXPECT_TRUE(filter.contains("*.zsf"));
    EXPECT_TRUE(filter.contains("*.csv"));
    return next;
  };
  window_->ChooseFileToLoad = [&](const QString& title, const QString&) {
    EXPECT_EQ(title, "Load Settings...");
    return next;
  };
  auto* integer = FirstOfKind<model::TSettingInt>();
  ASSERT_NE(integer, nullptr);
  integer->SetValue(integer->Maximum());
  integer->StoreValue();
  next = zsf;
  window_->tbSaveSettingsClick();
  next = csv;
  window_->tbSaveSettingsClick();
  EXPECT_EQ(ReadFile(csv.toStdString()).rfind("Setting Name,Value\r\n", 0), 0u);
  EXPECT_NE(ReadFile(zsf.toStdString()).find("<settings>"), std::string::npos);
  // The report and the table of the same settings.
  window_->ChooseFileToSave = [&](const QString& title, const QString& filter) {
    EXPECT_EQ(title, filter.startsWith("PDF") ? "Save Report..." : "Export Table...");
    return filter.startsWith("PDF") ? zsf + ".pdf" : csv;
  };
  window_->tbSaveReport->trigger();
  window_->tbExportTable->trigger();
  EXPECT_EQ(ReadFile(zsf.toStdString() + ".pdf").rfind("%PDF-", 0), 0u);
  EXPECT_NE(ReadFile(csv.toStdString())
                .find("," + integer->Name() + "," + std::to_string(integer->Maximum()) + ","),
            std::string::npos);

  window_->tbRestoreDefaultClick();
  EXPECT_EQ(integer->Value(), integer->Default());
  next = zsf;
  window_->tbLoadSettingsClick();
  EXPECT_EQ(integer->Value(), integer->Maximum());
  EXPECT_TRUE(boxes_.Boxes().empty());  // offline: no question
  EXPECT_EQ(window_->SerialManager()->LinkCount(), 0);
  next.clear();
  window_->tbLoadSettingsClick();  // cancelled: nothing happens
  EXPECT_EQ(integer->Value(), integer->Maximum());
}

TEST_F(FmMainCommands, CancellingTheDialogAfterTheDisconnectLeavesTheWindowDisconnected) {
  SimProcess sim({"--set", "28=3"});
  ConnectTo(sim.Path());
  ASSERT_TRUE(ReadShown());
  boxes_.QueueAnswer(ui::TBoxAnswer::Yes);
  Connect([](TfmConnect& dialog) { dialog.btnCancel->click(); });
  EXPECT_EQ(Status(), "Disconnected.");
  EXPECT_EQ(window_->CurrentDevice, nullptr);
  EXPECT_EQ(window_->SerialManager()->LinkCount(), 0);
}

TEST_F(FmMainCommands, AFailedConnectIsUndone) {
  SimProcess sim({"--set", "28=3"});
  comms::WriteRegistryInteger(kConfigKey, "ConnectionType", 1);
  comms::WritePortDevice("COM1", sim.Path());
  {
    const testsupport::TDeviceTree noConverter;
    Connect([](TfmConnect& dialog) {
      dialog.btnConnect->click();
      // The search runs over the serial line; by the time the window connects, the stored
      // choice is USB, whose link cannot open.
      comms::WriteRegistryInteger(kConfigKey, "ConnectionType", 0);
    });
  }
  EXPECT_EQ(boxes_.Texts(), (std::vector<std::string>{"Port or socket open error."}));
  EXPECT_EQ(Status(), "Disconnected.");
  EXPECT_EQ(window_->CurrentDevice, nullptr);
  EXPECT_EQ(window_->SerialManager()->LinkCount(), 0);
  // The user can connect again at once: no disconnect question.
  ConnectTo(sim.Path());
  ASSERT_TRUE(ReadShown());
  EXPECT_EQ(boxes_.Texts().size(), 1u);
}

TEST_F(FmMainCommands, ClosingTheWindowWhileWritingLetsTheWriteFinish) {
  SimProcess sim({"--set", "28=3", "--delay-ms", "5"});
  ConnectTo(sim.Path());
  ASSERT_TRUE(ReadShown());
  window_->btWriteSettingsClick();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window_->ProgressBar1->value() > 0; }, kHangBoundMs));
  window_->close();
  EXPECT_EQ(window_->CurrentDevice, nullptr);
  EXPECT_EQ(window_->SerialManager()->LinkCount(), 0);
  EXPECT_NE(sim.DumpText().find("h 27 123\n"), std::string::npos);
}

// While the worker waits on a slow line the GUI thread goes on: its longest gap between two
// turns of the event loop stays far below the time one request spends on the line.
TEST_F(FmMainCommands, TheWindowStaysResponsiveWhileTheLineIsSlow) {
  SimProcess sim({"--set", "28=3", "--delay-ms", "900"});
  ConnectTo(sim.Path());
  QElapsedTimer clock;
  clock.start();
  qint64 last = 0;
  qint64 longest = 0;
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    longest = std::max(longest, now - last);
    last = now;
  });
  tick.start(10);
  ASSERT_TRUE(QTest::qWaitFor([&] { return sim.LogLines().size() >= 2u; }, kHangBoundMs));
  // A page shown while the read runs cannot be edited.
  ASSERT_NE(window_->CurrentDevice, nullptr);
  window_->CurrentDevice->Settings->Groups[0]->Show();
  auto* integer = FirstOfKind<model::TSettingInt>();
  ASSERT_NE(integer, nullptr);
  EXPECT_FALSE(integer->Enabled());
  // Three requests on the line in all, each answered 0.9 s late by the device.
  ASSERT_TRUE(QTest::qWaitFor([&] { return sim.LogLines().size() >= 3u; }, kHangBoundMs));
  tick.stop();
  std::cerr << "longest gap between two turns of the GUI event loop: " << longest << " ms\n";
  EXPECT_LT(longest, 450) << "the GUI thread stalled for " << longest << " ms";
  window_->close();
  EXPECT_EQ(window_->CurrentDevice, nullptr);
  EXPECT_EQ(window_->SerialManager()->LinkCount(), 0);
}

TEST_F(FmMainCommands, AWriteWhoseClosingMarkerFailsIsNeverReportedWritten) {
  SimProcess sim({"--set", "28=3", "--exception", "27:4"});
  ConnectTo(sim.Path());
  ASSERT_TRUE(ReadShown());
  window_->btWriteSettingsClick();
  const std::string writeAgain = "Writing settings failed, please try writing again";
  ASSERT_TRUE(BoxShown(writeAgain));
  // A second write comes after anything the first still had to report: each shows one box.
  const auto markersSent = [&] {
    const auto lines = sim.LogLines();
    return std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
      return line.find("01 06 00 1a 00 7b") != std::string::npos;
    });
  };
  const auto firstWritesMarkers = markersSent();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window_->btWriteSettings->isEnabled(); }, kHangBoundMs));
  window_->btWriteSettingsClick();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return markersSent() == 2 * firstWritesMarkers && window_->btWriteSettings->isEnabled() &&
               !window_->FailTimer->isActive() && boxes_.Texts().size() >= 2u;
      },
      kHangBoundMs));
  EXPECT_EQ(boxes_.Texts(), (std::vector<std::string>{writeAgain, writeAgain}));
}

TEST_F(FmMainCommands, AfterAWriteTheFirstPageIsShownAgain) {
  SimProcess sim({"--set", "28=3"});
  ConnectTo(sim.Path());
  ASSERT_TRUE(ReadShown());
  window_->CurrentDevice->Settings->Groups[1]->Show();
  window_->btWriteSettingsClick();
  ASSERT_TRUE(BoxShown("Settings written successfully."));
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return window_->Devices()->Set().CurrentGroup ==
               window_->CurrentDevice->Settings->Groups[0].get();
      },
      kHangBoundMs));
}

TEST_F(FmMainCommands, ThePageOfThePreviousDeviceDoesNotStayOnDisplay) {
  Connect([](TfmConnect& dialog) {
    dialog.rbOffline->click();
    dialog.cbDevice->setCurrentIndex(0);
    dialog.btnConnect->click();
  });
  model::TSettings& offline = Document();
  offline.Groups[0]->Show();
  ASSERT_EQ(window_->Devices()->Set().CurrentGroup->Document, &offline);
  SimProcess sim({"--set", "28=3"});
  ConnectTo(sim.Path());
  EXPECT_TRUE(window_->Devices()->Set().CurrentGroup == nullptr ||
              window_->Devices()->Set().CurrentGroup->Document == &Document());
  ASSERT_TRUE(ReadShown());
  EXPECT_EQ(window_->Devices()->Set().CurrentGroup->Document, &Document());
}

TEST_F(FmMainCommands, BadSettingsFilesShowTheirMessageAndChangeNothing) {
  Connect([](TfmConnect& dialog) {
    dialog.rbOffline->click();
    dialog.cbDevice->setCurrentIndex(2);
    dialog.btnConnect->click();
  });
  testsupport::TTempDir files;
  const std::string corrupt = files.Write("corrupt.zsf", "<settings><device name=");
  const std::string other = files.Write(
      "other.zsf", R"(<?xml version="1.0"?><settings><device name="Dravonik P500 Pressure )"
                   R"(Controller" device_id="1"/></settings>)");
  QString next;
  window_->ChooseFileToLoad = [&](const QString&, const QString&) { return next; };
  next = QString::fromStdString(corrupt);
  window_->tbLoadSettings->trigger();
  next = QString::fromStdString(other);
  window_->tbLoadSettings->trigger();
  ASSERT_EQ(boxes_.Texts().size(), 2u);
  EXPECT_EQ(boxes_.Texts()[0].rfind("Error reading XML document " + corrupt, 0), 0u)
      << boxes_.Texts()[0];
  EXPECT_EQ(boxes_.Texts()[1],
            std::string("Device name is not ' ") + kDeviceName +
                ".'\nThis settings file has been created for a different type of device.");
  EXPECT_EQ(Status(), std::string("Offline edit ") + kDeviceName + ".");
}

// A device type whose settings use no register at all: the read ends at once.
TEST(FmMainNothingRegistered, AReadOfNothingFinishesAtOnce) {
  testsupport::TConfigHome config;
  testsupport::TTempDir program;
  testsupport::TRecordingMessageBoxes boxes;
  program.Write("Devices.xml", R"(<zsf><settings settings_id="1"><group name="Notes" )"
                               R"(description="Nothing to read"/></settings>)"
                               R"(<device name="Empty" device_id="9" live_status_id="0" )"
                               R"(settings_id="1"/></zsf>)");
  std::filesystem::copy(SimProcess::BinDir() + "/images", program.Path() / "images");
  SimProcess sim({"--set", "28=9"});
  comms::WriteRegistryInteger(kConfigKey, "ConnectionType", 1);
  comms::WritePortDevice("COM1", sim.Path());
  TfmMain window(QString::fromStdString(program.Path().string()));
  window.show();
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (auto* dialog = qobject_cast<TfmConnect*>(QApplication::activeModalWidget())) {
      if (dialog->btnConnect->isEnabled() && dialog->btnConnect->text() == "&Connect") {
        dialog->btnConnect->click();
      }
    }
  });
  poll.start(10);
  window.btConnect->click();
  poll.stop();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.btWriteSettings->isEnabled(); }, kHangBoundMs));
  EXPECT_FALSE(window.lbProgress->isVisible());
  EXPECT_EQ(window.lbConnectStatus->text(), "Connected to Empty.");
  window.close();
}

}  // namespace

namespace {

// A settings file of the second bundled device type holding its factory defaults, with the
// first `from` after `anchor` replaced by `to`. Written from this run's own documents:
// group and setting ids count across a run.
std::string SettingsFile(TfmMain& window, const testsupport::TTempDir& folder,
                         const std::string& anchor, const std::string& from,
                         const std::string& to) {
  const std::string path = folder.File("site.zsf");
  model::TSettings& document = *window.Devices()->GetDevice(1).Settings;
  model::OpenOffline(document);
  document.SaveToFile(path);
  std::string text = ReadFile(path);
  const std::size_t at = text.find(from, text.find(anchor));
  EXPECT_NE(at, std::string::npos) << text;
  if (at != std::string::npos) {
    text.replace(at, from.size(), to);
  }
  return folder.Write("site.zsf", text);
}

TEST_F(FmMainCommands, ASettingsFileGivenOpensAnOfflineEditOfItsDeviceType) {
  testsupport::TTempDir files;
  const std::string path = SettingsFile(*window_, files, R"(name="Number of R12 Controllers")",
                                        R"(value="1")", R"(value="4")");
  window_->OpenSettingsFile(QString::fromStdString(path));
  ASSERT_NE(window_->CurrentDevice, nullptr);
  EXPECT_EQ(window_->CurrentDevice->Name, "Dravonik P1000 Pressure Controller");
  EXPECT_FALSE(window_->CurrentDevice->Online);
  EXPECT_EQ(Status(), "Offline edit Dravonik P1000 Pressure Controller.");
  EXPECT_EQ(Document().FindSettingByName("Number of R12 Controllers").Value(), 4);
  EXPECT_TRUE(boxes_.Boxes().empty());
}

// A device may hold a value its definitions forbid and this program saves it, so such a file
// loads as it stands; the user is told once, setting by setting.
TEST_F(FmMainCommands, ValuesOutsideTheirLimitsLoadWithOneNoticeNamingThem) {
  testsupport::TTempDir files;
  const std::string path = SettingsFile(*window_, files, R"(name="Number of R12 Controllers")",
                                        R"(value="1")", R"(value="9")");
  window_->OpenSettingsFile(QString::fromStdString(path));
  ASSERT_NE(window_->CurrentDevice, nullptr);
  EXPECT_EQ(Document().FindSettingByName("Number of R12 Controllers").Value(), 9);
  ASSERT_EQ(boxes_.Boxes().size(), 1u);
  EXPECT_EQ(boxes_.Boxes()[0].Icon, ui::TBoxIcon::Information);
  EXPECT_EQ(boxes_.Texts()[0],
            "Some values of the settings file are outside the limits of the device definitions. "
            "They were loaded as they stand:\n\nSystem / Number of R12 Controllers: 9, outside "
            "its limits 0 to 5");
  EXPECT_EQ(Status(), "Offline edit Dravonik P1000 Pressure Controller.");
}

TEST_F(FmMainCommands, ASettingsFileTheDefinitionsDoNotKnowLeavesTheWindowDisconnected) {
  testsupport::TTempDir files;
  const std::string unknown =
      SettingsFile(*window_, files, "<device", R"(device_id="2")", R"(device_id="77")");
  window_->OpenSettingsFile(QString::fromStdString(unknown));
  EXPECT_EQ(boxes_.Texts(),
            (std::vector<std::string>{
                "Could not find device with ID '77' in the XML device definitions list."}));
  EXPECT_EQ(window_->CurrentDevice, nullptr);
  EXPECT_EQ(Status(), "Disconnected.");

  const std::string corrupt = files.Write("corrupt.zsf", "<settings><device name=");
  window_->OpenSettingsFile(QString::fromStdString(corrupt));
  ASSERT_EQ(boxes_.Texts().size(), 2u);
  EXPECT_EQ(boxes_.Texts()[1].rfind("Error reading XML document " + corrupt, 0), 0u);
  EXPECT_EQ(window_->CurrentDevice, nullptr);

  // A file whose groups do not match fails after the edit was opened: it is closed again.
  const std::string mismatched = SettingsFile(
      *window_, files, "<group", R"(<group name="System" ID=")", R"(<group name="Elsewhere" ID=")");
  window_->OpenSettingsFile(QString::fromStdString(mismatched));
  ASSERT_EQ(boxes_.Texts().size(), 3u);
  EXPECT_EQ(boxes_.Texts()[2].rfind("Could not find settings group 'System'", 0), 0u)
      << boxes_.Texts()[2];
  EXPECT_EQ(window_->CurrentDevice, nullptr);
  EXPECT_EQ(Status(), "Disconnected.");
}

}  // namespace
