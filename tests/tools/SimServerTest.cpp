// The simulated device's server on its pseudo-terminal, driven in-process.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "modbus/MbusRtuMasterProtocol.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"
#include "tools/sim/SimServer.h"

namespace {

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line);
  }
  return lines;
}

// Noise that never forms a request is dropped as it comes: the server keeps at most a frame
// and one read of it, however long the noise lasts, and answers again once it ends.
TEST(SimServer, EndlessNoiseIsDroppedAsItComesAndTheDeviceAnswersAfterIt) {
  testsupport::TTempDir folder;
  TSimSlave slave(1);
  const std::string log = folder.File("sim.log");
  TSimServer server(slave, TSimFaults{}, "", log);
  std::string error;
  const std::string path = server.Start("", error);
  ASSERT_FALSE(path.empty()) << error;
  int stop[2];
  ASSERT_EQ(pipe(stop), 0);
  std::thread serving([&] { server.Run(stop[0]); });

  const int line = open(path.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(line, 0);
  // 64 KiB of a function code the device does not know, without a pause between writes.
  const std::vector<std::uint8_t> noise(4096, 0x65);
  for (int i = 0; i < 16; ++i) {
    ASSERT_EQ(write(line, noise.data(), noise.size()), static_cast<ssize_t>(noise.size()));
  }
  // Read holding register 28 of slave 1. Until the noise is behind it, a request may still be
  // taken for more noise: it is sent again after a second without an answer.
  const std::uint8_t request[] = {0x01, 0x03, 0x00, 0x1B, 0x00, 0x01, 0xF4, 0x0D};
  std::uint8_t reply[7] = {};
  size_t got = 0;
  for (int attempt = 0; attempt < 30 && got < sizeof reply; ++attempt) {
    ASSERT_EQ(write(line, request, sizeof request), static_cast<ssize_t>(sizeof request));
    pollfd readable{line, POLLIN, 0};
    while (got < sizeof reply && poll(&readable, 1, 1000) == 1) {
      const ssize_t n = read(line, reply + got, sizeof reply - got);
      ASSERT_GT(n, 0);
      got += static_cast<size_t>(n);
    }
  }
  ASSERT_EQ(got, sizeof reply);
  EXPECT_EQ(reply[0], 0x01);
  EXPECT_EQ(reply[1], 0x03);

  ASSERT_EQ(write(stop[1], "x", 1), 1);
  serving.join();
  close(line);
  close(stop[0]);
  close(stop[1]);

  int dropped = 0;
  for (const std::string& entry : Lines(log)) {
    dropped += entry.rfind("dropped ", 0) == 0 ? 1 : 0;
    // Two hex digits and a space a byte: no line holds more than a frame and one read.
    EXPECT_LE(entry.size(), std::string("dropped ").size() + 3 * (256 + 512));
  }
  EXPECT_GT(dropped, 1);
}

// What the simulator did with each of count reads of one register, as its log names it
// ("reply", "no-reply", "bad-crc", ...), started with the given random-fault options.
std::vector<std::string> RandomFaultActions(const std::vector<std::string>& options, int count) {
  SimProcess sim(options);
  modbus::MbusRtuMasterProtocol master;
  master.SetRetryCount(0);
  // Late replies come after the master has given up and are drained before the next request;
  // each read is one request whatever its outcome.
  master.SetTimeout(40);
  EXPECT_EQ(master.Open(sim.Path(), 57600), 0);
  std::int16_t value = 0;
  for (int i = 0; i < count; ++i) {
    master.ReadHoldingRegisters(1, 1, &value, 1);
  }
  // The simulator logs a request once it has dealt with it, which for the last one may be
  // after the master has given up on it.
  sim.AwaitLog([&](const std::vector<std::string>& lines) {
    return lines.size() >= static_cast<std::size_t>(count);
  });
  std::vector<std::string> actions;
  for (const std::string& line : sim.LogLines()) {
    actions.push_back(line.substr(0, line.find(' ')));
  }
  return actions;
}

TEST(SimServer, RandomFaultsFollowTheSeedAndInjectEveryKind) {
  const std::vector<std::string> faults{"--random-faults",   "7:50", "--random-late-ms", "60",
                                        "--random-delay-ms", "5"};
  std::vector<std::string> otherSeed = faults;
  otherSeed[1] = "8:50";
  constexpr int kRequests = 60;
  const std::vector<std::string> first = RandomFaultActions(faults, kRequests);
  ASSERT_EQ(first.size(), static_cast<std::size_t>(kRequests));
  EXPECT_EQ(RandomFaultActions(faults, kRequests), first);
  EXPECT_NE(RandomFaultActions(otherSeed, kRequests), first);
  for (const char* kind : {"reply", "no-reply", "bad-crc", "wrong-slave", "late", "delayed"}) {
    EXPECT_NE(std::find(first.begin(), first.end(), kind), first.end()) << kind;
  }

  // Only the kinds listed are drawn; 100 percent hits every request.
  const std::vector<std::string> lateOnly = RandomFaultActions(
      {"--random-faults", "7:100", "--random-kinds", "late", "--random-late-ms", "60"}, 5);
  EXPECT_EQ(lateOnly, std::vector<std::string>(5, "late"));
}

}  // namespace
