// dravonik-sim: a Modbus RTU slave on a pseudo-terminal, for tests, benchmarks and trying
// the tool without a device.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <utility>

#include "app/Version.h"
#include "tools/common/ParseNumber.h"
#include "tools/sim/SimServer.h"
#include "tools/sim/SimSlave.h"

namespace {

constexpr const char* kUsage = R"(Usage: dravonik-sim [options]
A Modbus RTU slave (functions 1, 3, 5, 6 and 16) on a pseudo-terminal. Coils and holding
registers 1 to 65536 exist and start at 0. When ready it prints the path masters open.

  --slave N              slave address, 1 to 247 (default 1)
  --link PATH            make PATH a symbolic link to the slave side and print PATH
  --set REF=VALUE        preset holding register REF (-32768 to 65535); repeatable
  --set-coil REF=0|1     preset coil REF; repeatable
  --dump FILE            keep a text image of every non-zero register and coil in FILE
                         ("h REF VALUE", "c REF 1"), rewritten after every write request
  --log FILE             append one line per received frame and what was done with it
  --exception REF:CODE   answer any request covering REF with exception CODE; repeatable
  --keep REF             acknowledge writes of holding register (and coil) REF but keep its
                         old value; repeatable
  --delay-ms MS          wait MS before every reply
  --pace BAUD            send replies at the wire speed of BAUD (10 bits a character),
                         after the request's own wire time
  --no-reply-every N     leave every Nth request unanswered
  --bad-crc-every N      corrupt the CRC of every Nth reply
  --wrong-slave-every N  answer every Nth request from another slave address
  --late-reply-ms MS     answer late, after MS, so the reply runs into the next request
  --late-reply-every N   with --late-reply-ms: only every Nth request (default 1: all)
  --random-faults SEED:PERCENT
                         hit each request that no fault above hits with probability PERCENT
                         (0 to 100) by one fault drawn evenly from --random-kinds; the
                         generator is seeded with SEED (0 to 4294967295), so a seed gives the
                         same faults to the same requests on every run
  --random-kinds LIST    the kinds drawn, comma-separated (default all): no-reply, bad-crc,
                         wrong-slave, late (answer after --random-late-ms), delay (answer
                         after 1 to --random-delay-ms more)
  --random-late-ms MS    the wait of a random late reply (default 1500)
  --random-delay-ms MS   the longest random delay (default 50)
  --help                 this text
  --version              the program's version
Requests are counted from 1 among those addressed to this slave. The log names what was
done: reply, no-reply, bad-crc, wrong-slave, late, delayed (then the request's bytes).
Stops on SIGINT/SIGTERM.
)";

int gStopPipe[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t ignored = write(gStopPipe[1], &byte, 1);
}

// "REF<sep>VALUE" with both parts in range.
bool ParsePair(const std::string& text, char separator, long maxValue, long minValue, long& ref,
               long& value) {
  const std::size_t at = text.find(separator);
  if (at == std::string::npos) {
    return false;
  }
  const auto r = ParseNumber(text.substr(0, at), 1, TSimSlave::kImageSize);
  const auto v = ParseNumber(text.substr(at + 1), minValue, maxValue);
  if (!r || !v) {
    return false;
  }
  ref = *r;
  value = *v;
  return true;
}

// "SEED:PERCENT".
bool ParseRandomFaults(const std::string& text, TSimFaults& faults) {
  const std::size_t at = text.find(':');
  if (at == std::string::npos) {
    return false;
  }
  const auto seed = ParseNumber(text.substr(0, at), 0, 4294967295L);
  const auto percent = ParseNumber(text.substr(at + 1), 0, 100);
  if (!seed || !percent) {
    return false;
  }
  faults.randomSeed = static_cast<std::uint32_t>(*seed);
  faults.randomPercent = static_cast<int>(*percent);
  return true;
}

// A comma-separated list of fault kinds, at least one.
bool ParseKinds(const std::string& text, unsigned& kinds) {
  static const std::pair<const char*, unsigned> kNames[] = {
      {"no-reply", TSimFaults::kNoReply},
      {"bad-crc", TSimFaults::kBadCrc},
      {"wrong-slave", TSimFaults::kWrongSlave},
      {"late", TSimFaults::kLate},
      {"delay", TSimFaults::kDelay}};
  kinds = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(',', start);
    if (end == std::string::npos) {
      end = text.size();
    }
    const std::string name = text.substr(start, end - start);
    bool known = false;
    for (const auto& [kindName, kind] : kNames) {
      if (name == kindName) {
        kinds |= kind;
        known = true;
      }
    }
    if (!known) {
      return false;
    }
    start = end + 1;
  }
  return kinds != 0;
}

int UsageError(const std::string& message) {
  std::cerr << "dravonik-sim: " << message << "\nTry 'dravonik-sim --help'.\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int address = 1;
  std::string linkPath;
  std::string dumpPath;
  std::string logPath;
  TSimFaults faults;
  struct Preset {
    bool coil;
    long ref;
    long value;
  };
  std::vector<Preset> presets;
  std::vector<std::pair<long, long>> exceptions;
  std::vector<long> kept;

  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help") {
      std::cout << kUsage;
      return 0;
    }
    if (option == "--version") {
      std::cout << "dravonik-sim " << kProgramVersion << '\n';
      return 0;
    }
    if (i + 1 >= argc) {
      return UsageError("unknown option or missing value: " + option);
    }
    const std::string value = argv[++i];
    auto number = [&](long min, long max, auto& out) {
      const auto parsed = ParseNumber(value, min, max);
      if (parsed) {
        out = static_cast<std::remove_reference_t<decltype(out)>>(*parsed);
      }
      return parsed.has_value();
    };
    bool ok = true;
    long ref = 0;
    long v = 0;
    if (option == "--slave") {
      ok = number(1, 247, address);
    } else if (option == "--link") {
      linkPath = value;
    } else if (option == "--dump") {
      dumpPath = value;
    } else if (option == "--log") {
      logPath = value;
    } else if (option == "--set") {
      ok = ParsePair(value, '=', 65535, -32768, ref, v);
      presets.push_back({false, ref, v});
    } else if (option == "--set-coil") {
      ok = ParsePair(value, '=', 1, 0, ref, v);
      presets.push_back({true, ref, v});
    } else if (option == "--exception") {
      ok = ParsePair(value, ':', 255, 1, ref, v);
      exceptions.emplace_back(ref, v);
    } else if (option == "--keep") {
      long keptRef = 0;
      ok = number(1, TSimSlave::kImageSize, keptRef);
      kept.push_back(keptRef);
    } else if (option == "--delay-ms") {
      ok = number(0, 600000, faults.delayMs);
    } else if (option == "--pace") {
      ok = number(1, 4000000, faults.paceBaud);
    } else if (option == "--no-reply-every") {
      ok = number(1, 1000000, faults.noReplyEvery);
    } else if (option == "--bad-crc-every") {
      ok = number(1, 1000000, faults.badCrcEvery);
    } else if (option == "--wrong-slave-every") {
      ok = number(1, 1000000, faults.wrongSlaveEvery);
    } else if (option == "--late-reply-ms") {
      ok = number(1, 600000, faults.lateReplyMs);
    } else if (option == "--late-reply-every") {
      ok = number(1, 1000000, faults.lateReplyEvery);
    } else if (option == "--random-faults") {
      ok = ParseRandomFaults(value, faults);
    } else if (option == "--random-kinds") {
      ok = ParseKinds(value, faults.randomKinds);
    } else if (option == "--random-late-ms") {
      ok = number(1, 600000, faults.randomLateMs);
    } else if (option == "--random-delay-ms") {
      ok = number(1, 600000, faults.randomDelayMs);
    } else {
      return UsageError("unknown option: " + option);
    }
    if (!ok) {
      return UsageError("bad value for " + option + ": " + value);
    }
  }

  TSimSlave slave(address);
  for (const Preset& preset : presets) {
    if (preset.coil) {
      slave.SetCoil(static_cast<int>(preset.ref), preset.value != 0);
    } else {
      slave.SetRegister(static_cast<int>(preset.ref), static_cast<std::uint16_t>(preset.value));
    }
  }
  for (const auto& [ref, code] : exceptions) {
    slave.AddException(static_cast<int>(ref), static_cast<std::uint8_t>(code));
  }
  for (const long ref : kept) {
    slave.KeepOnWrite(static_cast<int>(ref));
  }

  if (pipe2(gStopPipe, O_CLOEXEC) != 0) {
    std::perror("dravonik-sim: pipe");
    return 1;
  }
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  TSimServer server(slave, faults, dumpPath, logPath);
  std::string error;
  const std::string path = server.Start(linkPath, error);
  if (path.empty()) {
    std::cerr << "dravonik-sim: " << error << ": " << std::strerror(errno) << '\n';
    return 1;
  }
  std::cout << path << std::endl;
  server.Run(gStopPipe[0]);
  return 0;
}
