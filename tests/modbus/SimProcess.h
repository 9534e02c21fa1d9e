#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// A dravonik-sim process for one test: started with the given options and a dump and log
// file in its own temporary folder, stopped with SIGTERM at destruction.
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> options);
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // The device path masters open (a link in the temporary folder); empty if the start failed.
  const std::string& Path() const { return path_; }
  const std::string& Folder() const { return folder_; }
  std::string DumpText() const;
  // Log lines ("reply ...", "no-reply ...", "bad-crc ...").
  std::vector<std::string> LogLines() const;
  // Sends SIGTERM and returns the exit status, -1 if it did not end within two seconds.
  int Stop();

  // DRAVONIK_BIN_DIR, or the bin folder beside the test executable's folder.
  static std::string BinDir();

 private:
  std::string folder_;
  std::string path_;
  pid_t pid_ = -1;
};

// Runs a program with arguments, capturing standard output and error.
struct ProgramResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args);
