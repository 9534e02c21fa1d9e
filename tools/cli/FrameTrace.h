#pragma once

#include <cstdio>
#include <string>

#include "modbus/FrameDecoder.h"
#include "modbus/FrameQueue.h"

// --trace FILE: the frames a master reports, decoded one line each into FILE ("-": standard
// error). The master's thread only queues them; Drain, on the thread that owns the trace,
// writes what has been queued.
class TFrameTrace {
 public:
  // Throws the file's error when it cannot be created.
  explicit TFrameTrace(const std::string& path);
  ~TFrameTrace();
  TFrameTrace(const TFrameTrace&) = delete;
  TFrameTrace& operator=(const TFrameTrace&) = delete;

  modbus::TFrameObserver& Observer() { return queue_; }
  void Drain();

 private:
  modbus::TFrameQueue queue_;
  modbus::TFrameDecoder decoder_;
  std::FILE* file_ = nullptr;
  bool owned_ = false;
};
