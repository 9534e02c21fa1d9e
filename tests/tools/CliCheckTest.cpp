// dravonik-cli check: what a definitions file loads but cannot be right, listed with the
// line of the element, one small hostile definitions file per kind of finding.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"

namespace {

// The line of the definitions that holds the text (which must occur once), counted from 1.
long LineOf(const std::string& xml, const std::string& text) {
  const std::size_t at = xml.find(text);
  EXPECT_NE(at, std::string::npos) << text;
  EXPECT_EQ(xml.find(text, at + 1), std::string::npos) << text << " is not unique";
  long line = 1;
  for (std::size_t i = 0; i < at && i < xml.size(); ++i) {
    line += xml[i] == '\n' ? 1 : 0;
  }
  return line;
}

// A definitions file of one device type "D" whose settings element holds the groups given.
std::string OneDevice(const std::string& groups) {
  return R"(<?xml version="1.0"?>
<zsf>
  <device name="D" device_id="1" live_status_id="0" settings_id="1"/>
  <settings settings_id="1">
)" + groups +
         R"(  </settings>
</zsf>
)";
}

class CliCheck : public testing::Test {
 protected:
  // Writes the definitions and runs the check on them.
  ProgramResult Check(const std::string& xml) {
    path_ = folder_.Write("Devices.xml", xml);
    xml_ = xml;
    return RunCli({"check", "--devices", path_});
  }

  // The listing line for the element on the line that holds `anchor`.
  std::string At(const std::string& anchor, const std::string& text) const {
    return path_ + ":" + std::to_string(LineOf(xml_, anchor)) + ": " + text + "\n";
  }

  testsupport::TTempDir folder_;
  std::string path_;
  std::string xml_;
};

TEST_F(CliCheck, TheBundledDefinitionsAreClean) {
  const ProgramResult result = RunCli({"check"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
}

TEST_F(CliCheck, ACleanFileListsNothing) {
  const ProgramResult result = Check(OneDevice(R"(
    <group name="G" description="">
      <setting name="Speed" value_type="int" type="holding_register" register="10"
               min="-5" max="100" default="-5" value_text="%" value_offset="5"/>
      <setting name="Lock" value_type="checkbox" type="coil" register="26" default="checked"/>
      <setting name="Status" value_type="label" type="input_register" register="27" default="0"/>
      <setting name="Mode" value_type="drop_down" type="holding_register" register="11" bitmask="12">
        <ddvalue name="A" value="0"/><ddvalue name="B" value="3" default="true"/>
      </setting>
    </group>
)"));
  EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
  EXPECT_EQ(result.out, "");
}

TEST_F(CliCheck, SettingsOnTheWriteMarkerOrTheDeviceTypeRegisterAreListed) {
  const ProgramResult result = Check(OneDevice(R"(
    <group name="Main" description="">
      <setting name="Marker" value_type="int" type="holding_register" register="26"
               min="0" max="1" default="0" value_text=""/>
      <setting name="Type" value_type="label" type="holding_register" register="27" default="0"/>
      <setting name="Site" value_type="name" type="holding_register" register="20" NumOfRegisters="8"/>
      <setting name="Clock" value_type="time" type="holding_register" register="25"
               default_hrs="7" default_mins="0" value_text=""/>
    </group>
    <group name="Group" description="">
      <setting name="Step" value_type="int" type="holding_register" register="20" offset="1"
               min="0" max="9" default="1" value_text=""/>
    </group>
)"));
  EXPECT_EQ(result.exitCode, 1) << result.err;
  const std::string marker = ", the write marker (the tool writes 123 to it after every write)";
  const std::string type = ", where the device reports its type";
  EXPECT_EQ(result.out,
            At("\"Marker\"",
               "setting \"Marker\" in group \"Main\" of device \"D\": on holding "
               "register reference 27" +
                   marker) +
                At("\"Type\"",
                   "setting \"Type\" in group \"Main\" of device \"D\": on holding "
                   "register reference 28" +
                       type) +
                At("\"Site\"",
                   "setting \"Site\" in group \"Main\" of device \"D\": on holding "
                   "register reference 27" +
                       marker) +
                At("\"Site\"",
                   "setting \"Site\" in group \"Main\" of device \"D\": on holding "
                   "register reference 28" +
                       type) +
                At("\"Clock\"",
                   "setting \"Clock\" in group \"Main\" of device \"D\": on holding "
                   "register reference 27" +
                       marker) +
                // Instance n of an R12 setting uses register + offset * n: groups 7 and 8 of the
                // first R12 land on 27 and 28.
                At("\"Step\"",
                   "setting \"Step\" in group \"Group\" of device \"D\" (R12 1, group 7): "
                   "on holding register reference 27" +
                       marker) +
                At("\"Step\"",
                   "setting \"Step\" in group \"Group\" of device \"D\" (R12 1, group 8): "
                   "on holding register reference 28" +
                       type));
}

TEST_F(CliCheck, RepeatedIdsAreListedAtTheElementThatLoses) {
  const std::string xml = R"(<?xml version="1.0"?>
<zsf>
  <device name="First" device_id="4" live_status_id="0" settings_id="10"/>
  <settings settings_id="10">
    <group name="G" description=""/>
  </settings>
  <device name="Second" device_id="+4" live_status_id="0" settings_id="10"/>
  <settings settings_id="010">
    <group name="Never" description=""/>
  </settings>
</zsf>
)";
  const ProgramResult result = Check(xml);
  EXPECT_EQ(result.exitCode, 1) << result.err;
  EXPECT_EQ(result.out, At("\"Second\"",
                           "device \"Second\": device_id 4 repeats that of device \"First\" "
                           "(line 3); the first wins: a device reporting 4 is taken for "
                           "\"First\"") +
                            At("settings_id=\"010\"",
                               "settings 10: settings_id repeats that of line 4; the "
                               "first wins: this settings element is never used"));
}

TEST_F(CliCheck, AFileWithoutDevicesIsListed) {
  const ProgramResult result = Check("<zsf>\n  <settings settings_id=\"1\"/>\n</zsf>\n");
  EXPECT_EQ(result.exitCode, 1) << result.err;
  EXPECT_EQ(result.out, path_ + ":1: no device elements: the file describes no device type\n");
}

TEST_F(CliCheck, LimitsAndDefaultsThatContradictEachOtherAreListed) {
  const ProgramResult result = Check(OneDevice(R"(
    <group name="Units" description="">
      <setting name="Display Units" value_type="drop_down" type="holding_register" register="1" units="p">
        <ddvalue name="Pa" value="0" default="true"/><ddvalue name="ins Wg" value="1"/>
      </setting>
      <setting name="Backwards" value_type="int" type="holding_register" register="30"
               min="10" max="5" default="7" value_text=""/>
      <setting name="Outside" value_type="int" type="holding_register" register="31"
               min="0" max="5" default="6" value_text=""/>
      <setting name="Negative Pa" value_type="units" type="holding_register" register="32"
               min="32818" max="49202" default="32784"/>
      <setting name="Crossed Pa" value_type="units" type="holding_register" register="33"
               min="49162" max="32773" default="49152"/>
      <setting name="Address" value_type="4PartID" type="holding_register" register="34"
               min="0" max="100" default="3232235786" value_text=""/>
      <setting name="Start" value_type="time" type="holding_register" register="40"
               default_hrs="-1" default_mins="30" value_text=""/>
    </group>
)"));
  EXPECT_EQ(result.exitCode, 1) << result.err;
  // -16 Pa lies within -50 Pa to +50 Pa although its word is below the minimum's.
  EXPECT_EQ(result.out,
            At("\"Backwards\"",
               "setting \"Backwards\" in group \"Units\" of device \"D\": min 10 is above max 5") +
                At("\"Outside\"",
                   "setting \"Outside\" in group \"Units\" of device \"D\": "
                   "default 6 is outside min 0 to max 5") +
                At("\"Crossed Pa\"",
                   "setting \"Crossed Pa\" in group \"Units\" of device \"D\": "
                   "min 49162 (10.00 Pa) is above max 32773 (-5.00 Pa)") +
                At("\"Address\"",
                   "setting \"Address\" in group \"Units\" of device \"D\": "
                   "default 3232235786 (192.168.1.10) has part 192 outside min 0 "
                   "to max 100") +
                At("\"Start\"",
                   "setting \"Start\" in group \"Units\" of device \"D\": default "
                   "time -1:30 is neither a time of day (0:00 to 23:59) nor off"));
}

TEST_F(CliCheck, DefaultsTheirRegisterCannotHoldAreListed) {
  const ProgramResult result = Check(OneDevice(R"(
    <group name="Words" description="">
      <setting name="Big" value_type="int" type="holding_register" register="30"
               min="0" max="70000" default="70000" value_text=""/>
      <setting name="Shifted" value_type="int" type="holding_register" register="31" value_offset="50"
               min="0" max="65535" default="65500" value_text=""/>
      <setting name="Unsigned" value_type="int" type="holding_register" register="32"
               min="0" max="50000" default="40000" value_text=""/>
      <setting name="Field" value_type="int" type="holding_register" register="33" bitmask="3"
               min="0" max="7" default="5" value_text=""/>
      <setting name="Box" value_type="checkbox" type="holding_register" register="34"
               default="unchecked" unchecked_value="5"/>
      <setting name="Pair" value_type="checkbox" type="holding_register" register="35"
               default="checked" unchecked_value="0" checked_value="70000"/>
      <setting name="Word" value_type="units" type="holding_register" register="36"
               min="49152" max="50152" default="49232"/>
    </group>
)"));
  EXPECT_EQ(result.exitCode, 1) << result.err;
  // A unit-converted setting keeps a word: 49232 is whole 80 Pa, not -16304.
  EXPECT_EQ(result.out,
            At("\"Big\"",
               "setting \"Big\" in group \"Words\" of device \"D\": default 70000 is "
               "outside 16 bits") +
                At("\"Shifted\"",
                   "setting \"Shifted\" in group \"Words\" of device \"D\": "
                   "default 65500 plus value_offset 50 makes 65550, outside 16 "
                   "bits") +
                At("\"Unsigned\"",
                   "setting \"Unsigned\" in group \"Words\" of device \"D\": "
                   "default 40000 reads back from its register as -25536") +
                At("\"Field\"",
                   "setting \"Field\" in group \"Words\" of device \"D\": default 5 "
                   "does not fit bitmask 0x0003: it reads back as 1") +
                At("\"Box\"",
                   "setting \"Box\" in group \"Words\" of device \"D\": default "
                   "(unchecked) stores unchecked_value 5, which reads back as checked") +
                At("\"Pair\"",
                   "setting \"Pair\" in group \"Words\" of device \"D\": default "
                   "(checked) stores checked_value 70000, outside 16 bits"));
}

TEST_F(CliCheck, DropDownsWithoutOneClearDefaultEntryAreListed) {
  const ProgramResult result = Check(OneDevice(R"(
    <group name="Lists" description="">
      <setting name="None" value_type="drop_down" type="holding_register" register="30">
        <ddvalue name="One" value="1"/>
        <ddvalue name="Two" value="2" default="True"/>
      </setting>
      <setting name="Zero" value_type="drop_down" type="holding_register" register="31">
        <ddvalue name="Off" value="0"/><ddvalue name="On" value="1"/>
      </setting>
      <setting name="Twice" value_type="drop_down" type="holding_register" register="32">
        <ddvalue name="Low" value="1" default="true"/>
        <ddvalue name="High" value="2" default="true"/>
      </setting>
    </group>
)"));
  EXPECT_EQ(result.exitCode, 1) << result.err;
  // Without a marked entry the default is 0: no entry of the first list, "Off" of the second.
  EXPECT_EQ(result.out, At("\"None\"",
                           "setting \"None\" in group \"Lists\" of device \"D\": no entry is "
                           "marked default=\"true\"; the default is 0, which matches none of "
                           "its entries") +
                            At("\"Two\"",
                               "setting \"None\" in group \"Lists\" of device \"D\": entry \"Two\" "
                               "has default=\"True\", which does not count: only \"true\" marks "
                               "the default entry") +
                            At("\"Zero\"",
                               "setting \"Zero\" in group \"Lists\" of device \"D\": no entry "
                               "is marked default=\"true\"; the default is 0, entry \"Off\"") +
                            At("\"High\"",
                               "setting \"Twice\" in group \"Lists\" of device \"D\": entry "
                               "\"High\" is marked default=\"true\" after entry \"Low\" (line " +
                                   std::to_string(LineOf(xml_, "\"Low\"")) + "); the last wins"));
}

TEST_F(CliCheck, GroupsAndSettingsTheLoaderSkipsAreListed) {
  const std::string xml = R"(<?xml version="1.0"?>
<zsf>
  <device name="D" device_id="1" live_status_id="0" settings_id="1"/>
  <group name="Stray" description=""/>
  <settings settings_id="1">
    <setting name="Loose" value_type="int" type="holding_register" register="5"
             min="0" max="1" default="0" value_text=""/>
    <group name="Outer" description="">
      <group name="Inner" description="">
        <setting name="Lost" value_type="int" type="holding_register" register="50"
                 min="0" max="1" default="0" value_text=""/>
      </group>
    </group>
  </settings>
  <settings settings_id="2">
    <setting name="Unused" value_type="int" type="holding_register" register="5"
             min="0" max="1" default="0" value_text=""/>
  </settings>
</zsf>
)";
  const ProgramResult result = Check(xml);
  EXPECT_EQ(result.exitCode, 1) << result.err;
  // A settings element no device uses is not read at all, by design.
  EXPECT_EQ(result.out, At("\"Stray\"",
                           "group \"Stray\" outside any settings element: the "
                           "loader skips it and all it holds") +
                            At("\"Loose\"",
                               "setting \"Loose\" outside any group of device \"D\": "
                               "the loader skips it") +
                            At("\"Inner\"",
                               "group \"Inner\" inside group \"Outer\" of device "
                               "\"D\": the loader skips it and all it holds"));
}

TEST_F(CliCheck, DefaultsThatBreakAnExclusionGroupAreListed) {
  const ProgramResult result = Check(OneDevice(R"(
    <group name="Inputs" description="">
      <setting name="In 1" value_type="drop_down" type="holding_register" register="40"
               exclusiongroup="1" excludeallowed="0">
        <ddvalue name="None" value="0"/><ddvalue name="Fire" value="1" default="true"/>
      </setting>
      <setting name="Spare 1" value_type="drop_down" type="holding_register" register="41"
               exclusiongroup="1" excludeallowed="0">
        <ddvalue name="None" value="0" default="true"/><ddvalue name="Fire" value="1"/>
      </setting>
    </group>
    <group name="More Inputs" description="">
      <setting name="In 2" value_type="drop_down" type="holding_register" register="42"
               exclusiongroup="1" excludeallowed="0">
        <ddvalue name="None" value="0"/><ddvalue name="Fire" value="1" default="true"/>
      </setting>
      <setting name="Spare 2" value_type="drop_down" type="holding_register" register="43"
               exclusiongroup="1" excludeallowed="0">
        <ddvalue name="None" value="0" default="true"/><ddvalue name="Fire" value="1"/>
      </setting>
    </group>
)"));
  EXPECT_EQ(result.exitCode, 1) << result.err;
  // The two spares share 0, the value the group allows to repeat; a broken group and value
  // is one finding.
  EXPECT_EQ(result.out, At("\"In 1\"",
                           "setting \"In 1\" in group \"Inputs\" of device \"D\": default 1 "
                           "breaks exclusion group 1: it is also the default of \"In 2\" (line " +
                               std::to_string(LineOf(xml_, "\"In 2\"")) + ")"));

  // However many share it, the finding is one line with their count.
  std::string many = R"(<group name="Inputs" description="">)";
  for (int i = 0; i < 2000; ++i) {
    many += R"(<setting name="In )" + std::to_string(i) +
            R"(" value_type="int" type="holding_register" register=")" + std::to_string(100 + i) +
            R"(" min="0" max="9" default="1" value_text="" exclusiongroup="2"/>)";
  }
  const ProgramResult large = Check(OneDevice(many + "</group>"));
  EXPECT_EQ(large.exitCode, 1) << large.err;
  EXPECT_EQ(std::count(large.out.begin(), large.out.end(), '\n'), 1) << large.out.substr(0, 500);
  EXPECT_NE(large.out.find("default 1 breaks exclusion group 2: it is also the default of 1999 "
                           "others: \"In 1\" (line "),
            std::string::npos)
      << large.out.substr(0, 500);
  EXPECT_NE(large.out.find(" and 1996 more\n"), std::string::npos) << large.out.substr(0, 500);
}

// Elements nested a million deep (deeper than any stack would take a recursion over them).
TEST_F(CliCheck, AGroupAMillionElementsDeepIsFound) {
  constexpr int kDepth = 1000000;
  std::string nested;
  nested.reserve(7 * kDepth + 64);
  for (int i = 0; i < kDepth; ++i) {
    nested += "<x>";
  }
  nested += "<group name=\"Deep\"/>";
  for (int i = 0; i < kDepth; ++i) {
    nested += "</x>";
  }
  const ProgramResult result = Check(OneDevice("    " + nested + "\n"));
  EXPECT_EQ(result.exitCode, 1) << result.err;
  EXPECT_EQ(result.out, At("<group name=\"Deep\"/>",
                           "group \"Deep\" outside any group of device "
                           "\"D\": the loader skips it and all it holds"));
}

TEST_F(CliCheck, UsageErrorsExitTwoAndAFileThatDoesNotLoadExitsOne) {
  EXPECT_EQ(RunCli({"check", "extra"}).exitCode, 2);
  EXPECT_EQ(RunCli({"check", "--device-id", "1"}).exitCode, 2);
  EXPECT_EQ(RunCli({"check", "--devices"}).exitCode, 2);

  const ProgramResult missing = RunCli({"check", "--devices", folder_.File("missing.xml")});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err,
            "error: Could not find XML document : " + folder_.File("missing.xml") + "\n");

  const ProgramResult broken = Check(OneDevice(R"(
    <group name="G" description="">
      <setting name="S" value_type="slider" type="holding_register" register="1"/>
    </group>
)"));
  EXPECT_EQ(broken.exitCode, 1);
  EXPECT_EQ(broken.out, "");
  EXPECT_EQ(broken.err, "error: Unknown setting type slider\n");
}

TEST_F(CliCheck, LinesAreThoseOfTheFileInUtf16AndNamesAreEscaped) {
  // The file in UTF-16 with its byte order mark: the parser counts in its own UTF-8 copy.
  const std::string xml = OneDevice(R"(
    <group name="Escape&#x1b;Group" description="">
      <setting name="Marker" value_type="int" type="holding_register" register="26"
               min="0" max="1" default="0" value_text=""/>
    </group>
)");
  std::string wide = "\xFF\xFE";
  for (const char c : xml) {
    wide += c;
    wide += '\0';
  }
  path_ = folder_.Write("Wide.xml", wide);
  xml_ = xml;
  const ProgramResult result = RunCli({"check", "--devices", path_});
  EXPECT_EQ(result.exitCode, 1) << result.err;
  EXPECT_EQ(result.out, At("\"Marker\"",
                           "setting \"Marker\" in group \"Escape\\x1bGroup\" of device "
                           "\"D\": on holding register reference 27, the write "
                           "marker (the tool writes 123 to it after every write)"));
}

}  // namespace
