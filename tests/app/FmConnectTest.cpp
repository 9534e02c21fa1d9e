// The connection dialog, shown offscreen: its layout and texts, the stored choices, the
// radio rules, and searches through the serial manager against dravonik-sim.
#include "app/Fm_connect.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <memory>

#include "comms/Registry.h"
#include "comms/Serialmanager.h"
#include "model/Devices.h"
#include "registers/Registerdatastore.h"
#include "tests/support/DeviceTree.h"
#include "tests/support/FakeConverter.h"
#include "tests/support/RecordingMessageBoxes.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"

namespace {

using comms::kConfigKey;

class FmConnectTest : public testing::Test {
 protected:
  FmConnectTest() : store_(handler_), devices_(store_), manager_(store_, handler_, choices_) {
    devices_.LoadFromFile(std::string(DRAVONIK_SOURCE_DIR) + "/data/Devices.xml");
  }

  std::unique_ptr<TfmConnect> Show() {
    auto dialog = std::make_unique<TfmConnect>(nullptr, manager_, nullptr);
    devices_.FillDeviceList(*dialog->cbDevice);
    dialog->show();
    return dialog;
  }

  static std::string Stored(const char* name) {
    return QSettings(comms::RegistryFilePath(kConfigKey), QSettings::IniFormat)
        .value(name)
        .toString()
        .toStdString();
  }

  // Waits, serving the worker's calls, until the dialog has closed; its result.
  static int ResultOf(TfmConnect& dialog) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.isVisible(); }, 60000));
    return dialog.result();
  }

  testsupport::TConfigHome config_;
  testsupport::TRecordingMessageBoxes boxes_;
  comms::TRegistryChoices choices_;
  registers::TModbusHandler handler_;
  registers::TRegisterDataStore store_;
  model::TDevices devices_;
  comms::TSerialManager manager_;
};

TEST_F(FmConnectTest, FirstShowTakesTheDefaultsAndStoresThem) {
  auto dialog = Show();
  EXPECT_EQ(dialog->windowTitle(), "Connect");
  EXPECT_EQ(dialog->size(), QSize(604, 400));
  EXPECT_EQ(dialog->cbCommPort->geometry(), QRect(368, 125, 145, 21));
  EXPECT_EQ(dialog->cbCommPort->count(), 20);
  EXPECT_EQ(dialog->cbCommPort->itemText(19), "Comm 20");
  EXPECT_EQ(dialog->btnConnect->geometry(), QRect(424, 360, 75, 25));
  EXPECT_EQ(dialog->lbInstructions->text().toStdString(),
            "Select the correct communication settings from the drop down options in the right "
            "hand pane.  These details must match the settings stored in the Dravonik device you "
            "wish to connect to.\n\nYou can modify a configuration settings file offline by "
            "choosing the 'Offline Setting Editor' option and selecting the type of device.\n\n");
  EXPECT_EQ(dialog->cbCommPort->currentText(), "Comm 1");
  EXPECT_EQ(dialog->cbDevice->currentIndex(), 0);
  EXPECT_TRUE(dialog->rgConnectionTypeUsb->isChecked());
  EXPECT_TRUE(dialog->rbOnline->isChecked());
  EXPECT_FALSE(dialog->cbCommPort->isEnabled());  // USB: the list only names the link
  EXPECT_FALSE(dialog->cbDevice->isEnabled());
  EXPECT_EQ(dialog->btnConnect->text(), "&Connect");
  EXPECT_EQ(Stored("CommPortIndex"), "0");
  EXPECT_EQ(Stored("DeviceIndex"), "0");
  EXPECT_EQ(Stored("ConnectionType"), "0");
  EXPECT_EQ(Stored("Online"), "1");
}

TEST_F(FmConnectTest, TheRadioButtonsDecideWhatMayBeChosen) {
  comms::WriteRegistryInteger(kConfigKey, "ConnectionType", 1);
  comms::WriteRegistryInteger(kConfigKey, "CommPortIndex", 25);  // out of range: Comm 1
  auto dialog = Show();
  EXPECT_EQ(dialog->cbCommPort->currentIndex(), 0);
  EXPECT_TRUE(dialog->cbCommPort->isEnabled());
  dialog->rbOffline->click();
  EXPECT_EQ(dialog->btnConnect->text(), "&Edit");
  EXPECT_TRUE(dialog->cbDevice->isEnabled());
  EXPECT_FALSE(dialog->cbCommPort->isEnabled());
  dialog->rbOnline->click();
  dialog->rgConnectionTypeUsb->click();
  EXPECT_FALSE(dialog->cbCommPort->isEnabled());
  EXPECT_EQ(dialog->btnConnect->text(), "&Connect");
}

TEST_F(FmConnectTest, OfflineClosesWithTheDevicePositionAndStoresTheChoices) {
  auto dialog = Show();
  dialog->rbOffline->click();
  dialog->cbDevice->setCurrentIndex(2);
  dialog->cbCommPort->setCurrentIndex(4);
  dialog->btnConnect->click();
  EXPECT_EQ(ResultOf(*dialog), TfmConnect::kResultOffline);
  EXPECT_EQ(dialog->Info.DeviceValue, 2);
  EXPECT_EQ(Stored("Online"), "0");
  EXPECT_EQ(Stored("DeviceIndex"), "2");
  EXPECT_EQ(Stored("CommPortIndex"), "4");
  EXPECT_EQ(manager_.LinkCount(), 0);
}

TEST_F(FmConnectTest, EnterInTheDeviceListEditsOffline) {
  auto dialog = Show();
  dialog->rbOffline->click();
  dialog->cbDevice->setCurrentIndex(1);
  EXPECT_TRUE(dialog->btnConnect->isDefault());
  QTest::keyClick(dialog->cbDevice, Qt::Key_Return);
  EXPECT_EQ(ResultOf(*dialog), TfmConnect::kResultOffline);
  EXPECT_EQ(dialog->Info.DeviceValue, 1);
}

TEST_F(FmConnectTest, EscapeCancels) {
  auto dialog = Show();
  dialog->rbOffline->click();
  QTest::keyClick(dialog->cbDevice, Qt::Key_Escape);
  EXPECT_EQ(ResultOf(*dialog), TfmConnect::kResultCancel);
  EXPECT_EQ(Stored("Online"), "1");
}

TEST_F(FmConnectTest, ASerialSearchHandsTheDeviceOver) {
  SimProcess sim({"--set", "28=3"});
  comms::WriteRegistryInteger(kConfigKey, "ConnectionType", 1);
  comms::WritePortDevice("COM2", sim.Path());
  auto dialog = Show();
  dialog->cbCommPort->setCurrentIndex(1);
  EXPECT_EQ(dialog->lbPortDevice->text().toStdString(), sim.Path());
  dialog->btnConnect->click();
  EXPECT_FALSE(dialog->btnConnect->isEnabled());
  EXPECT_EQ(dialog->btnConnect->text(), "&Connecting");
  EXPECT_EQ(ResultOf(*dialog), TfmConnect::kResultOnline);
  EXPECT_EQ(dialog->Info.CommPort, 2);
  EXPECT_EQ(dialog->Info.Address, 1);
  EXPECT_EQ(dialog->Info.DeviceValue, 3);
  EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(FmConnectTest, NoAnswerOverSerialNamesThePortAndAddress) {
  SimProcess sim({"--exception", "28:2"});
  comms::WriteRegistryInteger(kConfigKey, "ConnectionType", 1);
  comms::WritePortDevice("COM3", sim.Path());
  comms::WriteRegistryInteger(kConfigKey, "CommPortIndex", 2);
  auto dialog = Show();
  dialog->btnConnect->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes_.Boxes().empty(); }, 60000));
  EXPECT_EQ(boxes_.Texts(),
            (std::vector<std::string>{
                "Could not find a device attached to comm port '3' address '1'\n\nPlease ensure "
                "the device is connected to the serial bus, \nyou have chosen the correct comm "
                "port and address,\nand the serial options are set correctly\n\n" +
                sim.Path() +
                ": slave 1 did not report its device type within 15 attempts (last: Illegal "
                "Data Address exception response)"}));
  EXPECT_EQ(boxes_.Boxes()[0].Icon, ui::TBoxIcon::Error);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_TRUE(dialog->btnConnect->isEnabled());
  EXPECT_EQ(dialog->btnConnect->text(), "&Connect");
}

TEST_F(FmConnectTest, NoAnswerOverUsbAsksForTheSyncButton) {
  SimProcess sim({"--exception", "28:2"});
  testsupport::TFakeConverter converter(sim.Path());
  auto dialog = Show();
  dialog->btnConnect->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes_.Boxes().empty(); }, 60000));
  EXPECT_EQ(boxes_.Texts(),
            (std::vector<std::string>{"Dravonik has been found but is not communicating\n\n"
                                      "Please ensure that the Dravonik was powered up with the "
                                      "'Sync' button held down."}));
  EXPECT_EQ(sim.LogLines().size(), 15u);
}

TEST_F(FmConnectTest, AFailedStartIsReplacedByTheConnectMessage) {
  comms::WriteRegistryInteger(kConfigKey, "ConnectionType", 1);
  comms::WritePortDevice("COM1", config_.File("absent"));
  auto dialog = Show();
  EXPECT_EQ(dialog->lbPortDevice->text().toStdString(), config_.File("absent") + ": not present");
  dialog->btnConnect->click();
  EXPECT_EQ(boxes_.Texts(),
            (std::vector<std::string>{"Dravonik failed to connect, please check settings and try "
                                      "again.\n" +
                                      config_.File("absent") + ": not present."}));
  EXPECT_TRUE(dialog->btnConnect->isEnabled());
  EXPECT_EQ(dialog->btnConnect->text(), "&Connect");
}

TEST_F(FmConnectTest, ASilentDeviceShowsEachAttemptAndThenNoAnswer) {
  SimProcess sim({"--no-reply-every", "1"});
  manager_.SetRequestTimeout(100);
  comms::WriteRegistryInteger(kConfigKey, "ConnectionType", 1);
  comms::WritePortDevice("COM1", sim.Path());
  auto dialog = Show();
  dialog->btnConnect->click();
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return dialog->lbSearch->text() == "Connecting: attempt 2 of 15"; }, 60000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes_.Boxes().empty(); }, 60000));
  const std::string text = boxes_.Texts()[0];
  EXPECT_EQ(text.substr(text.rfind('\n') + 1),
            sim.Path() + ": no answer from slave 1 within 15 attempts");
  EXPECT_EQ(dialog->lbSearch->text(), "");
}

TEST_F(FmConnectTest, ASearchStillRunningWhenTheDialogClosesNeverReachesIt) {
  SimProcess sim({"--set", "28=3", "--delay-ms", "300"});
  comms::WriteRegistryInteger(kConfigKey, "ConnectionType", 1);
  comms::WritePortDevice("COM1", sim.Path());
  auto dialog = Show();
  dialog->btnConnect->click();
  EXPECT_TRUE(dialog->btnCancel->isEnabled());
  dialog->btnCancel->click();
  EXPECT_EQ(dialog->result(), TfmConnect::kResultCancel);
  dialog.reset();
  ASSERT_EQ(manager_.LinkCount(), 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return sim.LogLines().size() == 1u; }, 60000));
  // The port takes another search once the first one's answer has been delivered, or
  // dropped; the second answer comes after it.
  QObject receiver;
  bool answered = false;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        try {
          manager_.StartDeviceSearch(
              1, 1,
              comms::TSearchResultEvent(&receiver, [&](comms::TSerialThread*, std::int32_t,
                                                       std::int32_t) { answered = true; }));
          return true;
        } catch (const std::runtime_error&) {
          return false;  // the first search is still running
        }
      },
      60000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return answered; }, 60000));
  EXPECT_TRUE(boxes_.Boxes().empty());
}

// The list offers the serial devices of the tree the links look at, and the one chosen is
// stored for the comm port.
TEST_F(FmConnectTest, AnotherSerialDeviceChosenForACommPortIsStored) {
  const testsupport::TDeviceTree tree;
  tree.AddNode("ttyS0");
  tree.AddNode("ttyUSB0");
  auto dialog = Show();
  dialog->cbCommPort->setCurrentIndex(6);
  const std::string usb = (tree.Dev() / "ttyUSB0").string();
  ASSERT_EQ(dialog->cbPortDevice->count(), 2);
  EXPECT_EQ(dialog->cbPortDevice->itemText(0).toStdString(), usb);
  EXPECT_EQ(dialog->cbPortDevice->itemText(1).toStdString(), (tree.Dev() / "ttyS0").string());
  dialog->cbPortDevice->setCurrentIndex(0);
  dialog->cbPortDeviceChange();
  EXPECT_EQ(comms::ReadPortDevice("COM7"), usb);
  EXPECT_EQ(dialog->lbPortDevice->text().toStdString().rfind(usb, 0), 0u);
  EXPECT_EQ(dialog->cbPortDevice->currentIndex(), 0);
}

}  // namespace
