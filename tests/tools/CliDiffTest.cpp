// dravonik-cli diff: two settings files loaded over the factory defaults and compared
// setting by setting, with the texts the CSV export writes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"

namespace {

using testsupport::ReadFile;

class CliDiff : public testing::Test {
 protected:
  // The factory defaults of a bundled device type, with each (from, to) replaced once.
  std::string Defaults(const std::string& name, int deviceId,
                       const std::vector<std::pair<std::string, std::string>>& changes = {}) {
    const std::string path = folder_.File(name);
    EXPECT_EQ(RunCli({"defaults", "--device-id", std::to_string(deviceId), "--out", path}).exitCode,
              0);
    std::string text = ReadFile(path);
    for (const auto& [from, to] : changes) {
      const std::size_t at = text.find(from);
      EXPECT_NE(at, std::string::npos) << from;
      if (at != std::string::npos) {
        text.replace(at, from.size(), to);
      }
    }
    return folder_.Write(name, text);
  }

  testsupport::TTempDir folder_;
};

TEST_F(CliDiff, EqualFilesShowNothing) {
  const std::string a = Defaults("a.zsf", 1);
  const std::string b = Defaults("b.zsf", 1);
  const ProgramResult diff = RunCli({"diff", a, b});
  EXPECT_EQ(diff.exitCode, 0) << diff.err;
  EXPECT_EQ(diff.out, "");
}

TEST_F(CliDiff, DifferingSettingsAreListedInPageOrderWithTheirDisplayTexts) {
  const std::string a = Defaults("a.zsf", 1);
  const std::string b = Defaults(
      "b.zsf", 1,
      {{R"(name="Operating Mode" ID="0" value="2")", R"(name="Operating Mode" ID="0" value="1")"},
       {R"(name="Group Pressure Setpoint" ID="14" value="250")",
        R"(name="Group Pressure Setpoint" ID="14" value="300")"},
       {R"(value="7" register="230" Hour="7" Minute="0")",
        R"(value="8" register="230" Hour="8" Minute="30")"}});
  const ProgramResult diff = RunCli({"diff", "--device-id", "1", a, b});
  EXPECT_EQ(diff.exitCode, 1) << diff.err;
  EXPECT_EQ(diff.out,
            "System / Operating Mode: Automatic -> Manual\n"
            "Groups 1 to 10 / Group Pressure Setpoint: 250 Pa -> 300 Pa\n"
            "Schedule / Occupied Start: 7 hrs; 0 hrs -> 8 hrs; 30 hrs\n");
}

// A drop-down value none of the entries has shows as the first entry: what each file stores
// tells the two apart.
TEST_F(CliDiff, ValuesThatShowAlikeButAreStoredDifferentlyDiffer) {
  const std::string off = Defaults(
      "off.zsf", 1,
      {{R"(name="Operating Mode" ID="0" value="2")", R"(name="Operating Mode" ID="0" value="0")"}});
  const std::string seven = Defaults(
      "seven.zsf", 1,
      {{R"(name="Operating Mode" ID="0" value="2")", R"(name="Operating Mode" ID="0" value="7")"}});
  const ProgramResult diff = RunCli({"diff", off, seven});
  EXPECT_EQ(diff.exitCode, 1) << diff.err;
  EXPECT_EQ(diff.out, "System / Operating Mode: Off (stored 0) -> Off (stored 7)\n");
}

TEST_F(CliDiff, AFileForAnotherDeviceTypeIsAnError) {
  const std::string a = Defaults("a.zsf", 1);
  const std::string other = Defaults("other.zsf", 3);
  ProgramResult diff = RunCli({"diff", a, other});
  EXPECT_EQ(diff.exitCode, 2);
  EXPECT_EQ(diff.err,
            "error: the files are for different device types (device ids 1 and 3): give "
            "--device or --device-id\n");
  diff = RunCli({"diff", "--device-id", "1", a, other});
  EXPECT_EQ(diff.exitCode, 2);
  EXPECT_EQ(diff.err,
            "error: Device name is not ' Dravonik P500 Pressure Controller.'\nThis settings "
            "file has been created for a different type of device.\n");
  EXPECT_EQ(RunCli({"diff", a}).exitCode, 2);
  EXPECT_EQ(RunCli({"diff", a, folder_.File("missing.zsf")}).exitCode, 2);
}

}  // namespace
