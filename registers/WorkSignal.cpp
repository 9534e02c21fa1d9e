#include "registers/WorkSignal.h"

namespace registers {

void TWorkSignal::Notify() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++count_;
  }
  changed_.notify_all();
}

std::uint64_t TWorkSignal::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return count_;
}

std::uint64_t TWorkSignal::WaitPast(std::uint64_t seen, std::chrono::milliseconds bound) const {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, bound, [&] { return count_ != seen; });
  return count_;
}

}  // namespace registers
