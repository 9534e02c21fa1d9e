// Registration, value access and bit fields of the register data store.
#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/registers/StoreFixture.h"

namespace registers {

namespace {

using Tables = StoreFixture;

std::string OutOfRangeMessage(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::out_of_range& error) {
    return error.what();
  }
  return "no error";
}

TEST_F(Tables, RegisteringTwiceCountsOnce) {
  EXPECT_TRUE(store.InsertHoldingRegister(5));
  EXPECT_FALSE(store.InsertHoldingRegister(5));
  EXPECT_TRUE(store.InsertCoil(5));
  EXPECT_FALSE(store.InsertCoil(5));
  EXPECT_EQ(store.RegisterCount(), 2);
  // The second registration must not have appended a second image value for 5.
  store.SetHoldingRegister(5, 77);
  EXPECT_TRUE(store.InsertHoldingRegister(6));
  std::int16_t values[2];
  store.GetHoldingRegisters(5, values, 2);
  EXPECT_EQ(values[0], 77);
  EXPECT_EQ(values[1], 0);
}

TEST_F(Tables, ImagePositionsFollowRegistrationOrderNotReferenceOrder) {
  for (int r : {30, 10, 20}) {
    store.InsertHoldingRegister(r);
  }
  store.SetHoldingRegister(10, 1000);
  store.SetHoldingRegister(20, 2000);
  store.SetHoldingRegister(30, 3000);
  std::int16_t v = 0;
  for (int r : {10, 20, 30}) {
    store.GetHoldingRegisters(r, &v, 1);
    EXPECT_EQ(v, r * 100);
  }
  EXPECT_FALSE(store.IsHoldingRegisterRegistered(15));
  EXPECT_TRUE(store.IsHoldingRegisterRegistered(30));
  EXPECT_FALSE(store.IsHoldingRegisterRegistered(31));
}

TEST_F(Tables, ResetEmptiesTablesAndEntersCollect) {
  store.InsertCoil(3);
  store.InsertHoldingRegister(4);
  store.SetHoldingRegister(4, 9);
  store.Reset();
  EXPECT_EQ(store.State(), TState::Collect);
  EXPECT_EQ(store.RegisterCount(), 0);
  EXPECT_FALSE(store.IsCoilRegistered(3));
  EXPECT_THROW(store.GetCoil(3), std::out_of_range);
  // Registered again after a reset, a register starts from 0, not from its old value.
  EXPECT_TRUE(store.InsertHoldingRegister(4));
  std::int16_t v = -1;
  store.GetHoldingRegisters(4, &v, 1);
  EXPECT_EQ(v, 0);
}

TEST_F(Tables, RegistrationOutsideTheReferenceRangeIsRefused) {
  EXPECT_TRUE(store.InsertCoil(0));
  EXPECT_TRUE(store.InsertHoldingRegister(TRegisterDataStore::kMaxReference));
  EXPECT_EQ(OutOfRangeMessage([&] { store.InsertCoil(-1); }),
            "InsertCoilIndex - Trying to access a vector position that doesn't exist");
  EXPECT_EQ(OutOfRangeMessage([&] { store.InsertHoldingRegister(-1); }),
            "InserHoldingRegistersSingleIndex - Trying to access a vector position that doesn't "
            "exist");
  EXPECT_THROW(store.InsertHoldingRegister(TRegisterDataStore::kMaxReference + 1),
               std::out_of_range);
  EXPECT_THROW(store.InsertCoil(INT32_MAX), std::out_of_range);
  EXPECT_EQ(store.RegisterCount(), 2);
}

TEST_F(Tables, AccessOutsideTheTablesNamesTheReference) {
  store.InsertCoil(2);
  store.InsertHoldingRegister(10);
  EXPECT_EQ(OutOfRangeMessage([&] { store.GetCoil(1); }), "Coil 1 is not in the register store");
  EXPECT_EQ(OutOfRangeMessage([&] { store.SetCoil(3, true); }),
            "Coil 3 is not in the register store");
  EXPECT_EQ(OutOfRangeMessage([&] { store.GetCoil(-5); }), "Coil -5 is not in the register store");
  EXPECT_EQ(OutOfRangeMessage([&] { store.SetHoldingRegister(40, 1); }),
            "Holding register 40 is not in the register store");
  EXPECT_EQ(OutOfRangeMessage([&] { store.SetHoldingRegister(INT32_MIN, 1); }),
            "Holding register -2147483648 is not in the register store");
  std::int16_t out = 0;
  EXPECT_EQ(OutOfRangeMessage([&] { store.GetHoldingRegisterBits(9, 1, out); }),
            "Holding register 9 is not in the register store");
  EXPECT_THROW(store.SetHoldingRegisterBits(11, 1, 1), std::out_of_range);
  // A coil reference is not a holding register and the other way round.
  EXPECT_THROW(store.GetCoil(10), std::out_of_range);
  EXPECT_THROW(store.SetHoldingRegister(2, 1), std::out_of_range);
}

TEST_F(Tables, SpanAccessFailsWholeWhenOneReferenceIsMissing) {
  RegisterHoldingRegisters(1, 3);
  store.InsertHoldingRegister(5);
  const std::int16_t source[5] = {11, 12, 13, 14, 15};
  EXPECT_EQ(OutOfRangeMessage([&] { store.SetHoldingRegisters(1, source, 5); }),
            "Holding register 4 is not in the register store");
  std::int16_t values[3] = {-1, -1, -1};
  store.GetHoldingRegisters(1, values, 3);
  EXPECT_EQ(std::vector<std::int16_t>(values, values + 3), (std::vector<std::int16_t>{0, 0, 0}));

  store.SetHoldingRegisters(1, source, 3);
  std::int16_t destination[4] = {-1, -1, -1, -1};
  EXPECT_THROW(store.GetHoldingRegisters(2, destination, 4), std::out_of_range);
  EXPECT_EQ(destination[0], -1);
  store.GetHoldingRegisters(1, destination, 3);
  EXPECT_EQ(std::vector<std::int16_t>(destination, destination + 3),
            (std::vector<std::int16_t>{11, 12, 13}));
  // A span whose end passes the int32 range is refused, not wrapped round.
  store.InsertHoldingRegister(0);
  EXPECT_THROW(store.GetHoldingRegisters(INT32_MAX, destination, 2), std::out_of_range);
}

struct BitCase {
  std::uint16_t stored;
  std::uint16_t mask;
  std::int16_t field;  // what a read of the mask gives
};

TEST_F(Tables, BitFieldReads) {
  store.InsertHoldingRegister(1);
  const BitCase cases[] = {
      {0x1234, 0x00F0, 3},
      {0x1234, 0x000F, 4},
      {0x1234, 0x0001, 0},
      {0x1235, 0x0001, 1},
      // A field holding bit 15 reads as a signed number.
      {0x8000, 0xF000, -8},
      {0xF0F0, 0xFFF0, static_cast<std::int16_t>(0xFF0F)},
      {0x7000, 0xF000, 7},
      // Fields starting at bit 8 or higher are shifted by their own lowest bit.
      {0x1234, 0xFF00, 0x12},
      {0x1234, 0x0F00, 2},
      {0x8000, 0x8000, -1},
      {0xFFFF, 0x0000, 0},
  };
  for (const BitCase& c : cases) {
    store.SetHoldingRegister(1, static_cast<std::int16_t>(c.stored));
    std::int16_t out = 99;
    store.GetHoldingRegisterBits(1, static_cast<std::int16_t>(c.mask), out);
    EXPECT_EQ(out, c.field) << std::hex << c.stored << " mask " << c.mask;
  }
}

struct BitWriteCase {
  std::uint16_t stored;
  std::int16_t value;
  std::uint16_t mask;
  std::uint16_t result;
};

TEST_F(Tables, BitFieldWritesChangeOnlyTheMaskedBits) {
  store.InsertHoldingRegister(1);
  const BitWriteCase cases[] = {
      {0x1234, 0xA, 0x00F0, 0x12A4},
      {0x1234, 0x0, 0x00F0, 0x1204},
      {0x0000, 0x1, 0x0001, 0x0001},
      {0xFFFF, 0x0, 0x0001, 0xFFFE},
      // A value wider than its field is cut to the field instead of spilling into its neighbours.
      {0x1234, 0x1F, 0x00F0, 0x12F4},
      {0x1234, -1, 0x00F0, 0x12F4},
      // Fields starting at bit 8 or higher are written, not dropped.
      {0x1234, 0x56, 0xFF00, 0x5634},
      {0x0000, 1, 0x8000, 0x8000},
      {0x1234, -8, 0xF000, 0x8234},
      // An empty mask leaves the register as it is.
      {0x1234, 0x7FFF, 0x0000, 0x1234},
  };
  for (const BitWriteCase& c : cases) {
    store.SetHoldingRegister(1, static_cast<std::int16_t>(c.stored));
    store.SetHoldingRegisterBits(1, c.value, static_cast<std::int16_t>(c.mask));
    std::int16_t v = 0;
    store.GetHoldingRegisters(1, &v, 1);
    EXPECT_EQ(static_cast<std::uint16_t>(v), c.result)
        << std::hex << c.stored << " value " << c.value << " mask " << c.mask;
  }
}

TEST(ModbusHandler, WithoutAProtocolEveryRequestFailsInsteadOfCrashing) {
  TModbusHandler handler;
  handler.SetConnectionType(TConnectionType::Serial);
  EXPECT_EQ(handler.ConnectionType(), TConnectionType::Serial);
  std::int32_t coils[1];
  std::int16_t registers[1] = {0};
  EXPECT_EQ(handler.ReadCoils(nullptr, 1, 1, coils, 1), modbus::kMbusIllegalState);
  EXPECT_EQ(handler.ReadHoldingRegisters(nullptr, 1, 1, registers, 1), modbus::kMbusIllegalState);
  EXPECT_EQ(handler.WriteCoil(nullptr, 1, 1, 1), modbus::kMbusIllegalState);
  EXPECT_EQ(handler.WriteHoldingRegister(nullptr, 1, 1, 1), modbus::kMbusIllegalState);
  EXPECT_EQ(handler.WriteHoldingRegisters(nullptr, 1, 1, registers, 1), modbus::kMbusIllegalState);
}

}  // namespace

}  // namespace registers
