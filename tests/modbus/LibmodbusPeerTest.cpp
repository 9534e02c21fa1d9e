#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "modbus/MbusRtuMasterProtocol.h"
#include "tests/modbus/LibmodbusSlave.h"
#include "tests/support/SimProcess.h"

namespace modbus {

namespace {

// Our master against a slave we did not write.
TEST(LibmodbusPeer, OurMasterReadsAndWritesALibmodbusSlave) {
  LibmodbusSlave peer;
  ASSERT_TRUE(peer.Ready());
  peer.SetRegister(28, 0x8001);
  peer.SetRegister(29, 17);
  peer.SetCoil(1, true);
  peer.SetCoil(9, true);

  MbusRtuMasterProtocol master;
  ASSERT_EQ(master.SetRetryCount(1), 0);
  ASSERT_EQ(master.Open(peer.MasterPath(), 57600), 0);

  std::int16_t regs[2];
  ASSERT_EQ(master.ReadHoldingRegisters(1, 28, regs, 2), 0);
  EXPECT_EQ(regs[0], static_cast<std::int16_t>(0x8001));
  EXPECT_EQ(regs[1], 17);

  std::int32_t coils[10];
  ASSERT_EQ(master.ReadCoils(1, 1, coils, 10), 0);
  EXPECT_EQ(std::vector<std::int32_t>(coils, coils + 10),
            (std::vector<std::int32_t>{1, 0, 0, 0, 0, 0, 0, 0, 1, 0}));

  ASSERT_EQ(master.WriteHoldingRegister(1, 27, 123), 0);
  EXPECT_EQ(peer.Register(27), 123);
  ASSERT_EQ(master.WriteCoil(1, 5, 1), 0);
  EXPECT_TRUE(peer.Coil(5));
  ASSERT_EQ(master.WriteCoil(1, 1, 0), 0);
  EXPECT_FALSE(peer.Coil(1));

  std::vector<std::int16_t> values(100);
  for (int i = 0; i < 100; ++i) {
    values[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(-i);
  }
  ASSERT_EQ(master.WriteHoldingRegisters(1, 101, values.data(), 100), 0);
  EXPECT_EQ(peer.Register(101), 0);
  EXPECT_EQ(peer.Register(200), static_cast<std::uint16_t>(-99));

  // libmodbus answers a read beyond its table with an illegal data address exception.
  std::vector<std::int16_t> many(125);
  EXPECT_EQ(master.ReadHoldingRegisters(1, LibmodbusSlave::kSize - 10, many.data(), 125), 162);
  EXPECT_EQ(master.LastTryCount(), 1);
}

// Our simulator against a master we did not write.
TEST(LibmodbusPeer, LibmodbusMasterUsesTheSimulator) {
  SimProcess sim({"--set", "28=513", "--set", "30=-1", "--set-coil", "2=1", "--exception", "40:3"});
  ASSERT_FALSE(sim.Path().empty());
  modbus_t* ctx = modbus_new_rtu(sim.Path().c_str(), 57600, 'N', 8, 1);
  ASSERT_NE(ctx, nullptr);
  ASSERT_EQ(modbus_set_slave(ctx, 1), 0);
  ASSERT_EQ(modbus_connect(ctx), 0);

  std::uint16_t regs[3] = {};
  ASSERT_EQ(modbus_read_registers(ctx, 27, 3, regs), 3);
  EXPECT_EQ(regs[0], 513);
  EXPECT_EQ(regs[1], 0);
  EXPECT_EQ(regs[2], 0xFFFF);

  std::uint8_t bits[10] = {};
  ASSERT_EQ(modbus_read_bits(ctx, 0, 10, bits), 10);
  EXPECT_EQ(bits[1], 1);
  EXPECT_EQ(bits[0], 0);

  ASSERT_EQ(modbus_write_register(ctx, 26, 123), 1);
  ASSERT_EQ(modbus_write_bit(ctx, 99, 1), 1);
  const std::uint16_t block[3] = {1, 2, 0xFFFE};
  ASSERT_EQ(modbus_write_registers(ctx, 65533, 3, block), 3);
  ASSERT_EQ(modbus_read_registers(ctx, 65533, 3, regs), 3);
  EXPECT_EQ(regs[2], 0xFFFE);

  EXPECT_EQ(modbus_read_registers(ctx, 38, 3, regs), -1);
  EXPECT_EQ(errno, EMBXILVAL);
  EXPECT_EQ(modbus_read_registers(ctx, 65535, 2, regs), -1);
  EXPECT_EQ(errno, EMBXILADD);
  // Input registers are not served.
  EXPECT_EQ(modbus_read_input_registers(ctx, 0, 1, regs), -1);
  EXPECT_EQ(errno, EMBXILFUN);

  modbus_close(ctx);
  modbus_free(ctx);

  const std::string dump = sim.DumpText();
  EXPECT_NE(dump.find("h 27 123\n"), std::string::npos);
  EXPECT_NE(dump.find("c 100 1\n"), std::string::npos);
  EXPECT_NE(dump.find("h 65536 65534\n"), std::string::npos);
}

}  // namespace

}  // namespace modbus
