#include "model/Devices.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <stdexcept>

#include "registers/Registerdatastore.h"
#include "tests/support/Shortest.h"
#include "tests/support/TempDir.h"

namespace model {
namespace {

class DevicesTest : public testing::Test {
 protected:
  // Loads the text as a definitions file and returns the error message, or
  // an empty text when the load succeeded.
  std::string Load(std::string_view contents) {
    path_ = folder_.Write("Devices.xml", contents);
    try {
      EXPECT_TRUE(devices_.LoadFromFile(path_));
    } catch (const std::exception& error) {
      return error.what();
    }
    return "";
  }

  testsupport::TTempDir folder_;
  std::string path_;
  registers::TModbusHandler handler_;
  registers::TRegisterDataStore store_{handler_};
  TDevices devices_{store_};
};

constexpr const char* kTwoDevicesSharingSettings = R"(<?xml version="1.0"?>
<zsf>
  <!-- a comment and a stray element are skipped -->
  <stray device_id="x"/>
  <settings settings_id="7"><group name="first" description=""/></settings>
  <device name="Alpha" device_id="1" live_status_id="11" settings_id="7"/>
  <device name="Beta" device_id="2" live_status_id="12" settings_id="8"/>
  <device name="Gamma" device_id="1" live_status_id="13" settings_id="7"/>
  <settings settings_id="8"><group name="beta one" description=""/></settings>
  <settings settings_id="7"><group name="second" description=""/></settings>
</zsf>)";

TEST_F(DevicesTest, ReadsDevicesInFileOrderWithTheirSettings) {
  ASSERT_EQ(Load(kTwoDevicesSharingSettings), "");
  ASSERT_EQ(devices_.Count(), 3);
  const TDevice& alpha = devices_.GetDevice(0);
  EXPECT_EQ(alpha.Name, "Alpha");
  EXPECT_EQ(alpha.DeviceId, 1);
  EXPECT_EQ(alpha.LiveStatusId, 11);
  EXPECT_EQ(alpha.SettingsId, 7);
  EXPECT_FALSE(alpha.Online);
  // The first settings element with the id wins over a later duplicate.
  EXPECT_STREQ(alpha.Settings->SettingsElement().child("group").attribute("name").value(), "first");
  // A settings element after its device serves as well as one before it.
  EXPECT_STREQ(
      devices_.GetDevice(1).Settings->SettingsElement().child("group").attribute("name").value(),
      "beta one");
  // Two devices naming one settings element each get their own document.
  EXPECT_NE(devices_.GetDevice(2).Settings.get(), alpha.Settings.get());
  EXPECT_EQ(devices_.GetDevice(2).Settings->SettingsElement(), alpha.Settings->SettingsElement());
}

TEST_F(DevicesTest, FindDeviceReturnsTheFirstWithTheId) {
  ASSERT_EQ(Load(kTwoDevicesSharingSettings), "");
  EXPECT_EQ(devices_.FindDevice(1).Name, "Alpha");
  EXPECT_EQ(devices_.FindDevice(2).Name, "Beta");
  try {
    devices_.FindDevice(99);
    FAIL() << "no device has id 99";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(),
                 "Could not find device with ID '99' in the XML device definitions list");
  }
}

TEST_F(DevicesTest, GetDeviceRefusesPositionsOutsideTheList) {
  ASSERT_EQ(Load(kTwoDevicesSharingSettings), "");
  EXPECT_THROW(devices_.GetDevice(3), std::out_of_range);
  EXPECT_THROW(devices_.GetDevice(-1), std::out_of_range);
}

TEST_F(DevicesTest, FillDeviceListReplacesTheItems) {
  ASSERT_EQ(Load(kTwoDevicesSharingSettings), "");
  QComboBox combo;
  combo.addItem("left over");
  devices_.FillDeviceList(combo);
  ASSERT_EQ(combo.count(), 3);
  EXPECT_EQ(combo.itemText(0), "Alpha");
  EXPECT_EQ(combo.itemText(2), "Gamma");
}

TEST_F(DevicesTest, RootWithoutDevicesGivesAnEmptyList) {
  EXPECT_EQ(Load("<zsf><settings settings_id=\"1\"/></zsf>"), "");
  EXPECT_EQ(devices_.Count(), 0);
}

TEST_F(DevicesTest, MissingFileNamesThePath) {
  const std::string path = folder_.File("nowhere/Devices.xml");
  EXPECT_THROW(
      {
        try {
          devices_.LoadFromFile(path);
        } catch (const std::runtime_error& error) {
          EXPECT_EQ(error.what(), "Could not find XML document : " + path);
          throw;
        }
      },
      std::runtime_error);
  EXPECT_EQ(devices_.Count(), 0);
}

TEST_F(DevicesTest, AFolderIsNotADefinitionsFile) {
  const std::string path = folder_.Path().string();
  try {
    devices_.LoadFromFile(path);
    FAIL();
  } catch (const std::runtime_error& error) {
    EXPECT_EQ(error.what(), "Could not find XML document : " + path);
  }
}

TEST_F(DevicesTest, WrongRootIsRefused) {
  EXPECT_EQ(Load("<devices><device name=\"A\" device_id=\"1\" live_status_id=\"1\" "
                 "settings_id=\"1\"/></devices>"),
            "Could not find parent tag: zsf");
  EXPECT_EQ(devices_.Count(), 0);
}

TEST_F(DevicesTest, UnreadableFilesFailWithTheParserMessage) {
  const struct {
    const char* what;
    std::string contents;
  } cases[] = {
      {"empty", ""},
      {"truncated", "<zsf><device name=\"A\" device_id=\"1\""},
      {"not XML", "name,device_id\nA,1\n"},
      {"binary", std::string("\x00\xff\xfe\x01\x89PNG\r\n\x1a\n", 12)},
  };
  for (const auto& c : cases) {
    TDevices devices(store_);
    const std::string path = folder_.Write("Devices.xml", c.contents);
    try {
      devices.LoadFromFile(path);
      ADD_FAILURE() << c.what << " loaded";
    } catch (const std::runtime_error& error) {
      EXPECT_EQ(std::string(error.what()).rfind("Error reading XML document " + path + ": ", 0), 0u)
          << c.what << ": " << error.what();
    }
    EXPECT_EQ(devices.Count(), 0) << c.what;
  }
}

TEST_F(DevicesTest, AFailingDeviceStaysAndEndsTheLoad) {
  const std::string message = Load(R"(<zsf>
    <settings settings_id="1"/>
    <device name="Good" device_id="1" live_status_id="0" settings_id="1"/>
    <device name="Half" device_id="2" settings_id="1"/>
    <device name="Never read" device_id="3" live_status_id="0" settings_id="1"/>
  </zsf>)");
  EXPECT_EQ(message, "Could not find attribute \"live_status_id\" in XML node.");
  ASSERT_EQ(devices_.Count(), 2);
  const TDevice& half = devices_.GetDevice(1);
  EXPECT_EQ(half.Name, "Half");
  EXPECT_EQ(half.DeviceId, 2);
  EXPECT_EQ(half.LiveStatusId, 0);
  EXPECT_EQ(half.SettingsId, 0);
  EXPECT_FALSE(half.Settings->SettingsElement());
}

TEST_F(DevicesTest, NumbersThatDoNotParseOrOverflowFailTheLoad) {
  EXPECT_EQ(
      Load(R"(<zsf><device name="A" device_id="one" live_status_id="0" settings_id="1"/></zsf>)"),
      "'one' is not a valid integer value");
  EXPECT_EQ(devices_.Count(), 1);
  EXPECT_EQ(devices_.GetDevice(0).Name, "A");
  EXPECT_EQ(devices_.GetDevice(0).DeviceId, 0);
  EXPECT_EQ(
      Load(
          R"(<zsf><device name="A" device_id="1" live_status_id="0" settings_id="4294967297"/></zsf>)"),
      "'4294967297' is not a valid integer value");
}

TEST_F(DevicesTest, DeviceWithoutMatchingSettingsNamesTheId) {
  EXPECT_EQ(Load(R"(<zsf><settings settings_id="1"/>
      <device name="A" device_id="1" live_status_id="0" settings_id="-5"/></zsf>)"),
            "Could not find a settings node with id -5");
}

TEST_F(DevicesTest, SettingsWithoutIdStopTheSearchThatReachesThem) {
  // The search stops at the first matching element, so an element without an
  // id after it does no harm; one before it fails the load.
  EXPECT_EQ(Load(R"(<zsf><settings settings_id="1"/><settings/>
      <device name="A" device_id="1" live_status_id="0" settings_id="1"/></zsf>)"),
            "");
  EXPECT_EQ(Load(R"(<zsf><settings/><settings settings_id="1"/>
      <device name="A" device_id="1" live_status_id="0" settings_id="1"/></zsf>)"),
            "Could not find attribute \"settings_id\" in XML node.");
}

TEST_F(DevicesTest, ReloadingReplacesTheDevices) {
  ASSERT_EQ(Load(kTwoDevicesSharingSettings), "");
  ASSERT_EQ(Load("<zsf/>"), "");
  EXPECT_EQ(devices_.Count(), 0);
}

TEST(BundledDefinitions, LoadWithoutError) {
  registers::TModbusHandler handler;
  registers::TRegisterDataStore store(handler);
  TDevices devices(store);
  ASSERT_NO_THROW(devices.LoadFromFile(DRAVONIK_SOURCE_DIR "/data/Devices.xml"));
  ASSERT_GE(devices.Count(), 3);
  for (int i = 0; i < devices.Count(); ++i) {
    EXPECT_TRUE(devices.GetDevice(i).Settings->SettingsElement()) << devices.GetDevice(i).Name;
  }
  // A simulated device reports type 1 in its holding register 28.
  EXPECT_NO_THROW(devices.FindDevice(1));
}

// Definitions whose R12 template holds `selectors` units selectors (each is repeated for every
// group of every controller).
std::string TemplateWithUnitsSelectors(int selectors) {
  std::string settings;
  for (int i = 0; i < selectors; ++i) {
    settings += "<setting name=\"Units " + std::to_string(i) +
                "\" value_type=\"drop_down\" type=\"holding_register\" register=\"" +
                std::to_string(1000 + i) +
                "\" units=\"velocity\"><ddvalue name=\"m/sec\" value=\"0\" default=\"true\"/>"
                "<ddvalue name=\"ft/min\" value=\"1\"/></setting>";
  }
  return "<zsf><settings settings_id=\"1\"><group name=\"Group\" description=\"\">" + settings +
         "</group></settings><device name=\"Unit\" device_id=\"1\" live_status_id=\"0\" "
         "settings_id=\"1\"/></zsf>";
}

// Loading costs the same for every setting whatever its kind: four times the units selectors
// take about four times as long, not sixteen.
TEST(DevicesLoad, UnitsSelectorsCostTheirShareAndNoMore) {
  testsupport::TTempDir folder;
  auto shortestLoad = [&](int selectors) {
    const std::string path = folder.Write("Devices.xml", TemplateWithUnitsSelectors(selectors));
    return testsupport::ShortestSeconds(3, [&] {
      registers::TModbusHandler handler;
      registers::TRegisterDataStore store(handler);
      TDevices devices(store);
      devices.LoadFromFile(path);
    });
  };
  const double few = shortestLoad(15);
  const double many = shortestLoad(60);
  EXPECT_LT(many, 9 * few) << "15 selectors: " << few << " s, 60 selectors: " << many << " s";
}

}  // namespace
}  // namespace model
