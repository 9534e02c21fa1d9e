#include "tools/sim/SimServer.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <sstream>

namespace {

// A partial request that stops arriving for this long is dropped, as a device drops a
// frame broken by silence. Unknown functions are taken as complete after the same gap.
constexpr auto kFrameGap = std::chrono::milliseconds(50);
// No RTU frame is longer. Bytes that make no request by then are dropped, so that an endless
// stream of noise costs no more memory than one frame and a read.
constexpr std::size_t kMaxFrameBytes = 256;

std::string Hex(const std::uint8_t* bytes, std::size_t length) {
  std::ostringstream out;
  for (std::size_t i = 0; i < length; ++i) {
    out << (i == 0 ? "" : " ") << std::hex << std::setw(2) << std::setfill('0')
        << static_cast<int>(bytes[i]);
  }
  return out.str();
}

}  // namespace

TSimServer::TSimServer(TSimSlave& slave, TSimFaults faults, std::string dumpPath,
                       std::string logPath)
    : slave_(slave),
      faults_(faults),
      dumpPath_(std::move(dumpPath)),
      logPath_(std::move(logPath)),
      random_(faults_.randomSeed) {}

TSimServer::~TSimServer() {
  if (!linkPath_.empty()) {
    unlink(linkPath_.c_str());
  }
  if (slaveFd_ >= 0) {
    close(slaveFd_);
  }
  if (masterFd_ >= 0) {
    close(masterFd_);
  }
}

std::string TSimServer::Start(const std::string& linkPath, std::string& error) {
  masterFd_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (masterFd_ < 0 || grantpt(masterFd_) != 0 || unlockpt(masterFd_) != 0) {
    error = "cannot create a pseudo-terminal";
    return {};
  }
  char name[128] = {};
  if (ptsname_r(masterFd_, name, sizeof name) != 0) {
    error = "cannot name the pseudo-terminal";
    return {};
  }
  // Holding the slave side open keeps the master side readable between the masters'
  // sessions; raw mode keeps replies from being echoed or translated.
  slaveFd_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios tio{};
  if (slaveFd_ < 0 || tcgetattr(slaveFd_, &tio) != 0) {
    error = "cannot open the pseudo-terminal";
    return {};
  }
  cfmakeraw(&tio);
  tcsetattr(slaveFd_, TCSANOW, &tio);
  if (!linkPath.empty()) {
    unlink(linkPath.c_str());
    if (symlink(name, linkPath.c_str()) != 0) {
      error = "cannot create the link " + linkPath;
      return {};
    }
    linkPath_ = linkPath;
  }
  WriteDump();
  return linkPath.empty() ? std::string(name) : linkPath;
}

void TSimServer::Run(int stopFd) {
  while (true) {
    const Clock::time_point now = Clock::now();
    SendDue(now);
    pollfd fds[2] = {{masterFd_, POLLIN, 0}, {stopFd, POLLIN, 0}};
    const timespec timeout = PollTimeout(Clock::now());
    const int ready = ppoll(fds, 2, &timeout, nullptr);
    if (ready < 0 && errno != EINTR) {
      return;
    }
    if ((fds[1].revents & POLLIN) != 0) {
      return;
    }
    if ((fds[0].revents & POLLIN) != 0) {
      OnInput(Clock::now());
    }
    TakeFrames(Clock::now());
  }
}

void TSimServer::OnInput(Clock::time_point now) {
  std::uint8_t buffer[512];
  const ssize_t n = read(masterFd_, buffer, sizeof buffer);
  if (n <= 0) {
    return;
  }
  if (input_.empty()) {
    frameStart_ = now;
  }
  input_.insert(input_.end(), buffer, buffer + n);
  lastInput_ = now;
}

void TSimServer::TakeFrames(Clock::time_point now) {
  while (!input_.empty()) {
    int length = TSimSlave::RequestLength(input_.data(), input_.size());
    const bool silent = now - lastInput_ >= kFrameGap;
    if (length < 0 && silent) {
      length = static_cast<int>(input_.size());
    }
    if (length <= 0 || static_cast<std::size_t>(length) > input_.size()) {
      if (silent || input_.size() > kMaxFrameBytes) {
        Log("dropped " + Hex(input_.data(), input_.size()));
        input_.clear();
      }
      return;
    }
    Respond(input_.data(), static_cast<std::size_t>(length), now);
    input_.erase(input_.begin(), input_.begin() + length);
    frameStart_ = now;
  }
}

void TSimServer::Respond(const std::uint8_t* frame, std::size_t length, Clock::time_point now) {
  TSimSlave::Result result = slave_.Handle(frame, length);
  if (result.wrote) {
    WriteDump();
  }
  if (result.outcome == TSimSlave::Outcome::kIgnored) {
    Log("ignored " + Hex(frame, length));
    return;
  }
  if (result.outcome == TSimSlave::Outcome::kBroadcast) {
    Log("broadcast " + Hex(frame, length));
    return;
  }
  const long k = ++requestCount_;
  std::string action = "reply";
  auto delay = std::chrono::milliseconds(faults_.delayMs);
  // Drawn for every request, so that the faults follow from the seed and the request count
  // alone.
  int randomDelayMs = 0;
  const unsigned random = DrawRandomFault(randomDelayMs);
  if (Hit(faults_.noReplyEvery, k) || random == TSimFaults::kNoReply) {
    Log("no-reply " + Hex(frame, length));
    return;
  }
  if (Hit(faults_.badCrcEvery, k) || random == TSimFaults::kBadCrc) {
    result.reply.back() ^= 0xFF;
    action = "bad-crc";
  } else if (Hit(faults_.wrongSlaveEvery, k) || random == TSimFaults::kWrongSlave) {
    result.reply[0] = static_cast<std::uint8_t>(slave_.Address() % 247 + 1);
    result.reply.erase(result.reply.end() - 2, result.reply.end());  // its CRC, made again
    AppendCrc(result.reply);
    action = "wrong-slave";
  } else if (faults_.lateReplyMs > 0 && Hit(faults_.lateReplyEvery, k)) {
    delay = std::chrono::milliseconds(faults_.lateReplyMs);
    action = "late";
  } else if (random == TSimFaults::kLate) {
    delay = std::chrono::milliseconds(faults_.randomLateMs);
    action = "late";
  } else if (random == TSimFaults::kDelay) {
    delay += std::chrono::milliseconds(randomDelayMs);
    action = "delayed";
  }
  Log(action + " " + Hex(frame, length));
  // On a paced line the request itself took its wire time: the reply cannot start before
  // the last request character would have arrived.
  Clock::time_point start = now;
  if (faults_.paceBaud > 0) {
    start = std::max(start, frameStart_ + CharTime() * static_cast<long>(length));
  }
  Schedule(std::move(result.reply), start + delay);
}

unsigned TSimServer::DrawRandomFault(int& delayMs) {
  if (faults_.randomPercent <= 0 || (faults_.randomKinds & TSimFaults::kAllKinds) == 0) {
    return 0;
  }
  // The generator's output is the same on every platform; the standard distributions are
  // not, so the draws are plain remainders.
  const bool hit = random_() % 100 < static_cast<std::uint32_t>(faults_.randomPercent);
  std::vector<unsigned> kinds;
  for (unsigned kind = 1; kind <= TSimFaults::kDelay; kind <<= 1) {
    if ((faults_.randomKinds & kind) != 0) {
      kinds.push_back(kind);
    }
  }
  const unsigned kind = kinds[random_() % kinds.size()];
  delayMs = 1 + static_cast<int>(random_() %
                                 static_cast<std::uint32_t>(std::max(faults_.randomDelayMs, 1)));
  return hit ? kind : 0;
}

TSimServer::Clock::duration TSimServer::CharTime() const {
  return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(
      faults_.paceBaud == 0 ? 0 : 10'000'000'000LL / static_cast<long long>(faults_.paceBaud)));
}

void TSimServer::Schedule(std::vector<std::uint8_t> reply, Clock::time_point start) {
  if (!output_.empty()) {
    start = std::max(start, output_.back().due);
  }
  const Clock::duration charTime = CharTime();
  for (std::size_t i = 0; i < reply.size(); ++i) {
    output_.push_back({start + charTime * static_cast<long>(i + 1), reply[i]});
  }
}

void TSimServer::SendDue(Clock::time_point now) {
  std::uint8_t chunk[512];
  std::size_t n = 0;
  while (!output_.empty() && output_.front().due <= now && n < sizeof chunk) {
    chunk[n++] = output_.front().byte;
    output_.pop_front();
  }
  std::size_t sent = 0;
  while (sent < n) {
    const ssize_t w = write(masterFd_, chunk + sent, n - sent);
    if (w > 0) {
      sent += static_cast<std::size_t>(w);
    } else if (w < 0 && errno != EINTR && errno != EAGAIN) {
      return;
    } else if (w < 0 && errno == EAGAIN) {
      pollfd pfd{masterFd_, POLLOUT, 0};
      poll(&pfd, 1, 10);
    }
  }
}

timespec TSimServer::PollTimeout(Clock::time_point now) const {
  Clock::time_point wake = now + std::chrono::seconds(1);
  if (!output_.empty()) {
    wake = std::min(wake, output_.front().due);
  }
  if (!input_.empty()) {
    wake = std::min(wake, lastInput_ + kFrameGap);
  }
  // Paced characters are a fraction of a millisecond apart, hence a timeout in nanoseconds.
  const long long ns = std::max<long long>(
      0, std::chrono::duration_cast<std::chrono::nanoseconds>(wake - now).count());
  return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

void TSimServer::WriteDump() const {
  if (dumpPath_.empty()) {
    return;
  }
  // Written beside the file and renamed over it, so that a reader never sees half a dump.
  const std::string temporary = dumpPath_ + ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << slave_.DumpText();
  }
  std::rename(temporary.c_str(), dumpPath_.c_str());
}

void TSimServer::Log(const std::string& line) const {
  if (logPath_.empty()) {
    return;
  }
  std::ofstream out(logPath_, std::ios::app);
  out << line << '\n';
}
