// The serial manager against dravonik-sim and a libmodbus slave on pseudo-terminals: device
// searches, whole reads and writes of every bundled device type compared register by register
// with the device, failures, reopening, and closing links while a transfer runs.
#include <gtest/gtest.h>

#include <QObject>
#include <atomic>
#include <fstream>
#include <memory>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QTest>

#include "comms/LinkError.h"
#include "comms/Registry.h"
#include "comms/SerialDevices.h"
#include "modbus/MbusRtuMasterProtocol.h"
#include "model/Device.h"
#include "model/Settings.h"
#include "tests/comms/CommsFixture.h"
#include "tests/modbus/LibmodbusSlave.h"
#include "tests/support/FakeConverter.h"
#include "tests/support/SimProcess.h"

namespace comms {
namespace {

// The search's request as the simulator logs it: slave 1 reads holding register 28.
constexpr const char* kSearchFrame = "01 03 00 1b 00 01";

struct TSearchResult {
  int deliveries = 0;
  std::int32_t value = -1;
  std::int32_t found = -1;
  // The attempts reported, each with the deliveries made by then.
  std::vector<std::pair<int, int>> attempts;
};

// A value for every registered reference that differs from its neighbours and from 0.
std::int16_t PatternValue(std::int32_t reference) {
  return static_cast<std::int16_t>((reference * 37) % 2000 - 700);
}

class SerialManager : public CommsFixture {
 protected:
  SerialManager() { RecordProgress(); }

  // A manager whose serial links open the given device paths as COM1, COM2, ...
  std::unique_ptr<TSerialManager> MakeManager(const std::vector<std::string>& ports,
                                              int timeoutMs = 300) {
    for (std::size_t i = 0; i < ports.size(); ++i) {
      choices_.ports["COM" + std::to_string(i + 1)] = ports[i];
    }
    auto manager = std::make_unique<TSerialManager>(store_, handler_, choices_);
    manager->SetRequestTimeout(timeoutMs);
    return manager;
  }

  TSearchResult Search(TSerialManager& manager, std::int32_t port) {
    TSearchResult result;
    TSerialThread* worker = nullptr;
    QObject receiver;
    TSearchResultEvent handler(&receiver,
                               [&](TSerialThread* sender, std::int32_t value, std::int32_t found) {
                                 worker = sender;
                                 ++result.deliveries;
                                 result.value = value;
                                 result.found = found;
                               });
    handler.Attempt = [&](int attempt, int attempts) {
      EXPECT_EQ(attempts, TSerialThread::kSearchAttempts);
      result.attempts.emplace_back(attempt, result.deliveries);
    };
    manager.StartDeviceSearch(port, 1, std::move(handler));
    EXPECT_TRUE(WaitFor([&] { return result.deliveries > 0; }));
    // Once the worker holds no search any more, no second delivery can come.
    EXPECT_TRUE(WaitFor([&] { return worker != nullptr && !worker->SearchPending(); }));
    return result;
  }

  // Options presetting every register and coil the device type uses with PatternValue and
  // alternating coils, and 28 with the device type id.
  std::vector<std::string> PresetOptions(model::TDevice& device) {
    store_.Reset();
    device.Settings->RegisterRegisters();
    std::vector<std::string> options{"--set", "28=" + std::to_string(device.DeviceId)};
    for (const auto& [reference, value] : HoldingImage()) {
      if (reference != 28) {
        options.insert(options.end(), {"--set", std::to_string(reference) + "=" +
                                                    std::to_string(PatternValue(reference))});
      }
    }
    for (const auto& [reference, value] : CoilImage()) {
      options.insert(options.end(),
                     {"--set-coil", std::to_string(reference) + "=" + (reference % 2 ? "1" : "0")});
    }
    store_.Reset();
    return options;
  }
};

// The connection dialog's list: by kind, then by number however many digits it has.
TEST(PresentSerialDevices, OrdersNodesByTheirNumberWhateverItsLength) {
  testsupport::TTempDir dev;
  const std::string huge = "ttyUSB" + std::string(30, '9');
  for (const std::string& node : {huge, std::string("ttyUSB10"), std::string("ttyS1"),
                                  std::string("ttyUSB9"), std::string("ttyUSB009")}) {
    std::ofstream(dev.Path() / node).put('\0');
  }
  std::vector<std::string> names;
  for (const std::string& path : comms::PresentSerialDevices(dev.Path().string())) {
    names.push_back(path.substr(path.rfind('/') + 1));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"ttyUSB009", "ttyUSB9", "ttyUSB10", huge, "ttyS1"}));
}

TEST_F(SerialManager, SearchDeliversTheDeviceIdSignExtendedOnce) {
  SimProcess sim({"--set", "28=65534"});
  auto manager = MakeManager({sim.Path()});
  const TSearchResult result = Search(*manager, 1);
  EXPECT_EQ(result.deliveries, 1);
  EXPECT_EQ(result.value, -2);
  EXPECT_EQ(result.found, 1);
  EXPECT_EQ(sim.LogLines().size(), 1u);
  EXPECT_EQ(result.attempts, (std::vector<std::pair<int, int>>{{1, 0}}));
}

TEST_F(SerialManager, SilentDeviceCostsFifteenAttemptsAndDeliversZeroOnce) {
  SimProcess sim({"--exception", "28:2"});
  auto manager = MakeManager({sim.Path()});
  const TSearchResult result = Search(*manager, 1);
  EXPECT_EQ(result.deliveries, 1);
  EXPECT_EQ(result.value, 0);
  EXPECT_EQ(result.found, 0);
  EXPECT_EQ(sim.LogLines().size(), 15u);
  // Each attempt is told as it begins, all of them before the result.
  ASSERT_EQ(result.attempts.size(), 15u);
  for (int i = 0; i < 15; ++i) {
    EXPECT_EQ(result.attempts[static_cast<std::size_t>(i)], std::make_pair(i + 1, 0));
  }
  // The search is over: the next one is accepted on the same link.
  EXPECT_EQ(Search(*manager, 1).deliveries, 1);
  EXPECT_EQ(manager->LinkCount(), 1);
}

TEST_F(SerialManager, OpenErrorsCarryTheSystemsTexts) {
  auto manager = MakeManager({config_.File("no-such-port")});
  auto message = [&](std::int32_t port) {
    try {
      manager->StartDeviceSearch(port, 1, {});
    } catch (const std::exception& error) {
      return std::string(error.what());
    }
    return std::string("(nothing thrown)");
  };
  EXPECT_EQ(message(1), "Port or socket open error");
  EXPECT_EQ(manager->LinkCount(), 0);

  SimProcess sim({});
  choices_.ports["COM2"] = sim.Path();
  modbus::MbusRtuMasterProtocol other;  // another program holding the port
  ASSERT_EQ(other.Open(sim.Path(), 57600), 0);
  EXPECT_EQ(message(2), "Serial port already open");
  other.Close();

  // No FTDI converter attached: every description fails to open.
  testsupport::TTempDir emptyTree;
  setenv("DRAVONIK_SYSFS_ROOT", emptyTree.Path().c_str(), 1);
  setenv("DRAVONIK_DEV_ROOT", emptyTree.Path().c_str(), 1);
  choices_.connectionType = registers::TConnectionType::Usb;
  EXPECT_EQ(message(3), "Port or socket open error");
  unsetenv("DRAVONIK_SYSFS_ROOT");
  unsetenv("DRAVONIK_DEV_ROOT");
  EXPECT_EQ(manager->LinkCount(), 0);
}

TEST_F(SerialManager, OpenErrorsSayWhatFailedAndWhy) {
  SimProcess sim({});
  const std::string absent = config_.File("ttyUSB3");
  const std::string plain = config_.Write("plain", "not a terminal");
  const std::string descriptions =
      "no USB converter called \"Dravonik\", \"b-lyn\", \"USB <-> Serial\" or \"K3K\" is "
      "present; ";
  auto manager = MakeManager({absent, plain, sim.Path()});
  modbus::MbusRtuMasterProtocol other;  // another program holding the simulator's port
  ASSERT_EQ(other.Open(sim.Path(), 57600), 0);
  auto cause = [&](std::int32_t port) {
    try {
      manager->StartDeviceSearch(port, 1, {});
    } catch (const TLinkError& error) {
      return error.Cause();
    }
    return std::string("(no link error)");
  };
  EXPECT_EQ(cause(1), absent + ": not present");
  EXPECT_EQ(cause(2), plain + ": cannot be opened as a serial port");
  EXPECT_EQ(cause(3), sim.Path() + ": in use by another program");

  choices_.connectionType = registers::TConnectionType::Usb;
  {
    testsupport::TFakeConverter converter(sim.Path(), "FT232R USB UART");
    EXPECT_EQ(cause(4), descriptions + "serial converters present: " + converter.Node() +
                            " (FT232R USB UART). Choose Serial (RS232) and that device file");
  }
  {
    testsupport::TFakeConverter converter(sim.Path());
    EXPECT_EQ(cause(4), converter.Node() + " (Dravonik): in use by another program");
    converter.Unplug();
    EXPECT_EQ(cause(4),
              descriptions + "no other serial converter is present either: check the cable");
  }
  EXPECT_EQ(manager->LinkCount(), 0);
}

TEST_F(SerialManager, ReadsAndWritesEveryBundledDeviceTypeRegisterByRegister) {
  for (int index = 0; index < devices_.Count(); ++index) {
    model::TDevice& device = devices_.GetDevice(index);
    SCOPED_TRACE(device.Name);
    SimProcess sim(PresetOptions(device));
    auto manager = MakeManager({sim.Path()});
    int resets = 0;
    manager->SetOnResetProgress([&] { ++resets; });
    const TSearchResult found = Search(*manager, 1);
    ASSERT_EQ(found.value, device.DeviceId);

    ASSERT_TRUE(ConnectAndRead(*manager, device, 1));
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(manager->LinkCount(), 1);  // the search's link serves the connection
    const auto holding = HoldingImage();
    ASSERT_FALSE(holding.empty());
    for (const auto& [reference, value] : holding) {
      const std::int16_t expected =
          reference == 28 ? static_cast<std::int16_t>(device.DeviceId) : PatternValue(reference);
      ASSERT_EQ(value, expected) << "holding register " << reference;
    }
    for (const auto& [reference, on] : CoilImage()) {
      ASSERT_EQ(on, reference % 2 == 1) << "coil " << reference;
    }

    // The user's values go back: every registered register, then the closing marker.
    device.Settings->RestoreFactoryDefaults();
    const std::size_t requestsBefore = sim.LogLines().size();
    ASSERT_TRUE(WriteAll());
    EXPECT_EQ(Texts().back(), "");
    const TSimImage dump = sim.Image();
    for (const auto& [reference, value] : HoldingImage()) {
      if (reference == 27) {
        continue;
      }
      ASSERT_EQ(dump.Register(reference), static_cast<std::uint16_t>(value))
          << "holding register " << reference;
    }
    for (const auto& [reference, on] : CoilImage()) {
      ASSERT_EQ(dump.Coil(reference), on) << "coil " << reference;
    }
    EXPECT_EQ(dump.registers.at(27), 123);
    const auto log = sim.LogLines();
    ASSERT_GT(log.size(), requestsBefore);
    // 123 goes to reference 27 (address 26 = 0x1a) once, as the last request of the write.
    int markers = 0;
    for (std::size_t i = requestsBefore; i < log.size(); ++i) {
      markers += log[i].find("01 06 00 1a 00 7b") != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(markers, 1);
    EXPECT_NE(log.back().find("01 06 00 1a 00 7b"), std::string::npos) << log.back();
    manager->Disconnect(device);
    EXPECT_EQ(manager->LinkCount(), 0);
  }
}

TEST_F(SerialManager, AReadFailingAtTheSecondBlockKeepsTheFirstBlocksValues) {
  model::TDevice& device = devices_.FindDevice(3);
  std::vector<std::string> options = PresetOptions(device);
  // The holding-register blocks of the device type: runs of consecutive references, at most
  // 50 long.
  store_.Reset();
  device.Settings->RegisterRegisters();
  const auto holding = HoldingImage();
  store_.Reset();
  std::vector<std::pair<std::int32_t, std::int32_t>> blocks;  // first, last
  for (const auto& entry : holding) {
    const std::int32_t reference = entry.first;
    if (blocks.empty() || reference != blocks.back().second + 1 ||
        reference - blocks.back().first >= 50) {
      blocks.emplace_back(reference, reference);
    } else {
      blocks.back().second = reference;
    }
  }
  ASSERT_GE(blocks.size(), 2u);
  options.insert(options.end(), {"--exception", std::to_string(blocks[1].second) + ":4"});
  SimProcess sim(options);
  auto manager = MakeManager({sim.Path()});
  ConnectOnline(*manager, device, 1);
  ASSERT_TRUE(WaitFor([&] { return !Reports().empty() && Reports().back().failed; }));

  const std::string failure = "Reading Holding Registers " + std::to_string(blocks[1].first) +
                              " to " + std::to_string(blocks[1].second) + "Failed";
  EXPECT_EQ(Reports().back(), (TProgressReport{failure, true, 0}));
  EXPECT_EQ(Texts().end()[-2], "Reading Holding Registers " + std::to_string(blocks[0].first) +
                                   " to " + std::to_string(blocks[0].second) + "\n");
  EXPECT_TRUE(store_.HasFailed());
  EXPECT_EQ(store_.State(), TState::Idle);
  EXPECT_FALSE(store_.IsComplete());
  const auto image = HoldingImage();
  EXPECT_EQ(image.at(blocks[0].first), PatternValue(blocks[0].first));
  EXPECT_EQ(image.at(blocks[1].first), 0);
}

TEST_F(SerialManager, AFailedWriteReopensTheLinkOfTheCurrentDevice) {
  model::TDevice& device = devices_.FindDevice(3);
  auto first = std::make_unique<SimProcess>(std::vector<std::string>{"--set", "28=3"});
  auto searchOnly = std::make_unique<SimProcess>(std::vector<std::string>{"--exception", "28:2"});
  SimProcess replacement({"--set", "28=3"});
  auto manager = MakeManager({first->Path(), searchOnly->Path()});
  ASSERT_TRUE(ConnectAndRead(*manager, device, 1));
  // A link opened after the connection, by a search on another port whose device has gone
  // since: reopening it would fail.
  EXPECT_EQ(Search(*manager, 2).value, 0);
  searchOnly.reset();
  // The device on Comm 1 goes away under the link; Comm 1 now names another line.
  choices_.ports["COM1"] = replacement.Path();
  first.reset();

  std::atomic<int> reopened{-1};
  SetOnReport([&](const TProgressReport& report) {
    if (report.failed) {
      reopened = manager->ReopenLink() ? 1 : 0;  // on the worker thread, inside the pass
    }
  });
  EXPECT_FALSE(WriteAll());
  // The failed report reaches the fixture before the handler above has finished reopening.
  ASSERT_TRUE(WaitFor([&] { return reopened.load() != -1; }));
  SetOnReport(nullptr);
  EXPECT_EQ(reopened.load(), 1);
  EXPECT_TRUE(Reports().back().failed);

  ASSERT_TRUE(WriteAll());
  EXPECT_EQ(replacement.Image().Register(27), 123);
}

TEST_F(SerialManager, ReopenLinkFailsQuietlyWithoutALinkToReopen) {
  auto manager = MakeManager({});
  EXPECT_FALSE(manager->ReopenLink());
  auto gone = std::make_unique<SimProcess>(std::vector<std::string>{"--set", "28=1"});
  choices_.ports["COM1"] = gone->Path();
  model::TDevice& device = devices_.FindDevice(1);
  ASSERT_TRUE(ConnectAndRead(*manager, device, 1));
  gone.reset();
  EXPECT_FALSE(manager->ReopenLink());
  EXPECT_TRUE(manager->HasLink(1));  // the link stays, closed
}

TEST_F(SerialManager, TwoDevicesOnOnePortKeepTheLinkUntilTheLastLeaves) {
  SimProcess sim({"--set", "28=1"});
  auto manager = MakeManager({sim.Path()});
  model::TDevice& first = devices_.FindDevice(1);
  model::TDevice& second = devices_.FindDevice(2);
  ASSERT_TRUE(ConnectAndRead(*manager, first, 1));
  second.CommPort = 1;
  second.Online = true;
  manager->Connect(second);
  EXPECT_EQ(manager->LinkCount(), 1);
  manager->Disconnect(first);
  EXPECT_TRUE(manager->HasLink(1));
  manager->Disconnect(second);
  EXPECT_FALSE(manager->HasLink(1));
}

TEST_F(SerialManager, DisconnectingAnOfflineDeviceTouchesNoLink) {
  SimProcess sim({"--set", "28=1"});
  auto manager = MakeManager({sim.Path()});
  EXPECT_EQ(Search(*manager, 1).value, 1);
  model::TDevice& device = devices_.FindDevice(1);
  device.Online = false;
  device.CommPort = 1;
  manager->Disconnect(device);
  EXPECT_TRUE(manager->HasLink(1));
}

TEST_F(SerialManager, DisconnectAfterAFailedConnectShowsNoError) {
  auto manager = MakeManager({config_.File("absent")});
  model::TDevice& device = devices_.FindDevice(1);
  EXPECT_THROW(ConnectOnline(*manager, device, 1), std::runtime_error);
  EXPECT_NO_THROW(manager->Disconnect(device));
  EXPECT_EQ(manager->LinkCount(), 0);
}

TEST_F(SerialManager, AWorkerCarriesOnlyTheTransfersOfItsOwnPort) {
  SimProcess device1({"--set", "28=1"});
  SimProcess silent({"--exception", "28:2"});
  auto manager = MakeManager({device1.Path(), silent.Path()});
  // A search that found nothing leaves its link open on port 2.
  EXPECT_EQ(Search(*manager, 2).value, 0);
  model::TDevice& device = devices_.FindDevice(1);
  ASSERT_TRUE(ConnectAndRead(*manager, device, 1));
  ASSERT_TRUE(WriteAll());
  EXPECT_EQ(manager->LinkCount(), 2);
  EXPECT_EQ(silent.LogLines().size(), 15u);  // the search's attempts only
}

TEST_F(SerialManager, ASearchLinkOfAnotherConnectionTypeIsReopened) {
  SimProcess sim({"--exception", "28:2"});
  auto manager = MakeManager({sim.Path()});
  EXPECT_EQ(Search(*manager, 1).value, 0);
  // The user switches to USB with no converter attached: the serial link must not be reused.
  testsupport::TTempDir emptyTree;
  setenv("DRAVONIK_SYSFS_ROOT", emptyTree.Path().c_str(), 1);
  setenv("DRAVONIK_DEV_ROOT", emptyTree.Path().c_str(), 1);
  choices_.connectionType = registers::TConnectionType::Usb;
  EXPECT_THROW(manager->StartDeviceSearch(1, 1, {}), std::runtime_error);
  unsetenv("DRAVONIK_SYSFS_ROOT");
  unsetenv("DRAVONIK_DEV_ROOT");
  EXPECT_EQ(manager->LinkCount(), 0);
}

TEST_F(SerialManager, ClosingALinkDuringAReadOrAWriteEndsPromptly) {
  model::TDevice& device = devices_.FindDevice(3);
  for (const bool writing : {false, true}) {
    SCOPED_TRACE(writing ? "write" : "read");
    // Every reply takes 150 ms: a transfer is under way for seconds.
    SimProcess sim({"--set", "28=3", "--delay-ms", "150"});
    auto manager = MakeManager({sim.Path()}, 1000);
    ConnectOnline(*manager, device, 1);
    if (writing) {
      ASSERT_TRUE(WaitFor([&] { return store_.IsComplete(); }));
      store_.StartWrite();
    }
    const std::size_t before = Reports().size();
    ASSERT_TRUE(WaitFor([&] { return Reports().size() >= before + 2; }));
    manager->Disconnect(device);
    EXPECT_EQ(manager->LinkCount(), 0);
    const std::size_t requests = sim.LogLines().size();
    // A search through a new link reaches the device after anything the closed link sent:
    // it is the only request the device sees from now on.
    EXPECT_EQ(Search(*manager, 1).value, 3);
    const auto lines = sim.LogLines();
    ASSERT_EQ(lines.size(), requests + 1);
    EXPECT_NE(lines.back().find(kSearchFrame), std::string::npos) << lines.back();
  }
}

TEST_F(SerialManager, ReadsAndWritesThroughAnIndependentModbusSlave) {
  LibmodbusSlave slave;
  ASSERT_TRUE(slave.Ready());
  model::TDevice& device = devices_.FindDevice(1);
  slave.SetRegister(28, 1);
  store_.Reset();
  device.Settings->RegisterRegisters();
  for (const auto& [reference, value] : HoldingImage()) {
    if (reference != 28) {
      slave.SetRegister(reference, static_cast<std::uint16_t>(PatternValue(reference)));
    }
  }
  for (const auto& [reference, on] : CoilImage()) {
    slave.SetCoil(reference, reference % 3 == 0);
  }
  auto manager = MakeManager({slave.MasterPath()});
  EXPECT_EQ(Search(*manager, 1).value, 1);
  ASSERT_TRUE(ConnectAndRead(*manager, device, 1));
  for (const auto& [reference, value] : HoldingImage()) {
    ASSERT_EQ(value, reference == 28 ? 1 : PatternValue(reference)) << reference;
  }
  for (const auto& [reference, on] : CoilImage()) {
    ASSERT_EQ(on, reference % 3 == 0) << reference;
  }
  device.Settings->RestoreFactoryDefaults();
  ASSERT_TRUE(WriteAll());
  for (const auto& [reference, value] : HoldingImage()) {
    if (reference != 27) {
      ASSERT_EQ(slave.Register(reference), static_cast<std::uint16_t>(value)) << reference;
    }
  }
  for (const auto& [reference, on] : CoilImage()) {
    ASSERT_EQ(slave.Coil(reference), on) << reference;
  }
  EXPECT_EQ(slave.Register(27), 123);
}

}  // namespace
}  // namespace comms
