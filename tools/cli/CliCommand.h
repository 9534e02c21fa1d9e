#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace modbus {
class MbusMasterFunctions;
}  // namespace modbus

// One command of dravonik-cli: a raw register command on a link, or an offline command on
// the device definitions and settings files.
struct TCliCommand {
  enum class Kind {
    kReadRegisters,
    kReadCoils,
    kWriteRegister,
    kWriteRegisters,
    kWriteCoil,
    kDevices,
    kDefaults,
    kConvert,
    kPreset,
    kDiff,
    kCheck,
    kPorts,
    kRead,
    kWrite,
    kReport,
    kProvision,
  };
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

  // Offline commands. An empty devicesPath means the Devices.xml beside the program; the
  // device type is chosen by name or by id, never both.
  std::string devicesPath;
  std::optional<std::string> deviceName;
  std::optional<std::int32_t> deviceId;
  std::string inPath;
  std::string outPath;
  // write: read every written register back and list what the device does not hold.
  bool verify = false;
  // write: send a settings file even with values outside the definitions' limits.
  bool force = false;
  // read, write and the raw commands: where the communication trace goes ("-": standard
  // error; empty: no trace).
  std::string tracePath;
  // diff: the two settings files compared; report: the one reported.
  std::vector<std::string> files;
  // convert: write the spreadsheet table (one row per setting) instead.
  bool table = false;
  // read and write: also write the handover report (PDF) of the document here.
  std::string reportPath;
  // provision: the folder of the units' records; how many units it writes is `count` (0:
  // until stopped).
  std::string recordsPath;
};

// True for the commands that work on files only and open no link.
bool IsOfflineCommand(TCliCommand::Kind kind);
// True for read, write and provision: a whole device through the program's own link, worker
// and store.
bool IsOnlineCommand(TCliCommand::Kind kind);
// True for the commands that lay out a handover report, which needs fonts: report, provision,
// and read or write with --report.
bool MakesReport(const TCliCommand& command);

extern const char* const kCliUsage;

// Parses the arguments after the program name. false with a message for a usage error:
// one line saying what is wrong.
bool ParseCliCommand(const std::vector<std::string>& args, TCliCommand& command,
                     std::string& error);

// Runs a raw register command on an open master; prints read values to out ("REF VALUE" lines) and
// a failure to err ("error CODE: TEXT"). Returns the result code.
int RunCliCommand(const TCliCommand& command, modbus::MbusMasterFunctions& master,
                  std::ostream& out, std::ostream& err);
