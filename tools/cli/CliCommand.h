#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

class MbusMasterFunctions;

// One raw register command of dravonik-cli.
struct TCliCommand {
  enum class Kind { kReadRegisters, kReadCoils, kWriteRegister, kWriteRegisters, kWriteCoil };
  Kind kind = Kind::kReadRegisters;
  std::string port;
  bool usb = false;
  int slave = 1;
  int retries = 1;
  int timeoutMs = 1000;
  std::uint32_t baud = 57600;
  long ref = 0;
  long count = 0;
  std::vector<std::int16_t> values;  // written values; coils as 0 or 1
};

extern const char* const kCliUsage;

// Parses the arguments after the program name. false with a message for a usage error.
bool ParseCliCommand(const std::vector<std::string>& args, TCliCommand& command,
                     std::string& error);

// Runs the command on an open master; prints read values to out ("REF VALUE" lines) and a
// failure to err ("error CODE: TEXT"). Returns the result code.
int RunCliCommand(const TCliCommand& command, MbusMasterFunctions& master, std::ostream& out,
                  std::ostream& err);
