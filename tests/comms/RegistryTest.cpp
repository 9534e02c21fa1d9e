// The user's stored choices: defaults written on first read, values out of range treated as
// defaults, and the port device a Comm number opens.
#include <gtest/gtest.h>

#include <QSettings>

#include "comms/Registry.h"
#include "comms/Serialmanager.h"
#include "tests/comms/CommsFixture.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"

namespace comms {
namespace {

using Registry = CommsFixture;

std::string StoredText(const std::string& name) {
  return QSettings(RegistryFilePath(kConfigKey), QSettings::IniFormat)
      .value(QString::fromStdString(name))
      .toString()
      .toStdString();
}

TEST_F(Registry, TheKeyIsAFileUnderTheUsersConfigFolder) {
  EXPECT_EQ(RegistryFilePath(kConfigKey).toStdString(),
            config_.Path().string() + "/Brennhaven Dravonik/Config Manager.conf");
}

TEST_F(Registry, AReadOfAMissingValueWritesTheDefault) {
  EXPECT_EQ(StoredText("CommPortIndex"), "");
  EXPECT_EQ(ReadRegistryInteger(kConfigKey, "CommPortIndex", 0), 0);
  EXPECT_TRUE(ReadRegistryBool(kConfigKey, "Online", true));
  EXPECT_EQ(TRegistryChoices().ConnectionType(), registers::TConnectionType::Usb);
  EXPECT_EQ(StoredText("CommPortIndex"), "0");
  EXPECT_EQ(StoredText("Online"), "1");
  EXPECT_EQ(StoredText("ConnectionType"), "0");

  WriteRegistryInteger(kConfigKey, "CommPortIndex", 4);
  WriteRegistryBool(kConfigKey, "Online", false);
  EXPECT_EQ(ReadRegistryInteger(kConfigKey, "CommPortIndex", 0), 4);
  EXPECT_FALSE(ReadRegistryBool(kConfigKey, "Online", true));
}

TEST_F(Registry, ValuesOutOfRangeOrNotNumbersCountAsTheirDefaults) {
  WriteRegistryInteger(kConfigKey, "ConnectionType", 7);
  EXPECT_EQ(TRegistryChoices().ConnectionType(), registers::TConnectionType::Usb);
  WriteRegistryInteger(kConfigKey, "ConnectionType", 1);
  EXPECT_EQ(TRegistryChoices().ConnectionType(), registers::TConnectionType::Serial);

  WriteRegistryInteger(kConfigKey, "CommPortIndex", 25);
  EXPECT_EQ(ReadRegistryInteger(kConfigKey, "CommPortIndex", 0, 0, 19), 0);
  QSettings(RegistryFilePath(kConfigKey), QSettings::IniFormat).setValue("DeviceIndex", "two");
  EXPECT_EQ(ReadRegistryInteger(kConfigKey, "DeviceIndex", 0), 0);
  WriteRegistryInteger(kConfigKey, "Online", 5);
  EXPECT_TRUE(ReadRegistryBool(kConfigKey, "Online", true));
}

TEST_F(Registry, TheStoredPortDeviceIsWhatTheSerialLinkOpens) {
  SimProcess sim({"--set", "28=2"});
  WriteRegistryInteger(kConfigKey, "ConnectionType", 1);
  WritePortDevice("COM7", sim.Path());
  EXPECT_EQ(ReadPortDevice("COM7"), sim.Path());
  EXPECT_EQ(ReadPortDevice("COM8"), std::nullopt);

  TRegistryChoices choices;
  TSerialManager manager(store_, handler_, choices);
  std::int32_t value = 0;
  manager.StartDeviceSearch(
      7, 1, TSearchResultEvent([&](TSerialThread*, std::int32_t v, std::int32_t) { value = v; }));
  ASSERT_TRUE(WaitFor([&] { return value != 0; }));
  EXPECT_EQ(value, 2);
  EXPECT_EQ(handler_.ConnectionType(), registers::TConnectionType::Serial);
}

}  // namespace
}  // namespace comms
