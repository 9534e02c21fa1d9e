#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "modbus/MbusRtuFrame.h"

namespace {

// The CRC of the largest frame, computed for every request and reply.
void BM_Crc16LargestFrame(benchmark::State& state) {
  std::vector<std::uint8_t> frame(modbus::MbusRtuFrame::kMaxFrameSize - 2);
  for (std::size_t i = 0; i < frame.size(); ++i) {
    frame[i] = static_cast<std::uint8_t>(i * 31);
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(modbus::MbusRtuFrame::Crc16(frame.data(), frame.size()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * frame.size()));
}
BENCHMARK(BM_Crc16LargestFrame);

}  // namespace

BENCHMARK_MAIN();
