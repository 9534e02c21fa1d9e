// Block plans, progress reports and failures of the read and write passes, against a device
// held in memory behind the real Modbus function layer.
#include <gtest/gtest.h>

#include "tests/registers/StoreFixture.h"

namespace registers {

namespace {

using ReadPass = StoreFixture;
using WritePass = StoreFixture;

constexpr int kExceptionReply = modbus::kMbusExceptionBase | 2;

TEST_F(ReadPass, FiftyOneRegistersTakeTwoRequestsAndTwoPasses) {
  RecordProgress();
  RegisterHoldingRegisters(1, 51);
  for (int r = 1; r <= 51; ++r) {
    device.SetRegister(r, static_cast<std::int16_t>(r * 3 - 100));
  }
  store.StartRead();
  EXPECT_EQ(PassesUntilIdle(TState::Reading), 2);
  EXPECT_EQ(device.Requests(),
            (std::vector<TRequest>{ReadRegistersRequest(1, 50), ReadRegistersRequest(51, 1)}));
  EXPECT_EQ(Reports(), (std::vector<TReport>{
                           {"Reading Holding Registers 1 to 50\n", false, 50, false, false, 51},
                           {"Reading Holding Registers 51 to 51\n", false, 1, false, false, 51}}));
  std::int16_t values[51];
  store.GetHoldingRegisters(1, values, 51);
  for (int r = 1; r <= 51; ++r) {
    EXPECT_EQ(values[r - 1], r * 3 - 100) << r;
  }
  EXPECT_TRUE(store.IsComplete());
  EXPECT_FALSE(store.HasFailed());
}

TEST_F(ReadPass, ValuesLandAtTheirOwnReferenceWhateverTheRegistrationOrder) {
  for (int r : {30, 10, 20}) {
    store.InsertHoldingRegister(r);
    device.SetRegister(r, static_cast<std::int16_t>(-r));
  }
  store.StartRead();
  store.ReadPass();  // no handler: one pass moves everything
  EXPECT_EQ(store.State(), TState::Idle);
  EXPECT_EQ(device.Requests(),
            (std::vector<TRequest>{ReadRegistersRequest(10, 1), ReadRegistersRequest(20, 1),
                                   ReadRegistersRequest(30, 1)}));
  std::int16_t v = 0;
  for (int r : {10, 20, 30}) {
    store.GetHoldingRegisters(r, &v, 1);
    EXPECT_EQ(v, -r);
  }
}

TEST_F(ReadPass, CoilBlocksAreCappedAtEightHundred) {
  RecordProgress();
  RegisterCoils(1, 801);
  for (int r : {1, 400, 800, 801}) {
    device.SetCoilValue(r, true);
  }
  store.StartRead();
  store.ReadPass();
  EXPECT_EQ(store.State(), TState::Reading);
  store.ReadPass();
  EXPECT_EQ(store.State(), TState::Idle);
  EXPECT_EQ(device.Requests(),
            (std::vector<TRequest>{ReadCoilsRequest(1, 800), ReadCoilsRequest(801, 1)}));
  EXPECT_EQ(Texts(),
            (std::vector<std::string>{"Reading Coils 1 to 800\n", "Reading Coils 801 to 801\n"}));
  for (int r = 1; r <= 801; ++r) {
    EXPECT_EQ(store.GetCoil(r), r == 1 || r == 400 || r == 800 || r == 801) << r;
  }
}

TEST_F(ReadPass, GapsSplitBlocksInBothTables) {
  RecordProgress();
  for (int r : {5, 7}) {
    store.InsertCoil(r);
    store.InsertHoldingRegister(r);
  }
  store.StartRead();
  EXPECT_EQ(PassesUntilIdle(TState::Reading), 4);
  EXPECT_EQ(device.Requests(),
            (std::vector<TRequest>{ReadCoilsRequest(5, 1), ReadCoilsRequest(7, 1),
                                   ReadRegistersRequest(5, 1), ReadRegistersRequest(7, 1)}));
  EXPECT_EQ(Texts(), (std::vector<std::string>{"Reading Coils 5 to 5\n", "Reading Coils 7 to 7\n",
                                               "Reading Holding Registers 5 to 5\n",
                                               "Reading Holding Registers 7 to 7\n"}));
}

TEST_F(ReadPass, GapsInBothTablesAreSkippedAtOnce) {
  int pauses = 0;
  store.SetPause([&] { ++pauses; });
  store.InsertHoldingRegister(1);
  store.InsertHoldingRegister(1000);
  store.StartRead();
  store.ReadPass();
  // A pause after each block and after each report, none for the 998 unregistered registers
  // between the two.
  EXPECT_EQ(pauses, 4);
  EXPECT_EQ(device.Requests(),
            (std::vector<TRequest>{ReadRegistersRequest(1, 1), ReadRegistersRequest(1000, 1)}));

  store.Reset();
  store.InsertCoil(1);
  store.InsertCoil(1000);
  device.SetCoilValue(1000, true);
  pauses = 0;
  store.StartRead();
  store.ReadPass();
  // The 998 unregistered coils between the two cost neither requests nor pauses.
  EXPECT_EQ(pauses, 4);
  EXPECT_EQ(store.State(), TState::Idle);
  EXPECT_EQ(device.Requests().size(), 4u);
  EXPECT_EQ(device.Requests()[3], ReadCoilsRequest(1000, 1));
  EXPECT_TRUE(store.GetCoil(1000));
}

TEST_F(ReadPass, NothingRegisteredEndsAtOnceWithoutReport) {
  RecordProgress();
  store.Reset();
  store.StartRead();
  store.ReadPass();
  EXPECT_EQ(store.State(), TState::Idle);
  EXPECT_TRUE(Reports().empty());
  EXPECT_TRUE(device.Requests().empty());
  EXPECT_FALSE(store.IsComplete());
}

TEST_F(ReadPass, FailedSecondBlockKeepsTheFirstAndStops) {
  RecordProgress();
  store.InsertCoil(1);
  RegisterHoldingRegisters(1, 60);
  for (int r = 1; r <= 60; ++r) {
    device.SetRegister(r, static_cast<std::int16_t>(r));
  }
  device.FailRequest(3, kExceptionReply);
  store.StartRead();
  EXPECT_EQ(PassesUntilIdle(TState::Reading), 3);
  EXPECT_EQ(Reports(),
            (std::vector<TReport>{
                {"Reading Coils 1 to 1\n", false, 1, false, false, 61},
                {"Reading Holding Registers 1 to 50\n", false, 50, false, false, 61},
                {"Reading Holding Registers 51 to 60Failed", true, 0, false, true, 61}}));
  std::int16_t values[60];
  store.GetHoldingRegisters(1, values, 60);
  EXPECT_EQ(values[49], 50);
  EXPECT_EQ(values[50], 0);
  EXPECT_EQ(values[59], 0);
  EXPECT_TRUE(store.HasFailed());
  EXPECT_FALSE(store.IsComplete());
  EXPECT_EQ(store.State(), TState::Idle);

  // A new read starts from the first reference again, with the failed flag cleared.
  store.StartRead();
  EXPECT_FALSE(store.HasFailed());
  PassesUntilIdle(TState::Reading);
  EXPECT_EQ(device.Requests()[3], ReadCoilsRequest(1, 1));
  store.GetHoldingRegisters(1, values, 60);
  EXPECT_EQ(values[59], 60);
  EXPECT_TRUE(store.IsComplete());
}

// The failed report's handler sees a store that has ended its read, and a read the handler
// starts again (as a retry would) is not ended behind its back when the report returns.
TEST_F(ReadPass, AFailedBlocksReportSeesAnIdleStoreAndMayStartAgain) {
  store.InsertCoil(1);
  device.FailRequest(1, modbus::kMbusReplyTimeout);
  std::vector<TState> statesSeen;
  store.SetOnProgress([&](const void*, const std::string&, bool failed, std::int32_t) {
    if (failed && statesSeen.empty()) {
      statesSeen.push_back(store.State());
      store.StartRead();
    }
  });
  store.StartRead();
  store.ReadPass();
  EXPECT_EQ(statesSeen, std::vector<TState>{TState::Idle});
  EXPECT_EQ(store.State(), TState::Reading);
  EXPECT_FALSE(store.HasFailed());
  PassesUntilIdle(TState::Reading);
  EXPECT_TRUE(store.IsComplete());
}

TEST_F(ReadPass, FailedCoilBlockSkipsTheHoldingRegistersAndLeavesTheImage) {
  RecordProgress();
  RegisterCoils(1, 10);
  store.SetCoil(4, true);
  store.InsertHoldingRegister(1);
  device.FailRequest(1, modbus::kMbusReplyTimeout);
  store.StartRead();
  store.ReadPass();
  EXPECT_EQ(Texts(), (std::vector<std::string>{"Reading coils1 to 10Failed"}));
  EXPECT_EQ(device.Requests().size(), 1u);
  EXPECT_TRUE(store.GetCoil(4));
  EXPECT_EQ(store.State(), TState::Idle);
  store.ReadPass();  // idle now: nothing more happens
  EXPECT_EQ(device.Requests().size(), 1u);
}

TEST_F(ReadPass, WithoutAProtocolTheFirstBlockFails) {
  RecordProgress();
  store.SetProtocol(nullptr);
  store.InsertHoldingRegister(28);
  store.StartRead();
  store.ReadPass();
  EXPECT_EQ(Texts(), (std::vector<std::string>{"Reading Holding Registers 28 to 28Failed"}));
  EXPECT_TRUE(store.HasFailed());
}

TEST_F(ReadPass, RunsOnlyWhileReading) {
  RecordProgress();
  store.InsertHoldingRegister(1);
  store.ReadPass();  // Idle
  store.Reset();
  store.InsertHoldingRegister(1);
  store.ReadPass();  // Collect
  store.StartWrite();
  store.ReadPass();  // Writing
  EXPECT_TRUE(device.Requests().empty());
  EXPECT_EQ(store.State(), TState::Writing);
  store.StartRead();
  store.WritePass();
  EXPECT_TRUE(device.Requests().empty());
  EXPECT_EQ(store.State(), TState::Reading);
}

TEST_F(WritePass, CoilsOneARequestThenTheEndMarker) {
  RecordProgress();
  RegisterCoils(3, 5);
  store.SetCoil(4, true);
  store.StartWrite();
  EXPECT_EQ(PassesUntilIdle(TState::Writing), 3);
  EXPECT_EQ(device.Requests(),
            (std::vector<TRequest>{WriteCoilRequest(3, 0), WriteCoilRequest(4, 1),
                                   WriteCoilRequest(5, 0), WriteRegisterRequest(27, 123)}));
  EXPECT_EQ(Reports(), (std::vector<TReport>{{"Writing Coils 3 to 3\n", false, 1, false, false, 3},
                                             {"Writing Coils 4 to 4\n", false, 1, false, false, 3},
                                             {"Writing Coils 5 to 5\n", false, 1, false, false, 3},
                                             {"", false, 0, true, false, 3}}));
  EXPECT_TRUE(store.IsComplete());
}

TEST_F(WritePass, RegistersGoInBlocksOfFiftyWithImageValues) {
  RecordProgress();
  store.InsertCoil(1);
  RegisterHoldingRegisters(100, 151);
  RegisterHoldingRegisters(160, 160);
  for (int r = 100; r <= 151; ++r) {
    store.SetHoldingRegister(r, static_cast<std::int16_t>(r - 200));
  }
  store.SetHoldingRegister(160, 32767);
  store.StartWrite();
  EXPECT_EQ(PassesUntilIdle(TState::Writing), 4);
  std::vector<int> first;
  for (int r = 100; r < 150; ++r) {
    first.push_back(r - 200);
  }
  EXPECT_EQ(
      device.Requests(),
      (std::vector<TRequest>{WriteCoilRequest(1, 0), WriteRegistersRequest(100, first),
                             WriteRegistersRequest(150, {-50, -49}),
                             WriteRegistersRequest(160, {32767}), WriteRegisterRequest(27, 123)}));
  EXPECT_EQ(Texts(), (std::vector<std::string>{"Writing Coils 1 to 1\n",
                                               "Writing Holding Registers 100 to 149\n",
                                               "Writing Holding Registers 150 to 151\n",
                                               "Writing Holding Registers 160 to 160\n", ""}));
}

TEST_F(WritePass, NothingRegisteredStillWritesTheEndMarker) {
  RecordProgress();
  store.Reset();
  store.StartWrite();
  store.WritePass();
  EXPECT_EQ(device.Requests(), (std::vector<TRequest>{WriteRegisterRequest(27, 123)}));
  EXPECT_EQ(Reports(), (std::vector<TReport>{{"", false, 0, false, false, 0}}));
  EXPECT_EQ(store.State(), TState::Idle);
}

TEST_F(WritePass, EndMarkerFailureFailsTheWrite) {
  RecordProgress();
  store.InsertHoldingRegister(2);
  device.FailRequest(2, kExceptionReply);
  store.StartWrite();
  PassesUntilIdle(TState::Writing);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"Writing Holding Registers 2 to 2\n",
                                               "Writing Holding Registers 27 to 27Failed"}));
  EXPECT_EQ(Reports().back(),
            (TReport{"Writing Holding Registers 27 to 27Failed", true, 0, false, true, 1}));
  EXPECT_TRUE(store.HasFailed());
  EXPECT_FALSE(store.IsComplete());
}

TEST_F(WritePass, AbortEndsATransferWithOneFailedReport) {
  RecordProgress();
  RegisterHoldingRegisters(1, 60);
  store.StartRead();
  store.ReadPass();
  store.Abort("Reading stopped");
  store.Abort("ignored: already idle");
  EXPECT_EQ(Texts(),
            (std::vector<std::string>{"Reading Holding Registers 1 to 50\n", "Reading stopped"}));
  EXPECT_EQ(Reports().back().failed, true);
  EXPECT_EQ(store.State(), TState::Idle);
  EXPECT_TRUE(store.HasFailed());
  store.ReadPass();
  EXPECT_EQ(device.Requests().size(), 1u);
}

TEST_F(WritePass, FailedBlockEndsTheWriteWithoutEndMarker) {
  RecordProgress();
  RegisterCoils(5, 6);
  store.InsertHoldingRegister(1);
  device.FailRequest(2, modbus::kMbusReplyTimeout);
  store.StartWrite();
  PassesUntilIdle(TState::Writing);
  EXPECT_EQ(Texts(),
            (std::vector<std::string>{"Writing Coils 5 to 5\n", "Writing coils6 to 6Failed"}));
  EXPECT_EQ(device.Requests().size(), 2u);
  EXPECT_TRUE(store.HasFailed());
  EXPECT_FALSE(store.IsComplete());

  device.FailRequest(5, modbus::kMbusReplyTimeout);
  store.StartWrite();
  PassesUntilIdle(TState::Writing);
  EXPECT_EQ(Texts().back(), "Writing Holding Registers 1 to 1Failed");
  EXPECT_EQ(device.Requests().size(), 5u);
}

TEST_F(WritePass, WithoutHandlerOnePassWritesEverything) {
  RegisterCoils(1, 3);
  RegisterHoldingRegisters(1, 120);
  store.StartWrite();
  store.WritePass();
  EXPECT_EQ(store.State(), TState::Idle);
  EXPECT_EQ(device.Requests().size(), 3u + 3u + 1u);
  EXPECT_TRUE(store.IsComplete());
}

}  // namespace

}  // namespace registers
