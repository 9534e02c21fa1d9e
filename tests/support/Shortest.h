#pragma once

#include <algorithm>
#include <chrono>

namespace testsupport {

// The shortest of `runs` runs of work, in seconds. Tests that compare the cost of two sizes
// of input compare their shortest runs, so that the machine's other work does not decide the
// outcome.
template <typename Work>
double ShortestSeconds(int runs, Work&& work) {
  double shortest = 1e9;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    shortest = std::min(shortest, took.count());
  }
  return shortest;
}

}  // namespace testsupport
