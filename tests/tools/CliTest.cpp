#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/modbus/LibmodbusSlave.h"
#include "tests/support/SimProcess.h"

namespace {

ProgramResult Cli(const std::vector<std::string>& args) {
  return RunProgram(SimProcess::BinDir() + "/dravonik-cli", args);
}

TEST(DravonikCli, ReadsPrintReferenceAndValuePerLine) {
  SimProcess sim({"--set", "10=-3", "--set", "11=65535", "--set", "12=7", "--set-coil", "2=1"});
  ProgramResult regs = Cli({"read-registers", "--port", sim.Path(), "--ref", "10", "--count", "3"});
  EXPECT_EQ(regs.exitCode, 0) << regs.err;
  EXPECT_EQ(regs.out, "10 -3\n11 -1\n12 7\n");
  ProgramResult coils = Cli({"read-coils", "--port", sim.Path(), "--ref", "1", "--count", "3"});
  EXPECT_EQ(coils.exitCode, 0) << coils.err;
  EXPECT_EQ(coils.out, "1 0\n2 1\n3 0\n");
}

TEST(DravonikCli, WritesReachTheDevice) {
  SimProcess sim({});
  EXPECT_EQ(Cli({"write-register", "--port", sim.Path(), "--ref", "27", "--value", "123"}).exitCode,
            0);
  EXPECT_EQ(
      Cli({"write-registers", "--port", sim.Path(), "--ref", "100", "1", "-2", "65535"}).exitCode,
      0);
  EXPECT_EQ(Cli({"write-coil", "--port", sim.Path(), "--ref", "8", "--value", "1"}).exitCode, 0);
  EXPECT_EQ(sim.DumpText(), "h 27 123\nh 100 1\nh 101 65534\nh 102 65535\nc 8 1\n");
}

TEST(DravonikCli, ModbusFailuresExitOneWithCodeAndText) {
  SimProcess sim({"--exception", "5:2"});
  ProgramResult exception =
      Cli({"read-registers", "--port", sim.Path(), "--ref", "5", "--count", "1"});
  EXPECT_EQ(exception.exitCode, 1);
  EXPECT_EQ(exception.out, "");
  EXPECT_EQ(exception.err, "error 162: Illegal Data Address exception response\n");
  ProgramResult range =
      Cli({"read-registers", "--port", sim.Path(), "--ref", "1", "--count", "126"});
  EXPECT_EQ(range.exitCode, 1);
  EXPECT_EQ(range.err, "error 1: Illegal argument error\n");
  ProgramResult missing =
      Cli({"read-coils", "--port", "/nonexistent/tty", "--ref", "1", "--count", "1"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.err, "error 66: Port or socket open error\n");
}

TEST(DravonikCli, SilentSlaveIsRetriedAsAsked) {
  SimProcess sim({"--no-reply-every", "1"});
  ProgramResult result = Cli({"read-registers", "--port", sim.Path(), "--ref", "1", "--count", "1",
                              "--retries", "2", "--timeout-ms", "100"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "error 132: Reply time-out\n");
  EXPECT_EQ(sim.LogLines().size(), 3u);
}

TEST(DravonikCli, UsageErrorsExitTwo) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {},
           {"read-holding"},
           {"read-registers", "--port", "/dev/null", "--ref", "1"},
           {"read-registers", "--ref", "1", "--count", "1"},
           {"write-coil", "--port", "/dev/null", "--ref", "1", "--value", "2"},
           {"write-register", "--port", "/dev/null", "--ref", "1", "--value", "65536"},
           {"write-registers", "--port", "/dev/null", "--ref", "1"},
           {"write-registers", "--port", "/dev/null", "--ref", "1", "x"},
           {"read-coils", "--port", "/dev/null", "--ref", "1", "--count", "1", "--slave"},
       }) {
    const ProgramResult result = Cli(args);
    EXPECT_EQ(result.exitCode, 2) << testing::PrintToString(args);
    EXPECT_NE(result.err.find("Usage: dravonik-cli"), std::string::npos);
  }
}

TEST(DravonikCli, HelpDocumentsEveryCommand) {
  const ProgramResult help = Cli({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* text : {"read-registers", "read-coils", "write-register ", "write-registers",
                           "write-coil", "--slave", "--retries", "--usb", "COM<n>", "devices",
                           "defaults", "convert", "--device NAME", "--device-id ID",
                           "--devices FILE", "--in FILE.zsf", "--out FILE", ".csv"}) {
    EXPECT_NE(help.out.find(text), std::string::npos) << text;
  }
}

TEST(DravonikCli, TalksToALibmodbusSlave) {
  LibmodbusSlave peer(3);
  ASSERT_TRUE(peer.Ready());
  peer.SetRegister(28, 4321);
  ProgramResult read = Cli({"read-registers", "--port", peer.MasterPath(), "--slave", "3", "--ref",
                            "28", "--count", "1"});
  EXPECT_EQ(read.exitCode, 0) << read.err;
  EXPECT_EQ(read.out, "28 4321\n");
  EXPECT_EQ(
      Cli({"write-coil", "--port", peer.MasterPath(), "--slave", "3", "--ref", "4", "--value", "1"})
          .exitCode,
      0);
  EXPECT_TRUE(peer.Coil(4));
}

TEST(DravonikCli, UsbWithoutConverterIsAnOpenError) {
  const std::string empty = ::testing::TempDir() + "/no-sysfs";
  setenv("DRAVONIK_SYSFS_ROOT", empty.c_str(), 1);
  ProgramResult result = Cli({"read-registers", "--usb", "--ref", "28", "--count", "1"});
  unsetenv("DRAVONIK_SYSFS_ROOT");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "error 66: Port or socket open error\n");
}

TEST(DravonikSim, StopsCleanlyOnSigterm) {
  SimProcess sim({});
  ASSERT_FALSE(sim.Path().empty());
  EXPECT_EQ(sim.Stop(), 0);
}

TEST(DravonikSim, BadOptionsAreUsageErrors) {
  const std::string sim = SimProcess::BinDir() + "/dravonik-sim";
  EXPECT_EQ(RunProgram(sim, {"--set", "0=1"}).exitCode, 2);
  EXPECT_EQ(RunProgram(sim, {"--set-coil", "1=2"}).exitCode, 2);
  EXPECT_EQ(RunProgram(sim, {"--pace"}).exitCode, 2);
  for (const char* faults : {"1:101", "1", "x:5", "-1:5", "4294967296:5"}) {
    EXPECT_EQ(RunProgram(sim, {"--random-faults", faults}).exitCode, 2) << faults;
  }
  for (const char* kinds : {"late,bogus", "", "late,"}) {
    EXPECT_EQ(RunProgram(sim, {"--random-kinds", kinds}).exitCode, 2) << kinds;
  }
  const ProgramResult help = RunProgram(sim, {"--help"});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* option :
       {"--link", "--set", "--set-coil", "--dump", "--no-reply-every", "--bad-crc-every",
        "--wrong-slave-every", "--late-reply-ms", "--exception", "--delay-ms", "--pace",
        "--random-faults", "--random-kinds", "--random-late-ms", "--random-delay-ms"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
}

}  // namespace
