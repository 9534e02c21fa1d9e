#include "modbus/FrameQueue.h"

#include <iterator>
#include <utility>

namespace modbus {

void TFrameQueue::OnFrame(TFrameEvent event) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (events_.size() >= kMaxHeld) {
    events_.pop_front();
    ++dropped_;
  }
  events_.push_back(std::move(event));
}

std::vector<TFrameEvent> TFrameQueue::Take(std::size_t* dropped) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (dropped != nullptr) {
    *dropped = dropped_;
  }
  dropped_ = 0;
  std::vector<TFrameEvent> taken(std::make_move_iterator(events_.begin()),
                                 std::make_move_iterator(events_.end()));
  events_.clear();
  return taken;
}

}  // namespace modbus
