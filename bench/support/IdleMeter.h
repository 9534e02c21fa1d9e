#pragma once

#include <chrono>
#include <cstdint>

// What this process costs while it waits: the processor time of all its threads and their
// wake-ups (context switches, voluntary and not, from /proc/self/task/*/status), from
// construction to Stop.
class TIdleMeter {
 public:
  TIdleMeter();
  // The figures since construction.
  void Stop();
  double Seconds() const { return seconds_; }
  double CoreShare() const { return seconds_ > 0 ? cpuSeconds_ / seconds_ : 0; }
  double WakeupsPerSecond() const { return seconds_ > 0 ? wakeups_ / seconds_ : 0; }
  // "idle   WHAT for 10.0 s: 3.1 wake-ups/s, CPU 0.004 s = 0.04 % of one core"
  void Print(const char* what) const;

  static double CpuSeconds();
  static std::uint64_t ContextSwitches();

 private:
  std::chrono::steady_clock::time_point begin_;
  double cpuBefore_ = 0;
  std::uint64_t switchesBefore_ = 0;
  double seconds_ = 0;
  double cpuSeconds_ = 0;
  double wakeups_ = 0;
};
