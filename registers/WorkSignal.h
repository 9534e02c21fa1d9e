#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace registers {

// Tells a waiting worker that there is something for it to do. Every Notify counts; a
// worker takes the count before it looks for work and then waits for the count to move on
// from it, so a notification that comes between looking and waiting is never lost.
class TWorkSignal {
 public:
  void Notify();
  std::uint64_t Count() const;
  // Returns once the count differs from seen, or after bound; returns the count then.
  std::uint64_t WaitPast(std::uint64_t seen, std::chrono::milliseconds bound) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::uint64_t count_ = 0;
};

}  // namespace registers
