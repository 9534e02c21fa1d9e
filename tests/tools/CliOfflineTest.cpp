// The offline commands of dravonik-cli (devices, defaults, convert), run as a separate
// program and checked against the settings model run in this process.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "model/Devices.h"
#include "model/Group.h"
#include "model/OfflineEdit.h"
#include "model/Setting.h"
#include "model/Settings.h"
#include "registers/Registerdatastore.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"

namespace {

using testsupport::ReadFile;

// Two device types sharing one small document with one setting of each kind.
constexpr const char* kPumpDefinitions = R"(<?xml version="1.0"?>
<zsf>
  <settings settings_id="1">
    <group name="Pump" description="Pump set-up">
      <setting name="Speed" value_type="int" type="holding_register" register="10"
               min="0" max="100" default="40" value_text="%"/>
      <setting name="Start" value_type="drop_down" type="holding_register" register="11">
        <ddvalue name="Soft" value="0" default="true"/><ddvalue name="Hard" value="1"/>
      </setting>
      <setting name="Lock" value_type="checkbox" type="coil" register="0" default="unchecked"/>
    </group>
  </settings>
  <device name="Pump A" device_id="7" live_status_id="0" settings_id="1"/>
  <device name="Pump B" device_id="9" live_status_id="0" settings_id="1"/>
</zsf>
)";

constexpr const char* kPumpDefaultsCsv =
    "Setting Name,Value\r\nSpeed,40 %\r\nStart,Soft\r\nLock,Disabled\r\n";

std::string Thrown(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& error) {
    return error.what();
  }
  return "(nothing thrown)";
}

std::set<std::string> FilesIn(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    names.insert(std::filesystem::relative(entry.path(), folder).string());
  }
  return names;
}

// The bundled definitions, loaded in this process as the program loads them. Group and
// setting ids are counted over a whole run, so a settings file written by dravonik-cli (a
// run of its own) matches only the first definitions loaded in this process: nothing else
// in this program loads definitions in-process.
class DravonikCliOffline : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    application_ = std::make_unique<QCoreApplication>(argc_, argv_);
    bundled_ = std::make_unique<TBundled>();
    bundled_->devices.LoadFromFile(BundledPath());
  }
  static void TearDownTestSuite() {
    bundled_.reset();
    application_.reset();
  }

  static std::string BundledPath() { return SimProcess::BinDir() + "/Devices.xml"; }
  static model::TDevices& Bundled() { return bundled_->devices; }

  // The device type's document as the main window's offline edit opens it.
  static model::TSettings& OpenBundled(int index) {
    model::TSettings& document = *Bundled().GetDevice(index).Settings;
    model::OpenOffline(document);
    return document;
  }

  testsupport::TTempDir folder_;

 private:
  struct TBundled {
    registers::TModbusHandler handler;
    registers::TRegisterDataStore store{handler};
    model::TDevices devices{store};
  };
  static inline int argc_ = 1;
  static inline char name_[] = "test_tools";
  static inline char* argv_[] = {name_, nullptr};
  static inline std::unique_ptr<QCoreApplication> application_;
  static inline std::unique_ptr<TBundled> bundled_;
};

TEST_F(DravonikCliOffline, DevicesListsIndexIdAndNameInFileOrder) {
  const ProgramResult bundled = RunCli({"devices"});
  EXPECT_EQ(bundled.exitCode, 0) << bundled.err;
  ASSERT_GT(Bundled().Count(), 1);
  std::string expected;
  for (int i = 0; i < Bundled().Count(); ++i) {
    const model::TDevice& device = Bundled().GetDevice(i);
    expected +=
        std::to_string(i) + "\t" + std::to_string(device.DeviceId) + "\t" + device.Name + "\n";
  }
  EXPECT_EQ(bundled.out, expected);

  const std::string pumps = folder_.Write("Pumps.xml", kPumpDefinitions);
  const ProgramResult listed = RunCli({"devices", "--devices", pumps});
  EXPECT_EQ(listed.exitCode, 0) << listed.err;
  EXPECT_EQ(listed.out, "0\t7\tPump A\n1\t9\tPump B\n");
  EXPECT_EQ(listed.err, "");

  // A name cannot forge a column or a line of the listing.
  std::string forged = kPumpDefinitions;
  forged.replace(forged.find("Pump A"), 6, "Pump&#9;A&#10;1\\99&#27;");
  const ProgramResult escaped =
      RunCli({"devices", "--devices", folder_.Write("Forged.xml", forged)});
  EXPECT_EQ(escaped.exitCode, 0) << escaped.err;
  EXPECT_EQ(escaped.out, "0\t7\tPump\\tA\\n1\\\\99\\x1b\n1\t9\tPump B\n");
}

TEST_F(DravonikCliOffline, DefaultsWriteWhatAnOfflineEditSavesAndExports) {
  for (int i = 0; i < Bundled().Count(); ++i) {
    const model::TDevice& device = Bundled().GetDevice(i);
    SCOPED_TRACE(device.Name);
    const std::string csv = folder_.File("defaults.CSV");
    const std::string zsf = folder_.File("defaults.ZSF");
    const ProgramResult byId =
        RunCli({"defaults", "--device-id", std::to_string(device.DeviceId), "--out", csv});
    ASSERT_EQ(byId.exitCode, 0) << byId.err;
    const ProgramResult byName = RunCli({"defaults", "--device", device.Name, "--out", zsf});
    ASSERT_EQ(byName.exitCode, 0) << byName.err;
    EXPECT_EQ(byId.out + byId.err + byName.out + byName.err, "");

    model::TSettings& document = OpenBundled(i);
    const std::string ownCsv = folder_.File("own.csv");
    const std::string ownZsf = folder_.File("own.zsf");
    document.ExportCsv(ownCsv);
    document.SaveToFile(ownZsf);
    EXPECT_EQ(ReadFile(csv), ReadFile(ownCsv));
    EXPECT_EQ(ReadFile(zsf), ReadFile(ownZsf));

    // The settings file brings every value back into a document that holds others.
    for (auto& group : document.Groups) {
      for (auto& setting : group->Settings) {
        setting->SetValue(setting->Value() + 1);
      }
    }
    EXPECT_EQ(document.LoadFromFile(zsf), std::vector<std::string>());
    document.ExportCsv(ownCsv);
    EXPECT_EQ(ReadFile(ownCsv), ReadFile(csv));
  }

  // A name ending in ".csv" in any letter case is CSV; anything else a settings file.
  const std::string pumps = folder_.Write("Pumps.xml", kPumpDefinitions);
  for (const char* name : {"pump.csv", "pump.Csv"}) {
    const std::string out = folder_.File(name);
    ASSERT_EQ(RunCli({"defaults", "--devices", pumps, "--device", "Pump B", "--out", out}).exitCode,
              0);
    EXPECT_EQ(ReadFile(out), kPumpDefaultsCsv) << name;
  }
  const std::string notCsv = folder_.File("pump.csv.zsf");
  ASSERT_EQ(RunCli({"defaults", "--devices", pumps, "--device-id", "9", "--out", notCsv}).exitCode,
            0);
  pugi::xml_document saved;
  ASSERT_TRUE(saved.load_file(notCsv.c_str()));
  EXPECT_STREQ(saved.child("settings").child("device").attribute("name").value(), "Pump B");
}

TEST_F(DravonikCliOffline, ConvertLoadsTheSettingsFileOverTheDefaults) {
  const std::string pumps = folder_.Write("Pumps.xml", kPumpDefinitions);
  const std::string original = folder_.File("original.zsf");
  ASSERT_EQ(
      RunCli({"defaults", "--devices", pumps, "--device", "Pump A", "--out", original}).exitCode,
      0);

  // The installer's file: two values changed, the drop-down left at its default.
  pugi::xml_document edited;
  ASSERT_TRUE(edited.load_file(original.c_str()));
  for (const pugi::xpath_node& node : edited.select_nodes("//setting")) {
    pugi::xml_node setting = node.node();
    const std::string name = setting.attribute("name").value();
    if (name == "Speed") {
      setting.attribute("value") = 73;
    } else if (name == "Lock") {
      setting.attribute("value") = 1;
    }
  }
  const std::string in = folder_.File("edited.ZSF");
  ASSERT_TRUE(edited.save_file(in.c_str()));

  const std::string csv = folder_.File("converted.csv");
  const ProgramResult toCsv =
      RunCli({"convert", "--devices", pumps, "--device-id", "7", "--in", in, "--out", csv});
  ASSERT_EQ(toCsv.exitCode, 0) << toCsv.err;
  EXPECT_EQ(toCsv.err, "");
  EXPECT_EQ(ReadFile(csv), "Setting Name,Value\r\nSpeed,73 %\r\nStart,Soft\r\nLock,Enabled\r\n");

  // Converted to a settings file and back to CSV, nothing is lost.
  const std::string zsf = folder_.File("converted.zsf");
  ASSERT_EQ(RunCli({"convert", "--devices", pumps, "--device", "Pump A", "--in", in, "--out", zsf})
                .exitCode,
            0);
  const std::string again = folder_.File("again.csv");
  ASSERT_EQ(
      RunCli({"convert", "--devices", pumps, "--device", "Pump A", "--in", zsf, "--out", again})
          .exitCode,
      0);
  EXPECT_EQ(ReadFile(again), ReadFile(csv));
}

// A value the definitions forbid converts as it stands with one warning line per setting; a
// value no register can hold refuses the file.
TEST_F(DravonikCliOffline, ConvertWarnsOfValuesOutsideTheDefinitionsAndRefusesImpossibleOnes) {
  const std::string pumps = folder_.Write("Pumps.xml", kPumpDefinitions);
  const std::string original = folder_.File("original.zsf");
  ASSERT_EQ(
      RunCli({"defaults", "--devices", pumps, "--device", "Pump A", "--out", original}).exitCode,
      0);
  auto fileWith = [&](const std::map<std::string, int>& values) {
    pugi::xml_document edited;
    EXPECT_TRUE(edited.load_file(original.c_str()));
    for (const pugi::xpath_node& node : edited.select_nodes("//setting")) {
      const auto found = values.find(node.node().attribute("name").value());
      if (found != values.end()) {
        node.node().attribute("value") = found->second;
      }
    }
    const std::string in = folder_.File("edited.ZSF");
    EXPECT_TRUE(edited.save_file(in.c_str()));
    return in;
  };
  const std::string csv = folder_.File("out.csv");
  const ProgramResult warned = RunCli({"convert", "--devices", pumps, "--device-id", "7", "--in",
                                       fileWith({{"Speed", 150}, {"Start", 5}}), "--out", csv});
  ASSERT_EQ(warned.exitCode, 0) << warned.err;
  EXPECT_EQ(warned.err,
            "warning: Pump / Speed: 150, outside its limits 0 to 100\n"
            "warning: Pump / Start: 5, not one of its entries 0 (Soft), 1 (Hard)\n");
  EXPECT_EQ(ReadFile(csv), "Setting Name,Value\r\nSpeed,150 %\r\nStart,Soft\r\nLock,Disabled\r\n");

  const std::string refusedCsv = folder_.File("refused.csv");
  const ProgramResult refused = RunCli({"convert", "--devices", pumps, "--device-id", "7", "--in",
                                        fileWith({{"Lock", -3}}), "--out", refusedCsv});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_EQ(refused.err,
            "error: The settings file gives setting 'Pump / Lock' the value -3, which it cannot "
            "hold: it holds 0 (not ticked) or 1 (ticked).\n");
  EXPECT_FALSE(std::filesystem::exists(refusedCsv));
}

TEST_F(DravonikCliOffline, ErrorsExitOneWithTheMessageAndWriteNothing) {
  const std::string pumps = folder_.Write("Pumps.xml", kPumpDefinitions);
  const std::string pumpA = folder_.File("pump-a.zsf");
  ASSERT_EQ(RunCli({"defaults", "--devices", pumps, "--device", "Pump A", "--out", pumpA}).exitCode,
            0);
  const std::string notXml = folder_.Write("notes.zsf", "Speed = 73\n");
  const std::string missing = folder_.File("missing.zsf");
  // The second device names a settings element that does not exist.
  std::string brokenDefinitions = kPumpDefinitions;
  brokenDefinitions.replace(brokenDefinitions.rfind("settings_id=\"1\""), 15, "settings_id=\"5\"");
  const std::string broken = folder_.Write("Broken.xml", brokenDefinitions);
  const std::string out = folder_.File("out.csv");
  const std::string noFolder = folder_.File("no-such-folder/out.zsf");
  const std::string fifo = folder_.File("fifo.zsf");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // A default its register cannot hold would make a file no load takes.
  const std::string wideDefault = folder_.Write("Wide.xml", R"(<zsf>
  <settings settings_id="4"><group name="Fan" description="">
    <setting name="Speed" value_type="int" type="holding_register" register="10"
             min="0" max="100000" default="70000" value_text="%"/>
  </group></settings>
  <device name="Fan" device_id="7" live_status_id="0" settings_id="4"/>
</zsf>)");
  const std::string zsf = folder_.File("out.zsf");

  int32_t unknownId = 0;
  for (int i = 0; i < Bundled().Count(); ++i) {
    unknownId = std::max(unknownId, Bundled().GetDevice(i).DeviceId + 1);
  }
  model::TSettings& document = OpenBundled(0);

  struct TCase {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<TCase> cases = {
      {{"defaults", "--devices", pumps, "--device", "Pump", "--out", out},
       "Could not find device with name 'Pump' in the XML device definitions list"},
      {{"defaults", "--device-id", std::to_string(unknownId), "--out", out},
       Thrown([&] { Bundled().FindDevice(unknownId); })},
      {{"convert", "--devices", pumps, "--device", "Pump B", "--in", pumpA, "--out", out},
       "Device name is not ' Pump B.'\n"
       "This settings file has been created for a different type of device."},
      {{"convert", "--devices", pumps, "--device-id", "7", "--in", notXml, "--out", out},
       Thrown([&] { (void)document.LoadFromFile(notXml); })},
      {{"convert", "--devices", pumps, "--device-id", "7", "--in", missing, "--out", out},
       Thrown([&] { (void)document.LoadFromFile(missing); })},
      {{"defaults", "--devices", pumps, "--device-id", "7", "--out", noFolder},
       Thrown([&] { document.SaveToFile(noFolder); })},
      {{"convert", "--devices", pumps, "--device-id", "7", "--in", pumpA, "--out", noFolder},
       Thrown([&] { document.SaveToFile(noFolder); })},
      {{"devices", "--devices", broken}, "Could not find a settings node with id 5"},
      {{"defaults", "--devices", broken, "--device", "Pump A", "--out", out},
       "Could not find a settings node with id 5"},
      {{"devices", "--devices", missing}, "Could not find XML document : " + missing},
      // What is not a regular file would block the read (a FIFO) or never end (/dev/zero).
      {{"convert", "--devices", pumps, "--device-id", "7", "--in", fifo, "--out", out},
       "Cannot open file \"" + fifo + "\". Not a regular file"},
      {{"convert", "--devices", pumps, "--device-id", "7", "--in", "/dev/zero", "--out", out},
       "Cannot open file \"/dev/zero\". Not a regular file"},
      {{"defaults", "--devices", wideDefault, "--device", "Fan", "--out", zsf},
       "Setting 'Fan / Speed' holds 70000, which its register cannot hold (it holds -32768 to "
       "65535): a file with it would not load, so \"" +
           zsf +
           "\" was not written. A factory default of the device definitions may be at fault "
           "(dravonik-cli check lists them)."},
  };
  const std::set<std::string> before = FilesIn(folder_.Path());
  for (const TCase& test : cases) {
    SCOPED_TRACE(testing::PrintToString(test.args));
    ASSERT_NE(test.message, "(nothing thrown)");
    const ProgramResult result = RunCli(test.args);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "error: " + test.message + "\n");
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(FilesIn(folder_.Path()), before);
  }

  const ProgramResult diff = RunCli({"diff", "--devices", pumps, "--device-id", "7", fifo, pumpA});
  EXPECT_EQ(diff.exitCode, 2);
  EXPECT_NE(diff.err.find("Not a regular file"), std::string::npos) << diff.err;

  // A failed convert leaves an earlier output file as it was.
  folder_.Write("out.csv", "earlier");
  EXPECT_EQ(
      RunCli({"convert", "--devices", pumps, "--device", "Pump B", "--in", pumpA, "--out", out})
          .exitCode,
      1);
  EXPECT_EQ(ReadFile(out), "earlier");
}

// An escape (ESC) or a C1 control (U+009B, which terminals also take as one) quoted from a
// file name or a file's text reaches the terminal as its bytes in hex.
TEST_F(DravonikCliOffline, MessagesQuoteControlCharactersEscaped) {
  const std::string controls =
      "\x1b[2J\xc2\x9b"
      "31m";
  const std::string escaped = "\\x1b[2J\\xc2\\x9b31m";
  const std::string missing = folder_.File("unit" + controls + ".zsf");
  const ProgramResult open =
      RunCli({"convert", "--device-id", "3", "--in", missing, "--out", folder_.File("out.zsf")});
  EXPECT_EQ(open.exitCode, 1);
  EXPECT_NE(open.err.find("unit" + escaped + ".zsf"), std::string::npos) << open.err;
  // The definitions' name of the device type, quoted when a settings file is for another.
  std::string definitions = kPumpDefinitions;
  definitions.replace(definitions.find("Pump B"), 6, "Pump B" + controls);
  const std::string pumps = folder_.Write("Pumps.xml", definitions);
  const std::string pumpA = folder_.File("pump-a.zsf");
  ASSERT_EQ(RunCli({"defaults", "--devices", pumps, "--device-id", "7", "--out", pumpA}).exitCode,
            0);
  const ProgramResult other = RunCli({"convert", "--devices", pumps, "--device-id", "9", "--in",
                                      pumpA, "--out", folder_.File("out.zsf")});
  EXPECT_EQ(other.exitCode, 1);
  EXPECT_NE(other.err.find("Device name is not ' Pump B" + escaped + ".'"), std::string::npos)
      << other.err;
}

TEST_F(DravonikCliOffline, UsageErrorsExitTwo) {
  const std::string pumps = folder_.Write("Pumps.xml", kPumpDefinitions);
  const std::string out = folder_.File("out.zsf");
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"defaults", "--devices", pumps, "--out", out},
           {"defaults", "--devices", pumps, "--device", "Pump A", "--device-id", "7", "--out", out},
           {"defaults", "--devices", pumps, "--device", "Pump A"},
           {"defaults", "--devices", pumps, "--device-id", "seven", "--out", out},
           {"defaults", "--devices", pumps, "--device-id", "4294967303", "--out", out},
           {"defaults", "--devices", pumps, "--device", "Pump A", "--in", pumps, "--out", out},
           {"convert", "--devices", pumps, "--device", "Pump A", "--out", out},
           {"convert", "--devices", pumps, "--device", "Pump A", "--in"},
           {"devices", "--devices", pumps, "--out", out},
           {"devices", "--port", "/dev/null"},
           {"devices", pumps},
       }) {
    const ProgramResult result = RunCli(args);
    EXPECT_EQ(result.exitCode, 2) << testing::PrintToString(args);
    // One line of what is wrong, then where to look.
    EXPECT_EQ(result.err.rfind("dravonik-cli: ", 0), 0u) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.rfind("\nTry 'dravonik-cli --help'.\n"))
        << result.err;
    EXPECT_EQ(result.out, "");
  }
  EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
