#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "modbus/Ftd2xxLinux.h"
#include "modbus/MbusRtuMasterProtocol.h"
#include "modbus/Mbusrtuoverusbmasterprotocol.h"
#include "modbus/PosixIo.h"
#include "tests/modbus/FakeFtd2xx.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace modbus {

namespace {

using Bytes = std::vector<std::uint8_t>;

// A sysfs and /dev tree as the kernel builds it for ftdi_sio converters, in a temporary
// folder that DRAVONIK_SYSFS_ROOT and DRAVONIK_DEV_ROOT point to. The device node of a
// converter is a link to a pseudo-terminal of the simulator.
class FakeDeviceTree {
 public:
  FakeDeviceTree() {
    fs::create_directories(root_ / "sys/class/tty");
    fs::create_directories(root_ / "sys/bus/usb-serial/drivers/ftdi_sio");
    fs::create_directories(root_ / "sys/bus/usb-serial/drivers/pl2303");
    fs::create_directories(root_ / "dev");
    setenv("DRAVONIK_SYSFS_ROOT", (root_ / "sys").c_str(), 1);
    setenv("DRAVONIK_DEV_ROOT", (root_ / "dev").c_str(), 1);
  }
  ~FakeDeviceTree() {
    unsetenv("DRAVONIK_SYSFS_ROOT");
    unsetenv("DRAVONIK_DEV_ROOT");
  }

  // Adds ttyUSB<n> with the given driver and product string, its node linked to nodeTarget.
  void AddConverter(int n, const std::string& driver, const std::string& product,
                    const std::string& nodeTarget) {
    const std::string tty = "ttyUSB" + std::to_string(n);
    const fs::path usbDevice = root_ / "sys/devices/pci0000:00/usb1" / ("1-" + std::to_string(n));
    const fs::path port = usbDevice / ("1-" + std::to_string(n) + ":1.0") / tty;
    fs::create_directories(port);
    std::ofstream(usbDevice / "product") << product << '\n';
    std::ofstream(port / "latency_timer") << "16\n";
    fs::create_symlink(root_ / "sys/bus/usb-serial/drivers" / driver, port / "driver");
    fs::create_directories(root_ / "sys/class/tty" / tty);
    fs::create_symlink(port, root_ / "sys/class/tty" / tty / "device");
    if (!nodeTarget.empty()) {
      fs::create_symlink(nodeTarget, root_ / "dev" / tty);
    }
  }

  enum class Timer { kNone, kWritable, kRefusing };

  // Adds a terminal the kernel knows as tty (any kind), its node linked to nodeTarget, with
  // the link from its device number (dev/char/MAJOR:MINOR) that names it whatever it is
  // opened through. A refusing latency timer takes no write, like /dev/full.
  void AddTerminal(const std::string& tty, const std::string& nodeTarget, Timer timer) {
    const fs::path port = root_ / "sys/devices/platform" / tty;
    fs::create_directories(port);
    if (timer == Timer::kWritable) {
      std::ofstream(port / "latency_timer") << "16\n";
    } else if (timer == Timer::kRefusing) {
      fs::create_symlink("/dev/full", port / "latency_timer");
    }
    fs::create_directories(root_ / "sys/class/tty" / tty);
    fs::create_symlink(port, root_ / "sys/class/tty" / tty / "device");
    struct stat node {};
    ASSERT_EQ(stat(nodeTarget.c_str(), &node), 0) << nodeTarget;
    fs::create_directories(root_ / "sys/dev/char");
    fs::create_symlink(
        root_ / "sys/class/tty" / tty,
        root_ / "sys/dev/char" /
            (std::to_string(major(node.st_rdev)) + ":" + std::to_string(minor(node.st_rdev))));
    fs::create_symlink(nodeTarget, root_ / "dev" / tty);
  }

  std::string Node(const std::string& tty) const { return (root_ / "dev" / tty).string(); }

  std::string LatencyTimer(int n) const { return LatencyTimer("ttyUSB" + std::to_string(n)); }
  std::string LatencyTimer(const std::string& tty) const {
    std::ifstream in(fs::canonical(root_ / "sys/class/tty" / tty / "device") / "latency_timer");
    std::string value;
    in >> value;
    return value;
  }

 private:
  testsupport::TTempDir folder_;
  const fs::path root_ = folder_.Path();
};

// Opens with the four descriptions in turn, as the serial manager does; returns each result.
std::vector<int> OpenByDescriptions(MbusRtuOverUSBMasterProtocol& master) {
  std::vector<int> results;
  for (const char* description : MbusRtuOverUSBMasterProtocol::kDescriptions) {
    results.push_back(master.Open(description, 57600));
    if (results.back() == 0) {
      break;
    }
  }
  return results;
}

TEST(MbusRtuOverUsb, ThirdDescriptionOpensAConverterCalledUsbSerial) {
  SimProcess sim({"--set", "28=4242"});
  FakeDeviceTree tree;
  tree.AddConverter(3, "pl2303", "Dravonik", "/nonexistent");
  tree.AddConverter(0, "ftdi_sio", "USB <-> Serial", sim.Path());
  MbusRtuOverUSBMasterProtocol master;
  ASSERT_EQ(master.SetRetryCount(1), 0);
  EXPECT_EQ(OpenByDescriptions(master), (std::vector<int>{4355, 4355, 0}));
  ASSERT_TRUE(master.IsOpen());
  EXPECT_EQ(tree.LatencyTimer(0), "1");

  std::int16_t reg[1];
  ASSERT_EQ(master.ReadHoldingRegisters(1, 28, reg, 1), 0);
  EXPECT_EQ(reg[0], 4242);
  ASSERT_EQ(master.WriteHoldingRegister(1, 27, 123), 0);
  EXPECT_NE(sim.DumpText().find("h 27 123\n"), std::string::npos);
  master.Close();
  EXPECT_FALSE(master.IsOpen());
}

TEST(MbusRtuOverUsb, NoConverterGivesOpenError) {
  FakeDeviceTree tree;
  tree.AddConverter(0, "pl2303", "Dravonik", "/nonexistent");
  MbusRtuOverUSBMasterProtocol master;
  EXPECT_EQ(OpenByDescriptions(master), (std::vector<int>{66, 66, 66, 66}));
  EXPECT_STREQ(ResultText(66), "Port or socket open error");
}

TEST(MbusRtuOverUsb, ConverterMatchingNoDescriptionGivesNotFoundUnchanged) {
  SimProcess sim({});
  FakeDeviceTree tree;
  tree.AddConverter(0, "ftdi_sio", "FT232R USB UART", sim.Path());
  MbusRtuOverUSBMasterProtocol master;
  EXPECT_EQ(OpenByDescriptions(master), (std::vector<int>{4355, 4355, 4355, 4355}));
  EXPECT_STREQ(ResultText(4355), "Unknwon error");
}

TEST(MbusRtuOverUsb, ConverterInUseGivesInUseUnchanged) {
  SimProcess sim({});
  FakeDeviceTree tree;
  tree.AddConverter(0, "ftdi_sio", "Dravonik", sim.Path());
  MbusRtuOverUSBMasterProtocol first;
  MbusRtuOverUSBMasterProtocol second;
  ASSERT_EQ(first.Open("Dravonik", 57600), 0);
  EXPECT_EQ(second.Open("Dravonik", 57600), 4356);
  // An open object is not refused: its port closes the old handle and opens again.
  EXPECT_EQ(first.Open("Dravonik", 57600), 0);
}

TEST(MbusRtuOverUsb, ListsConvertersInTtyOrderWithTheirProductStrings) {
  FakeDeviceTree tree;
  tree.AddConverter(10, "ftdi_sio", "K3K", "");
  tree.AddConverter(2, "ftdi_sio", "b-lyn", "");
  tree.AddConverter(5, "pl2303", "Dravonik", "");
  TFtd2xxLinux driver;
  std::uint32_t count = 0;
  ASSERT_EQ(driver.ListDevices(&count, nullptr, TFtd2xx::kListNumberOnly), TFtd2xx::kOk);
  EXPECT_EQ(count, 2u);
  char description[TFtd2xx::kDescriptionSize] = {};
  ASSERT_EQ(
      driver.ListDevices(nullptr, description, TFtd2xx::kListByIndex | TFtd2xx::kOpenByDescription),
      TFtd2xx::kOk);
  EXPECT_STREQ(description, "b-lyn");
}

TEST(MbusRtuOverUsbScripted, ListingFailureGivesOpenError) {
  FakeFtd2xx driver;
  driver.listFails = true;
  driver.devices = {"Dravonik"};
  MbusRtuOverUSBMasterProtocol master(driver);
  EXPECT_EQ(master.Open("Dravonik", 57600), 66);
  EXPECT_EQ(master.Open("Dravonik", 57600, 7, 1, 0, 0), 1);
}

TEST(MbusRtuOverUsbScripted, OpenIgnoresARefusedLineSetting) {
  FakeFtd2xx driver;
  driver.devices = {"Dravonik"};
  driver.createError = 0;
  driver.refusedBaud = 57600;
  MbusRtuOverUSBMasterProtocol master(driver);
  EXPECT_EQ(master.Open("Dravonik", 57600), 0);
  EXPECT_TRUE(master.IsOpen());
  EXPECT_EQ(driver.dcb.BaudRate, 9600u);
  // The port's own opening configuration is not ignored.
  driver.refusedBaud = 9600;
  EXPECT_EQ(master.Open("Dravonik", 57600), kPortBadSetting);
}

TEST(MbusRtuOverUsbScripted, OpenConfiguresTheLineAt57600EightNoneOne) {
  FakeFtd2xx driver;
  driver.devices = {"USB <-> Serial"};
  driver.createError = 0;
  driver.dcb.ByteSize = 7;
  driver.dcb.Parity = 2;
  MbusRtuOverUSBMasterProtocol master(driver);
  ASSERT_EQ(master.Open("USB <-> Serial", 57600), 0);
  EXPECT_EQ(driver.dcb.BaudRate, 57600u);
  EXPECT_EQ(driver.dcb.ByteSize, 8);
  EXPECT_EQ(driver.dcb.Parity, 0);
  EXPECT_EQ(driver.dcb.StopBits, kOneStopBit);
  EXPECT_FALSE(driver.dcb.fOutxCtsFlow);
  // Closing restores the settings found at opening.
  master.Close();
  EXPECT_EQ(driver.dcb.ByteSize, 7);
  EXPECT_EQ(driver.dcb.Parity, 2);
}

TEST(MbusRtuOverUsbScripted, TryDrainsBeforeTheDriverPurgeAndDoesNotFlush) {
  FakeFtd2xx driver;
  driver.devices = {"Dravonik"};
  driver.createError = 0;
  MbusRtuOverUSBMasterProtocol master(driver);
  ASSERT_EQ(master.Open("Dravonik", 57600), 0);
  driver.calls.clear();
  // Two stale bytes, silence, then the reply in its two reads.
  driver.reads = {{0xAA}, {0xBB}, {}, {0x01, 0x03, 0x04, 0x00, 0x05}, {0x00, 0x06, 0x6A, 0x30}};
  std::int16_t regs[2];
  ASSERT_EQ(master.ReadHoldingRegisters(1, 1, regs, 2), 0);
  EXPECT_EQ(regs[0], 5);
  EXPECT_EQ(regs[1], 6);
  EXPECT_EQ(driver.calls,
            (std::vector<std::string>{"ReadFile 1", "ReadFile 1", "ReadFile 1", "Purge",
                                      "WriteFile", "ReadFile 5", "ReadFile 4"}));
  EXPECT_EQ(driver.written.back(), (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B}));
}

TEST(MbusRtuOverUsbScripted, DrainOfAnEndlessStreamIsBounded) {
  FakeFtd2xx driver;
  driver.devices = {"Dravonik"};
  driver.createError = 0;
  MbusRtuOverUSBMasterProtocol master(driver);
  ASSERT_EQ(master.Open("Dravonik", 57600), 0);
  driver.reads.assign(1000, Bytes{0x55});
  driver.calls.clear();
  EXPECT_EQ(master.WriteHoldingRegister(0, 1, 1), 0);
  ASSERT_EQ(driver.calls.size(), 258u);
  EXPECT_EQ(driver.calls[255], "ReadFile 1");
  EXPECT_EQ(driver.calls[256], "Purge");
  EXPECT_EQ(driver.calls[257], "WriteFile");
}

TEST(MbusRtuOverUsbScripted, ExceptionReplyNeedsOnlyTheFirstRead) {
  FakeFtd2xx driver;
  driver.devices = {"Dravonik"};
  driver.createError = 0;
  MbusRtuOverUSBMasterProtocol master(driver);
  ASSERT_EQ(master.Open("Dravonik", 57600), 0);
  driver.reads = {{}, {0x01, 0x83, 0x02, 0xC0, 0xF1}};
  driver.calls.clear();
  std::int16_t regs[10];
  EXPECT_EQ(master.ReadHoldingRegisters(1, 1, regs, 10), 162);
  EXPECT_EQ(driver.calls.back(), "ReadFile 5");
}

// Opened through its device file, as "Serial (RS232)" opens it, a USB serial port is set to
// low latency like the converter opened by description; other terminals are left alone, and
// a port that refuses still answers.
TEST(SerialPort, SetsUsbSerialPortsToLowLatencyWhateverTheyAreOpenedThrough) {
  using Timer = FakeDeviceTree::Timer;
  const struct {
    std::string tty;
    Timer timer;
    bool usbSerial;
    bool timerSet;
    std::string timerAfter;  // what latency_timer holds once the port is open
  } cases[] = {
      {"ttyUSB0", Timer::kWritable, true, true, "1"},
      {"ttyUSB1", Timer::kRefusing, true, false, ""},
      {"ttyACM0", Timer::kNone, true, false, ""},  // cdc_acm has no latency timer
      {"ttyS0", Timer::kWritable, false, false, "16"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tty);
    SimProcess sim({"--set", "28=4242"});
    FakeDeviceTree tree;
    tree.AddTerminal(c.tty, sim.Path(), c.timer);

    MbusRtuMasterProtocol master;
    ASSERT_EQ(master.Open(tree.Node(c.tty), 57600), 0);
    if (!c.timerAfter.empty()) {
      EXPECT_EQ(tree.LatencyTimer(c.tty), c.timerAfter);
    }
    std::int16_t reg[1];
    ASSERT_EQ(master.ReadHoldingRegisters(1, 28, reg, 1), 0);
    EXPECT_EQ(reg[0], 4242);
    master.Close();

    const int fd = open(tree.Node(c.tty).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(PosixTtyName(fd), c.tty);
    const TLowLatency done = PosixSetLowLatency(fd, PosixTtyName(fd));
    close(fd);
    EXPECT_EQ(done.usbSerial, c.usbSerial);
    EXPECT_FALSE(done.flagSet);  // a pseudo-terminal has no serial driver flags
    EXPECT_EQ(done.timerSet, c.timerSet);
  }
  // A terminal sysfs does not know (a pseudo-terminal opened directly) is left alone.
  SimProcess sim({});
  const int fd = open(sim.Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(PosixTtyName(fd), "");
  EXPECT_FALSE(PosixSetLowLatency(fd, PosixTtyName(fd)).usbSerial);
  close(fd);
}

}  // namespace

}  // namespace modbus
