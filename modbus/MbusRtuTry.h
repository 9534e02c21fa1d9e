#pragma once

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <utility>

#include "modbus/FrameObserver.h"
#include "modbus/LineSettings.h"
#include "modbus/MbusMasterFunctions.h"
#include "modbus/MbusRtuFrame.h"

namespace modbus {

// Steps of one RTU try shared by the serial-line and the USB transport. Port is SerialPort
// or TFTDIPort: both read with a time-out counted from the call and return port statuses.
namespace mbus_rtu_try {

// Tells the observer, if there is one, of an event of the given kind happening now, filled in
// by fill; without an observer nothing is built.
template <typename Fill>
void Tell(TFrameObserver* observer, TFrameEvent::TKind kind, Fill fill) {
  if (observer == nullptr) {
    return;
  }
  TFrameEvent event;
  event.kind = kind;
  event.time = std::chrono::steady_clock::now();
  fill(event);
  observer->OnFrame(std::move(event));
}

// Input thrown away, as the observer is told of it: the first kMaxFrameSize bytes and the
// count of them all. Keeps nothing without an observer.
class TDiscarded {
 public:
  explicit TDiscarded(TFrameObserver* observer) : observer_(observer) {}
  void Add(std::uint8_t byte) {
    if (observer_ != nullptr && count_ < MbusRtuFrame::kMaxFrameSize) {
      bytes_[static_cast<std::size_t>(count_)] = byte;
    }
    ++count_;
  }
  // Tells the observer, when anything was thrown away.
  void Tell(bool beforeRequest) const {
    if (count_ == 0) {
      return;
    }
    mbus_rtu_try::Tell(observer_, TFrameEvent::TKind::kDiscarded, [&](TFrameEvent& event) {
      event.bytes.assign(bytes_.begin(),
                         bytes_.begin() + std::min(count_, MbusRtuFrame::kMaxFrameSize));
      event.count = count_;
      event.beforeRequest = beforeRequest;
    });
  }

 private:
  TFrameObserver* observer_;
  std::array<std::uint8_t, MbusRtuFrame::kMaxFrameSize> bytes_;
  int count_ = 0;
};

// Stale input drained before a request is bounded: a line that never falls silent (a
// second master, a chattering slave, a floating RS-485 pair) must not hold the request back
// for ever. A stale reply is at most one frame long.
inline constexpr int kMaxDrainBytes = MbusRtuFrame::kMaxFrameSize;

// Reads and discards one byte at a time until a read gets nothing within the
// inter-character time-out, kMaxDrainBytes bytes have been read or timeoutMs has passed.
template <typename Port>
void DrainStaleInput(Port& port, int interCharTimeoutMs, int timeoutMs,
                     TFrameObserver* observer = nullptr) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  TDiscarded discarded(observer);
  std::uint8_t stale = 0;
  for (int drained = 0; drained < kMaxDrainBytes; ++drained) {
    if (port.Read(&stale, 1, interCharTimeoutMs) != kPortSuccess) {
      break;
    }
    discarded.Add(stale);
    if (std::chrono::steady_clock::now() >= deadline) {
      break;
    }
  }
  discarded.Tell(true);
}

// Reads and discards everything that arrives until the given time, as now() tells it; returns
// early only when the port fails.
template <typename Port, typename Now>
void DiscardUntil(Port& port, std::chrono::steady_clock::time_point until, Now now,
                  TFrameObserver* observer = nullptr) {
  TDiscarded discarded(observer);
  std::uint8_t stale = 0;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - now());
    if (left.count() <= 0) {
      break;
    }
    const int status = port.Read(&stale, 1, static_cast<int>(left.count()));
    if (status == kPortSuccess) {
      discarded.Add(stale);
    } else if (status != kPortTimeout) {
      break;
    }
  }
  discarded.Tell(false);
}

// Result of writing the request frame: 133 on a send time-out, 65 on another failure.
inline int SendResult(int status) {
  if (status == kPortTimeout) {
    return kMbusSendTimeout;
  }
  return status == kPortSuccess ? kMbusSuccess : kMbusIoError;
}

// Receives a reply in two reads (the first five bytes, which hold a whole exception reply,
// then the rest) and checks it against the request; the observer is told what arrived and
// the outcome.
template <typename Port>
int ReceiveReply(Port& port, std::uint8_t* frame, int timeoutMs, int slave, int function,
                 std::uint8_t* replyData, int replyLength, TFrameObserver* observer = nullptr) {
  int got = 0;
  int status = port.Read(frame, MbusRtuFrame::kFirstReadLength, timeoutMs, &got);
  int received = got;
  if (status == kPortSuccess) {
    const int remaining = MbusRtuFrame::RemainingReplyLength(frame[1], replyLength);
    if (remaining > 0) {
      got = 0;
      status = port.Read(frame + received, remaining, timeoutMs, &got);
      received += got;
    }
  }
  int result = kMbusIoError;
  if (status == kPortTimeout) {
    result = kMbusReplyTimeout;
  } else if (status == kPortSuccess) {
    result = MbusRtuFrame::CheckReply(frame, received, slave, function, replyData, replyLength);
  }
  Tell(observer, TFrameEvent::TKind::kReply, [&](TFrameEvent& event) {
    event.bytes.assign(frame, frame + std::clamp(received, 0, MbusRtuFrame::kMaxFrameSize));
    event.result = result;
    event.waitMs = timeoutMs;
    event.slave = slave;
    event.function = function;
  });
  return result;
}

// Tells the observer of the request frame just written.
inline void TellRequest(TFrameObserver* observer, const std::uint8_t* frame, int length) {
  Tell(observer, TFrameEvent::TKind::kRequest,
       [&](TFrameEvent& event) { event.bytes.assign(frame, frame + length); });
}

// One try on a serial line: the port's buffers purged, stale input drained, the request
// written and flushed, then the reply received and checked; nothing is received for a
// broadcast (slave 0) or when no reply data is expected. frame has room for kMaxFrameSize
// bytes and the request and reply are known to fit it.
template <typename Port>
int SerialLineTry(Port& port, std::uint8_t* frame, int interCharTimeoutMs, int timeoutMs, int slave,
                  int function, const std::uint8_t* requestData, int requestLength,
                  std::uint8_t* replyData, int replyLength, TFrameObserver* observer = nullptr) {
  const int frameLength =
      MbusRtuFrame::BuildRequest(frame, slave, function, requestData, requestLength);
  port.Purge();
  DrainStaleInput(port, interCharTimeoutMs, timeoutMs, observer);
  int status = port.Write(frame, frameLength, timeoutMs);
  if (status == kPortSuccess) {
    status = port.Flush();
  }
  if (const int result = SendResult(status); result != kMbusSuccess) {
    return result;
  }
  TellRequest(observer, frame, frameLength);
  if (slave == 0 || replyLength == 0) {
    return kMbusSuccess;
  }
  return ReceiveReply(port, frame, timeoutMs, slave, function, replyData, replyLength, observer);
}

// Whether a request and its reply fit the frame buffer.
inline bool FitsFrame(int requestLength, int replyLength) {
  return requestLength >= 0 && replyLength >= 0 &&
         requestLength + MbusRtuFrame::kFrameOverhead <= MbusRtuFrame::kMaxFrameSize &&
         replyLength + MbusRtuFrame::kFrameOverhead <= MbusRtuFrame::kMaxFrameSize;
}

}  // namespace mbus_rtu_try

}  // namespace modbus
