#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "modbus/FrameObserver.h"

namespace modbus {

// Writes what a master saw as one line per event, the same for the window and the command
// line:
//   10:42:07.318  TX  01 03 00 1B 00 01 F4 0D                 read holding register 28 (1)
//   10:42:07.323  RX  01 03 02 00 0C B8 41         +4.6 ms   12
//   10:42:08.330  --  no reply after 1000 ms
// The time of day is local; "+4.6 ms" counts from the request. References are numbered as
// the definitions and pages number them (the protocol address plus 1). A reply is decoded
// against the request before it (function 1: coils, 3: registers as signed numbers, 5, 6 and
// 16: what was written).
class TFrameDecoder {
 public:
  TFrameDecoder();

  std::string Line(const TFrameEvent& event);
  // Whether the event is a failure: a reply that is not a good one, a retry, discarded input.
  static bool IsError(const TFrameEvent& event);

  // "illegal data address" for exception code 2; "exception code N" for one without a name.
  static std::string ExceptionName(int code);

 private:
  std::string TimeOfDay(std::chrono::steady_clock::time_point time) const;
  std::string Request(const TFrameEvent& event);
  std::string Reply(const TFrameEvent& event) const;

  // The steady clock's epoch on the system clock, so that a steady time reads as the time of
  // day.
  std::chrono::system_clock::duration offset_;
  std::optional<TFrameEvent> request_;
};

}  // namespace modbus
