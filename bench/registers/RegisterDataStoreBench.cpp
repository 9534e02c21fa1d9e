#include <benchmark/benchmark.h>

#include "registers/Registerdatastore.h"
#include "tests/registers/FakeProtocol.h"

namespace {

using TState = registers::TRegisterDataStore::TState;

constexpr int kHoldingRegisters = 1000;
constexpr int kCoils = 200;

// The worker's way: one reported block per pass until the store is idle again.
void RunTransfer(registers::TRegisterDataStore& store, TState state) {
  state == TState::Reading ? store.StartRead() : store.StartWrite();
  while (store.State() == state) {
    state == TState::Reading ? store.ReadPass() : store.WritePass();
  }
}

void Transfer(benchmark::State& state, TState transfer) {
  TFakeProtocol device;
  registers::TModbusHandler handler;
  registers::TRegisterDataStore store(handler, &device);
  std::int64_t blocks = 0;
  store.SetOnProgress([&](const void* sender, const std::string&, bool, std::int32_t) {
    const auto* s = static_cast<const registers::TRegisterDataStore*>(sender);
    benchmark::DoNotOptimize(s->IsComplete());
    ++blocks;
  });
  store.Reset();
  for (int r = 1; r <= kHoldingRegisters; ++r) {
    store.InsertHoldingRegister(r);
  }
  for (int r = 1; r <= kCoils; ++r) {
    store.InsertCoil(r);
  }
  for (auto _ : state) {
    RunTransfer(store, transfer);
  }
  state.counters["blocks"] =
      benchmark::Counter(static_cast<double>(blocks), benchmark::Counter::kAvgIterations);
  state.counters["registers"] = kHoldingRegisters + kCoils;
}

void BM_FullRead(benchmark::State& state) {
  Transfer(state, TState::Reading);
}
void BM_FullWrite(benchmark::State& state) {
  Transfer(state, TState::Writing);
}

BENCHMARK(BM_FullRead)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(BM_FullWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
