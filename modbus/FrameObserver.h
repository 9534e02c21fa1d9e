#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

namespace modbus {

// One thing a master saw on the line, with the moment it happened (steady clock).
struct TFrameEvent {
  enum class TKind {
    kRequest,    // bytes: the request frame as written, CRC included
    kReply,      // bytes: what arrived for the request (maybe a part); result: the try's outcome
    kDiscarded,  // bytes: input thrown away (at most a frame's worth); count: how much in all
    kRetry,      // retry: which extra try of the request this is (1 = the first retry)
  };
  TKind kind = TKind::kRequest;
  std::chrono::steady_clock::time_point time;
  std::vector<std::uint8_t> bytes;
  // kReply: 0; 129 a wrong CRC; 130 another slave or function; 0xA0 | code an exception
  // reply; 132 no whole reply within waitMs; another code a port failure.
  int result = 0;
  int waitMs = 0;
  // kReply: the slave and function the request went to.
  int slave = 0;
  int function = 0;
  // kDiscarded: before the request (stale input) or after a time-out (a late reply).
  bool beforeRequest = false;
  int count = 0;
  int retry = 0;
};

// Told by a master of every frame it sends, every byte sequence it receives or discards and
// every retry, on the thread that runs the request. It must return at once: the line waits.
class TFrameObserver {
 public:
  virtual ~TFrameObserver() = default;
  virtual void OnFrame(TFrameEvent event) = 0;
};

}  // namespace modbus
