// Loading the device definitions and building every device type's settings document, for
// the bundled Devices.xml and for a generated file about ten times larger (more device
// types and a larger R12 template), then building and closing the largest page.
//
// Each size is measured in a fresh child process (this program run again with --measure),
// so that one size's heap does not hide the other's memory. The child loads a tiny file
// first to fault in the code, then measures one load: the growth of the resident set from
// just before the load to its peak during the load (VmRSS before, VmHWM after; the
// high-water mark is reset through /proc/self/clear_refs first), and the heap in use
// afterwards (mallinfo2). It then times further loads and reports their median.
//
// The times of five such processes per size, run alternately, are combined: the median of
// their medians and the least single load.
//
// Exits with 1 when the least load time or the peak memory per setting of the larger file
// exceeds 1.5 times that of the bundled file, with 2 on any other failure.
//
// Usage: bench_model_load [load repetitions] [page repetitions]
//        bench_model_load --write-larger FOLDER   (writes the larger file and prints its path)
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "model/Devices.h"
#include "model/Group.h"
#include "model/Settings.h"
#include "registers/Registerdatastore.h"
#include "ui/ScrollBox.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The larger file: the R12 template's settings are repeated this many times in all, and
// the whole set of settings elements and device types this many times in all.
constexpr int kTemplateCopies = 3;
constexpr int kDeviceSetCopies = 4;
// Instances of a template setting: five R12s with fifty groups each.
constexpr int kInstances = 250;
constexpr int kMaxReference = 65536;
constexpr double kAllowedGrowth = 1.5;
// Fresh measuring processes per size.
constexpr int kRounds = 5;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// A "Vm...:  1234 kB" line of /proc/self/status, in KiB.
long StatusKiB(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) {
      return std::stol(line.substr(field.size() + 1));
    }
  }
  throw std::runtime_error("no " + field + " in /proc/self/status");
}

// Resets VmHWM to the current resident set (Linux 4.0 and later).
void ResetPeakRss() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  if (!clear) {
    throw std::runtime_error("cannot reset the peak resident set through /proc/self/clear_refs");
  }
}

size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

// ---------------------------------------------------------------------------------------
// The larger definitions file, made from the bundled one.

int IntAttribute(const pugi::xml_node& node, const char* name) {
  return std::stoi(node.attribute(name).value());
}

// Repeats the R12 template's settings: copy k of a setting gets " k" appended to its name
// and its registers moved past those of copies 0..k-1 (by offset x 250 per copy), so no
// two copies share a register and every instance stays within references 1..65536.
void EnlargeTemplate(pugi::xml_node group) {
  std::vector<pugi::xml_node> originals;
  for (pugi::xml_node setting : group.children("setting")) {
    originals.push_back(setting);
  }
  for (int k = 1; k < kTemplateCopies; ++k) {
    for (const pugi::xml_node& original : originals) {
      pugi::xml_node copy = group.append_copy(original);
      copy.attribute("name").set_value(
          (std::string(original.attribute("name").value()) + " " + std::to_string(k + 1)).c_str());
      const int offset = copy.attribute("offset") ? IntAttribute(copy, "offset") : 0;
      const int reg = IntAttribute(copy, "register") + k * offset * kInstances;
      if (reg + 1 + offset * (kInstances - 1) > kMaxReference) {
        throw std::runtime_error("generated register out of range");
      }
      copy.attribute("register").set_value(reg);
    }
  }
}

// Writes the larger file and returns its path.
std::string WriteLargerFile(const std::string& bundled, const fs::path& folder) {
  pugi::xml_document document;
  if (!document.load_file(bundled.c_str())) {
    throw std::runtime_error("cannot parse " + bundled);
  }
  pugi::xml_node root = document.document_element();
  std::vector<pugi::xml_node> settingsElements;
  std::vector<pugi::xml_node> deviceElements;
  for (pugi::xml_node child : root.children()) {
    if (std::string_view(child.name()) == "settings") {
      for (pugi::xml_node group : child.children("group")) {
        if (std::string_view(group.attribute("name").value()) == "Group") {
          EnlargeTemplate(group);
        }
      }
      settingsElements.push_back(child);
    } else if (std::string_view(child.name()) == "device") {
      deviceElements.push_back(child);
    }
  }
  // Further device types, each with a settings element of its own.
  for (int copy = 1; copy < kDeviceSetCopies; ++copy) {
    for (const pugi::xml_node& settings : settingsElements) {
      pugi::xml_node added = root.append_copy(settings);
      added.attribute("settings_id").set_value(IntAttribute(settings, "settings_id") + 1000 * copy);
    }
    for (const pugi::xml_node& device : deviceElements) {
      pugi::xml_node added = root.append_copy(device);
      added.attribute("name").set_value(
          (std::string(device.attribute("name").value()) + " variant " + std::to_string(copy))
              .c_str());
      added.attribute("device_id").set_value(IntAttribute(device, "device_id") + 1000 * copy);
      added.attribute("live_status_id")
          .set_value(IntAttribute(device, "live_status_id") + 1000 * copy);
      added.attribute("settings_id").set_value(IntAttribute(device, "settings_id") + 1000 * copy);
    }
  }
  const fs::path path = folder / "Devices-x10.xml";
  if (!document.save_file(path.c_str(), "  ")) {
    throw std::runtime_error("cannot write " + path.string());
  }
  return path.string();
}

// ---------------------------------------------------------------------------------------
// The child: one size.

int TotalSettings(const model::TDevices& devices) {
  int total = 0;
  for (int i = 0; i < devices.Count(); ++i) {
    total += devices.GetDevice(i).Settings->SettingCount();
  }
  return total;
}

int Measure(const std::string& path, const fs::path& folder, int repetitions) {
  registers::TModbusHandler handler;
  registers::TRegisterDataStore store(handler);

  // Fault in the loader's code and the first allocations with a tiny file.
  const fs::path tiny = folder / "tiny.xml";
  std::ofstream(tiny) << R"(<zsf><settings settings_id="1"><group name="G" description="">
    <setting name="I" value_type="int" register="0" type="holding_register" min="0" max="9"
             default="1" value_text=""/>
    <setting name="D" value_type="drop_down" register="1" type="holding_register">
      <ddvalue name="A" value="0" default="true"/><ddvalue name="B" value="1"/></setting>
    <setting name="C" value_type="checkbox" register="0" type="coil" default="checked"/>
  </group></settings><device name="U" device_id="1" live_status_id="0" settings_id="1"/></zsf>)";
  {
    model::TDevices warmUp(store);
    warmUp.LoadFromFile(tiny.string());
  }

  // One load measured for memory.
  const long rssBefore = StatusKiB("VmRSS");
  const size_t heapBefore = HeapInUse();
  ResetPeakRss();
  auto devices = std::make_unique<model::TDevices>(store);
  const auto firstStart = Clock::now();
  devices->LoadFromFile(path);
  const double firstMs = MsSince(firstStart);
  const long peakKiB = StatusKiB("VmHWM") - rssBefore;
  const long retainedKiB = StatusKiB("VmRSS") - rssBefore;
  const auto heapBytes = static_cast<long long>(HeapInUse() - heapBefore);
  const int settings = TotalSettings(*devices);
  const int deviceCount = devices->Count();
  const auto freeStart = Clock::now();
  devices.reset();
  const double freeMs = MsSince(freeStart);

  // Further loads for time.
  std::vector<double> loads;
  std::vector<double> frees;
  for (int i = 0; i < repetitions; ++i) {
    auto again = std::make_unique<model::TDevices>(store);
    const auto start = Clock::now();
    again->LoadFromFile(path);
    loads.push_back(MsSince(start));
    const auto release = Clock::now();
    again.reset();
    frees.push_back(MsSince(release));
  }
  std::printf(
      "devices=%d settings=%d bytes=%lld first_ms=%.4f load_ms=%.4f min_ms=%.4f "
      "free_ms=%.4f first_free_ms=%.4f peak_kib=%ld retained_kib=%ld heap_bytes=%lld\n",
      deviceCount, settings, static_cast<long long>(fs::file_size(path)), firstMs, Median(loads),
      *std::min_element(loads.begin(), loads.end()), Median(frees), freeMs, peakKiB, retainedKiB,
      heapBytes);
  return 0;
}

// ---------------------------------------------------------------------------------------
// The parent.

struct TSizeResult {
  std::map<std::string, double> values;
  double operator[](const std::string& key) const { return values.at(key); }
};

// Runs this program again with --measure and reads its one line of results.
TSizeResult MeasureInChild(const std::string& path, const fs::path& folder, int repetitions) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) {
    throw std::runtime_error("pipe failed");
  }
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  const std::string folderText = folder.string();
  const std::string repetitionText = std::to_string(repetitions);
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    dup2(pipeEnds[1], STDOUT_FILENO);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    execl(self.c_str(), self.c_str(), "--measure", path.c_str(), folderText.c_str(),
          repetitionText.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipeEnds[1]);
  std::string output;
  char buffer[512];
  ssize_t n = 0;
  while ((n = read(pipeEnds[0], buffer, sizeof buffer)) > 0) {
    output.append(buffer, static_cast<size_t>(n));
  }
  close(pipeEnds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error("the measuring child failed for " + path + ": " + output);
  }
  TSizeResult result;
  std::istringstream fields(output);
  std::string field;
  while (fields >> field) {
    const size_t equals = field.find('=');
    if (equals != std::string::npos) {
      result.values[field.substr(0, equals)] = std::stod(field.substr(equals + 1));
    }
  }
  return result;
}

// The first round's figures, with the median of the rounds' median times and the least of
// their least load times.
TSizeResult Combine(const std::vector<TSizeResult>& rounds) {
  TSizeResult combined = rounds.front();
  std::vector<double> medians;
  std::vector<double> frees;
  double least = rounds.front()["min_ms"];
  for (const TSizeResult& round : rounds) {
    medians.push_back(round["load_ms"]);
    frees.push_back(round["free_ms"]);
    least = std::min(least, round["min_ms"]);
  }
  combined.values["load_ms"] = Median(medians);
  combined.values["free_ms"] = Median(frees);
  combined.values["min_ms"] = least;
  return combined;
}

// Builds and closes the page of the group with the most settings in the file, repeatedly,
// and prints the median times.
void BenchLargestPage(const std::string& path, int repetitions) {
  registers::TModbusHandler handler;
  registers::TRegisterDataStore store(handler);
  model::TDevices devices(store);
  devices.Set().ImagesFolder = QStringLiteral(DRAVONIK_SOURCE_DIR "/data/images");
  devices.LoadFromFile(path);
  model::TSettings* document = nullptr;
  model::TGroup* largest = nullptr;
  for (int i = 0; i < devices.Count(); ++i) {
    model::TSettings& settings = *devices.GetDevice(i).Settings;
    for (const auto& group : settings.Groups) {
      if (largest == nullptr || group->Count() > largest->Count()) {
        largest = group.get();
        document = &settings;
      }
    }
  }
  // As an offline edit opens a document: every register in the store, all on defaults.
  store.Reset();
  document->RegisterRegisters();
  document->RestoreFactoryDefaults();

  ui::TScrollBox pageArea;
  pageArea.resize(767, 578);
  pageArea.show();
  document->PageArea = &pageArea;
  QApplication::processEvents();

  std::vector<double> builds;
  std::vector<double> paints;
  std::vector<double> closes;
  for (int i = 0; i < repetitions + 1; ++i) {
    auto start = Clock::now();
    largest->Show();
    const double build = MsSince(start);
    start = Clock::now();
    QApplication::processEvents();
    const double paint = MsSince(start);
    start = Clock::now();
    largest->ClosePage();
    devices.Set().CurrentGroup = nullptr;
    QApplication::processEvents();
    const double close = MsSince(start);
    if (i > 0) {  // the first round loads fonts and styles
      builds.push_back(build);
      paints.push_back(paint);
      closes.push_back(close);
    }
  }
  document->PageArea = nullptr;
  const double build = Median(builds);
  const double paint = Median(paints);
  const double close = Median(closes);
  std::printf("\nLargest page: \"%s\" of %s, %d rows (median of %d)\n", largest->Name.c_str(),
              document->Owner()->Name.c_str(), largest->Count(), repetitions);
  std::printf("  build (Show)           %8.2f ms\n", build);
  std::printf("  first paint            %8.2f ms\n", paint);
  std::printf("  close (ClosePage)      %8.2f ms\n", close);
  std::printf("  build + close          %8.2f ms\n", build + close);
  std::printf("  build + paint + close  %8.2f ms\n", build + paint + close);
}

int Run(int argc, char** argv) {
  const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  const int pageRepetitions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
  const std::string bundled = DRAVONIK_SOURCE_DIR "/data/Devices.xml";

  char pattern[] = "/tmp/bench_model_load.XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    throw std::runtime_error("cannot make a temporary folder");
  }
  const fs::path folder = pattern;
  struct TRemove {
    fs::path path;
    ~TRemove() {
      std::error_code ignored;
      fs::remove_all(path, ignored);
    }
  } removeFolder{folder};

  const std::string larger = WriteLargerFile(bundled, folder);
  // Alternating rounds, so that other load on the machine falls on both sizes alike. The
  // memory figures are the same in every round; the times are combined over the rounds.
  std::vector<TSizeResult> smallRounds;
  std::vector<TSizeResult> largeRounds;
  for (int round = 0; round < kRounds; ++round) {
    smallRounds.push_back(MeasureInChild(bundled, folder, repetitions));
    largeRounds.push_back(MeasureInChild(larger, folder, repetitions));
  }
  const TSizeResult small = Combine(smallRounds);
  const TSizeResult large = Combine(largeRounds);

  std::printf(
      "Loading the definitions and building every settings document\n"
      "times: median over %d fresh processes of the median of %d loads each, and the "
      "least load\nmemory: one load in a fresh process\n\n",
      kRounds, repetitions);
  std::printf("%-8s %7s %6s %8s %8s %8s %8s %10s %9s %9s %9s\n", "file", "devices", "KiB",
              "settings", "load ms", "min ms", "free ms", "us/setting", "peak KiB", "peak B/s",
              "heap B/s");
  auto row = [](const char* name, const TSizeResult& r) {
    std::printf("%-8s %7.0f %6.0f %8.0f %8.2f %8.2f %8.2f %10.3f %9.0f %9.0f %9.0f\n", name,
                r["devices"], r["bytes"] / 1024.0, r["settings"], r["load_ms"], r["min_ms"],
                r["free_ms"], 1000.0 * r["load_ms"] / r["settings"], r["peak_kib"],
                1024.0 * r["peak_kib"] / r["settings"], r["heap_bytes"] / r["settings"]);
  };
  row("bundled", small);
  row("x10", large);

  const double sizeRatio = large["settings"] / small["settings"];
  const double timeRatio =
      (large["load_ms"] / large["settings"]) / (small["load_ms"] / small["settings"]);
  const double memoryRatio =
      (large["peak_kib"] / large["settings"]) / (small["peak_kib"] / small["settings"]);
  const double heapRatio =
      (large["heap_bytes"] / large["settings"]) / (small["heap_bytes"] / small["settings"]);
  const double leastRatio =
      (large["min_ms"] / large["settings"]) / (small["min_ms"] / small["settings"]);
  std::printf(
      "\nx10 / bundled: settings %.2f x; per setting: time %.2f x (least load %.2f x), "
      "peak memory %.2f x, heap %.2f x (limit %.1f x)\n",
      sizeRatio, timeRatio, leastRatio, memoryRatio, heapRatio, kAllowedGrowth);
  std::printf("first load (cold): bundled %.2f ms, x10 %.2f ms\n", small["first_ms"],
              large["first_ms"]);

  int argcQt = 1;
  QApplication application(argcQt, argv);
  BenchLargestPage(larger, pageRepetitions);

  // The least load is the one least disturbed by other work on the machine, so the check
  // compares those; the medians are printed alongside.
  const bool flat = leastRatio <= kAllowedGrowth && memoryRatio <= kAllowedGrowth;
  std::printf("\n%s: cost per setting %s within %.1f x as the file grows\n", flat ? "PASS" : "FAIL",
              flat ? "stays" : "does not stay", kAllowedGrowth);
  return flat ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  try {
    if (argc == 3 && std::string_view(argv[1]) == "--write-larger") {
      std::printf("%s\n",
                  WriteLargerFile(DRAVONIK_SOURCE_DIR "/data/Devices.xml", argv[2]).c_str());
      return 0;
    }
    if (argc == 5 && std::string_view(argv[1]) == "--measure") {
      int argcQt = 1;
      QApplication application(argcQt, argv);
      return Measure(argv[2], argv[3], std::max(1, std::atoi(argv[4])));
    }
    return Run(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_model_load: %s\n", error.what());
    return 2;
  }
}
