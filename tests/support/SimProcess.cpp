#include "tests/support/SimProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace {

constexpr int kStopBoundMs = 2000;

// Only async-signal-safe calls run between fork and exec: the tests that start programs
// have threads. A program without a slash in its name is looked up in PATH.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args, int outFd, int errFd,
            bool ownSession) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(nullptr);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid != 0) {
    return pid;
  }
  if (ownSession) {
    setsid();
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) {
      _exit(127);
    }
  }
  const int in = open("/dev/null", O_RDONLY);
  if (in < 0 || dup2(in, STDIN_FILENO) < 0 || dup2(outFd, STDOUT_FILENO) < 0 ||
      dup2(errFd, STDERR_FILENO) < 0) {
    _exit(127);
  }
  syscall(SYS_close_range, 3U, ~0U, 0U);
  execvp(program.c_str(), argv.data());
  _exit(127);
}

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t n = 0;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) {
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

// Waits for the child to end, at most boundMs; returns whether it was reaped.
bool Reap(pid_t pid, int boundMs, int& status) {
  const int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (fd >= 0) {
    pollfd ended{fd, POLLIN, 0};
    poll(&ended, 1, boundMs);
    close(fd);
  }
  return waitpid(pid, &status, WNOHANG) == pid;
}

}  // namespace

namespace testsupport {

pid_t StartHelper(const std::string& program, const std::vector<std::string>& args, int outFd,
                  int errFd) {
  return Spawn(program, args, outFd, errFd, true);
}

int StopHelper(pid_t pid) {
  int status = 0;
  kill(-pid, SIGTERM);
  if (Reap(pid, kStopBoundMs, status)) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  kill(-pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

bool AwaitFolder(const std::string& folder, const std::function<bool()>& condition, int boundMs) {
  const int watch = inotify_init1(IN_CLOEXEC);
  if (watch < 0 || inotify_add_watch(watch, folder.c_str(), IN_MODIFY | IN_CREATE) < 0) {
    if (watch >= 0) {
      close(watch);
    }
    return condition();
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
  bool met = condition();
  while (!met) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd changed{watch, POLLIN, 0};
    if (left.count() <= 0 || poll(&changed, 1, static_cast<int>(left.count())) != 1) {
      break;
    }
    char events[4096];
    [[maybe_unused]] const ssize_t ignored = read(watch, events, sizeof events);
    met = condition();
  }
  close(watch);
  return met;
}

}  // namespace testsupport

std::string SimProcess::BinDir() {
  const char* dir = std::getenv("DRAVONIK_BIN_DIR");
  if (dir != nullptr && *dir != 0) {
    return dir;
  }
  // Test executables live in <build>/tests, the programs in <build>/bin.
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return (self.parent_path().parent_path() / "bin").string();
}

SimProcess::SimProcess(std::vector<std::string> options) {
  options.insert(options.end(), {"--link", folder_.File("tty"), "--dump", folder_.File("dump"),
                                 "--log", folder_.File("log")});
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    return;
  }
  const int err =
      open(folder_.File("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (err >= 0) {
    pid_ = testsupport::StartHelper(BinDir() + "/dravonik-sim", options, out[1], err);
    close(err);
  }
  close(out[1]);
  // The simulator prints its path when it is ready.
  std::string line;
  char c = 0;
  while (pid_ > 0 && read(out[0], &c, 1) == 1 && c != '\n') {
    line += c;
  }
  close(out[0]);
  path_ = line;
}

SimProcess::~SimProcess() {
  Stop();
}

int SimProcess::Stop() {
  if (pid_ <= 0) {
    return -1;
  }
  const pid_t pid = pid_;
  pid_ = -1;
  return testsupport::StopHelper(pid);
}

std::string SimProcess::DumpText() const {
  return testsupport::ReadFile(folder_.File("dump"));
}

TSimImage SimProcess::Image() const {
  TSimImage image;
  std::istringstream in(DumpText());
  char kind = 0;
  long reference = 0;
  long value = 0;
  while (in >> kind >> reference >> value) {
    if (kind == 'h') {
      image.registers[static_cast<std::int32_t>(reference)] = static_cast<std::uint16_t>(value);
    } else {
      image.coils[static_cast<std::int32_t>(reference)] = value != 0;
    }
  }
  return image;
}

std::uint16_t TSimImage::Register(std::int32_t reference) const {
  const auto found = registers.find(reference);
  return found == registers.end() ? 0 : found->second;
}

bool TSimImage::Coil(std::int32_t reference) const {
  const auto found = coils.find(reference);
  return found != coils.end() && found->second;
}

std::string SimProcess::ErrorText() const {
  return testsupport::ReadFile(folder_.File("stderr"));
}

std::vector<std::string> SimProcess::LogLines() const {
  std::vector<std::string> lines;
  std::istringstream in(testsupport::ReadFile(folder_.File("log")));
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line);
  }
  return lines;
}

bool SimProcess::AwaitLog(const std::function<bool(const std::vector<std::string>&)>& condition,
                          int boundMs) const {
  // The simulator appends to its log, so every line it writes is a change of the folder.
  return testsupport::AwaitFolder(
      folder_.Path().string(), [&] { return condition(LogLines()); }, boundMs);
}

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args) {
  // Output goes to temporary files so that a large output cannot block the child.
  FILE* out = std::tmpfile();
  FILE* err = std::tmpfile();
  ProgramResult result;
  const pid_t pid = Spawn(program, args, fileno(out), fileno(err), false);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  lseek(fileno(out), 0, SEEK_SET);
  lseek(fileno(err), 0, SEEK_SET);
  result.out = ReadAll(fileno(out));
  result.err = ReadAll(fileno(err));
  std::fclose(out);
  std::fclose(err);
  return result;
}

ProgramResult RunCli(const std::vector<std::string>& args) {
  return RunProgram(SimProcess::BinDir() + "/dravonik-cli", args);
}
