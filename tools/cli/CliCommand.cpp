#include "tools/cli/CliCommand.h"

#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>

#include "modbus/LineSettings.h"
#include "modbus/MbusMasterFunctions.h"
#include "tools/cli/SettingTexts.h"
#include "tools/common/ParseNumber.h"

const char* const kCliUsage = R"(Usage: dravonik-cli COMMAND --port PORT [options]
       dravonik-cli read|write|provision (--port PORT | --usb) [options]
       dravonik-cli devices|defaults|convert|diff|report|preset|check [options]
Raw register commands through the tool's own Modbus RTU master, and offline commands on
the device definitions and settings files.

Commands:
  read-registers  --port PORT --ref R --count N   read N holding registers from R
  read-coils      --port PORT --ref R --count N   read N coils from R
  write-register  --port PORT --ref R --value V   write one holding register (-32768..65535)
  write-registers --port PORT --ref R V1 V2 ...   write consecutive holding registers from R
  write-coil      --port PORT --ref R --value 0|1 switch one coil off or on

PORT is "COM1" to "COM20" (DRAVONIK_COM<n>, else /dev/ttyS<n-1>) or a device path (one
holding a "/"); anything else is a usage error. R is the 1-based register reference
(protocol address + 1).

R is 1 to 65536; N is 1 to 125 registers or 1 to 2000 coils; write-registers takes 1 to
100 values. The registers read or written must end by reference 65536.

Options:
  --slave N        slave address, 1 to 255 (default 1; 0 broadcasts a write)
  --retries N      extra tries after a checksum error, invalid frame or time-out, 0 to 10
                   (default 1)
  --usb            open the FTDI converter by its descriptions ("Dravonik", "b-lyn",
                   "USB <-> Serial", "K3K") instead of PORT
  --timeout-ms MS  reply time-out in milliseconds (default 1000)
  --trace FILE     write every frame sent and received, decoded, one line each, to FILE
                   ("-": standard error), as the transfer runs
  --baud B         line speed, a standard rate from 50 to 921600 (default 57600; 8 data
                   bits, 1 stop bit, no parity)
  --help           this text
  --version        the program's version

Reads print one line per value, "REF VALUE", registers as signed 16-bit numbers, coils as 0
or 1. A Modbus failure prints "error CODE: TEXT" on standard error and exits 1; a port that
will not open prints "error: PORT: WHY" ("error: /dev/ttyUSB3: not present") and exits 1.
A usage error prints what is wrong and "Try 'dravonik-cli --help'." and exits 2.

Offline commands (no link is opened, nothing is sent to a device):
  devices  [--devices FILE]                     list the device types in file order, one
                                                line each: "INDEX<TAB>DEVICE_ID<TAB>NAME"
  defaults DEVICE [--devices FILE] --out FILE   write the device type's factory defaults
  convert  DEVICE [--devices FILE] --in FILE.zsf --out FILE [--table]
                                                load a settings file over the factory
                                                defaults and write the result; --table
                                                writes the spreadsheet table instead: one
                                                row per setting with the columns Group,
                                                Setting, Value, Unit, Default, Register
                                                (UTF-8, quoted as RFC 4180 has it)
  report   [DEVICE] [--devices FILE] FILE.zsf --out FILE.pdf
                                                load a settings file over the factory
                                                defaults and write its handover report: a
                                                PDF of every group's settings with their
                                                values, units and factory defaults, a "*"
                                                where a value is not the default; DEVICE
                                                may be left out (the file names it)
  diff     [DEVICE] [--devices FILE] A.zsf B.zsf
                                                load both over the factory defaults and list
                                                each setting whose values differ, in page
                                                order: "Group / Setting: A-value -> B-value";
                                                DEVICE may be left out when both files name
                                                the same device type. Exit 0 when none
                                                differ, 1 when some do, 2 on a usage error or
                                                a file that cannot be loaded
  check    [--devices FILE]                     list what loads but cannot be right, one line
                                                each, in file order, as "FILE:LINE: WHAT:
                                                PROBLEM": settings on holding register 27 or
                                                28, a repeated device_id or settings_id, min
                                                above max, a default outside its limits or
                                                16 bits, a drop-down without a default entry,
                                                groups and settings the loader skips, a file
                                                without devices, defaults that break an
                                                exclusion group. Prints nothing and exits 0
                                                when there is none; exits 1 when some are
                                                listed or the file does not load ("error:
                                                MESSAGE"), 2 on a usage error
  preset   DEVICE [--devices FILE]              print the dravonik-sim options that make it
                                                a device of this type holding its factory
                                                defaults (--set 28=ID ... --set-coil ...)

Ports:
  ports                 one line per serial device present: its path, its stable name
                        under /dev/serial/by-id, its driver, the USB product string,
                        whether you may open it (if not, the group that would let you)
                        and the Comm numbers that open it

Device commands (through the program's own link, worker thread and register store):
  read  (--port PORT | --usb) [--devices FILE] --out FILE [--report FILE.pdf]
                        search for the device (holding register 28), read every register
                        its device type uses and write them as a settings file, or CSV
  write (--port PORT | --usb) [--devices FILE] --in FILE.zsf [--verify] [--force]
        [--report FILE.pdf]
                        search, read as a connection does, load the settings file over
                        what was read and write every register, then 123 to register 27;
                        --verify then reads every register back and lists each setting
                        the device does not hold as written ("Group / Setting: wrote X,
                        device holds Y"), exiting 1 when there is one. A file with values
                        outside the definitions' limits is refused, naming each, unless
                        --force is given
  provision (--port PORT | --usb) [--devices FILE] --in SITE.zsf --records DIR
        [--count N] [--force]
                        write one settings file to unit after unit: wait for a unit to
                        answer the search, check it is of the file's device type, write
                        and verify, save what it then holds as DIR/NNN-TYPE-DATE.zsf and
                        its report .pdf, add a line to DIR/provisioned.csv (unit, time,
                        device type, result, reason, settings that differ), print "Unit
                        NNN: written and verified. Connect the next unit." and wait until
                        the unit is gone. A unit that fails is recorded and the next one
                        awaited. Ends after N units (1 to 999), or at Ctrl-C between units
                        with a summary; Ctrl-C during a unit finishes the request on the
                        line and records the unit as interrupted. Exits 0 when every unit
                        was written and verified, 1 when one failed, 130 when one was
                        interrupted
  --report FILE.pdf     also write the handover report of what was read, or written (with
                        --verify: of what the device holds afterwards)
  --timeout-ms MS       reply time-out in milliseconds (default 1000)
  --trace FILE          every frame on the line, decoded, to FILE ("-": standard error)
Before the search, read checks that its output file can be written, and write that its
settings file loads for a device type of the definitions; the device found must be of that
type. The search tries up to 15 times; on a terminal one line shows the attempt. Progress
goes to standard error. Exit status 0 only when the whole transfer succeeded. Ctrl-C,
SIGTERM or SIGHUP during a write stops it after the request on the line, names what the
device acknowledged (the closing marker is not sent) and exits 128 plus the signal (130
for Ctrl-C); a second one ends the program at once.

DEVICE is --device NAME (the exact name) or --device-id ID. --devices FILE is the device
definitions file (default: the Devices.xml beside this program). --out FILE is written as
a settings file, or as CSV when FILE ends in ".csv" in any letter case; an existing file
is replaced. An error prints "error: MESSAGE" on standard error and exits 1, leaving no
output file behind and any previous one as it was.
)";

namespace {

// The usage error of a number outside min to max, or no number at all.
std::string BadNumber(const std::string& option, const std::string& text, long min, long max) {
  return "bad value for " + option + ": " + text + " (" + std::to_string(min) + " to " +
         std::to_string(max) + ")";
}

// A port is "COM1" to "COM20", written exactly so, or a device path (it holds a "/"). Anything
// else is a usage error rather than a guess: "COM 2" must not open Comm 1.
bool CheckPort(const std::string& port, std::string& error) {
  if (port.find('/') != std::string::npos) {
    return true;
  }
  if (port.size() > 3 && port.size() <= 5 && port.rfind("COM", 0) == 0 && port[3] != '0') {
    if (const auto number = ParseNumber(port.substr(3), 1, 20);
        number && port.find_first_not_of("0123456789", 3) == std::string::npos) {
      return true;
    }
  }
  error = "bad value for --port: \"" + Printable(port) +
          "\" (COM1 to COM20, or a device path such as /dev/ttyUSB0)";
  return false;
}

// An option of the command (known) that has a value after it; otherwise the usage error.
bool CheckOption(const std::vector<std::string>& args, std::size_t i, bool known,
                 std::string& error) {
  const std::string& arg = args[i];
  if (!known) {
    error = (arg.rfind("--", 0) == 0 ? "unknown option for " + args[0] + ": "
                                     : "unexpected argument: ") +
            arg;
    return false;
  }
  if (i + 1 >= args.size()) {
    error = "missing value for " + arg;
    return false;
  }
  return true;
}

bool ParseOfflineOptions(const std::vector<std::string>& args, TCliCommand& command,
                         std::string& error) {
  const bool diff = command.kind == TCliCommand::Kind::kDiff;
  const bool report = command.kind == TCliCommand::Kind::kReport;
  const bool convert = command.kind == TCliCommand::Kind::kConvert;
  // devices and check work on the whole definitions file.
  const bool needsDevice =
      command.kind != TCliCommand::Kind::kDevices && command.kind != TCliCommand::Kind::kCheck;
  const bool writesFile = needsDevice && command.kind != TCliCommand::Kind::kPreset && !diff;
  // diff compares two files, report reports one.
  const std::size_t positional = diff ? 2 : report ? 1 : 0;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.rfind("--", 0) != 0 && command.files.size() < positional) {
      command.files.push_back(arg);
      continue;
    }
    if (convert && arg == "--table") {
      command.table = true;
      continue;
    }
    const bool known = arg == "--devices" ||
                       (needsDevice && (arg == "--device" || arg == "--device-id")) ||
                       (writesFile && arg == "--out") || (convert && arg == "--in");
    if (!CheckOption(args, i, known, error)) {
      return false;
    }
    const std::string& text = args[++i];
    if (arg == "--devices") {
      command.devicesPath = text;
    } else if (arg == "--device") {
      command.deviceName = text;
    } else if (arg == "--device-id") {
      const auto id = ParseNumber(text, INT32_MIN, INT32_MAX);
      if (!id) {
        error = "bad value for " + arg + ": " + text;
        return false;
      }
      command.deviceId = static_cast<std::int32_t>(*id);
    } else if (arg == "--in") {
      command.inPath = text;
    } else {
      command.outPath = text;
    }
  }
  if (!needsDevice) {
    return true;
  }
  if (command.deviceName && command.deviceId) {
    error = "--device and --device-id exclude each other";
  } else if (diff) {
    if (command.files.size() != 2) {
      error = "two settings files to compare are required";
    }
  } else if (report && command.files.empty()) {
    error = "the settings file to report is required";
  } else if (!report && !command.deviceName && !command.deviceId) {
    error = "--device or --device-id is required";
  } else if (command.kind == TCliCommand::Kind::kConvert && command.inPath.empty()) {
    error = "--in is required";
  } else if (writesFile && command.outPath.empty()) {
    error = "--out is required";
  }
  return error.empty();
}

bool ParseOnlineOptions(const std::vector<std::string>& args, TCliCommand& command,
                        std::string& error) {
  const bool reading = command.kind == TCliCommand::Kind::kRead;
  const bool provision = command.kind == TCliCommand::Kind::kProvision;
  // provision always verifies what it wrote.
  command.verify = provision;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--usb") {
      command.usb = true;
      continue;
    }
    if (arg == "--verify" && command.kind == TCliCommand::Kind::kWrite) {
      command.verify = true;
      continue;
    }
    if (arg == "--force" && !reading) {
      command.force = true;
      continue;
    }
    const bool known = arg == "--port" || arg == "--devices" || arg == "--timeout-ms" ||
                       arg == "--trace" || (reading && arg == "--out") ||
                       (!reading && arg == "--in") || (!provision && arg == "--report") ||
                       (provision && (arg == "--records" || arg == "--count"));
    if (!CheckOption(args, i, known, error)) {
      return false;
    }
    const std::string& text = args[++i];
    if (arg == "--port") {
      command.port = text;
      if (!CheckPort(text, error)) {
        return false;
      }
    } else if (arg == "--devices") {
      command.devicesPath = text;
    } else if (arg == "--trace") {
      command.tracePath = text;
    } else if (arg == "--out") {
      command.outPath = text;
    } else if (arg == "--in") {
      command.inPath = text;
    } else if (arg == "--report") {
      command.reportPath = text;
    } else if (arg == "--records") {
      command.recordsPath = text;
    } else if (arg == "--count") {
      const auto value = ParseNumber(text, 1, 999);
      if (!value) {
        error = BadNumber(arg, text, 1, 999);
        return false;
      }
      command.count = *value;
    } else {
      const auto value = ParseNumber(text, 1, 600000);
      if (!value) {
        error = BadNumber(arg, text, 1, 600000);
        return false;
      }
      command.timeoutMs = static_cast<int>(*value);
    }
  }
  if (command.port.empty() == !command.usb) {
    error = "give either --port or --usb";
  } else if (reading && command.outPath.empty()) {
    error = "--out is required";
  } else if (!reading && command.inPath.empty()) {
    error = "--in is required";
  } else if (provision && command.recordsPath.empty()) {
    error = "--records is required";
  }
  return error.empty();
}

}  // namespace

bool IsOnlineCommand(TCliCommand::Kind kind) {
  return kind == TCliCommand::Kind::kRead || kind == TCliCommand::Kind::kWrite ||
         kind == TCliCommand::Kind::kProvision;
}

bool MakesReport(const TCliCommand& command) {
  return command.kind == TCliCommand::Kind::kReport ||
         command.kind == TCliCommand::Kind::kProvision || !command.reportPath.empty();
}

bool IsOfflineCommand(TCliCommand::Kind kind) {
  return kind == TCliCommand::Kind::kDevices || kind == TCliCommand::Kind::kDefaults ||
         kind == TCliCommand::Kind::kConvert || kind == TCliCommand::Kind::kPreset ||
         kind == TCliCommand::Kind::kDiff || kind == TCliCommand::Kind::kCheck ||
         kind == TCliCommand::Kind::kReport;
}

bool ParseCliCommand(const std::vector<std::string>& args, TCliCommand& command,
                     std::string& error) {
  static const std::map<std::string, TCliCommand::Kind> kCommands = {
      {"read-registers", TCliCommand::Kind::kReadRegisters},
      {"read-coils", TCliCommand::Kind::kReadCoils},
      {"write-register", TCliCommand::Kind::kWriteRegister},
      {"write-registers", TCliCommand::Kind::kWriteRegisters},
      {"write-coil", TCliCommand::Kind::kWriteCoil},
      {"devices", TCliCommand::Kind::kDevices},
      {"defaults", TCliCommand::Kind::kDefaults},
      {"convert", TCliCommand::Kind::kConvert},
      {"preset", TCliCommand::Kind::kPreset},
      {"diff", TCliCommand::Kind::kDiff},
      {"check", TCliCommand::Kind::kCheck},
      {"ports", TCliCommand::Kind::kPorts},
      {"read", TCliCommand::Kind::kRead},
      {"write", TCliCommand::Kind::kWrite},
      {"report", TCliCommand::Kind::kReport},
      {"provision", TCliCommand::Kind::kProvision},
  };
  if (args.empty()) {
    error = "no command";
    return false;
  }
  const auto kind = kCommands.find(args[0]);
  if (kind == kCommands.end()) {
    error = "unknown command: " + args[0];
    return false;
  }
  command.kind = kind->second;
  if (IsOfflineCommand(command.kind)) {
    return ParseOfflineOptions(args, command, error);
  }
  if (IsOnlineCommand(command.kind)) {
    return ParseOnlineOptions(args, command, error);
  }
  if (command.kind == TCliCommand::Kind::kPorts) {
    if (args.size() > 1) {
      error = "unexpected argument: " + args[1];
      return false;
    }
    return true;
  }
  const bool isRead = command.kind == TCliCommand::Kind::kReadRegisters ||
                      command.kind == TCliCommand::Kind::kReadCoils;
  bool haveRef = false;
  bool haveCount = false;
  bool haveValue = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--usb") {
      command.usb = true;
      continue;
    }
    if (arg.rfind("--", 0) != 0 || arg == "--") {
      // A plain number (negative ones included) is a value of write-registers.
      const auto value = ParseNumber(arg, -32768, 65535);
      if (command.kind != TCliCommand::Kind::kWriteRegisters || !value) {
        error = "unexpected argument: " + arg;
        return false;
      }
      command.values.push_back(static_cast<std::int16_t>(*value));
      continue;
    }
    if (i + 1 >= args.size()) {
      error = "missing value for " + arg;
      return false;
    }
    const std::string& text = args[++i];
    // Each number within what the master accepts, so that a bad one is a usage error, not
    // a request refused after the port was opened.
    long min = 0;
    long max = 0;
    if (arg == "--port") {
      command.port = text;
      if (!CheckPort(text, error)) {
        return false;
      }
      continue;
    } else if (arg == "--trace") {
      command.tracePath = text;
      continue;
    } else if (arg == "--slave") {
      min = isRead ? 1 : 0;
      max = modbus::MbusMasterFunctions::kMaxSlave;
    } else if (arg == "--retries") {
      max = modbus::MbusMasterFunctions::kMaxRetryCount;
    } else if (arg == "--timeout-ms") {
      min = 1;
      max = 600000;
    } else if (arg == "--baud") {
      const auto baud = ParseNumber(text, 1, 4000000);
      if (!baud || !modbus::IsSupportedBaud(static_cast<std::uint32_t>(*baud))) {
        error = "bad value for --baud: " + text + " (a standard rate from 50 to 921600)";
        return false;
      }
      command.baud = static_cast<std::uint32_t>(*baud);
      continue;
    } else if (arg == "--ref") {
      min = modbus::MbusMasterFunctions::kMinReference;
      max = modbus::MbusMasterFunctions::kMaxReference;
      haveRef = true;
    } else if (arg == "--count" && isRead) {
      min = 1;
      max = command.kind == TCliCommand::Kind::kReadCoils
                ? modbus::MbusMasterFunctions::kMaxReadCoils
                : modbus::MbusMasterFunctions::kMaxReadRegisters;
      haveCount = true;
    } else if (arg == "--value" && command.kind == TCliCommand::Kind::kWriteRegister) {
      min = -32768;
      max = 65535;
      haveValue = true;
    } else if (arg == "--value" && command.kind == TCliCommand::Kind::kWriteCoil) {
      max = 1;
      haveValue = true;
    } else {
      error = "unknown option for " + args[0] + ": " + arg;
      return false;
    }
    const auto value = ParseNumber(text, min, max);
    if (!value) {
      error = BadNumber(arg, text, min, max);
      return false;
    }
    if (arg == "--slave") {
      command.slave = static_cast<int>(*value);
    } else if (arg == "--retries") {
      command.retries = static_cast<int>(*value);
    } else if (arg == "--timeout-ms") {
      command.timeoutMs = static_cast<int>(*value);
    } else if (arg == "--ref") {
      command.ref = *value;
    } else if (arg == "--count") {
      command.count = *value;
    } else {
      command.values = {static_cast<std::int16_t>(*value)};
    }
  }
  const long span = isRead ? command.count : static_cast<long>(command.values.size());
  if (command.port.empty() && !command.usb) {
    error = "--port is required";
  } else if (!haveRef) {
    error = "--ref is required";
  } else if (isRead && !haveCount) {
    error = "--count is required";
  } else if ((command.kind == TCliCommand::Kind::kWriteRegister ||
              command.kind == TCliCommand::Kind::kWriteCoil) &&
             !haveValue) {
    error = "--value is required";
  } else if (command.kind == TCliCommand::Kind::kWriteRegisters && command.values.empty()) {
    error = "no values to write";
  } else if (command.values.size() >
             static_cast<std::size_t>(modbus::MbusMasterFunctions::kMaxWriteRegisters)) {
    error = "too many values to write: " + std::to_string(command.values.size()) + " (1 to " +
            std::to_string(modbus::MbusMasterFunctions::kMaxWriteRegisters) + ")";
  } else if (command.ref + span - 1 > modbus::MbusMasterFunctions::kMaxReference) {
    const bool coils = command.kind == TCliCommand::Kind::kReadCoils;
    error = (coils ? "coils " : "registers ") + std::to_string(command.ref) + " to " +
            std::to_string(command.ref + span - 1) + " run past reference " +
            std::to_string(modbus::MbusMasterFunctions::kMaxReference);
  }
  return error.empty();
}

int RunCliCommand(const TCliCommand& command, modbus::MbusMasterFunctions& master,
                  std::ostream& out, std::ostream& err) {
  const int slave = command.slave;
  const int ref = static_cast<int>(command.ref);
  const int count = static_cast<int>(command.count);
  int result = modbus::kMbusSuccess;
  switch (command.kind) {
    case TCliCommand::Kind::kReadRegisters: {
      // The buffer has room for the count asked for; the master refuses counts it cannot
      // serve before touching it.
      std::vector<std::int16_t> values(count > 0 ? static_cast<std::size_t>(count) : 1);
      result = master.ReadHoldingRegisters(slave, ref, values.data(), count);
      for (int i = 0; result == modbus::kMbusSuccess && i < count; ++i) {
        out << ref + i << ' ' << values[i] << '\n';
      }
      break;
    }
    case TCliCommand::Kind::kReadCoils: {
      std::vector<std::int32_t> values(count > 0 ? static_cast<std::size_t>(count) : 1);
      result = master.ReadCoils(slave, ref, values.data(), count);
      for (int i = 0; result == modbus::kMbusSuccess && i < count; ++i) {
        out << ref + i << ' ' << values[i] << '\n';
      }
      break;
    }
    case TCliCommand::Kind::kWriteRegister:
      result = master.WriteHoldingRegister(slave, ref, command.values[0]);
      break;
    case TCliCommand::Kind::kWriteRegisters:
      result = master.WriteHoldingRegisters(slave, ref, command.values.data(),
                                            static_cast<int>(command.values.size()));
      break;
    case TCliCommand::Kind::kWriteCoil:
      result = master.WriteCoil(slave, ref, command.values[0]);
      break;
    case TCliCommand::Kind::kDevices:
    case TCliCommand::Kind::kDefaults:
    case TCliCommand::Kind::kConvert:
    case TCliCommand::Kind::kPreset:
    case TCliCommand::Kind::kDiff:
    case TCliCommand::Kind::kCheck:
    case TCliCommand::Kind::kPorts:
    case TCliCommand::Kind::kRead:
    case TCliCommand::Kind::kWrite:
    case TCliCommand::Kind::kReport:
    case TCliCommand::Kind::kProvision:
      // These are not raw commands: RunOfflineCommand and RunOnlineCommand run them.
      result = modbus::kMbusIllegalState;
      break;
  }
  if (result != modbus::kMbusSuccess) {
    err << "error " << result << ": " << modbus::ResultText(result) << '\n';
  }
  return result;
}
