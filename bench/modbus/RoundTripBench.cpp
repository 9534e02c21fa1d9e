// A 50-register read and a 50-register write against dravonik-sim pacing its replies at
// 57600 baud, through our master and through libmodbus's, side by side. Prints the median
// time per request of each, the wire-time limit of request plus reply and the ratios.
#include <modbus.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "modbus/FrameQueue.h"
#include "modbus/MbusRtuMasterProtocol.h"
#include "tests/support/SimProcess.h"

namespace {

constexpr int kBaud = 57600;
constexpr int kRegisters = 50;
constexpr double kBitsPerChar = 10.0;
// Request and reply characters on the line: read 8 + 105, write 109 + 8.
constexpr int kReadChars = 8 + 5 + 2 * kRegisters;
constexpr int kWriteChars = 9 + 2 * kRegisters + 8;

double WireMs(int chars) {
  return chars * kBitsPerChar * 1000.0 / kBaud;
}

// Median milliseconds of one request over count runs; -1 if any request failed.
double MedianMs(int count, const std::function<bool()>& request) {
  std::vector<double> times;
  for (int i = 0; i < count; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (!request()) {
      return -1;
    }
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

void Report(const char* what, int chars, double ours, double theirs) {
  const double wire = WireMs(chars);
  std::printf(
      "%-22s wire limit %6.2f ms | ours %6.2f ms (%.3f x wire) | libmodbus %6.2f ms "
      "(%.3f x wire) | ours - libmodbus %+.2f ms\n",
      what, wire, ours, ours / wire, theirs, theirs / wire, ours - theirs);
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 100;
  SimProcess sim({"--pace", std::to_string(kBaud)});
  if (sim.Path().empty()) {
    std::fprintf(stderr, "cannot start dravonik-sim from %s\n", SimProcess::BinDir().c_str());
    return 1;
  }
  std::vector<std::int16_t> values(kRegisters, 0x1234);
  std::vector<std::uint16_t> raw(kRegisters, 0x4321);

  modbus::MbusRtuMasterProtocol ours;
  if (ours.Open(sim.Path(), kBaud) != 0) {
    std::fprintf(stderr, "cannot open %s\n", sim.Path().c_str());
    return 1;
  }
  const double oursRead = MedianMs(
      count, [&] { return ours.ReadHoldingRegisters(1, 1, values.data(), kRegisters) == 0; });
  const double oursWrite = MedianMs(
      count, [&] { return ours.WriteHoldingRegisters(1, 1, values.data(), kRegisters) == 0; });
  // The same with an observer told of every frame (the communication log's queue, emptied
  // after each request as the log's reader would).
  modbus::TFrameQueue queue;
  ours.SetObserver(&queue);
  const double observedRead = MedianMs(count, [&] {
    const bool ok = ours.ReadHoldingRegisters(1, 1, values.data(), kRegisters) == 0;
    return !queue.Take().empty() && ok;
  });
  const double observedWrite = MedianMs(count, [&] {
    const bool ok = ours.WriteHoldingRegisters(1, 1, values.data(), kRegisters) == 0;
    return !queue.Take().empty() && ok;
  });
  ours.SetObserver(nullptr);
  ours.Close();

  modbus_t* theirs = modbus_new_rtu(sim.Path().c_str(), kBaud, 'N', 8, 1);
  if (theirs == nullptr || modbus_set_slave(theirs, 1) != 0 || modbus_connect(theirs) != 0) {
    std::fprintf(stderr, "libmodbus cannot open %s\n", sim.Path().c_str());
    return 1;
  }
  const double theirsRead = MedianMs(count, [&] {
    return modbus_read_registers(theirs, 0, kRegisters, raw.data()) == kRegisters;
  });
  const double theirsWrite = MedianMs(count, [&] {
    return modbus_write_registers(theirs, 0, kRegisters, raw.data()) == kRegisters;
  });
  modbus_close(theirs);
  modbus_free(theirs);

  std::printf("%d requests each, dravonik-sim --pace %d, medians per request\n", count, kBaud);
  Report("read 50 registers", kReadChars, oursRead, theirsRead);
  Report("write 50 registers", kWriteChars, oursWrite, theirsWrite);
  std::printf("ours with a frame observer: read %.2f ms (%+.2f), write %.2f ms (%+.2f)\n",
              observedRead, observedRead - oursRead, observedWrite, observedWrite - oursWrite);
  return oursRead < 0 || oursWrite < 0 || theirsRead < 0 || theirsWrite < 0 ? 1 : 0;
}
