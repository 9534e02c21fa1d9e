#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <vector>

#include "modbus/FrameObserver.h"

namespace modbus {

// An observer that only keeps what it is told, for another thread to take in batches (the
// command line's trace, the window's log): the line's thread never waits for the reader.
// Holds at most kMaxHeld events; beyond that the oldest are dropped and counted.
class TFrameQueue : public TFrameObserver {
 public:
  static constexpr std::size_t kMaxHeld = 100000;

  void OnFrame(TFrameEvent event) override;
  // Everything told since the last Take, oldest first; dropped receives how many were
  // dropped meanwhile.
  std::vector<TFrameEvent> Take(std::size_t* dropped = nullptr);

 private:
  std::mutex mutex_;
  std::deque<TFrameEvent> events_;
  std::size_t dropped_ = 0;
};

}  // namespace modbus
