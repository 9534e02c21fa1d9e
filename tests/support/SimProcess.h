#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

// What a simulator holds, read from its dump: holding registers ("h REF VALUE", unsigned) and
// coils ("c REF 1"); a reference not listed holds 0.
struct TSimImage {
  std::map<std::int32_t, std::uint16_t> registers;
  std::map<std::int32_t, bool> coils;
  std::uint16_t Register(std::int32_t reference) const;
  bool Coil(std::int32_t reference) const;
};

// A dravonik-sim process for one test: started with the given options and a dump and log
// file in its own temporary folder, stopped with SIGTERM at destruction. The simulator runs
// in a session of its own with none of the test's descriptors beyond a pipe for its ready
// line, so a test that dies cannot leave it holding the test runner's output; it is also
// told to end when the test process ends.
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> options);
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // The device path masters open (a link in the temporary folder); empty if the start failed.
  const std::string& Path() const { return path_; }
  std::string DumpText() const;
  TSimImage Image() const;
  // Log lines ("reply ...", "no-reply ...", "bad-crc ...").
  std::vector<std::string> LogLines() const;
  // Waits until the log lines satisfy the condition, woken by each change of the log; false
  // if they still do not after boundMs. For tests without an event loop to keep turning.
  bool AwaitLog(const std::function<bool(const std::vector<std::string>&)>& condition,
                int boundMs = 60000) const;
  // What the simulator wrote to its standard error, e.g. why it did not start.
  std::string ErrorText() const;
  // Stops the simulator (see testsupport::StopHelper); -1 also when it was not running.
  int Stop();

  // DRAVONIK_BIN_DIR, or the bin folder beside the test executable's folder.
  static std::string BinDir();

 private:
  testsupport::TTempDir folder_;
  std::string path_;
  pid_t pid_ = -1;
};

namespace testsupport {

// Starts a helper program (the simulator, socat) that outlives the call: in a session and
// process group of its own, with standard input from /dev/null, output and error into the
// given descriptors and no other descriptor of the test. It is sent SIGTERM when the thread
// that started it ends. Returns its process id, -1 if it could not be started.
pid_t StartHelper(const std::string& program, const std::vector<std::string>& args, int outFd,
                  int errFd);
// Sends SIGTERM to the helper's process group and reaps it; a helper still there after two
// seconds is killed. Returns its exit status, -1 if it did not exit by itself.
int StopHelper(pid_t pid);
// Waits until the condition holds, looking again at each change of a file in the folder;
// false if it still does not after boundMs. For tests without an event loop to keep turning.
bool AwaitFolder(const std::string& folder, const std::function<bool()>& condition, int boundMs);

}  // namespace testsupport

// Runs a program with arguments, capturing standard output and error.
struct ProgramResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args);
// Runs the built dravonik-cli with arguments.
ProgramResult RunCli(const std::vector<std::string>& args);
