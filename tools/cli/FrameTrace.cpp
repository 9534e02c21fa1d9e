#include "tools/cli/FrameTrace.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

TFrameTrace::TFrameTrace(const std::string& path) {
  if (path == "-") {
    file_ = stderr;
    return;
  }
  file_ = std::fopen(path.c_str(), "we");
  if (file_ == nullptr) {
    throw std::runtime_error("Cannot create file \"" + path + "\". " + std::strerror(errno));
  }
  owned_ = true;
}

TFrameTrace::~TFrameTrace() {
  Drain();
  if (owned_) {
    std::fclose(file_);
  }
}

void TFrameTrace::Drain() {
  std::size_t dropped = 0;
  const std::vector<modbus::TFrameEvent> events = queue_.Take(&dropped);
  if (dropped > 0) {
    std::fprintf(file_, "(%zu earlier events were dropped: the trace could not keep up)\n",
                 dropped);
  }
  for (const modbus::TFrameEvent& event : events) {
    std::fprintf(file_, "%s\n", decoder_.Line(event).c_str());
  }
  std::fflush(file_);
}
