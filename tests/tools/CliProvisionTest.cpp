// dravonik-cli provision against simulators started one after another on the same device
// path, each standing for a unit connected in turn: what reaches each unit, the records
// folder, the lines of provisioned.csv, the exit status, and Ctrl-C between and during units.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"

namespace {

using testsupport::ReadFile;

// Fan (device id 7): a speed in holding register 11, a start mode in 12, a lock coil 1; and
// Pump (device id 9), another type.
constexpr const char* kDefinitions = R"(<?xml version="1.0"?>
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
  <device name="Pump" device_id="9" live_status_id="0" settings_id="4"/>
</zsf>
)";

// The search request on the wire: slave 1 reads holding register 28.
constexpr const char* kSearchFrame = "01 03 00 1b 00 01";

class CliProvision : public testing::Test {
 protected:
  CliProvision() : devices_(folder_.Write("Devices.xml", kDefinitions)) {
    SimProcess source({"--set", "28=7", "--set", "11=83", "--set", "12=1", "--set-coil", "1=1"});
    EXPECT_EQ(RunProgram(SimProcess::BinDir() + "/dravonik-cli",
                         {"read", "--port", source.Path(), "--out", site_, "--devices", devices_})
                  .exitCode,
              0);
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

  static bool Await(const std::string& path, const std::string& text) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (ReadFile(path).find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > end) {
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
  }

  int Exit() {
    int status = 0;
    EXPECT_EQ(waitpid(cli_, &status, 0), cli_);
    cli_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // The records folder's files, by name.
  std::set<std::string> Records() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(records_)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  static std::string Today() {
    char date[16];
    const std::time_t now = std::time(nullptr);
    std::strftime(date, sizeof date, "%Y-%m-%d", std::localtime(&now));
    return date;
  }

  testsupport::TTempDir folder_;
  const std::string devices_;
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
        EXPECT_NE(line.find(kSearchFrame), std::string::npos) << line;
      }
    }
  }
  EXPECT_EQ(Exit(), 1);  // one unit failed
  const std::string base = "-Fan-" + Today();
  EXPECT_EQ(Records(), (std::set<std::string>{"001" + base + ".pdf", "001" + base + ".zsf",
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
