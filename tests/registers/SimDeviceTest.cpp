// A full read and write through the serial-line master against the device simulator.
#include <gtest/gtest.h>

#include "modbus/MbusRtuMasterProtocol.h"
#include "tests/registers/StoreFixture.h"
#include "tests/support/SimProcess.h"

namespace registers {

namespace {

TEST(StoreAgainstSimulator, ReadThenWriteEndsWithTheMarkerInRegister27) {
  SimProcess sim({"--set", "28=5120", "--set", "3=-2", "--set", "60=300", "--set-coil", "9=1"});
  ASSERT_FALSE(sim.Path().empty());
  modbus::MbusRtuMasterProtocol master;
  ASSERT_EQ(master.SetRetryCount(1), 0);
  ASSERT_EQ(master.Open(sim.Path(), 57600), 0);

  TModbusHandler handler;
  TRegisterDataStore store(handler);
  std::vector<std::string> texts;
  store.SetOnProgress(
      [&](const void*, const std::string& text, bool, std::int32_t) { texts.push_back(text); });
  store.Reset();
  for (int r = 1; r <= 60; ++r) {
    store.InsertHoldingRegister(r);
  }
  for (int r = 8; r <= 10; ++r) {
    store.InsertCoil(r);
  }
  store.SetProtocol(&master);
  store.StartRead();
  for (int pass = 0; pass < 10 && store.State() == TState::Reading; ++pass) {
    store.ReadPass();
  }
  EXPECT_TRUE(store.IsComplete());
  EXPECT_FALSE(store.HasFailed());
  EXPECT_EQ(texts, (std::vector<std::string>{"Reading Coils 8 to 10\n",
                                             "Reading Holding Registers 1 to 50\n",
                                             "Reading Holding Registers 51 to 60\n"}));
  std::int16_t values[60];
  store.GetHoldingRegisters(1, values, 60);
  EXPECT_EQ(values[2], -2);
  EXPECT_EQ(values[27], 5120);
  EXPECT_EQ(values[59], 300);
  EXPECT_EQ(values[0], 0);
  EXPECT_FALSE(store.GetCoil(8));
  EXPECT_TRUE(store.GetCoil(9));

  store.SetHoldingRegister(3, 17);
  store.SetHoldingRegister(55, -1);
  store.SetCoil(9, false);
  store.SetCoil(10, true);
  store.StartWrite();
  for (int pass = 0; pass < 10 && store.State() == TState::Writing; ++pass) {
    store.WritePass();
  }
  EXPECT_TRUE(store.IsComplete());
  EXPECT_FALSE(store.HasFailed());
  EXPECT_EQ(texts.back(), "");
  // Edited values reached the device, values read and written back unchanged kept theirs.
  const std::string dump = sim.DumpText();
  EXPECT_NE(dump.find("h 3 17\n"), std::string::npos) << dump;
  EXPECT_NE(dump.find("h 55 65535\n"), std::string::npos) << dump;
  EXPECT_NE(dump.find("h 28 5120\n"), std::string::npos) << dump;
  EXPECT_NE(dump.find("h 27 123\n"), std::string::npos) << dump;
  EXPECT_NE(dump.find("c 10 1\n"), std::string::npos) << dump;
  EXPECT_EQ(dump.find("c 9 1\n"), std::string::npos) << dump;
}

}  // namespace

}  // namespace registers
