// The device commands of dravonik-cli (read, write) as a separate program against the
// simulator and an independent libmodbus slave: the files they write, what reaches the
// device, and the exit status and texts of failures.
#include <gtest/gtest.h>

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
    return RunProgram(SimProcess::BinDir() + "/dravonik-cli", args);
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
    EXPECT_EQ(sim.LogLines().size(), 15u);
  }
  EXPECT_TRUE(ReadFile(out).empty());
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

TEST_F(CliOnline, UsageErrorsExitTwo) {
  EXPECT_EQ(Cli({"read", "--port", "/dev/null"}).exitCode, 2);
  EXPECT_EQ(Cli({"read", "--usb", "--port", "COM1", "--out", "x"}).exitCode, 2);
  EXPECT_EQ(Cli({"write", "--port", "COM1"}).exitCode, 2);
  EXPECT_EQ(Cli({"write", "--port", "COM1", "--in", "a", "--out", "b"}).exitCode, 2);
  EXPECT_EQ(Cli({"read", "--port", "COM1", "--out", "a", "--verify"}).exitCode, 2);
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

}  // namespace
