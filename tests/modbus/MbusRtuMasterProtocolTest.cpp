#include <gtest/gtest.h>
#include <pty.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>
#include <vector>

#include "modbus/FrameDecoder.h"
#include "modbus/FrameQueue.h"
#include "modbus/MbusRtuMasterProtocol.h"
#include "tests/support/SimProcess.h"

namespace modbus {

namespace {

using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point since) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

long CountLines(const std::vector<std::string>& lines, const std::string& prefix) {
  return std::count_if(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

// A master opened on a simulator started with the given options.
struct SimLink {
  explicit SimLink(std::vector<std::string> options, int retries = 0, int timeoutMs = 1000)
      : sim(std::move(options)) {
    master.SetRetryCount(retries);
    master.SetTimeout(timeoutMs);
    openResult = master.Open(sim.Path(), 57600);
  }
  SimProcess sim;
  MbusRtuMasterProtocol master;
  int openResult = -1;
};

TEST(MbusRtuMasterProtocol, EveryFunctionAgainstTheSimulator) {
  SimLink link({"--set", "1=-2", "--set", "2=300", "--set-coil", "9=1"});
  ASSERT_EQ(link.openResult, 0);
  EXPECT_EQ(link.master.InterCharTimeoutMs(), 1);

  std::int16_t regs[2];
  ASSERT_EQ(link.master.ReadHoldingRegisters(1, 1, regs, 2), 0);
  EXPECT_EQ(regs[0], -2);
  EXPECT_EQ(regs[1], 300);

  ASSERT_EQ(link.master.WriteCoil(1, 3, 1), 0);
  std::int32_t coils[10];
  ASSERT_EQ(link.master.ReadCoils(1, 1, coils, 10), 0);
  EXPECT_EQ(std::vector<std::int32_t>(coils, coils + 10),
            (std::vector<std::int32_t>{0, 0, 1, 0, 0, 0, 0, 0, 1, 0}));

  ASSERT_EQ(link.master.WriteHoldingRegister(1, 65536, -1), 0);
  std::vector<std::int16_t> block(100);
  for (int i = 0; i < 100; ++i) {
    block[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(i * 7 - 50);
  }
  ASSERT_EQ(link.master.WriteHoldingRegisters(1, 101, block.data(), 100), 0);
  std::vector<std::int16_t> back(125);
  ASSERT_EQ(link.master.ReadHoldingRegisters(1, 91, back.data(), 125), 0);
  EXPECT_EQ(back[9], 0);
  EXPECT_TRUE(std::equal(block.begin(), block.end(), back.begin() + 10));
  ASSERT_EQ(link.master.ReadHoldingRegisters(1, 65536, regs, 1), 0);
  EXPECT_EQ(regs[0], -1);

  const std::string dump = link.sim.DumpText();
  EXPECT_NE(dump.find("h 65536 65535\n"), std::string::npos);
  EXPECT_NE(dump.find("c 3 1\n"), std::string::npos);
  EXPECT_EQ(link.sim.LogLines().size(), 7u);
}

TEST(MbusRtuMasterProtocol, ExceptionReplies) {
  SimLink link({"--exception", "5:2", "--exception", "7:6"});
  ASSERT_EQ(link.openResult, 0);
  std::int16_t regs[3] = {9, 9, 9};
  EXPECT_EQ(link.master.ReadHoldingRegisters(1, 4, regs, 3), 162);
  EXPECT_EQ(regs[0], 0);
  EXPECT_EQ(link.master.ReadHoldingRegisters(1, 7, regs, 1), 166);
  EXPECT_EQ(link.master.WriteHoldingRegister(1, 5, 1), 162);
  // A range beyond the device's image is refused by the device itself.
  std::int32_t coils[2];
  EXPECT_EQ(link.master.ReadCoils(1, 65536, coils, 2), 162);
}

TEST(MbusRtuMasterProtocol, SilentSlaveCostsTwoTriesAndReplyTimeout) {
  SimLink link({"--no-reply-every", "1"}, 1, 150);
  ASSERT_EQ(link.openResult, 0);
  std::int16_t reg[1];
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(link.master.ReadHoldingRegisters(1, 1, reg, 1), kMbusReplyTimeout);
  EXPECT_GE(ElapsedMs(start), 300);
  EXPECT_EQ(link.master.LastTryCount(), 2);
  EXPECT_EQ(CountLines(link.sim.LogLines(), "no-reply"), 2);
}

TEST(MbusRtuMasterProtocol, ChecksumAndFrameFaultsAreRetriedOnce) {
  SimLink badCrc({"--bad-crc-every", "1"}, 1);
  SimLink wrongSlave({"--wrong-slave-every", "1"}, 1);
  SimLink everySecond({"--bad-crc-every", "2", "--set", "1=42"}, 1);
  ASSERT_EQ(badCrc.openResult, 0);
  ASSERT_EQ(wrongSlave.openResult, 0);
  ASSERT_EQ(everySecond.openResult, 0);
  std::int16_t reg[1];
  EXPECT_EQ(badCrc.master.ReadHoldingRegisters(1, 1, reg, 1), kMbusChecksumError);
  EXPECT_EQ(badCrc.sim.LogLines().size(), 2u);
  EXPECT_EQ(wrongSlave.master.WriteHoldingRegister(1, 1, 3), kMbusInvalidFrame);
  EXPECT_EQ(wrongSlave.sim.LogLines().size(), 2u);
  // Request 1 succeeds, request 2 is corrupted and its retry (request 3) succeeds.
  EXPECT_EQ(everySecond.master.ReadHoldingRegisters(1, 1, reg, 1), 0);
  EXPECT_EQ(everySecond.master.ReadHoldingRegisters(1, 1, reg, 1), 0);
  EXPECT_EQ(everySecond.master.LastTryCount(), 2);
  EXPECT_EQ(reg[0], 42);
}

TEST(MbusRtuMasterProtocol, StaleBytesOfALateReplyAreDrainedBeforeTheNextRequest) {
  // At 1200 baud a 20-register reply takes about 0.37 s on the line. It starts 0.7 s after
  // its request, when the master has given up, so the next request begins while its bytes
  // are still arriving: they must be drained, not taken for the next reply.
  SimLink link({"--pace", "1200", "--late-reply-ms", "700", "--late-reply-every", "2", "--set",
                "1=11", "--set", "60=22"},
               0, 500);
  ASSERT_EQ(link.openResult, 0);
  link.master.Close();
  ASSERT_EQ(link.master.Open(link.sim.Path(), 1200), 0);
  ASSERT_EQ(link.master.InterCharTimeoutMs(), 37);
  std::int16_t reg[1];
  std::vector<std::int16_t> block(20);
  ASSERT_EQ(link.master.ReadHoldingRegisters(1, 1, reg, 1), 0);
  EXPECT_EQ(reg[0], 11);
  const Clock::time_point late = Clock::now();
  EXPECT_EQ(link.master.ReadHoldingRegisters(1, 11, block.data(), 20), kMbusReplyTimeout);
  // The late reply runs from about 0.78 s to 1.15 s after its request.
  std::this_thread::sleep_until(late + std::chrono::milliseconds(850));
  EXPECT_EQ(link.master.ReadHoldingRegisters(1, 60, reg, 1), 0);
  EXPECT_EQ(reg[0], 22);
  EXPECT_EQ(CountLines(link.sim.LogLines(), "late"), 1);
}

TEST(MbusRtuMasterProtocol, ALateReplyIsNotTakenForTheReplyToTheNextRequest) {
  // Every second request is answered 150 ms late, after the master's 100 ms. The late reply
  // to the read of references 1 and 2 comes while the master waits for the read of 60 and 61,
  // which has the same length: taken for it, it would give 60 and 61 the values of 1 and 2.
  SimLink link({"--late-reply-ms", "150", "--late-reply-every", "2", "--set", "1=11", "--set",
                "2=12", "--set", "60=21", "--set", "61=22"},
               0, 100);
  ASSERT_EQ(link.openResult, 0);
  std::int16_t regs[2] = {};
  ASSERT_EQ(link.master.ReadHoldingRegisters(1, 60, regs, 2), 0);
  EXPECT_EQ(link.master.ReadHoldingRegisters(1, 1, regs, 2), kMbusReplyTimeout);
  const int next = link.master.ReadHoldingRegisters(1, 60, regs, 2);
  EXPECT_EQ(next, 0);
  if (next == 0) {
    EXPECT_EQ(regs[0], 21);
    EXPECT_EQ(regs[1], 22);
  }
  EXPECT_EQ(CountLines(link.sim.LogLines(), "late"), 1);
}

// What the master tells its observer through each of the simulator's faults, as the log
// writes it.
TEST(MbusRtuMasterProtocol, TheObserverIsToldEachOutcomeOfATry) {
  struct TCase {
    std::vector<std::string> options;
    int timeoutMs;
    int reads;                       // of references 1 and 2, then one of 60 and 61
    std::vector<std::string> lines;  // in this order, among the log's lines
  };
  const std::vector<TCase> cases = {
      {{"--set", "1=11"}, 300, 1, {"TX  01 03 00 00 00 02 C4 0B", "RX  01 03 04 00 0B 00 00"}},
      {{"--no-reply-every", "1"},
       200,
       1,
       {"TX  01 03 00 00 00 02", "--  no reply after 200 ms", "--  retry 1",
        "TX  01 03 00 00 00 02", "--  no reply after 200 ms"}},
      {{"--bad-crc-every", "1"}, 300, 1, {"bad CRC: received", "--  retry 1"}},
      {{"--wrong-slave-every", "1"}, 300, 1, {"a reply from slave"}},
      {{"--exception", "1:2"}, 300, 1, {"exception 2: illegal data address"}},
      // The first request's reply comes after the master has given up; it is thrown away
      // before the next, different, request goes out.
      {{"--late-reply-ms", "150", "--late-reply-every", "1"},
       100,
       0,
       {"--  no reply after 100 ms", "--  discarded", "bytes arriving after a time-out"}},
  };
  for (const TCase& test : cases) {
    SimLink link(test.options, 1, test.timeoutMs);
    ASSERT_EQ(link.openResult, 0);
    TFrameQueue queue;
    link.master.SetObserver(&queue);
    std::int16_t regs[2] = {};
    for (int i = 0; i < test.reads; ++i) {
      link.master.ReadHoldingRegisters(1, 1, regs, 2);
    }
    if (test.reads == 0) {
      link.master.SetRetryCount(0);
      link.master.ReadHoldingRegisters(1, 1, regs, 2);
    }
    link.master.ReadHoldingRegisters(1, 60, regs, 2);
    TFrameDecoder decoder;
    std::string log;
    for (const TFrameEvent& event : queue.Take()) {
      log += decoder.Line(event) + "\n";
    }
    std::size_t at = 0;
    for (const std::string& line : test.lines) {
      at = log.find(line, at);
      ASSERT_NE(at, std::string::npos) << line << " in\n" << log;
    }
  }
}

TEST(MbusRtuMasterProtocol, BroadcastReturnsWithoutWaiting) {
  // No slave answers a broadcast: a master that waited for a reply would return only after
  // its reply time-out, which is far longer than the wait below.
  SimLink link({"--delay-ms", "800"}, 0, 120000);
  ASSERT_EQ(link.openResult, 0);
  auto write =
      std::async(std::launch::async, [&] { return link.master.WriteHoldingRegister(0, 12, 77); });
  ASSERT_EQ(write.wait_for(std::chrono::seconds(30)), std::future_status::ready)
      << "the master waited for a reply to a broadcast";
  EXPECT_EQ(write.get(), 0);
  // The device executes it all the same. It rewrites its dump before it logs the frame.
  ASSERT_TRUE(link.sim.AwaitLog(
      [](const std::vector<std::string>& lines) { return CountLines(lines, "broadcast") > 0; }));
  EXPECT_NE(link.sim.DumpText().find("h 12 77\n"), std::string::npos);
  EXPECT_EQ(CountLines(link.sim.LogLines(), "broadcast"), 1);
}

TEST(MbusRtuMasterProtocol, RequestOnClosedPortGivesTwo) {
  MbusRtuMasterProtocol master;
  std::int16_t reg[1];
  EXPECT_EQ(master.ReadHoldingRegisters(1, 1, reg, 1), kMbusIllegalState);
}

// A line that never falls silent: a thread keeps writing to the far side of a
// pseudo-terminal and records what the master sends.
TEST(MbusRtuMasterProtocol, DrainIsBoundedOnAChatteringLine) {
  int far = -1;
  int near = -1;
  char name[128];
  ASSERT_EQ(openpty(&far, &near, name, nullptr, nullptr), 0);
  close(near);
  std::atomic<bool> stop{false};
  std::vector<std::uint8_t> received;
  std::thread chatter([&] {
    const std::uint8_t noise[16] = {0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA,
                                    0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA};
    while (!stop) {
      [[maybe_unused]] ssize_t w = write(far, noise, sizeof noise);
      std::uint8_t in[64];
      const ssize_t r = read(far, in, sizeof in);
      if (r > 0) {
        received.insert(received.end(), in, in + r);
      }
      usleep(200);
    }
  });
  MbusRtuMasterProtocol master;
  ASSERT_EQ(master.SetTimeout(300), 0);
  ASSERT_EQ(master.Open(name, 57600), 0);
  // An unbounded drain would never let the request go out: the call would not return.
  std::int16_t reg[1];
  auto read =
      std::async(std::launch::async, [&] { return master.ReadHoldingRegisters(1, 1, reg, 1); });
  const bool returned = read.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
  if (!returned) {
    close(far);  // the line goes dead, which ends the drain and the chatter
  }
  const int result = read.get();
  // Closing the master's side ends the chatter's read of the far side.
  master.Close();
  stop = true;
  chatter.join();
  if (returned) {
    close(far);
  }
  ASSERT_TRUE(returned) << "the drain before the request never ended";
  // The noise read as a reply carries no valid checksum.
  EXPECT_EQ(result, kMbusChecksumError);
  const std::vector<std::uint8_t> request = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
  EXPECT_NE(std::search(received.begin(), received.end(), request.begin(), request.end()),
            received.end())
      << "the request was never sent";
}

TEST(MbusRtuMasterProtocolOpen, MissingDeviceGivesOpenError) {
  MbusRtuMasterProtocol master;
  EXPECT_EQ(master.Open("/nonexistent/ttyXYZ", 57600), kMbusOpenError);
  EXPECT_FALSE(master.IsOpen());
  // A file that is not a terminal cannot be a port either.
  EXPECT_EQ(master.Open("/dev/null", 57600), kMbusOpenError);
  EXPECT_FALSE(master.IsOpen());
}

TEST(MbusRtuMasterProtocolOpen, SevenDataBitsAreRefusedAndThePortStaysClosed) {
  SimProcess sim({});
  MbusRtuMasterProtocol master;
  EXPECT_EQ(master.Open(sim.Path(), 57600, 7, 1, 0), kMbusIllegalArgument);
  EXPECT_FALSE(master.IsOpen());
  EXPECT_EQ(master.Open(sim.Path(), 57600, 8, 3, 0), kMbusIllegalArgument);
  EXPECT_FALSE(master.IsOpen());
  EXPECT_EQ(master.Open(sim.Path(), 57600, 8, 1, 0), 0);
  EXPECT_EQ(master.Open(sim.Path(), 57600, 8, 1, 0), kMbusIllegalState);
  EXPECT_EQ(master.SetRetryCount(1), kMbusIllegalState);
}

TEST(MbusRtuMasterProtocolOpen, PortHeldByAnotherProcessGivesAlreadyOpen) {
  SimProcess sim({});
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t holder = fork();
  if (holder == 0) {
    MbusRtuMasterProtocol other;
    const char result = static_cast<char>(other.Open(sim.Path(), 57600));
    [[maybe_unused]] ssize_t w = write(ready[1], &result, 1);
    pause();
    _exit(0);
  }
  char held = -1;
  const bool told = read(ready[0], &held, 1) == 1;
  MbusRtuMasterProtocol master;
  const int whileHeld = master.Open(sim.Path(), 57600);
  const bool openWhileHeld = master.IsOpen();
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  ASSERT_TRUE(told);
  ASSERT_EQ(held, 0);
  EXPECT_EQ(whileHeld, kMbusPortAlreadyOpen);
  EXPECT_FALSE(openWhileHeld);
  EXPECT_EQ(master.Open(sim.Path(), 57600), 0);
  close(ready[0]);
  close(ready[1]);
}

TEST(MbusRtuMasterProtocolOpen, PortWithoutPermissionGivesNoPermission) {
  SimProcess sim({});
  char device[256] = {};
  ASSERT_GT(readlink(sim.Path().c_str(), device, sizeof device - 1), 0);
  ASSERT_EQ(chmod(device, 0600), 0);
  const passwd* nobody = getpwnam("nobody");
  const bool root = geteuid() == 0;
  const pid_t child = fork();
  if (child == 0) {
    // As root, the test gives up its privileges, and the device is only root's; otherwise
    // the device is made inaccessible to its owner.
    if (root && (nobody == nullptr || setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0)) {
      _exit(100);
    }
    if (!root && chmod(device, 0) != 0) {
      _exit(101);
    }
    MbusRtuMasterProtocol master;
    _exit(master.Open(device, 57600));
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), kMbusNoPermission);
  EXPECT_STREQ(ResultText(WEXITSTATUS(status)), "No permission to access serial or TCP port");
}

TEST(SerialPortName, ComNamesResolveThroughEnvironmentSettingsThenTtyS) {
  const PortNameLookup settings = [](const std::string& name) -> std::optional<std::string> {
    if (name == "COM2") {
      return "/dev/ttyUSB7";
    }
    return std::nullopt;
  };
  unsetenv("DRAVONIK_COM2");
  EXPECT_EQ(ResolvePortName("COM1", settings), "/dev/ttyS0");
  EXPECT_EQ(ResolvePortName("COM2", settings), "/dev/ttyUSB7");
  EXPECT_EQ(ResolvePortName("COM2"), "/dev/ttyS1");
  setenv("DRAVONIK_COM2", "/tmp/sim-tty", 1);
  EXPECT_EQ(ResolvePortName("COM2", settings), "/tmp/sim-tty");
  unsetenv("DRAVONIK_COM2");
  EXPECT_EQ(ResolvePortName("COM20"), "/dev/ttyS19");
  EXPECT_EQ(ResolvePortName("/dev/ttyACM0"), "/dev/ttyACM0");
  EXPECT_EQ(ResolvePortName("COM0"), "COM0");
  EXPECT_EQ(ResolvePortName("COMX"), "COMX");
}

TEST(SerialPortName, ProtocolOpensComNameFromTheEnvironment) {
  SimProcess sim({"--set", "28=1234"});
  setenv("DRAVONIK_COM3", sim.Path().c_str(), 1);
  MbusRtuMasterProtocol master;
  ASSERT_EQ(master.Open("COM3", 57600), 0);
  EXPECT_EQ(master.DevicePath(), sim.Path());
  std::int16_t reg[1];
  ASSERT_EQ(master.ReadHoldingRegisters(1, 28, reg, 1), 0);
  EXPECT_EQ(reg[0], 1234);
  unsetenv("DRAVONIK_COM3");
}

}  // namespace

}  // namespace modbus
