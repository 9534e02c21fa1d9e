#pragma once

#include <chrono>
#include <cstdint>

#include "modbus/LineSettings.h"
#include "modbus/MbusMasterFunctions.h"
#include "modbus/MbusRtuFrame.h"

// Steps of one RTU try shared by the serial-line and the USB transport. Port is SerialPort
// or TFTDIPort: both read with a time-out counted from the call and return port statuses.
namespace mbus_rtu_try {

// Stale input drained before a request is bounded: a line that never falls silent (a
// second master, a chattering slave, a floating RS-485 pair) must not hold the request back
// for ever. A stale reply is at most one frame long.
inline constexpr int kMaxDrainBytes = MbusRtuFrame::kMaxFrameSize;

// Reads and discards one byte at a time until a read gets nothing within the
// inter-character time-out, kMaxDrainBytes bytes have been read or timeoutMs has passed.
template <typename Port>
void DrainStaleInput(Port& port, int interCharTimeoutMs, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::uint8_t stale = 0;
  for (int drained = 0; drained < kMaxDrainBytes; ++drained) {
    if (port.Read(&stale, 1, interCharTimeoutMs) != kPortSuccess ||
        std::chrono::steady_clock::now() >= deadline) {
      return;
    }
  }
}

// Reads and discards everything that arrives until the given time, as now() tells it; returns
// early only when the port fails.
template <typename Port, typename Now>
void DiscardUntil(Port& port, std::chrono::steady_clock::time_point until, Now now) {
  std::uint8_t stale = 0;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - now());
    if (left.count() <= 0) {
      return;
    }
    const int status = port.Read(&stale, 1, static_cast<int>(left.count()));
    if (status != kPortSuccess && status != kPortTimeout) {
      return;
    }
  }
}

// Result of writing the request frame: 133 on a send time-out, 65 on another failure.
inline int SendResult(int status) {
  if (status == kPortTimeout) {
    return kMbusSendTimeout;
  }
  return status == kPortSuccess ? kMbusSuccess : kMbusIoError;
}

// Receives a reply in two reads (the first five bytes, which hold a whole exception reply,
// then the rest) and checks it against the request.
template <typename Port>
int ReceiveReply(Port& port, std::uint8_t* frame, int timeoutMs, int slave, int function,
                 std::uint8_t* replyData, int replyLength) {
  int status = port.Read(frame, MbusRtuFrame::kFirstReadLength, timeoutMs);
  int received = MbusRtuFrame::kFirstReadLength;
  if (status == kPortSuccess) {
    const int remaining = MbusRtuFrame::RemainingReplyLength(frame[1], replyLength);
    if (remaining > 0) {
      status = port.Read(frame + received, remaining, timeoutMs);
      received += remaining;
    }
  }
  if (status == kPortTimeout) {
    return kMbusReplyTimeout;
  }
  if (status != kPortSuccess) {
    return kMbusIoError;
  }
  return MbusRtuFrame::CheckReply(frame, received, slave, function, replyData, replyLength);
}

// One try on a serial line: the port's buffers purged, stale input drained, the request
// written and flushed, then the reply received and checked; nothing is received for a
// broadcast (slave 0) or when no reply data is expected. frame has room for kMaxFrameSize
// bytes and the request and reply are known to fit it.
template <typename Port>
int SerialLineTry(Port& port, std::uint8_t* frame, int interCharTimeoutMs, int timeoutMs, int slave,
                  int function, const std::uint8_t* requestData, int requestLength,
                  std::uint8_t* replyData, int replyLength) {
  const int frameLength =
      MbusRtuFrame::BuildRequest(frame, slave, function, requestData, requestLength);
  port.Purge();
  DrainStaleInput(port, interCharTimeoutMs, timeoutMs);
  int status = port.Write(frame, frameLength, timeoutMs);
  if (status == kPortSuccess) {
    status = port.Flush();
  }
  if (const int result = SendResult(status); result != kMbusSuccess) {
    return result;
  }
  if (slave == 0 || replyLength == 0) {
    return kMbusSuccess;
  }
  return ReceiveReply(port, frame, timeoutMs, slave, function, replyData, replyLength);
}

// Whether a request and its reply fit the frame buffer.
inline bool FitsFrame(int requestLength, int replyLength) {
  return requestLength >= 0 && replyLength >= 0 &&
         requestLength + MbusRtuFrame::kFrameOverhead <= MbusRtuFrame::kMaxFrameSize &&
         replyLength + MbusRtuFrame::kFrameOverhead <= MbusRtuFrame::kMaxFrameSize;
}

}  // namespace mbus_rtu_try
