#include <gtest/gtest.h>

#include "model/Setting_checkbox.h"
#include "model/Setting_dropdown.h"
#include "model/Setting_int.h"
#include "model/Setting_sectionlabel.h"
#include "tests/model/ModelFixture.h"
#include "tests/support/Shortest.h"

namespace model {
namespace {

// One ordinary group, the R12 template, one more ordinary group.
const std::string kR12Definitions = ModelFixture::OneDevice(R"(
  <group name="System" description="General">
    <setting name="Mode" value_type="drop_down" register="0" type="holding_register">
      <ddvalue name="Off" value="0"/><ddvalue name="On" value="1"/>
      <ddvalue name="Auto" value="2" default="true"/>
    </setting>
  </group>
  <group name="Group" description="ignored for the expansion">
    <setting name="Delay" value_type="int" register="1000" offset="2" type="holding_register"
             min="0" max="600" default="30" value_text="s"/>
    <setting name="Enable" value_type="checkbox" register="100" offset="1" type="coil"
             default="checked"/>
  </group>
  <group name="Alarms" description="Alarm limits">
    <setting name="Alarm delay" value_type="int" register="80" type="holding_register"
             min="0" max="99" default="5" value_text="min"/>
  </group>)");

class SettingsTest : public ModelFixture {};

TEST_F(SettingsTest, TheR12TemplateExpandsIntoThirtyGroupsInPlace) {
  TSettings& document = Load(kR12Definitions);
  ASSERT_EQ(document.Groups.size(), 32u);
  std::vector<std::string> names;
  for (const auto& group : document.Groups) {
    names.push_back(group->Name);
  }
  EXPECT_EQ(names[0], "System");
  EXPECT_EQ(names[1], "R12 1");
  EXPECT_EQ(names[2], "Groups 1 to 10");
  EXPECT_EQ(names[6], "Groups 41 to 50");
  EXPECT_EQ(names[7], "R12 2");
  EXPECT_EQ(names[8], "Groups 1 to 10");
  EXPECT_EQ(names[25], "R12 5");
  EXPECT_EQ(names[31], "Alarms");

  const int32_t firstId = document.Groups[0]->Id;
  for (size_t i = 0; i < document.Groups.size(); ++i) {
    EXPECT_EQ(document.Groups[i]->Id, firstId + static_cast<int32_t>(i)) << i;
  }

  const TGroup& template2 = *document.Groups[7];
  EXPECT_TRUE(template2.IsTemplate);
  EXPECT_FALSE(template2.IsSubgroup);
  EXPECT_EQ(template2.ControllerNumber, 2);
  EXPECT_EQ(template2.Description, "Group Template");
  ASSERT_EQ(template2.Count(), 3);
  EXPECT_EQ(template2.Settings[0]->Name(), "Template Group");
  EXPECT_TRUE(template2.Settings[1]->IsTemplate());

  const TGroup& range = *document.Groups[9];  // R12 2, groups 11 to 20
  EXPECT_TRUE(range.IsTenfold);
  EXPECT_TRUE(range.IsSubgroup);
  EXPECT_FALSE(range.IsTemplate);
  EXPECT_EQ(range.ControllerNumber, 2);
  EXPECT_EQ(range.FirstGroupNumber, 11);
  EXPECT_EQ(range.Description, "Groups on R12 2");
  ASSERT_EQ(range.Count(), 30);
  for (int instance = 0; instance < 10; ++instance) {
    const auto& label = range.Settings[static_cast<size_t>(3 * instance)];
    EXPECT_NE(dynamic_cast<TSettingSectionLabel*>(label.get()), nullptr);
    EXPECT_EQ(label->Name(), "Group " + std::to_string(11 + instance));
    const TSetting& delay = *range.Settings[static_cast<size_t>(3 * instance + 1)];
    EXPECT_EQ(delay.InstanceIndex(), 60 + instance);
    EXPECT_EQ(delay.Reference(), 1001 + 2 * (60 + instance));
    const TSetting& enable = *range.Settings[static_cast<size_t>(3 * instance + 2)];
    EXPECT_EQ(enable.Reference(), 101 + 60 + instance);
  }
  // Template settings are built with controller 0: instance index -50.
  EXPECT_EQ(template2.Settings[1]->InstanceIndex(), -50);
  EXPECT_EQ(template2.Settings[1]->Reference(), 1001 - 100);
}

TEST_F(SettingsTest, TemplateSettingsStayOutOfTheStore) {
  TSettings& document = LoadOffline(kR12Definitions);
  // 1 + 250 R12 instances + 1 holding registers; 250 coils.
  EXPECT_EQ(store_.RegisterCount(), 1 + 250 + 1 + 250);
  EXPECT_FALSE(store_.IsHoldingRegisterRegistered(901));
  EXPECT_TRUE(store_.IsHoldingRegisterRegistered(1001));            // R12 1 group 1
  EXPECT_TRUE(store_.IsHoldingRegisterRegistered(1001 + 2 * 249));  // R12 5 group 50
  EXPECT_EQ(Holding(1001 + 2 * 249), 30);
  EXPECT_TRUE(store_.GetCoil(101 + 249));
  // A template setting ignores read requests.
  TSetting& templateDelay = *document.Groups[1]->Settings[1];
  templateDelay.RequestRead();
  EXPECT_EQ(templateDelay.PendingCount(), 0);
}

TEST_F(SettingsTest, SettingsFilesRoundTripInOneRun) {
  TSettings& document = LoadOffline(kR12Definitions);
  TSetting& delay = *document.Groups[9]->Settings[4];  // R12 2 group 12
  delay.SetValue(123);
  delay.StoreValue();
  const std::string path = folder_.File("saved.ZSF");
  document.SaveToFile(path);

  document.RestoreFactoryDefaults();
  EXPECT_EQ(delay.Value(), 30);
  EXPECT_EQ(document.LoadFromFile(path), std::vector<std::string>());
  EXPECT_EQ(delay.Value(), 123);
  EXPECT_EQ(Holding(delay.Reference()), 123);
  EXPECT_TRUE(delay.Changed());

  const std::string text = testsupport::ReadFile(path);
  EXPECT_EQ(
      text.rfind("<?xml version=\"1.0\"?>\n<settings>\n  <device name=\"Unit\" device_id=\"1\">\n",
                 0),
      0u)
      << text.substr(0, 200);
  // Each template group writes its setting with its template reference.
  EXPECT_NE(text.find("<setting name=\"Delay\" ID=\"" +
                      std::to_string(document.Groups[1]->Settings[1]->Id()) +
                      "\" value=\"30\" register=\"900\" />"),
            std::string::npos);
}

TEST_F(SettingsTest, SmallDocumentFilesMatchTheirGoldenText) {
  TSettings& document = LoadOffline(OneDevice(R"(
    <group name="Fans" description="Fan set-up">
      <setting name="Fan count" value_type="int" register="50" type="holding_register"
               min="1" max="8" default="2" value_text="fans" value_offset="-1"/>
      <setting name="Start" value_type="drop_down" register="51" type="holding_register">
        <ddvalue name="Soft" value="0"/><ddvalue name="Hard, fast" value="1" default="true"/>
      </setting>
    </group>
    <group name="Relays" description="">
      <setting name="Relay 1" value_type="checkbox" register="3" type="coil" default="unchecked"/>
    </group>)"));
  const std::string g0 = std::to_string(document.Groups[0]->Id);
  const std::string g1 = std::to_string(document.Groups[1]->Id);
  const int32_t s = document.Groups[0]->Settings[0]->Id();
  auto id = [s](int n) { return std::to_string(s + n); };

  const std::string zsf = folder_.File("golden.ZSF");
  document.SaveToFile(zsf);
  EXPECT_EQ(testsupport::ReadFile(zsf),
            "<?xml version=\"1.0\"?>\n"
            "<settings>\n"
            "  <device name=\"Unit\" device_id=\"1\">\n"
            "    <group name=\"Fans\" ID=\"" +
                g0 +
                "\">\n"
                "      <setting name=\"Fan count\" ID=\"" +
                id(0) +
                "\" value=\"2\" register=\"50\" />\n"
                "      <setting name=\"Start\" ID=\"" +
                id(1) +
                "\" value=\"1\" register=\"51\" />\n"
                "    </group>\n"
                "    <group name=\"Relays\" ID=\"" +
                g1 +
                "\">\n"
                "      <setting name=\"Relay 1\" ID=\"" +
                id(2) +
                "\" value=\"0\" register=\"3\" />\n"
                "    </group>\n"
                "  </device>\n"
                "</settings>\n");

  const std::string csv = folder_.File("golden.csv");
  document.ExportCsv(csv);
  EXPECT_EQ(testsupport::ReadFile(csv),
            "Setting Name,Value\r\n"
            "Fan count,2 fans\r\n"
            "Start,Hard, fast\r\n"
            "Relay 1,Disabled\r\n");
  // The fan count is held less one.
  EXPECT_EQ(Holding(51), 1);
}

TEST_F(SettingsTest, TheFirstSettingOfARunLoadsBesideTheSectionLabels) {
  // Section labels carry ID 0 in files, as does the first setting loaded in
  // a run; when that setting sits in an R12 group both share one element.
  TSettings& document = LoadOffline(kR12Definitions);
  TGroup& range = *document.Groups[2];
  TSetting& delay = *range.Settings[1];
  // Loaded again as the first setting of a run, the setting takes ID 0.
  document.Set().NextSettingId = 0;
  delay.LoadDefinition(delay.Definition());
  delay.SetValue(77);
  const std::string path = folder_.File("first.ZSF");
  document.SaveToFile(path);
  delay.SetValue(30);
  EXPECT_EQ(document.LoadFromFile(path), std::vector<std::string>());
  EXPECT_EQ(delay.Value(), 77);
  EXPECT_EQ(range.Settings[0]->Name(), "Group 1");
}

TEST_F(SettingsTest, ThousandsOfGroupsLoad) {
  std::string groups;
  for (int i = 0; i < 3000; ++i) {
    groups += "<group name=\"G" + std::to_string(i) + "\" description=\"\"><setting name=\"S" +
              std::to_string(i) + "\" value_type=\"checkbox\" register=\"" + std::to_string(i) +
              "\" type=\"coil\" default=\"checked\"/></group>";
  }
  TSettings& document = LoadOffline(OneDevice(groups));
  EXPECT_EQ(document.Groups.size(), 3000u);
  EXPECT_EQ(store_.RegisterCount(), 3000);
  EXPECT_TRUE(store_.GetCoil(3000));
}

TEST_F(SettingsTest, AnEmptyDocumentExportsTheHeaderOnly) {
  TSettings& document = Load(OneDevice(""));
  const std::string csv = folder_.File("empty.csv");
  document.ExportCsv(csv);
  EXPECT_EQ(testsupport::ReadFile(csv), "Setting Name,Value\r\n");
}

TEST_F(SettingsTest, RefusedSettingsFilesSayWhy) {
  TSettings& document = LoadOffline(kR12Definitions);
  auto load = [&](const std::string& text) {
    return Thrown([&] { (void)document.LoadFromFile(folder_.Write("in.ZSF", text)); });
  };
  EXPECT_EQ(load("<other/>"), "Could not find root node 'settings' in XML document");
  EXPECT_EQ(load("<settings><group/></settings>"), "Could not find node 'device' in XML document");
  EXPECT_EQ(load("<settings><device name=\"Other\" device_id=\"1\"/></settings>"),
            "Device name is not ' Unit.'\nThis settings file has been created for a different "
            "type of device.");
  EXPECT_EQ(load("<settings><device name=\"Unit\" device_id=\"2\"/></settings>"),
            "Device id is not ' 1'");
  EXPECT_EQ(load("<settings><device name=\"Unit\" device_id=\"x1\"/></settings>"),
            "'x1' is not a valid integer value");
  EXPECT_EQ(load("<settings><device name=\"Unit\" device_id=\"1\"/></settings>"),
            "Could not find settings group 'System' in the XML document");
  EXPECT_EQ(load("<settings><device name=\"Unit\" device_id=\"1\"><group name=\"System\" ID=\"" +
                 std::to_string(document.Groups[0]->Id) + "\"/></device></settings>"),
            "Could not find a value for setting 'Mode' in the XML document");
  EXPECT_EQ(load("<settings><device"), "Error reading XML document " + folder_.File("in.ZSF") +
                                           ": Error parsing start element tag at byte offset 16");
}

// A refused file changes nothing: a Write after the error box must not send a mix of the
// file's values and the ones before it.
TEST_F(SettingsTest, ARefusedFileChangesNothing) {
  TSettings& document = LoadOffline(kR12Definitions);
  const std::string system = std::to_string(document.Groups[0]->Id);
  const std::string mode = std::to_string(document.Groups[0]->Settings[0]->Id());
  // The second device element is the one read; of two settings with one
  // ID the first counts; the R12 groups are missing.
  const std::string file =
      folder_.Write("partial.ZSF",
                    "<settings><device name=\"Nobody\"/><device name=\"Unit\" device_id=\"1\">"
                    "<group ID=\"" +
                        system + "\"><setting ID=\"" + mode + "\" value=\"1\"/><setting ID=\"" +
                        mode + "\" value=\"0\"/></group></device></settings>");
  EXPECT_EQ(Thrown([&] { (void)document.LoadFromFile(file); }),
            "Could not find settings group 'R12 1' in the XML document");
  EXPECT_EQ(document.Groups[0]->Settings[0]->Value(), 2);
  EXPECT_EQ(Holding(1), 2);
}

// The definitions a file was written with, and the same device type in later definitions: a
// device type added before it (every id after it shifts) and two settings that changed places.
const std::string kWrittenWith = R"(<zsf><settings settings_id="1">
  <group name="Group" description="">
    <setting name="Delay" value_type="int" register="1000" offset="2" type="holding_register"
             min="0" max="600" default="30" value_text="s"/>
  </group>
  <group name="Alarms" description="">
    <setting name="Alarm delay" value_type="int" register="80" type="holding_register"
             min="0" max="99" default="5" value_text="min"/>
    <setting name="Alarm level" value_type="int" register="81" type="holding_register"
             min="0" max="99" default="50" value_text="%"/>
  </group></settings>
  <device name="Unit" device_id="1" live_status_id="0" settings_id="1"/></zsf>)";
const std::string kLaterDefinitions = R"(<zsf>
  <settings settings_id="2"><group name="Pump" description="">
    <setting name="Speed" value_type="int" register="10" type="holding_register"
             min="0" max="100" default="40" value_text="%"/></group></settings>
  <settings settings_id="1">
  <group name="Group" description="">
    <setting name="Delay" value_type="int" register="1000" offset="2" type="holding_register"
             min="0" max="600" default="30" value_text="s"/>
  </group>
  <group name="Alarms" description="">
    <setting name="Alarm level" value_type="int" register="81" type="holding_register"
             min="0" max="99" default="50" value_text="%"/>
    <setting name="Alarm delay" value_type="int" register="80" type="holding_register"
             min="0" max="99" default="5" value_text="min"/>
  </group></settings>
  <device name="Pump" device_id="2" live_status_id="0" settings_id="2"/>
  <device name="Unit" device_id="1" live_status_id="0" settings_id="1"/></zsf>)";

// Each setting finds its value by its ID where the names agree, else by its group's name, its
// own name and its place among equal names; so a file survives later definitions.
TEST_F(SettingsTest, AFileFindsItsValuesByNameWhenTheIdsNoLongerAgree) {
  TSettings& written = LoadOffline(kWrittenWith);
  auto delayOf = [](TSettings& document, size_t range, size_t instance) -> TSetting& {
    // A range group holds a section label and a Delay per instance.
    return *document.Groups[range]->Settings[2 * instance + 1];
  };
  ASSERT_EQ(delayOf(written, 1, 3).Name(), "Delay");
  delayOf(written, 1, 3).SetValue(123);  // R12 1, Group 14
  delayOf(written, 7, 9).SetValue(456);  // R12 2, Group 50
  TGroup& alarms = *written.Groups.back();
  alarms.Settings[0]->SetValue(7);   // Alarm delay
  alarms.Settings[1]->SetValue(77);  // Alarm level
  const std::string path = folder_.File("site.ZSF");
  written.SaveToFile(path);
  const int32_t alarmDelayId = alarms.Settings[0]->Id();

  devices_.LoadFromFile(folder_.Write("Devices.xml", kLaterDefinitions));
  TSettings& later = *devices_.GetDevice(1).Settings;
  store_.Reset();
  later.RegisterRegisters();
  later.RestoreFactoryDefaults();
  ASSERT_NE(later.FindSettingByName("Alarm delay").Id(), alarmDelayId);
  EXPECT_EQ(later.LoadFromFile(path), std::vector<std::string>());
  EXPECT_EQ(later.FindSettingByName("Alarm delay").Value(), 7);
  EXPECT_EQ(later.FindSettingByName("Alarm level").Value(), 77);
  EXPECT_EQ(Holding(81), 7);
  EXPECT_EQ(Holding(82), 77);
  EXPECT_EQ(delayOf(later, 1, 3).Value(), 123);
  EXPECT_EQ(delayOf(later, 7, 9).Value(), 456);
  EXPECT_EQ(delayOf(later, 1, 2).Value(), 30);

  // An ID whose element bears another name, and no element of the setting's name: the value
  // is missing, as when the element is not there at all.
  std::string text = testsupport::ReadFile(path);
  text.replace(text.find("name=\"Alarm level\""), 18, "name=\"Alarm limit\"");
  EXPECT_EQ(Thrown([&] { (void)later.LoadFromFile(folder_.Write("renamed.ZSF", text)); }),
            "Could not find a value for setting 'Alarm level' in the XML document");
}

// Loading a file costs the same per group however many groups there are: eight times the
// groups take about eight times as long, not sixty-four.
TEST_F(SettingsTest, LoadingAFileCostsTheSamePerGroupWhateverTheirNumber) {
  auto shortestLoad = [&](int groups) {
    std::string definitions;
    for (int i = 0; i < groups; ++i) {
      definitions += "<group name=\"G" + std::to_string(i) +
                     "\" description=\"\"><setting name=\"S\" value_type=\"int\" register=\"" +
                     std::to_string(100 + i) +
                     "\" type=\"holding_register\" min=\"0\" max=\"9\" default=\"1\" "
                     "value_text=\"\"/></group>";
    }
    TSettings& document = LoadOffline(OneDevice(definitions));
    const std::string path = folder_.File("many.ZSF");
    document.SaveToFile(path);
    return testsupport::ShortestSeconds(3,
                                        [&] { EXPECT_EQ(document.LoadFromFile(path).size(), 0u); });
  };
  const double few = shortestLoad(500);
  const double many = shortestLoad(4000);
  EXPECT_LT(many, 24 * few) << "500 groups: " << few << " s, 4000 groups: " << many << " s";
}

}  // namespace
}  // namespace model
