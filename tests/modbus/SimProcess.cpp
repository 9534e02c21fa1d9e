#include "tests/modbus/SimProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string MakeFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "dravonik-sim-XXXXXX").string();
  return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

pid_t Spawn(const std::string& program, const std::vector<std::string>& args, int outFd,
            int errFd) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(outFd, STDOUT_FILENO);
    dup2(errFd, STDERR_FILENO);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  return pid;
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

}  // namespace

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

SimProcess::SimProcess(std::vector<std::string> options) : folder_(MakeFolder()) {
  options.insert(options.end(), {"--link", folder_ + "/tty", "--dump", folder_ + "/dump", "--log",
                                 folder_ + "/log"});
  int out[2];
  if (folder_.empty() || pipe2(out, O_CLOEXEC) != 0) {
    return;
  }
  pid_ = Spawn(BinDir() + "/dravonik-sim", options, out[1], STDERR_FILENO);
  close(out[1]);
  // The simulator prints its path when it is ready.
  std::string line;
  char c = 0;
  while (read(out[0], &c, 1) == 1 && c != '\n') {
    line += c;
  }
  close(out[0]);
  path_ = line;
}

SimProcess::~SimProcess() {
  Stop();
  if (!folder_.empty()) {
    std::error_code error;
    std::filesystem::remove_all(folder_, error);
  }
}

int SimProcess::Stop() {
  if (pid_ <= 0) {
    return -1;
  }
  kill(pid_, SIGTERM);
  int status = 0;
  for (int i = 0; i < 200; ++i) {
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return -1;
}

std::string SimProcess::DumpText() const {
  return ReadFile(folder_ + "/dump");
}

std::vector<std::string> SimProcess::LogLines() const {
  std::vector<std::string> lines;
  std::istringstream in(ReadFile(folder_ + "/log"));
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line);
  }
  return lines;
}

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args) {
  // Output goes to temporary files so that a large output cannot block the child.
  FILE* out = std::tmpfile();
  FILE* err = std::tmpfile();
  ProgramResult result;
  const pid_t pid = Spawn(program, args, fileno(out), fileno(err));
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
