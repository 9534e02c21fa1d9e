#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "registers/Registerdatastore.h"
#include "tests/registers/FakeProtocol.h"

using TState = registers::TRegisterDataStore::TState;

// One progress report as the main window's handler sees it, with the store's answers to the
// queries the handler makes from inside the event.
struct TReport {
  std::string text;
  bool failed = false;
  std::int32_t count = 0;
  bool complete = false;
  bool hasFailed = false;
  std::int32_t registerCount = 0;
  bool operator==(const TReport&) const = default;
};

inline void PrintTo(const TReport& r, std::ostream* os) {
  *os << "{\"" << r.text << "\", failed " << r.failed << ", count " << r.count << ", complete "
      << r.complete << ", hasFailed " << r.hasFailed << ", registers " << r.registerCount << "}";
}

// A store wired to a fake device, with a recording progress handler that, like the main
// window's, calls back into the store while the event runs.
class StoreFixture : public ::testing::Test {
 protected:
  StoreFixture() : store(handler, &device) {}

  void RecordProgress() {
    store.SetOnProgress(
        [this](const void* sender, const std::string& text, bool failed, std::int32_t count) {
          EXPECT_EQ(sender, &store);
          TReport report{
              text, failed, count, store.IsComplete(), store.HasFailed(), store.RegisterCount()};
          std::lock_guard lock(reportsMutex);
          reports.push_back(report);
        });
  }

  std::vector<TReport> Reports() {
    std::lock_guard lock(reportsMutex);
    return reports;
  }

  std::vector<std::string> Texts() {
    std::vector<std::string> texts;
    for (const TReport& r : Reports()) {
      texts.push_back(r.text);
    }
    return texts;
  }

  // Runs passes until the store leaves the given state; returns the number of passes.
  int PassesUntilIdle(TState state, int limit = 100000) {
    int passes = 0;
    while (store.State() == state && passes < limit) {
      state == TState::Reading ? store.ReadPass() : store.WritePass();
      ++passes;
    }
    return passes;
  }

  void RegisterHoldingRegisters(std::int32_t first, std::int32_t last) {
    for (std::int32_t r = first; r <= last; ++r) {
      store.InsertHoldingRegister(r);
    }
  }

  void RegisterCoils(std::int32_t first, std::int32_t last) {
    for (std::int32_t r = first; r <= last; ++r) {
      store.InsertCoil(r);
    }
  }

  TFakeProtocol device;
  registers::TModbusHandler handler;
  registers::TRegisterDataStore store;
  std::mutex reportsMutex;
  std::vector<TReport> reports;
};

using TRequest = TFakeProtocol::TRequest;

inline TRequest ReadCoilsRequest(int reference, int count) {
  return {1, reference, count, {}};
}
inline TRequest ReadRegistersRequest(int reference, int count) {
  return {3, reference, count, {}};
}
inline TRequest WriteCoilRequest(int reference, int value) {
  return {5, reference, 1, {value}};
}
inline TRequest WriteRegisterRequest(int reference, int value) {
  return {6, reference, 1, {value}};
}
inline TRequest WriteRegistersRequest(int reference, std::vector<int> values) {
  const int count = static_cast<int>(values.size());
  return {16, reference, count, std::move(values)};
}
