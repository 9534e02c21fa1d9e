#pragma once

#include <time.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "tools/sim/SimSlave.h"

// How the simulated device misbehaves. "Every N" counts the requests addressed to this
// slave (1-based): request k is hit when k is a multiple of N; 0 switches the fault off.
struct TSimFaults {
  int noReplyEvery = 0;
  int badCrcEvery = 0;
  int wrongSlaveEvery = 0;
  int lateReplyMs = 0;
  int lateReplyEvery = 1;  // with lateReplyMs
  int delayMs = 0;
  // Wire speed of the replies (10 bits a character); 0 sends them at once.
  std::uint32_t paceBaud = 0;

  // Random faults, on top of the above: a request that none of them hit is hit with
  // probability randomPercent by one kind drawn evenly from randomKinds, both drawn from a
  // generator seeded with randomSeed. The same seed gives the same faults to the same
  // sequence of requests. A delayed reply waits 1 to randomDelayMs, a late one randomLateMs.
  enum TKind : unsigned {
    kNoReply = 1,
    kBadCrc = 2,
    kWrongSlave = 4,
    kLate = 8,
    kDelay = 16,
    kAllKinds = 31,
  };
  int randomPercent = 0;
  std::uint32_t randomSeed = 0;
  unsigned randomKinds = kAllKinds;
  int randomDelayMs = 50;
  int randomLateMs = 1500;
};

// The simulated device on a pseudo-terminal: reads requests from the master side, answers
// through the slave's image with the configured faults and timing, and keeps the dump file.
class TSimServer {
 public:
  TSimServer(TSimSlave& slave, TSimFaults faults, std::string dumpPath, std::string logPath);
  ~TSimServer();

  // Creates the pseudo-terminal and the link to its slave side (when linkPath is not empty).
  // Returns the path masters open, or an empty string (with a message in error).
  std::string Start(const std::string& linkPath, std::string& error);

  // Serves requests until stopFd becomes readable.
  void Run(int stopFd);

 private:
  using Clock = std::chrono::steady_clock;
  struct PendingByte {
    Clock::time_point due;
    std::uint8_t byte;
  };

  void OnInput(Clock::time_point now);
  void TakeFrames(Clock::time_point now);
  void Respond(const std::uint8_t* frame, std::size_t length, Clock::time_point now);
  void Schedule(std::vector<std::uint8_t> reply, Clock::time_point start);
  void SendDue(Clock::time_point now);
  timespec PollTimeout(Clock::time_point now) const;
  void WriteDump() const;
  void Log(const std::string& line) const;
  Clock::duration CharTime() const;
  static bool Hit(int every, long count) { return every > 0 && count % every == 0; }
  // The random fault of the next request (0 for none) and, for a delay, its length.
  unsigned DrawRandomFault(int& delayMs);

  TSimSlave& slave_;
  TSimFaults faults_;
  std::string dumpPath_;
  std::string logPath_;
  std::string linkPath_;
  int masterFd_ = -1;
  int slaveFd_ = -1;
  long requestCount_ = 0;
  std::mt19937 random_;
  std::vector<std::uint8_t> input_;
  Clock::time_point frameStart_;
  Clock::time_point lastInput_;
  std::deque<PendingByte> output_;
};
