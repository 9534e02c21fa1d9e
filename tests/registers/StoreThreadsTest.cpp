// The store shared by the GUI thread and the serial worker: edits while a request is on the
// line, resets and restarts that overtake a request, and a run under load for ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <random>
#include <stdexcept>
#include <thread>

#include "tests/registers/StoreFixture.h"

namespace registers {

namespace {

using namespace std::chrono_literals;
using StoreThreads = StoreFixture;

// Runs a call on another thread and reports whether it came back within two seconds, so a
// store that holds its lock across a request fails the test instead of hanging it.
bool FinishesWhileHeld(TFakeProtocol& device, const std::function<void()>& call) {
  auto done = std::async(std::launch::async, call);
  const bool finished = done.wait_for(2s) == std::future_status::ready;
  if (!finished) {
    device.Release();
  }
  done.get();
  return finished;
}

TEST_F(StoreThreads, GuiCallsAreServedWhileARequestIsOnTheLine) {
  RecordProgress();
  RegisterHoldingRegisters(1, 10);
  device.SetRegister(5, 7);
  device.HoldRequest(1);
  store.StartRead();
  std::thread worker([&] { store.ReadPass(); });
  device.WaitUntilHeld();

  EXPECT_TRUE(FinishesWhileHeld(device, [&] {
    store.SetHoldingRegister(3, 42);
    std::int16_t v = 0;
    store.GetHoldingRegisters(3, &v, 1);
    EXPECT_EQ(v, 42);
    EXPECT_FALSE(store.IsComplete());
    EXPECT_FALSE(store.HasFailed());
    EXPECT_EQ(store.RegisterCount(), 10);
    EXPECT_EQ(store.State(), TState::Reading);
    RecordProgress();
  }));
  device.Release();
  worker.join();
  std::int16_t v = 0;
  store.GetHoldingRegisters(5, &v, 1);
  EXPECT_EQ(v, 7);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"Reading Holding Registers 1 to 10\n"}));
}

TEST_F(StoreThreads, ASecondPassWhileOneRunsDoesNothing) {
  RegisterCoils(1, 3);
  device.HoldRequest(1);
  store.StartRead();
  std::thread worker([&] { store.ReadPass(); });
  device.WaitUntilHeld();
  EXPECT_TRUE(FinishesWhileHeld(device, [&] { store.ReadPass(); }));
  EXPECT_EQ(device.Requests().size(), 1u);
  device.Release();
  worker.join();
  EXPECT_EQ(device.Requests(), (std::vector<TRequest>{ReadCoilsRequest(1, 3)}));
  EXPECT_TRUE(store.IsComplete());
}

TEST_F(StoreThreads, ResetDuringARequestDropsItsResultAndReport) {
  RecordProgress();
  RegisterHoldingRegisters(1, 3);
  device.SetRegister(1, 11);
  device.HoldRequest(1);
  store.StartRead();
  std::thread worker([&] { store.ReadPass(); });
  device.WaitUntilHeld();
  store.Reset();
  store.InsertHoldingRegister(1);
  device.Release();
  worker.join();

  EXPECT_TRUE(Reports().empty());
  EXPECT_EQ(store.State(), TState::Collect);
  std::int16_t v = -1;
  store.GetHoldingRegisters(1, &v, 1);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(store.RegisterCount(), 1);
}

TEST_F(StoreThreads, ResetDuringAFailingRequestLeavesNoFailure) {
  RecordProgress();
  store.InsertCoil(1);
  device.FailRequest(1, modbus::kMbusReplyTimeout);
  device.HoldRequest(1);
  store.StartRead();
  std::thread worker([&] { store.ReadPass(); });
  device.WaitUntilHeld();
  store.Reset();
  device.Release();
  worker.join();
  EXPECT_TRUE(Reports().empty());
  EXPECT_FALSE(store.HasFailed());
  EXPECT_EQ(store.State(), TState::Collect);
}

TEST_F(StoreThreads, WriteStartedDuringAReadKeepsTheUsersValues) {
  RecordProgress();
  store.InsertCoil(1);
  store.SetCoil(1, true);
  device.HoldRequest(1);
  store.StartRead();
  std::thread worker([&] { store.ReadPass(); });
  device.WaitUntilHeld();
  store.StartWrite();
  device.Release();
  worker.join();
  EXPECT_TRUE(Reports().empty());
  EXPECT_TRUE(store.GetCoil(1));
  EXPECT_EQ(store.State(), TState::Writing);

  PassesUntilIdle(TState::Writing);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"Writing Coils 1 to 1\n", ""}));
  EXPECT_TRUE(device.CoilValue(1));
}

TEST_F(StoreThreads, WriteRestartedDuringTheEndMarkerRunsAgain) {
  RecordProgress();
  store.InsertHoldingRegister(4);
  store.SetHoldingRegister(4, 1);
  device.HoldRequest(2);  // the end marker
  store.StartWrite();
  std::thread worker([&] { PassesUntilIdle(TState::Writing); });
  device.WaitUntilHeld();
  store.SetHoldingRegister(4, 2);
  store.StartWrite();
  device.Release();
  worker.join();
  PassesUntilIdle(TState::Writing);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"Writing Holding Registers 4 to 4\n",
                                               "Writing Holding Registers 4 to 4\n", ""}));
  EXPECT_EQ(device.Register(4), 2);
  EXPECT_TRUE(store.IsComplete());
}

// The worker runs its loop (collect, read, write) while the GUI thread edits, resets and
// starts writes at random. Nothing may crash, hang or race; afterwards a clean read still
// brings every value in.
TEST_F(StoreThreads, EditsAndPassesUnderLoad) {
  constexpr int kRegisters = 120;
  constexpr int kCoils = 40;
  for (int r = 1; r <= kRegisters; ++r) {
    device.SetRegister(r, static_cast<std::int16_t>(r * 7));
  }
  for (int n = 5; n < 400; n += 37) {
    device.FailRequest(n, modbus::kMbusReplyTimeout);
  }
  std::atomic<int> handlerCalls{0};
  store.SetOnProgress([&](const void*, const std::string&, bool, std::int32_t count) {
    // The main window's handler asks these from inside the event.
    EXPECT_LE(count, TRegisterDataStore::kMaxReadCoils);
    store.RegisterCount();
    store.IsComplete();
    store.HasFailed();
    ++handlerCalls;
  });

  std::atomic<bool> stop{false};
  std::thread worker([&] {
    while (!stop) {
      switch (store.State()) {
        case TState::Collect:
          for (int r = 1; r <= kRegisters; r += 3) {
            store.InsertHoldingRegister(r);
          }
          for (int r = 1; r <= kCoils; r += 2) {
            store.InsertCoil(r);
          }
          store.StartRead();
          break;
        case TState::Reading:
          store.ReadPass();
          break;
        case TState::Writing:
          store.WritePass();
          break;
        case TState::Idle:
          std::this_thread::sleep_for(1ms);
          break;
      }
    }
  });

  std::mt19937 random(4);
  std::uniform_int_distribution<int> reference(-2, kRegisters + 2);
  std::uniform_int_distribution<int> action(0, 99);
  int refused = 0;
  // A fixed number of actions, paced so that the worker's passes interleave with them, the
  // same amount of work however fast the build runs.
  constexpr int kActions = 5000;
  for (int i = 0; i < kActions; ++i) {
    const int r = reference(random);
    try {
      const int a = action(random);
      if (a < 2) {
        store.Reset();
      } else if (a < 5) {
        store.StartWrite();
      } else if (a < 30) {
        store.SetHoldingRegister(r, static_cast<std::int16_t>(r));
      } else if (a < 45) {
        store.SetHoldingRegisterBits(r, 3, 0x0030);
      } else if (a < 60) {
        store.SetCoil(r, !store.GetCoil(r));
      } else if (a < 75) {
        std::int16_t values[4];
        store.GetHoldingRegisters(r, values, 4);
      } else {
        store.IsComplete();
        store.HasFailed();
        store.RegisterCount();
      }
    } catch (const std::out_of_range&) {
      ++refused;  // references outside the tables, or emptied by a reset
    }
    std::this_thread::sleep_for(50us);
  }
  stop = true;
  worker.join();
  EXPECT_GT(handlerCalls.load(), 0);
  EXPECT_GT(refused, 0);

  store.Reset();
  RegisterHoldingRegisters(1, kRegisters);
  device.ClearFailures();
  store.StartRead();
  PassesUntilIdle(TState::Reading);
  // The device took whatever the random writes sent; the store must now mirror it exactly.
  EXPECT_FALSE(store.HasFailed());
  for (int r = 1; r <= kRegisters; ++r) {
    std::int16_t v = 0;
    store.GetHoldingRegisters(r, &v, 1);
    EXPECT_EQ(v, device.Register(r)) << r;
  }
}

}  // namespace

}  // namespace registers
