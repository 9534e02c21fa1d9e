// A full read and a full write of the largest bundled device type through the serial
// manager, its worker loop and the register store, against dravonik-sim pacing its replies
// at 57600 baud; then the processor time and the wake-ups of this process while it stays
// connected and idle (the worker settled, nothing on the line). Prints each transfer's time, the
// wire-time limit of the same requests with the loop's pauses between blocks, and their ratio.
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "bench/support/IdleMeter.h"
#include "comms/Serialmanager.h"
#include "comms/StoredChoices.h"
#include "model/Device.h"
#include "model/Devices.h"
#include "model/Group.h"
#include "model/Setting.h"
#include "model/Settings.h"
#include "registers/Registerdatastore.h"
#include "tests/support/SimProcess.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kBaud = 57600;
constexpr double kBitsPerChar = 10;
// After every block the store pauses 1 ms after its report and 1 ms after the block, and the
// worker loop sleeps 1 ms between passes.
constexpr double kPausesPerBlockMs = 3;

double WireMs(int chars) {
  return chars * kBitsPerChar * 1000.0 / kBaud;
}

// Characters of request and reply of the block a progress text names.
int BlockChars(const std::string& text) {
  std::istringstream in(text);
  std::string verb, kind, word;
  long first = 0, to = 0;
  in >> verb >> kind;
  if (kind == "Holding") {
    in >> word;
  }
  in >> first >> word >> to;
  const long n = to - first + 1;
  const bool coils = kind == "Coils";
  if (verb == "Reading") {
    return static_cast<int>(8 + 5 + (coils ? (n + 7) / 8 : 2 * n));
  }
  return static_cast<int>(coils ? 8 + 8 : 9 + 2 * n + 8);
}

// Serves the worker's calls, as the program's event loop does, until done() holds; done() is
// looked at every 10 ms.
void ServeUntil(const std::function<bool()>& done) {
  QTimer tick;
  tick.start(10);
  while (!done()) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const int idleSeconds = argc > 1 ? std::atoi(argv[1]) : 10;

  registers::TModbusHandler handler;
  registers::TRegisterDataStore store(handler);
  model::TDevices devices(store);
  devices.LoadFromFile(std::string(DRAVONIK_SOURCE_DIR) + "/data/Devices.xml");
  model::TDevice* largest = nullptr;
  int largestCount = -1;
  for (int i = 0; i < devices.Count(); ++i) {
    store.Reset();
    devices.GetDevice(i).Settings->RegisterRegisters();
    if (store.RegisterCount() > largestCount) {
      largestCount = store.RegisterCount();
      largest = &devices.GetDevice(i);
    }
  }

  SimProcess sim({"--pace", "57600", "--set", "28=" + std::to_string(largest->DeviceId)});
  if (sim.Path().empty()) {
    std::fprintf(stderr, "cannot start dravonik-sim from %s\n", SimProcess::BinDir().c_str());
    return 1;
  }
  comms::TFixedChoices choices(registers::TConnectionType::Serial, sim.Path());
  comms::TSerialManager manager(store, handler, choices);

  std::mutex mutex;
  std::vector<std::string> texts;
  bool failed = false;
  store.SetOnProgress([&](const void*, const std::string& text, bool fail, std::int32_t) {
    std::lock_guard<std::mutex> lock(mutex);
    texts.push_back(text);
    failed = failed || fail;
  });
  auto transfer = [&](const char* what, const std::function<void()>& start,
                      const std::function<bool()>& done) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      texts.clear();
    }
    const auto begin = Clock::now();
    start();
    ServeUntil([&] {
      std::lock_guard<std::mutex> lock(mutex);
      return failed || done();
    });
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
    std::lock_guard<std::mutex> lock(mutex);
    double limit = 0;
    int blocks = 0;
    for (const std::string& text : texts) {
      if (!text.empty()) {
        limit += WireMs(BlockChars(text)) + kPausesPerBlockMs;
        ++blocks;
      }
    }
    if (std::string(what) == "write") {
      limit += WireMs(8 + 8);  // the closing marker
    }
    std::printf(
        "%-6s %-36s %4d registers %3d blocks: %7.1f ms, wire-time limit %7.1f ms, "
        "limit / time %.3f%s\n",
        what, largest->Name.c_str(), largestCount, blocks, ms, limit, limit / ms,
        failed ? " FAILED" : "");
  };

  largest->CommPort = 1;
  largest->Address = 1;
  largest->Online = true;
  // The search is not timed: it is one request, made before the connection.
  bool searched = false;
  manager.StartDeviceSearch(
      1, 1, comms::TSearchResultEvent([&](comms::TSerialThread*, std::int32_t, std::int32_t) {
        searched = true;
      }));
  ServeUntil([&] { return searched; });
  transfer(
      "read",
      [&] {
        store.Reset();
        manager.Connect(*largest);
      },
      [&] { return store.IsComplete(); });
  transfer(
      "write", [&] { store.StartWrite(); }, [&] { return !texts.empty() && texts.back().empty(); });

  // The program's own event loop, with no timer of the benchmark's waking it.
  TIdleMeter meter;
  QEventLoop idle;
  QTimer::singleShot(idleSeconds * 1000, &idle, &QEventLoop::quit);
  idle.exec();
  meter.Stop();
  meter.Print("connected");

  // How soon the idle worker takes what it is given: a setting marked for reading (the
  // image holds a new value for it), and the start of a read (its first block reported).
  auto milliseconds = [](Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
  };
  model::TSetting* marked = nullptr;
  for (auto& group : largest->Settings->Groups) {
    for (auto& setting : group->Settings) {
      if (setting->RegisterType() == model::kHoldingRegister && setting->BitMask() == 0 &&
          setting->ValueOffset() == 0 && !setting->IsTemplate()) {
        marked = setting.get();  // the last of them: the poll reaches it last
      }
    }
  }
  double markMs = 0;
  constexpr int kMarks = 5;
  for (int i = 1; i <= kMarks; ++i) {
    store.SetHoldingRegister(marked->Reference(), static_cast<std::int16_t>(1000 + i));
    const auto begin = Clock::now();
    marked->RequestRead();
    ServeUntil([&] { return marked->Value() == 1000 + i; });
    markMs += milliseconds(begin) / kMarks;
    QTimer::singleShot(300, &idle, &QEventLoop::quit);  // idle again in between
    idle.exec();
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    texts.clear();
  }
  auto begin = Clock::now();
  store.StartRead();
  ServeUntil([&] {
    std::lock_guard<std::mutex> lock(mutex);
    return !texts.empty();
  });
  const double firstBlockMs = milliseconds(begin);
  ServeUntil([&] { return store.IsComplete(); });
  QTimer::singleShot(300, &idle, &QEventLoop::quit);
  idle.exec();
  begin = Clock::now();
  manager.Disconnect(*largest);
  std::printf(
      "wake   marked setting taken %.1f ms, read's first block %.1f ms, idle stop %.1f ms\n",
      markMs, firstBlockMs, milliseconds(begin));
  return failed ? 1 : 0;
}
