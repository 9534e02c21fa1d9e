#include "bench/support/IdleMeter.h"

#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

TIdleMeter::TIdleMeter()
    : begin_(std::chrono::steady_clock::now()),
      cpuBefore_(CpuSeconds()),
      switchesBefore_(ContextSwitches()) {}

void TIdleMeter::Stop() {
  seconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin_).count();
  cpuSeconds_ = CpuSeconds() - cpuBefore_;
  wakeups_ = static_cast<double>(ContextSwitches() - switchesBefore_);
}

void TIdleMeter::Print(const char* what) const {
  std::printf("idle   %s for %.1f s: %.1f wake-ups/s, CPU %.3f s = %.2f %% of one core\n", what,
              seconds_, WakeupsPerSecond(), cpuSeconds_, 100.0 * CoreShare());
}

double TIdleMeter::CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::uint64_t TIdleMeter::ContextSwitches() {
  std::uint64_t total = 0;
  std::error_code error;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
    std::ifstream status(task.path() / "status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
          line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
        total += std::stoull(line.substr(line.find(':') + 1));
      }
    }
  }
  return total;
}
