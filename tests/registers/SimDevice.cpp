#include "tests/registers/SimDevice.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/TempDir.h"

namespace {

// The build passes the simulator's path; DRAVONIK_BIN_DIR points elsewhere when set.
std::string SimProgram() {
  const char* dir = std::getenv("DRAVONIK_BIN_DIR");
  return dir != nullptr ? std::string(dir) + "/dravonik-sim" : std::string(DRAVONIK_SIM_PROGRAM);
}

}  // namespace

TSimDevice::TSimDevice(std::vector<std::string> options) {
  std::string pattern = (std::filesystem::temp_directory_path() / "dravonik-reg-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    return;
  }
  folder_ = pattern;
  options.insert(options.end(), {"--link", folder_ + "/tty", "--dump", folder_ + "/dump"});
  std::vector<char*> argv;
  const std::string program = SimProgram();
  argv.push_back(const_cast<char*>(program.c_str()));
  for (std::string& option : options) {
    argv.push_back(option.data());
  }
  argv.push_back(nullptr);

  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    return;
  }
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out[1], STDOUT_FILENO);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);
  // The simulator prints the path masters open once it is ready.
  char c = 0;
  while (read(out[0], &c, 1) == 1 && c != '\n') {
    path_ += c;
  }
  close(out[0]);
}

TSimDevice::~TSimDevice() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  if (!folder_.empty()) {
    std::error_code error;
    std::filesystem::remove_all(folder_, error);
  }
}

std::string TSimDevice::DumpText() const {
  return testsupport::ReadFile(folder_ + "/dump");
}
