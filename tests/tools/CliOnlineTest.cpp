// The device commands of dravonik-cli (read, write, provision) as a separate program against the
// simulator and an independent libmodbus slave: the files they write, what reaches the
// device, and the exit status and texts of failures.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/modbus/LibmodbusSlave.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"

namespace {

using testsupport::ReadFile;

// One device type: a speed in holding register reference 11, a start mode in 12 and a lock
// coil at reference 1.
constexpr const char* kFanDefinitions = R"(<?xml version="1.0"?>
<zsf>
  <settings settings_id="4">
    <group name="Fan" description="Fan set-up">
      <setting name="Speed" value_type="int" type="holding_register" register="10"
               min="0" max="100" default="40" value_text="%"/>
      <setting name="Start" value_type="drop_down" type="holding_register" register="11">
        <ddvalue name="Soft" value="0" default="true"/><ddvalue name="Hard" value="1"/>
      </setting>
      <setting name="Lock" value_type="checkbox" type="coil" register="0" default="checked"/>
    </group>
  </settings>
  <device name="Fan" device_id="7" live_status_id="0" settings_id="4"/>
</zsf>
)";

// The closing marker on the wire: slave 1, function 6, address 26, value 123.
constexpr const char* kMarkerFrame = "01 06 00 1a 00 7b";

class CliOnline : public testing::Test {
 protected:
  CliOnline() : devices_(folder_.Write("Devices.xml", kFanDefinitions)) {}

  ProgramResult Cli(std::vector<std::string> args) {
    args.insert(args.end(), {"--devices", devices_, "--timeout-ms", "300"});
    return RunCli(args);
  }

  testsupport::TTempDir folder_;
  std::string devices_;
};

TEST_F(CliOnline, ReadWritesWhatTheDeviceHoldsAsCsvOrSettingsFile) {
  SimProcess sim({"--set", "28=7", "--set", "11=55", "--set", "12=1"});
  const std::string csv = folder_.File("fan.CSV");
  ProgramResult read = Cli({"read", "--port", sim.Path(), "--out", csv});
  ASSERT_EQ(read.exitCode, 0) << read.err;
  EXPECT_EQ(ReadFile(csv), "Setting Name,Value\r\nSpeed,55 %\r\nStart,Hard\r\nLock,Disabled\r\n");
  EXPECT_NE(read.err.find("Reading Holding Registers 11 to 12"), std::string::npos) << read.err;

  const std::string zsf = folder_.File("fan.zsf");
  ASSERT_EQ(Cli({"read", "--port", sim.Path(), "--out", zsf}).exitCode, 0);
  const std::string file = ReadFile(zsf);
  EXPECT_NE(file.find(R"(name="Speed" ID="0" value="55")"), std::string::npos) << file;
  EXPECT_TRUE(sim.LogLines().back().find(kMarkerFrame) == std::string::npos);

  // A value none of the list's entries has is kept as read, and named.
  SimProcess odd({"--set", "28=7", "--set", "12=7"});
  read = Cli({"read", "--port", odd.Path(), "--out", zsf});
  ASSERT_EQ(read.exitCode, 0) << read.err;
  EXPECT_NE(read.err.find("warning: Fan / Start: 7, not one of its entries 0 (Soft), 1 (Hard)\n"),
            std::string::npos)
      << read.err;
  EXPECT_NE(ReadFile(zsf).find(R"(name="Start" ID="1" value="7")"), std::string::npos);

  // --trace: every frame decoded, the search request first; the progress as without it.
  const std::string trace = folder_.File("trace.txt");
  const ProgramResult traced = Cli({"read", "--port", odd.Path(), "--out", zsf, "--trace", trace});
  ASSERT_EQ(traced.exitCode, 0) << traced.err;
  EXPECT_EQ(traced.err, read.err);
  const std::string lines = ReadFile(trace);
  EXPECT_EQ(lines.find("  TX  01 03 00 1B 00 01 F4 0D"), 12u) << lines;
  EXPECT_NE(lines.find("read holding register 28 (1)\n"), std::string::npos) << lines;
  EXPECT_NE(lines.find("RX  01 03 04 00 00 00 07"), std::string::npos) << lines;  // 11 and 12
  EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 6) << lines;  // 3 requests, 3 replies
}

TEST_F(CliOnline, WriteSendsTheFileAndThenTheClosingMarker) {
  SimProcess source({"--set", "28=7", "--set", "11=83", "--set-coil", "1=1"});
  const std::string zsf = folder_.File("fan.zsf");
  ASSERT_EQ(Cli({"read", "--port", source.Path(), "--out", zsf}).exitCode, 0);

  SimProcess target({"--set", "28=7", "--set", "11=5", "--set", "12=1"});
  ProgramResult write = Cli({"write", "--port", target.Path(), "--in", zsf});
  ASSERT_EQ(write.exitCode, 0) << write.err;
  EXPECT_NE(write.err.find("Settings written successfully."), std::string::npos);
  const std::string dump = target.DumpText();
  EXPECT_NE(dump.find("h 11 83\n"), std::string::npos) << dump;
  EXPECT_EQ(dump.find("h 12 "), std::string::npos) << dump;  // Soft is 0
  EXPECT_NE(dump.find("c 1 1\n"), std::string::npos) << dump;
  EXPECT_NE(dump.find("h 27 123\n"), std::string::npos) << dump;
  EXPECT_NE(target.LogLines().back().find(kMarkerFrame), std::string::npos);
}

TEST_F(CliOnline, FailuresPrintTheSystemsTextExitOneAndLeaveNoFile) {
  const std::string out = folder_.File("never.zsf");
  {
    SimProcess sim({"--set", "28=7", "--exception", "12:4"});
    ProgramResult read = Cli({"read", "--port", sim.Path(), "--out", out});
    EXPECT_EQ(read.exitCode, 1);
    EXPECT_NE(read.err.find("error: Reading Holding Registers 11 to 12Failed\n"), std::string::npos)
        << read.err;
  }
  {
    SimProcess sim({"--set", "28=5"});
    ProgramResult read = Cli({"read", "--port", sim.Path(), "--out", out});
    EXPECT_EQ(read.exitCode, 1);
    EXPECT_NE(read.err.find(
                  "error: Could not find device with ID '5' in the XML device definitions list"),
              std::string::npos)
        << read.err;
  }
  {
    SimProcess sim({"--exception", "28:2"});
    ProgramResult read = Cli({"read", "--port", sim.Path(), "--out", out});
    EXPECT_EQ(read.exitCode, 1);
    EXPECT_NE(read.err.find("error: Could not find a device attached to comm port '" + sim.Path() +
                            "' address '1'\n\nPlease ensure"),
              std::string::npos)
        << read.err;
    EXPECT_NE(read.err.find("set correctly\n" + sim.Path() +
                            ": slave 1 did not report its device type within 15 attempts (last: "
                            "Illegal Data Address exception response)\n"),
              std::string::npos)
        << read.err;
    EXPECT_EQ(sim.LogLines().size(), 15u);
  }
  EXPECT_TRUE(ReadFile(out).empty());
}

// "COM1" to "COM20" exactly, or a device path: a name that only looks like a Comm port is a
// usage error, and the device on Comm 1 sees nothing of it.
TEST_F(CliOnline, AMalformedCommNameOpensNoPort) {
  SimProcess sim({"--set", "28=7"});
  setenv("DRAVONIK_COM1", sim.Path().c_str(), 1);
  const std::string zsf = folder_.File("fan.zsf");
  EXPECT_EQ(Cli({"read", "--port", "COM1", "--out", zsf}).exitCode, 0);
  const std::size_t requests = sim.LogLines().size();
  EXPECT_GT(requests, 0u);
  for (const char* port : {"COM 2", "COM0", "COM01", "COMX", "COM99999", "COM", "COM21", "tty"}) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"write", "--port", port, "--in", zsf},
          std::vector<std::string>{"read-registers", "--port", port, "--ref", "28", "--count",
                                   "1"}}) {
      const ProgramResult result = Cli(args);
      EXPECT_EQ(result.exitCode, 2) << port;
      EXPECT_EQ(result.err.rfind("dravonik-cli: bad value for --port: \"", 0), 0u) << result.err;
    }
  }
  unsetenv("DRAVONIK_COM1");
  EXPECT_EQ(sim.LogLines().size(), requests);
}

TEST_F(CliOnline, AWriteWhoseClosingMarkerFailsIsAFailure) {
  SimProcess source({"--set", "28=7"});
  const std::string zsf = folder_.File("fan.zsf");
  ASSERT_EQ(Cli({"read", "--port", source.Path(), "--out", zsf}).exitCode, 0);
  SimProcess sim({"--set", "28=7", "--exception", "27:4"});
  ProgramResult write = Cli({"write", "--port", sim.Path(), "--in", zsf});
  EXPECT_EQ(write.exitCode, 1);
  EXPECT_NE(write.err.find("error: Writing Holding Registers 27 to 27Failed\n"), std::string::npos)
      << write.err;
  EXPECT_EQ(write.err.find("written successfully"), std::string::npos) << write.err;
}

TEST_F(CliOnline, AVerifiedWriteListsWhatTheDeviceDidNotTake) {
  SimProcess source({"--set", "28=7", "--set", "11=83", "--set", "12=1"});
  const std::string zsf = folder_.File("fan.zsf");
  ASSERT_EQ(Cli({"read", "--port", source.Path(), "--out", zsf}).exitCode, 0);

  SimProcess honest({"--set", "28=7"});
  ProgramResult write = Cli({"write", "--port", honest.Path(), "--in", zsf, "--verify"});
  EXPECT_EQ(write.exitCode, 0) << write.err;
  EXPECT_EQ(write.out, "");
  EXPECT_NE(write.err.find("Verified: the device holds every value written."), std::string::npos);

  // The device acknowledges the speed but keeps its old value.
  SimProcess stubborn({"--set", "28=7", "--set", "11=5", "--keep", "11"});
  EXPECT_EQ(Cli({"write", "--port", stubborn.Path(), "--in", zsf}).exitCode, 0);
  write = Cli({"write", "--port", stubborn.Path(), "--in", zsf, "--verify"});
  EXPECT_EQ(write.exitCode, 1);
  EXPECT_EQ(write.out, "Fan / Speed: wrote 83 %, device holds 5 %\n");
  EXPECT_NE(write.err.find("error: 1 value differs from what was written"), std::string::npos)
      << write.err;
  EXPECT_NE(stubborn.DumpText().find("h 12 1\n"), std::string::npos);  // the rest was taken
}

TEST_F(CliOnline, ABadFileFailsBeforeAnyRequestReachesTheDevice) {
  const std::string zsf = folder_.File("fan.zsf");
  ASSERT_EQ(RunCli({"defaults", "--devices", devices_, "--device", "Fan", "--out", zsf}).exitCode,
            0);
  std::string text = ReadFile(zsf);
  const std::string speed = R"(name="Speed" ID="0" value="40")";
  ASSERT_NE(text.find(speed), std::string::npos) << text;
  const std::string outside = folder_.Write(
      "outside.zsf",
      text.replace(text.find(speed), speed.size(), R"(name="Speed" ID="0" value="150")"));
  std::string other = ReadFile(zsf);
  other.replace(other.find(R"(device_id="7")"), 13, R"(device_id="5")");
  const std::string unknown = folder_.Write("unknown.zsf", other);
  const std::string missing = folder_.File("missing.zsf");
  SimProcess sim({"--set", "28=7"});
  for (const auto& [args, error] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"write", "--in", missing},
            "error: Cannot open file \"" + missing + "\". No such file or directory\n"},
           {{"write", "--in", unknown},
            "error: " + unknown +
                ": Could not find device with ID '5' in the XML device definitions list\n"},
           {{"write", "--in", outside},
            "error: " + outside +
                ": Fan / Speed: 150, outside its limits 0 to 100\nerror: " + outside +
                ": 1 value is outside the definitions' limits; nothing was sent (--force sends "
                "them anyway)\n"},
           {{"read", "--out", "/nonexistent/fan.zsf"},
            "error: Cannot create file \"/nonexistent/fan.zsf\". No such file or directory\n"},
       }) {
    std::vector<std::string> command = args;
    command.insert(command.end(), {"--port", sim.Path()});
    const ProgramResult result = Cli(command);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, error);
  }
  EXPECT_TRUE(sim.LogLines().empty());
  // Told to, it sends what it was given.
  const ProgramResult forced = Cli({"write", "--port", sim.Path(), "--in", outside, "--force"});
  EXPECT_EQ(forced.exitCode, 0) << forced.err;
  EXPECT_NE(sim.DumpText().find("h 11 150\n"), std::string::npos);
}

TEST_F(CliOnline, UsageErrorsExitTwo) {
  EXPECT_EQ(Cli({"read", "--port", "/dev/null"}).exitCode, 2);
  EXPECT_EQ(Cli({"read", "--usb", "--port", "COM1", "--out", "x"}).exitCode, 2);
  EXPECT_EQ(Cli({"write", "--port", "COM1"}).exitCode, 2);
  EXPECT_EQ(Cli({"write", "--port", "COM1", "--in", "a", "--out", "b"}).exitCode, 2);
  EXPECT_EQ(Cli({"read", "--port", "COM1", "--out", "a", "--verify"}).exitCode, 2);
}

// A write cut short, by a signal or by the device going away: the request on the line is
// finished, nothing more is sent, and the message names the blocks the device took and says
// the closing marker was not sent. A read-back that fails says the write itself succeeded.
TEST_F(CliOnline, AWriteCutShortSaysWhatReachedTheDevice) {
  SimProcess source({"--set", "28=7", "--set", "11=83", "--set", "12=1", "--set-coil", "1=1"});
  const std::string zsf = folder_.File("fan.zsf");
  ASSERT_EQ(Cli({"read", "--port", source.Path(), "--out", zsf}).exitCode, 0);
  constexpr const char* kCoilFrame = "01 05 00 00 ff 00";
  constexpr const char* kRegistersFrame = "01 10 00 0a 00 02";
  const std::string tookCoil =
      ": the device acknowledged coil 1 of the file; the closing marker (123 in holding register "
      "27) was "
      "not sent";
  struct TCase {
    std::vector<int> signals;  // none: the simulator is stopped instead
    const char* frame;         // ... once this request (and `later` more) reached it
    int later;
    bool verify;
    std::vector<int> statuses;  // any of them
    std::string text;
  };
  for (const TCase& cut : std::vector<TCase>{
           {{SIGINT}, kCoilFrame, 0, false, {130}, "error: The write was interrupted" + tookCoil},
           {{SIGTERM}, kCoilFrame, 0, false, {143}, "error: The write was interrupted" + tookCoil},
           {{SIGHUP}, kCoilFrame, 0, false, {129}, "error: The write was interrupted" + tookCoil},
           // Two threads may take the two at once: either can be the second.
           {{SIGINT, SIGTERM},
            kCoilFrame,
            0,
            false,
            {130, 143},
            "interrupted again: ending at once"},
           {{}, kRegistersFrame, 0, false, {1}, "\nThe write did not complete" + tookCoil},
           {{},
            kMarkerFrame,
            1,
            true,
            {1},
            "error: Reading coils1 to 1Failed\nThe write itself succeeded (the device took the "
            "closing marker); only the read-back failed.\n"},
       }) {
    SimProcess sim({"--set", "28=7", "--delay-ms", "300"});
    std::vector<std::string> args = {"write",     "--port", sim.Path(),     "--in", zsf,
                                     "--devices", devices_, "--timeout-ms", "1000"};
    if (cut.verify) {
      args.emplace_back("--verify");
    }
    const std::string errPath = folder_.File("err.txt");
    const int errFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const pid_t cli =
        testsupport::StartHelper(SimProcess::BinDir() + "/dravonik-cli", args, errFd, errFd);
    close(errFd);
    ASSERT_TRUE(sim.AwaitLog([&](const std::vector<std::string>& lines) {
      for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find(cut.frame) != std::string::npos) {
          return lines.size() > i + static_cast<std::size_t>(cut.later);
        }
      }
      return false;
    }));
    for (const int signal : cut.signals) {
      kill(cli, signal);
    }
    if (cut.signals.empty()) {
      sim.Stop();
    }
    int status = 0;
    ASSERT_EQ(waitpid(cli, &status, 0), cli);
    const std::string err = ReadFile(errPath);
    EXPECT_THAT(cut.statuses, testing::Contains(WIFEXITED(status) ? WEXITSTATUS(status) : -1))
        << err;
    EXPECT_NE(err.find(cut.text), std::string::npos) << err;
    const TSimImage after = sim.Image();
    EXPECT_EQ(after.Register(27) == 123, cut.verify) << err;
    EXPECT_TRUE(after.Coil(1));
    if (cut.frame != kRegistersFrame) {  // that request reached it, its answer did not return
      EXPECT_EQ(after.Register(11) == 83, cut.verify) << err;
    }
  }
}

TEST_F(CliOnline, ReadsAndWritesAnIndependentModbusSlave) {
  LibmodbusSlave slave;
  ASSERT_TRUE(slave.Ready());
  slave.SetRegister(28, 7);
  slave.SetRegister(11, 61);
  slave.SetCoil(1, true);
  const std::string zsf = folder_.File("fan.zsf");
  ProgramResult read = Cli({"read", "--port", slave.MasterPath(), "--out", zsf});
  ASSERT_EQ(read.exitCode, 0) << read.err;
  EXPECT_NE(ReadFile(zsf).find(R"(name="Speed" ID="0" value="61")"), std::string::npos);

  slave.SetRegister(11, 0);
  slave.SetCoil(1, false);
  ProgramResult write = Cli({"write", "--port", slave.MasterPath(), "--in", zsf});
  ASSERT_EQ(write.exitCode, 0) << write.err;
  EXPECT_EQ(slave.Register(11), 61);
  EXPECT_TRUE(slave.Coil(1));
  EXPECT_EQ(slave.Register(27), 123);
}

// provision against simulators started one after another on the same device path, each
// standing for a unit connected in turn. Pump (device id 9) is another type of the Fan's
// settings.
class CliProvision : public CliOnline {
 protected:
  CliProvision() {
    std::string definitions = kFanDefinitions;
    definitions.insert(definitions.find("</zsf>"),
                       R"(<device name="Pump" device_id="9" live_status_id="0" settings_id="4"/>)");
    folder_.Write("Devices.xml", definitions);
    SimProcess source({"--set", "28=7", "--set", "11=83", "--set", "12=1", "--set-coil", "1=1"});
    EXPECT_EQ(Cli({"read", "--port", source.Path(), "--out", site_}).exitCode, 0);
  }
  ~CliProvision() override {
    if (cli_ > 0) {
      testsupport::StopHelper(cli_);
    }
  }

  // Starts provision on the unit path, its output and error into files.
  void Start(std::vector<std::string> options) {
    std::vector<std::string> args = {"provision", "--port",       unit_,    "--in",
                                     site_,       "--records",    records_, "--devices",
                                     devices_,    "--timeout-ms", "300"};
    args.insert(args.end(), options.begin(), options.end());
    const int out = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    cli_ = testsupport::StartHelper(SimProcess::BinDir() + "/dravonik-cli", args, out, err);
    close(out);
    close(err);
  }

  // The unit path now leads to this simulator.
  void Plug(const SimProcess& sim) {
    unlink(unit_.c_str());
    ASSERT_EQ(symlink(sim.Path().c_str(), unit_.c_str()), 0);
  }

  // Waits until the file (the tool's output or error) holds the text.
  bool Await(const std::string& path, const std::string& text) const {
    return testsupport::AwaitFolder(
        folder_.Path().string(), [&] { return ReadFile(path).find(text) != std::string::npos; },
        90000);
  }

  int Exit() {
    int status = 0;
    EXPECT_EQ(waitpid(cli_, &status, 0), cli_);
    cli_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  const std::string site_ = folder_.File("site.zsf");
  const std::string unit_ = folder_.File("unit");
  const std::string records_ = folder_.File("records");
  const std::string out_ = folder_.File("out.txt");
  const std::string err_ = folder_.File("err.txt");
  pid_t cli_ = -1;
};

TEST_F(CliProvision, WritesUnitAfterUnitAndRecordsEach) {
  Start({"--count", "3"});
  struct TUnit {
    std::vector<std::string> options;
    const char* said;  // once the tool says this, the unit is disconnected
    bool sent;         // the file's values reached it
    bool closed;       // ... and the closing marker
  };
  for (const TUnit& unit : std::vector<TUnit>{
           {{"--set", "28=7"}, "Unit 001: written and verified. Connect the next unit.\n", 1, 1},
           {{"--set", "28=9"}, "not a Fan (device id 7): nothing is written to it.", 0, 0},
           {{"--set", "28=7", "--exception", "27:4"}, "Unit 002: failed: Writing Holding", 1, 0},
           {{"--set", "28=7"}, "Unit 003: written and verified.", 1, 1},
       }) {
    SimProcess sim(unit.options);
    Plug(sim);
    ASSERT_TRUE(Await(out_, unit.said)) << ReadFile(out_) << ReadFile(err_);
    const TSimImage image = sim.Image();
    EXPECT_EQ(image.Register(11) == 83 && image.Register(12) == 1 && image.Coil(1), unit.sent);
    EXPECT_EQ(image.Register(27), unit.closed ? 123 : 0);
    if (!unit.sent) {
      for (const std::string& line : sim.LogLines()) {
        EXPECT_NE(line.find("01 03 00 1b 00 01"), std::string::npos) << line;  // the search
      }
    }
  }
  EXPECT_EQ(Exit(), 1);  // one unit failed
  char today[16];
  const std::time_t now = std::time(nullptr);
  std::strftime(today, sizeof today, "%Y-%m-%d", std::localtime(&now));
  const std::string base = std::string("-Fan-") + today;
  std::set<std::string> records;
  for (const auto& entry : std::filesystem::directory_iterator(records_)) {
    records.insert(entry.path().filename().string());
  }
  EXPECT_EQ(records, (std::set<std::string>{"001" + base + ".pdf", "001" + base + ".zsf",
                                            "003" + base + ".pdf", "003" + base + ".zsf",
                                            "provisioned.csv"}));
  EXPECT_NE(ReadFile(records_ + "/001" + base + ".zsf").find(R"(name="Speed" ID="0" value="83")"),
            std::string::npos);
  EXPECT_EQ(ReadFile(records_ + "/003" + base + ".pdf").rfind("%PDF-", 0), 0u);
  const std::string list = ReadFile(records_ + "/provisioned.csv");
  EXPECT_EQ(list.rfind("Unit,Time,Device type,Result,Reason,Differences\r\n001,", 0), 0u) << list;
  for (const char* line : {"\r\n001,", ",Fan,verified,,\r\n002,",
                           ",Fan,failed,\"Writing Holding "
                           "Registers 27 to 27Failed\nThe write did not complete",
                           "\r\n003,", ",Fan,verified,,\r\n"}) {
    EXPECT_NE(list.find(line), std::string::npos) << line << "\n" << list;
  }
  EXPECT_NE(ReadFile(out_).find("Units provisioned: 2 written and verified, 1 failed"),
            std::string::npos);
}

// Ctrl-C while it waits for a unit ends the run with its summary; during a unit's write it
// finishes the request on the line and records the unit as one to write again.
TEST_F(CliProvision, CtrlCBetweenUnitsEndsCleanlyAndDuringOneRecordsItInterrupted) {
  Start({});
  ASSERT_TRUE(Await(err_, "Waiting for a unit on " + unit_ + " (Ctrl-C ends)...\n"));
  kill(cli_, SIGINT);
  EXPECT_EQ(Exit(), 0);
  EXPECT_EQ(ReadFile(out_),
            "Stopped. Units provisioned: 0 written and verified, 0 failed; "
            "records in " +
                records_ + "\n");

  SimProcess sim({"--set", "28=7", "--delay-ms", "300"});
  Plug(sim);
  Start({"--timeout-ms", "1000"});
  // The coil's write request has reached it; each reply takes 300 ms.
  ASSERT_TRUE(sim.AwaitLog([](const std::vector<std::string>& lines) {
    return std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
      return line.find("01 05 00 00 ff 00") != std::string::npos;
    });
  })) << ReadFile(err_);
  kill(cli_, SIGINT);
  EXPECT_EQ(Exit(), 130);
  EXPECT_NE(ReadFile(out_).find("Unit 001: interrupted: The write was interrupted: the device "
                                "acknowledged coil 1 of the file;"),
            std::string::npos)
      << ReadFile(out_) << ReadFile(err_) << testing::PrintToString(sim.LogLines());
  EXPECT_NE(ReadFile(out_).find("The unit must be written again.\n"), std::string::npos);
  EXPECT_NE(ReadFile(records_ + "/provisioned.csv").find(",Fan,interrupted,\"The write was"),
            std::string::npos);
  EXPECT_EQ(sim.Image().Register(27), 0);
}

}  // namespace
