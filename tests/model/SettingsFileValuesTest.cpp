// What a settings file may give a setting: a value no register can hold refuses the whole
// file and changes nothing; a value the register holds but the definitions forbid loads as it
// stands, named in a notice.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "tests/model/ModelFixture.h"

namespace model {
namespace {

const std::string kDefinitions = ModelFixture::OneDevice(R"(
  <group name="Pump" description="">
    <setting name="Speed" value_type="int" register="9" type="holding_register"
             min="0" max="100" default="40" value_text="%"/>
  </group>
  <group name="Unit" description="">
    <setting name="Level" value_type="int" register="10" type="holding_register"
             min="0" max="100" default="50" value_text="%"/>
    <setting name="Raised" value_type="int" register="11" type="holding_register"
             value_offset="40000" min="-100" max="30000" default="0" value_text=""/>
    <setting name="Field" value_type="int" register="12" type="holding_register"
             bitmask="240" min="0" max="15" default="3" value_text=""/>
    <setting name="Pressure" value_type="int" register="14" type="holding_register"
             min="49152" max="50152" default="49232" value_text=""/>
    <setting name="Mode" value_type="drop_down" register="13" type="holding_register">
      <ddvalue name="Off" value="0"/><ddvalue name="On" value="1" default="true"/>
      <ddvalue name="Auto" value="2"/><ddvalue name="Test" value="3"/>
    </setting>
    <setting name="Enable" value_type="checkbox" register="20" type="coil" default="checked"/>
    <setting name="Start" value_type="time" register="30" type="holding_register"
             default_hrs="7" default_mins="30" value_text="hrs"/>
    <setting name="Holiday" value_type="date" register="40" type="holding_register"/>
  </group>)");

class SettingsFileValues : public ModelFixture {
 protected:
  // The document's own file with `attribute` of setting `name` set to `value`; Speed, in the
  // group before, is given 77 so that a refused file is seen to change nothing.
  std::string FileWith(TSettings& document, const std::string& name, const std::string& attribute,
                       const std::string& value) {
    const std::string path = folder_.File("site.ZSF");
    document.SaveToFile(path);
    pugi::xml_document file;
    EXPECT_TRUE(file.load_file(path.c_str()));
    auto setting = [&](const std::string& wanted) {
      return file.find_node([&](const pugi::xml_node& node) {
        return std::string_view(node.name()) == "setting" &&
               node.attribute("name").value() == wanted;
      });
    };
    setting("Speed").attribute("value") = 77;
    pugi::xml_node target = setting(name);
    EXPECT_TRUE(target) << name;
    target.attribute(attribute.c_str()).set_value(value.c_str());
    EXPECT_TRUE(file.save_file(path.c_str()));
    return path;
  }
};

TEST_F(SettingsFileValues, ValuesNoRegisterCanHoldRefuseTheFileAndChangeNothing) {
  TSettings& document = LoadOffline(kDefinitions);
  const std::string before = folder_.File("before.csv");
  document.ExportCsv(before);
  struct TCase {
    const char* setting;
    const char* attribute;
    const char* value;
    std::string message;
  };
  const std::string prefix = "The settings file gives setting 'Unit / ";
  const TCase cases[] = {
      // Sixteen bits, written signed or unsigned.
      {"Level", "value", "70000",
       prefix + "Level' the value 70000, which it cannot hold: it holds -32768 to 65535."},
      {"Level", "value", "65536",
       prefix + "Level' the value 65536, which it cannot hold: it holds -32768 to 65535."},
      {"Mode", "value", "-32769",
       prefix + "Mode' the value -32769, which it cannot hold: it holds -32768 to 65535."},
      // 40000 is added on the way to the register: 25535 is the last value that fits.
      {"Raised", "value", "25536",
       prefix + "Raised' the value 25536, which it cannot hold: it holds -72768 to 25535."},
      // A field of four bits.
      {"Field", "value", "16",
       prefix + "Field' the value 16, which it cannot hold: it holds -8 to 15."},
      {"Field", "value", "-9",
       prefix + "Field' the value -9, which it cannot hold: it holds -8 to 15."},
      {"Enable", "value", "-3",
       prefix +
           "Enable' the value -3, which it cannot hold: it holds 0 (not ticked) or 1 (ticked)."},
      {"Start", "Hour", "70000",
       prefix + "Start' the value Hour 70000, which it cannot hold: it holds -32768 to 32767 "
                "(0 to 23 hours and 0 to 59 minutes, beyond them off)."},
      {"Holiday", "Month", "12",
       prefix + "Holiday' the value Month 12 Day 0, which it cannot hold: it holds Month 0 to "
                "11 (January to December) and Day 0 to 30 (the 1st to the 31st)."},
      {"Holiday", "Day", "-1",
       prefix + "Holiday' the value Month 0 Day -1, which it cannot hold: it holds Month 0 to "
                "11 (January to December) and Day 0 to 30 (the 1st to the 31st)."},
  };
  for (const TCase& c : cases) {
    const std::string file = FileWith(document, c.setting, c.attribute, c.value);
    EXPECT_EQ(Thrown([&] { (void)document.LoadFromFile(file); }), c.message);
    const std::string after = folder_.File("after.csv");
    document.ExportCsv(after);
    EXPECT_EQ(testsupport::ReadFile(after), testsupport::ReadFile(before)) << c.value;
    EXPECT_EQ(Holding(10), 40) << c.value;
  }
}

TEST_F(SettingsFileValues, ValuesTheDefinitionsForbidLoadAsTheyStandWithANotice) {
  TSettings& document = LoadOffline(kDefinitions);
  const std::string levelFile = FileWith(document, "Level", "value", "-7");
  EXPECT_EQ(document.LoadFromFile(levelFile),
            std::vector<std::string>{"Unit / Level: -7, outside its limits 0 to 100"});
  EXPECT_EQ(document.FindSettingByName("Level").Value(), -7);
  EXPECT_EQ(Holding(11), -7);
  EXPECT_EQ(Holding(10), 77);

  const std::string modeFile = FileWith(document, "Mode", "value", "9");
  EXPECT_EQ(document.LoadFromFile(modeFile),
            (std::vector<std::string>{
                "Unit / Level: -7, outside its limits 0 to 100",
                "Unit / Mode: 9, not one of its entries 0 (Off), 1 (On), 2 (Auto), 3 (Test)"}));
  EXPECT_EQ(document.FindSettingByName("Mode").Value(), 9);

  // The edges of what each register holds load without a word, and a whole register's word
  // counts as within limits written either signed or unsigned (-16304 is 49232).
  document.RestoreFactoryDefaults();
  for (const auto& [setting, value] :
       {std::pair{"Raised", "25535"}, {"Field", "15"}, {"Pressure", "-16304"}}) {
    const std::string file = FileWith(document, setting, "value", value);
    EXPECT_EQ(document.LoadFromFile(file), std::vector<std::string>()) << setting;
  }
  EXPECT_EQ(document.FindSettingByName("Field").Value(), 15);
  EXPECT_EQ(Holding(13), 0xF0);
}

}  // namespace
}  // namespace model
