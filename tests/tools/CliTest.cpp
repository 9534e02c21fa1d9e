#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/Version.h"
#include "modbus/MbusRtuMasterProtocol.h"
#include "tests/modbus/LibmodbusSlave.h"
#include "tests/support/DeviceTree.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"

namespace {

TEST(DravonikCli, ReadsPrintReferenceAndValuePerLine) {
  SimProcess sim({"--set", "10=-3", "--set", "11=65535", "--set", "12=7", "--set-coil", "2=1"});
  ProgramResult regs =
      RunCli({"read-registers", "--port", sim.Path(), "--ref", "10", "--count", "3"});
  EXPECT_EQ(regs.exitCode, 0) << regs.err;
  EXPECT_EQ(regs.out, "10 -3\n11 -1\n12 7\n");
  ProgramResult coils = RunCli({"read-coils", "--port", sim.Path(), "--ref", "1", "--count", "3"});
  EXPECT_EQ(coils.exitCode, 0) << coils.err;
  EXPECT_EQ(coils.out, "1 0\n2 1\n3 0\n");
}

TEST(DravonikCli, WritesReachTheDevice) {
  SimProcess sim({});
  EXPECT_EQ(
      RunCli({"write-register", "--port", sim.Path(), "--ref", "27", "--value", "123"}).exitCode,
      0);
  EXPECT_EQ(RunCli({"write-registers", "--port", sim.Path(), "--ref", "100", "1", "-2", "65535"})
                .exitCode,
            0);
  EXPECT_EQ(RunCli({"write-coil", "--port", sim.Path(), "--ref", "8", "--value", "1"}).exitCode, 0);
  EXPECT_EQ(sim.DumpText(), "h 27 123\nh 100 1\nh 101 65534\nh 102 65535\nc 8 1\n");
}

TEST(DravonikCli, ModbusFailuresExitOneWithCodeAndText) {
  SimProcess sim({"--exception", "5:2"});
  ProgramResult exception =
      RunCli({"read-registers", "--port", sim.Path(), "--ref", "5", "--count", "1"});
  EXPECT_EQ(exception.exitCode, 1);
  EXPECT_EQ(exception.out, "");
  EXPECT_EQ(exception.err, "error 162: Illegal Data Address exception response\n");
}

TEST(DravonikCli, APortThatWillNotOpenIsNamedWithTheReason) {
  SimProcess sim({});
  modbus::MbusRtuMasterProtocol other;  // another program holding the port
  ASSERT_EQ(other.Open(sim.Path(), 57600), 0);
  testsupport::TTempDir folder;
  const std::string plain = folder.Write("plain", "x");
  for (const auto& [port, reason] : std::vector<std::pair<std::string, std::string>>{
           {"/nonexistent/tty", "not present"},
           {sim.Path(), "in use by another program"},
           {plain, "cannot be opened as a serial port"},
       }) {
    ProgramResult result = RunCli({"read-coils", "--port", port, "--ref", "1", "--count", "1"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "error: " + port + ": " + reason + "\n");
  }
  // A user outside the group that owns the device is told which group to join.
  const group* dialout = getgrnam("dialout");
  if (getuid() != 0 || dialout == nullptr) {
    GTEST_SKIP() << "another user's view needs root to take it";
  }
  ASSERT_EQ(chmod(folder.Path().c_str(), 0755), 0);
  ASSERT_EQ(chown(plain.c_str(), 0, dialout->gr_gid), 0);
  ASSERT_EQ(chmod(plain.c_str(), 0660), 0);
  ProgramResult nobody =
      RunProgram("/usr/bin/setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups",
                                      SimProcess::BinDir() + "/dravonik-cli", "read-coils",
                                      "--port", plain, "--ref", "1", "--count", "1"});
  if (nobody.exitCode == 127 || nobody.err.find("setpriv") != std::string::npos) {
    GTEST_SKIP() << "the program cannot run as another user here: " << nobody.err;
  }
  EXPECT_EQ(nobody.err, "error: " + plain + ": no permission (join the group 'dialout')\n");
}

TEST(DravonikCli, SilentSlaveIsRetriedAsAsked) {
  SimProcess sim({"--no-reply-every", "1"});
  ProgramResult result = RunCli({"read-registers", "--port", sim.Path(), "--ref", "1", "--count",
                                 "1", "--retries", "2", "--timeout-ms", "100"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "error 132: Reply time-out\n");
  EXPECT_EQ(sim.LogLines().size(), 3u);
}

TEST(DravonikCli, UsageErrorsSayWhatIsWrongOnOneLineAndExitTwo) {
  const std::vector<std::string> read{"read-registers", "--port", "/dev/null", "--ref", "1"};
  auto with = [](std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  for (const auto& [args, what] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{}, "no command"},
           {{"read-holding"}, "unknown command: read-holding"},
           {read, "--count is required"},
           {{"read-registers", "--ref", "1", "--count", "1"}, "--port is required"},
           {{"write-coil", "--port", "/dev/null", "--ref", "1", "--value", "2"},
            "bad value for --value: 2 (0 to 1)"},
           {{"write-register", "--port", "/dev/null", "--ref", "1", "--value", "65536"},
            "bad value for --value: 65536 (-32768 to 65535)"},
           {{"write-registers", "--port", "/dev/null", "--ref", "1"}, "no values to write"},
           {{"write-registers", "--port", "/dev/null", "--ref", "1", "x"},
            "unexpected argument: x"},
           {with(read, {"--count", "1", "--slave"}), "missing value for --slave"},
           {with(read, {"--count", "0"}), "bad value for --count: 0 (1 to 125)"},
           {with(read, {"--count", "200"}), "bad value for --count: 200 (1 to 125)"},
           {{"read-coils", "--port", "/dev/null", "--ref", "1", "--count", "2001"},
            "bad value for --count: 2001 (1 to 2000)"},
           {with(read, {"--count", "1", "--baud", "12"}),
            "bad value for --baud: 12 (a standard rate from 50 to 921600)"},
           {with(read, {"--count", "1", "--slave", "0"}), "bad value for --slave: 0 (1 to 255)"},
           {with(read, {"--count", "1", "--retries", "11"}),
            "bad value for --retries: 11 (0 to 10)"},
           {{"read-registers", "--port", "/dev/null", "--ref", "65536", "--count", "2"},
            "registers 65536 to 65537 run past reference 65536"},
           {{"read-registers", "--port", "/dev/null", "--ref", "0", "--count", "1"},
            "bad value for --ref: 0 (1 to 65536)"},
       }) {
    const ProgramResult result = RunCli(args);
    EXPECT_EQ(result.exitCode, 2) << testing::PrintToString(args);
    EXPECT_EQ(result.err, "dravonik-cli: " + what + "\nTry 'dravonik-cli --help'.\n");
  }
}

TEST(DravonikCli, BothProgramsTellTheirVersion) {
  for (const char* program : {"dravonik-cli", "dravonik-sim"}) {
    const ProgramResult result = RunProgram(SimProcess::BinDir() + "/" + program, {"--version"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, std::string(program) + " " + kProgramVersion + "\n");
  }
}

TEST(DravonikCli, HelpDocumentsEveryCommand) {
  const ProgramResult help = RunCli({"--help"});
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
  ProgramResult read = RunCli({"read-registers", "--port", peer.MasterPath(), "--slave", "3",
                               "--ref", "28", "--count", "1"});
  EXPECT_EQ(read.exitCode, 0) << read.err;
  EXPECT_EQ(read.out, "28 4321\n");
  EXPECT_EQ(RunCli({"write-coil", "--port", peer.MasterPath(), "--slave", "3", "--ref", "4",
                    "--value", "1"})
                .exitCode,
            0);
  EXPECT_TRUE(peer.Coil(4));
}

TEST(DravonikCli, UsbWithoutConverterIsAnOpenError) {
  const ProgramResult result = [] {
    const testsupport::TDeviceTree noConverter;
    return RunCli({"read-registers", "--usb", "--ref", "28", "--count", "1"});
  }();
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err,
            "error: no USB converter called \"Dravonik\", \"b-lyn\", \"USB <-> Serial\" or "
            "\"K3K\" is present; no other serial converter is present either: check the cable\n");
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
