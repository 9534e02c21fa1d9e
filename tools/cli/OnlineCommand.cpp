#include "tools/cli/OnlineCommand.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QEventLoop>
#include <QTimer>
#include <array>
#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "comms/LinkError.h"
#include "comms/SerialDevices.h"
#include "comms/Serialmanager.h"
#include "comms/StoredChoices.h"
#include "modbus/SerialPort.h"
#include "model/AtomicFile.h"
#include "model/Devices.h"
#include "model/OfflineEdit.h"
#include "model/Settings.h"
#include "model/SettingsReport.h"
#include "registers/Registerdatastore.h"
#include "tools/cli/FrameTrace.h"
#include "tools/cli/OfflineCommand.h"
#include "tools/cli/SettingTexts.h"
#include "ui/MessageBoxes.h"

namespace {

using Clock = std::chrono::steady_clock;

// The program's boxes, as lines on standard error: a box the worker raises (an error that
// escaped a write pass) is reported, not shown.
class TStderrBoxes : public ui::TMessageBoxes {
 public:
  explicit TStderrBoxes(std::ostream& err) : err_(err) { ui::SetMessageBoxes(this); }
  ~TStderrBoxes() override { ui::SetMessageBoxes(nullptr); }
  ui::TBoxAnswer Show(ui::TBoxIcon, const std::string&, const std::string& text,
                      ui::TBoxButtons) override {
    err_ << "error: " << PrintableMessage(text) << '\n';
    return ui::TBoxAnswer::Ok;
  }

 private:
  std::ostream& err_;
};

// A failure with its own exit status: 128 plus the signal for a write cut off by one.
class TExitError : public std::runtime_error {
 public:
  TExitError(const std::string& text, int status) : std::runtime_error(text), status_(status) {}
  int Status() const { return status_; }

 private:
  int status_;
};

// Where a write command stands, for what a termination signal does. Provisioning notes the
// first signal in every phase and ends where it can (kNoting outside a unit's write).
enum class TWritePhase : int { kBefore, kWriting, kAfter, kNoting };

std::atomic<int> gCaughtSignal{0};
std::atomic<TWritePhase> gWritePhase{TWritePhase::kBefore};

template <std::size_t N>
void WriteToStderr(const char (&text)[N]) {
  const ssize_t written = write(STDERR_FILENO, text, N - 1);
  static_cast<void>(written);
}

// Before anything is sent, and once the device has taken the closing marker, a signal ends
// the program at once; while blocks go out, the first one is only noted (the worker stops
// the write after the request on the line) and a second one ends the program.
extern "C" void OnTerminationSignal(int signal) {
  const bool again = gCaughtSignal.exchange(signal) != 0;
  switch (gWritePhase.load()) {
    case TWritePhase::kBefore:
      WriteToStderr("\ndravonik-cli: interrupted: nothing was sent to the device\n");
      break;
    case TWritePhase::kWriting:
      if (!again) {
        return;
      }
      WriteToStderr(
          "\ndravonik-cli: interrupted again: ending at once; the write is incomplete and the "
          "closing marker (123 in holding register 27) was not sent\n");
      break;
    case TWritePhase::kAfter:
      WriteToStderr(
          "\ndravonik-cli: interrupted during the read-back: the write itself succeeded\n");
      break;
    case TWritePhase::kNoting:
      if (!again) {
        return;
      }
      WriteToStderr("\ndravonik-cli: interrupted again: ending at once\n");
      break;
  }
  _exit(128 + signal);
}

// SIGINT, SIGTERM and SIGHUP handled as above for the lifetime of a write command.
class TWriteSignals {
 public:
  TWriteSignals() {
    gCaughtSignal = 0;
    gWritePhase = TWritePhase::kBefore;
    struct sigaction action = {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
      sigaction(kSignals[i], &action, &previous_[i]);
    }
  }
  ~TWriteSignals() {
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
      sigaction(kSignals[i], &previous_[i], nullptr);
    }
  }
  TWriteSignals(const TWriteSignals&) = delete;
  TWriteSignals& operator=(const TWriteSignals&) = delete;

 private:
  static constexpr std::array<int, 3> kSignals = {SIGINT, SIGTERM, SIGHUP};
  std::array<struct sigaction, 3> previous_{};
};

// Ranges of references, adjacent ones joined: "1 to 3 and 11 to 12".
class TReferenceRanges {
 public:
  void Add(std::int32_t first, std::int32_t last) {
    if (!ranges_.empty() && ranges_.back().second + 1 == first) {
      ranges_.back().second = last;
    } else {
      ranges_.emplace_back(first, last);
    }
  }
  bool Empty() const { return ranges_.empty(); }
  std::string Text(const char* one, const char* many) const {
    std::string text = ranges_.size() == 1 && ranges_[0].first == ranges_[0].second ? one : many;
    for (std::size_t i = 0; i < ranges_.size(); ++i) {
      text += i == 0 ? " " : i + 1 == ranges_.size() ? " and " : ", ";
      text += std::to_string(ranges_[i].first);
      if (ranges_[i].second != ranges_[i].first) {
        text += " to " + std::to_string(ranges_[i].second);
      }
    }
    return text;
  }

 private:
  std::vector<std::pair<std::int32_t, std::int32_t>> ranges_;
};

// "COM<n>" names comm port n; a device path is opened as it is, on comm port 1.
std::int32_t CommPortOf(const std::string& port) {
  if (port.rfind("COM", 0) == 0 && port.size() > 3 &&
      port.find_first_not_of("0123456789", 3) == std::string::npos && port.size() < 8) {
    const int number = std::stoi(port.substr(3));
    if (number >= 1) {
      return number;
    }
  }
  return 1;
}

// One transfer as the progress reports tell it, kept on this (the GUI) thread.
struct TTransfer {
  std::int32_t position = 0;
  std::int32_t maximum = 0;
  int blocks = 0;
  bool over = false;
  bool failed = false;
  std::string failureText;
  Clock::time_point started = Clock::now();
  // A write's blocks the device acknowledged.
  TReferenceRanges coils;
  TReferenceRanges registers;
};

// What became of one unit of a provisioning run.
constexpr const char* kVerified = "verified";
constexpr const char* kFailed = "failed";
constexpr const char* kInterrupted = "interrupted";
struct TUnitOutcome {
  std::string result;
  std::string reason;
  // The settings the unit does not hold as written.
  std::vector<std::string> differences;
};

// The records folder of a provisioning run: each unit's settings file and report, and
// provisioned.csv with one line a unit. A run into a folder that has records numbers its
// units on from the last.
class TProvisionRecords {
 public:
  explicit TProvisionRecords(std::string folder) : folder_(std::move(folder)) {
    std::error_code error;
    std::filesystem::create_directories(folder_, error);
    if (error) {
      throw std::runtime_error("Cannot create folder \"" + folder_ + "\". " + error.message());
    }
    const std::string list = ListPath();
    std::ifstream existing(list);
    for (std::string line; std::getline(existing, line);) {
      // The lines that begin with a unit number; the heading does not.
      units_ += !line.empty() && std::isdigit(static_cast<unsigned char>(line[0])) ? 1 : 0;
    }
    if (!existing.is_open()) {
      Add(model::CsvLine({"Unit", "Time", "Device type", "Result", "Reason", "Differences"}));
    }
  }

  std::string NextNumber() {
    char number[16];
    std::snprintf(number, sizeof number, "%03d", ++units_);
    return number;
  }

  // "DIR/001-Fan-2026-12-10", to which ".zsf" and ".pdf" are added; characters a file name
  // had better not hold in the device type become "_".
  std::string UnitPath(const std::string& number, const std::string& deviceType) const {
    std::string name;
    for (const char c : deviceType) {
      const auto byte = static_cast<unsigned char>(c);
      name += std::isalnum(byte) != 0 || byte >= 0x80 || c == '-' || c == '.' ? c : '_';
    }
    return (std::filesystem::path(folder_) / (number + "-" + name + "-" + Today())).string();
  }

  void Append(const std::string& number, const std::string& deviceType,
              const TUnitOutcome& outcome) {
    std::string differences;
    for (const std::string& difference : outcome.differences) {
      differences += (differences.empty() ? "" : "; ") + difference;
    }
    const std::string time =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
    Add(model::CsvLine({number, time, deviceType, outcome.result, outcome.reason, differences}));
  }

 private:
  std::string ListPath() const {
    return (std::filesystem::path(folder_) / "provisioned.csv").string();
  }
  static std::string Today() {
    return QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")).toStdString();
  }
  void Add(const std::string& line) {
    std::ofstream list(ListPath(), std::ios::app | std::ios::binary);
    list << line << std::flush;
    if (!list) {
      throw std::runtime_error("Cannot write file \"" + ListPath() + "\"");
    }
  }

  std::string folder_;
  int units_ = 0;
};

class TOnlineSession {
 public:
  TOnlineSession(const TCliCommand& command, const std::string& devicesPath, std::ostream& out,
                 std::ostream& err)
      : command_(command),
        out_(out),
        err_(err),
        boxes_(err),
        trace_(command.tracePath.empty() ? nullptr : new TFrameTrace(command.tracePath)),
        choices_(command.usb ? registers::TConnectionType::Usb : registers::TConnectionType::Serial,
                 command.usb || command.port.rfind("COM", 0) == 0 ? std::string() : command.port),
        store_(handler_),
        devices_(store_),
        manager_(store_, handler_, choices_),
        commPort_(command.usb ? 1 : CommPortOf(command.port)),
        showBar_(isatty(STDERR_FILENO) != 0) {
    devices_.LoadFromFile(devicesPath);
    manager_.SetRequestTimeout(command.timeoutMs);
    if (trace_) {
      manager_.SetFrameObserver(&trace_->Observer());
      // Written as the transfer runs: the worker only queues the frames.
      QObject::connect(&traceTimer_, &QTimer::timeout, [this] { trace_->Drain(); });
      traceTimer_.start(kTraceDrainMs);
    }
    manager_.SetOnResetProgress([this] { ResetProgress(); });
    store_.SetOnProgress([this](const void*, const std::string& text, bool failed,
                                std::int32_t count) { OnStoreProgress(text, failed, count); });
  }

  ~TOnlineSession() {
    if (device_ != nullptr) {
      manager_.Disconnect(*device_);
    }
  }

  void Run() {
    std::optional<TWriteSignals> signalHandling;
    if (command_.kind == TCliCommand::Kind::kWrite) {
      signalHandling.emplace();
    }
    CheckFiles();
    device_ = &devices_.FindDevice(Search());
    err_ << "Found " << Printable(device_->Name) << " (device id " << device_->DeviceId << ")\n";
    if (fileDevice_ != nullptr && fileDevice_ != device_) {
      throw std::runtime_error(
          command_.inPath + ": the settings file is for " + Printable(fileDevice_->Name) +
          " (device id " + std::to_string(fileDevice_->DeviceId) + "), not for the device found");
    }
    model::TSettings& document = *device_->Settings;
    ReadDevice();
    if (command_.kind == TCliCommand::Kind::kRead) {
      WarnOutsideLimits(document.HeldValueNotices(), err_);
      if (IsCsvPath(command_.outPath)) {
        document.ExportCsv(command_.outPath);
      } else {
        document.SaveToFile(command_.outPath);
      }
      err_ << "Wrote " << command_.outPath << '\n';
      SaveReportIfAsked();
      return;
    }
    const std::vector<std::string> differences = WriteFile();
    for (const std::string& difference : differences) {
      out_ << difference << '\n';
    }
    out_.flush();
    // After --verify the document holds what the device holds.
    SaveReportIfAsked();
    if (!differences.empty()) {
      throw std::runtime_error(DifferencesText(differences.size()));
    }
  }

  // provision: the settings file to unit after unit of its device type, each recorded.
  int Provision() {
    TWriteSignals signalHandling;
    gWritePhase = TWritePhase::kNoting;
    provisioning_ = true;
    // Wakes the waits below, which then see a signal.
    QObject::connect(&wakeTimer_, &QTimer::timeout, [] {});
    wakeTimer_.start(kWakeMs);
    CheckFiles();
    TProvisionRecords records(command_.recordsPath);
    int written = 0;
    int failed = 0;
    int status = 0;
    for (long units = 0; command_.count == 0 || units < command_.count;) {
      const std::int32_t id = AwaitUnit();
      if (id == 0) {
        break;
      }
      if (!IsOfTheFilesType(id)) {
        AwaitGone();
        continue;
      }
      ++units;
      const std::string number = records.NextNumber();
      const TUnitOutcome outcome = ProvisionUnit(records, number);
      records.Append(number, fileDevice_->Name, outcome);
      if (outcome.result == kInterrupted) {
        out_ << "Unit " << number << ": interrupted: " << PrintableMessage(outcome.reason)
             << "\nThe unit must be written again.\n";
        status = 128 + gCaughtSignal.load();
        break;
      }
      if (outcome.result == kVerified) {
        ++written;
        out_ << "Unit " << number << ": written and verified. Connect the next unit.\n";
      } else {
        ++failed;
        status = 1;
        out_ << "Unit " << number << ": failed: " << PrintableMessage(outcome.reason)
             << "\nConnect the next unit.\n";
      }
      out_.flush();
      if (command_.count != 0 && units == command_.count) {
        break;
      }
      AwaitGone();
    }
    out_ << (Interrupted() ? "Stopped. " : "") << "Units provisioned: " << written
         << " written and verified, " << failed << " failed; records in "
         << Printable(command_.recordsPath) << '\n'
         << std::flush;
    return status;
  }

  // Reads every register back through the same store and worker: what the device does not
  // hold as written, one line each.
  std::vector<std::string> Verify() {
    model::TSettings& document = *device_->Settings;
    const std::vector<TShownSetting> written = ShownSettings(document);
    const TImage wrote = Image();
    transfer_ = TTransfer();
    transfer_.maximum = store_.RegisterCount();
    writing_ = false;
    err_ << "Reading back...\n";
    store_.StartRead();
    Await("Reading");
    document.ReloadFromStore();
    const std::vector<TShownSetting> held = ShownSettings(document);
    const TImage holds = Image();
    std::vector<std::string> differences;
    for (std::size_t i = 0; i < written.size() && i < held.size(); ++i) {
      if (written[i].value != held[i].value) {
        differences.push_back(written[i].name + ": wrote " + written[i].value + ", device holds " +
                              held[i].value);
      }
    }
    // A register no setting shows differently (part of a bit field, say) is still a fault.
    if (differences.empty()) {
      for (const auto& [key, value] : wrote) {
        const auto found = holds.find(key);
        if (found != holds.end() && found->second != value) {
          differences.push_back((key.first ? "Coil " : "Holding register ") +
                                std::to_string(key.second) + ": wrote " + std::to_string(value) +
                                ", device holds " + std::to_string(found->second));
        }
      }
    }
    if (differences.empty()) {
      err_ << "Verified: the device holds every value written.\n";
    }
    return differences;
  }

  static std::string DifferencesText(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " value differs" : " values differ") +
           " from what was written";
  }

  // The device's registers into its document, as a connection reads them.
  void ReadDevice() {
    writing_ = false;
    Connect();
    Await("Reading");
    device_->Settings->ReloadFromStore();
  }

  // Loads the settings file over what was read and writes it; with --verify reads it back
  // and returns what the device does not hold as written.
  std::vector<std::string> WriteFile() {
    model::TSettings& document = *device_->Settings;
    // Its values outside the limits were reported (or refused) before the search.
    static_cast<void>(document.LoadFromFile(command_.inPath));
    transfer_ = TTransfer();
    transfer_.maximum = store_.RegisterCount();
    writing_ = true;
    gWritePhase = TWritePhase::kWriting;
    store_.StartWrite();
    AwaitWrite();
    // Provisioning: a signal from now on ends the run once the unit is verified.
    gWritePhase = provisioning_ ? TWritePhase::kNoting : TWritePhase::kAfter;
    err_ << "Settings written successfully.\n";
    if (const int signal = gCaughtSignal.load(); signal != 0 && !provisioning_) {
      throw TExitError("interrupted as the write ended; the read-back was not done", 128 + signal);
    }
    if (!command_.verify) {
      return {};
    }
    try {
      return Verify();
    } catch (const std::exception& error) {
      throw std::runtime_error(std::string(error.what()) +
                               "\nThe write itself succeeded (the device took the closing "
                               "marker); only the read-back failed.");
    }
  }

  void SaveReportIfAsked() {
    if (!command_.reportPath.empty()) {
      model::SaveReport(*device_->Settings, ReportHeading(*device_, Connection()),
                        command_.reportPath);
      err_ << "Wrote " << command_.reportPath << '\n';
    }
  }

  // What the link opens, as a report's heading names it.
  std::string Connection() { return choices_.LinkDevice(commPort_); }

 private:
  // Every registered coil (true, reference) and holding register (false, reference), with
  // its value; reference 27 is left out: the closing marker overwrites it by design.
  using TImage = std::map<std::pair<bool, std::int32_t>, int>;
  TImage Image() const {
    TImage image;
    for (std::int32_t reference = 1; reference <= registers::TRegisterDataStore::kMaxReference;
         ++reference) {
      if (store_.IsCoilRegistered(reference)) {
        image[{true, reference}] = store_.GetCoil(reference) ? 1 : 0;
      }
      if (reference != registers::TRegisterDataStore::kWriteEndReference &&
          store_.IsHoldingRegisterRegistered(reference)) {
        std::int16_t value = 0;
        store_.GetHoldingRegisters(reference, &value, 1);
        image[{false, reference}] = value;
      }
    }
    return image;
  }

  // What can be checked without the device, so that a bad file costs no time on the line:
  // read's output file can be written; write's settings file loads for a device type of the
  // definitions, with no value outside their limits unless --force is given.
  void CheckFiles() {
    if (!command_.reportPath.empty()) {
      model::CheckFileWritable(command_.reportPath);
    }
    if (command_.kind == TCliCommand::Kind::kRead) {
      model::CheckFileWritable(command_.outPath);
      return;
    }
    std::vector<std::string> notices;
    try {
      fileDevice_ = &DeviceOfFile(devices_, command_.inPath);
      model::OpenOffline(*fileDevice_->Settings);
      notices = fileDevice_->Settings->LoadFromFile(command_.inPath);
    } catch (const std::exception& error) {
      const std::string text = error.what();
      // The file's own errors name it; the document's name only what is wrong in it.
      throw std::runtime_error(
          text.find(command_.inPath) != std::string::npos ? text : command_.inPath + ": " + text);
    }
    if (command_.force || notices.empty()) {
      WarnOutsideLimits(notices, err_);
      return;
    }
    for (const std::string& notice : notices) {
      err_ << "error: " << PrintableMessage(command_.inPath) << ": " << Printable(notice) << '\n';
    }
    throw std::runtime_error(command_.inPath + ": " + std::to_string(notices.size()) +
                             (notices.size() == 1 ? " value is" : " values are") +
                             " outside the definitions' limits; nothing was sent (--force "
                             "sends them anyway)");
  }

  // The device file a serial link opens.
  std::string SerialDevice() { return choices_.LinkDevice(commPort_); }

  // The device type id the device reports; throws the connection dialog's texts when no
  // device answers, and why.
  std::int32_t Search() {
    int lastResult = 0;
    std::int32_t value = 0;
    try {
      value = SearchOnce(showBar_, lastResult);
    } catch (const comms::TLinkError& error) {
      throw std::runtime_error(error.Cause());
    }
    if (value != 0) {
      return value;
    }
    if (command_.usb) {
      throw std::runtime_error(
          "Dravonik has been found but is not communicating\n\nPlease ensure that the "
          "Dravonik was powered up with the 'Sync' button held down.");
    }
    const std::string port =
        command_.port.rfind("COM", 0) == 0 ? std::to_string(commPort_) : command_.port;
    throw std::runtime_error("Could not find a device attached to comm port '" + port +
                             "' address '1'\n\nPlease ensure the device is connected to the "
                             "serial bus, \nyou have chosen the correct comm port and "
                             "address,\nand the serial options are set correctly\n" +
                             comms::SearchFailure(SerialDevice(), lastResult));
  }

  // One search: the device type id reported, or 0 when no device answered (lastResult says
  // why) or a signal cut a provisioning run's wait short. A link that will not open throws
  // its TLinkError.
  std::int32_t SearchOnce(bool showAttempts, int& lastResult) {
    // Shared with the handler, which may run after a wait cut short.
    struct TOutcome {
      bool delivered = false;
      std::int32_t value = 0;
      int lastResult = 0;
    };
    const auto outcome = std::make_shared<TOutcome>();
    comms::TSearchResultEvent handler(
        [outcome](comms::TSerialThread* sender, std::int32_t value, std::int32_t) {
          outcome->value = value;
          outcome->lastResult = sender->LastSearchResult();
          outcome->delivered = true;
        });
    if (showAttempts) {
      handler.Attempt = [this](int attempt, int attempts) {
        err_ << "\rSearching for the device: attempt " << attempt << " of " << attempts << "\x1b[K"
             << std::flush;
      };
    }
    manager_.StartDeviceSearch(commPort_, 1, std::move(handler));
    WaitUntil([&] { return outcome->delivered || Interrupted(); });
    if (showAttempts) {
      err_ << "\r\x1b[K" << std::flush;
    }
    lastResult = outcome->lastResult;
    return outcome->delivered ? outcome->value : 0;
  }

  // A provisioning run told to stop by a signal.
  bool Interrupted() const { return provisioning_ && gCaughtSignal.load() != 0; }

  // One search: the device type id a unit reports, or 0 when none answers or its line cannot
  // be opened (the line or converter of a unit is being connected or has gone with it).
  std::int32_t SearchForUnit() {
    int lastResult = 0;
    try {
      return SearchOnce(false, lastResult);
    } catch (const comms::TLinkError&) {
      return 0;
    }
  }

  // Waits for a unit to answer the search: the device type id it reports, or 0 once told to
  // stop. The link is opened afresh for each search, so that a converter plugged in anew is
  // found.
  std::int32_t AwaitUnit() {
    bool told = false;
    while (!Interrupted()) {
      if (const std::int32_t id = SearchForUnit(); id != 0) {
        return id;
      }
      manager_.CloseAllLinks();
      if (!told && !Interrupted()) {
        err_ << "Waiting for a unit on " << Printable(Connection()) << " (Ctrl-C ends)...\n";
        told = true;
      }
      Pause();
    }
    return 0;
  }

  // Waits until the unit no longer answers the search (or a signal), so that it is not taken
  // for the next one.
  void AwaitGone() {
    err_ << "Waiting for the unit to be disconnected...\n";
    while (!Interrupted() && SearchForUnit() != 0) {
      Pause();
    }
    manager_.CloseAllLinks();
  }

  void Pause() {
    bool over = false;
    QTimer::singleShot(kPauseMs, [&over] { over = true; });
    // The timer still runs out before `over` goes: its handler must find it.
    WaitUntil([&] { return over; });
  }

  // Whether the unit found is of the settings file's device type; says so when it is not.
  bool IsOfTheFilesType(std::int32_t id) {
    const std::string wanted =
        Printable(fileDevice_->Name) + " (device id " + std::to_string(fileDevice_->DeviceId) + ")";
    try {
      const model::TDevice& found = devices_.FindDevice(id);
      if (&found == fileDevice_) {
        err_ << "Found " << wanted << '\n';
        return true;
      }
      out_ << "The unit found is a " << Printable(found.Name) << " (device id " << id << "), not a "
           << wanted;
    } catch (const std::exception&) {
      out_ << "The unit found reports device id " << id
           << ", which the definitions do not know, not a " << wanted;
    }
    out_ << ": nothing is written to it. Connect the next unit.\n" << std::flush;
    return false;
  }

  // Writes and verifies one unit and saves what it then holds.
  TUnitOutcome ProvisionUnit(const TProvisionRecords& records, const std::string& number) {
    TUnitOutcome outcome;
    device_ = fileDevice_;
    // Where the last unit's write may have left it.
    gWritePhase = TWritePhase::kNoting;
    try {
      ReadDevice();
      if (Interrupted()) {
        outcome.result = kInterrupted;
        outcome.reason = "stopped before the write; nothing was written to it";
      } else {
        outcome.differences = WriteFile();
        const std::string base = records.UnitPath(number, device_->Name);
        device_->Settings->SaveToFile(base + ".zsf");
        model::SaveReport(*device_->Settings, ReportHeading(*device_, Connection()), base + ".pdf");
        for (const std::string& difference : outcome.differences) {
          out_ << difference << '\n';
        }
        outcome.result = outcome.differences.empty() ? kVerified : kFailed;
        if (!outcome.differences.empty()) {
          outcome.reason = DifferencesText(outcome.differences.size());
        }
      }
    } catch (const TExitError& error) {
      outcome.result = kInterrupted;
      outcome.reason = error.what();
    } catch (const std::exception& error) {
      outcome.result = kFailed;
      outcome.reason = error.what();
    }
    manager_.Disconnect(*device_);
    device_ = nullptr;
    manager_.CloseAllLinks();
    return outcome;
  }

  // The main window's online connection: the worker then collects, starts the read and calls
  // ResetProgress.
  void Connect() {
    device_->CommPort = commPort_;
    device_->Address = 1;
    device_->Online = true;
    device_->Settings->ClearPending();
    transfer_ = TTransfer();
    store_.Reset();
    manager_.Connect(*device_);
  }

  // GUI thread, once the worker has collected the registers and started the read.
  void ResetProgress() {
    transfer_.maximum = store_.RegisterCount();
    transfer_.position = 0;
    device_->Settings->ClearPending();
    if (transfer_.maximum == 0) {
      transfer_.over = true;  // nothing to read: the store raises no report
    }
  }

  // Worker thread, inside a pass: the state is taken now and the rest handed to this thread.
  // A write asked to stop ends here, after the block just reported, before the next one.
  void OnStoreProgress(const std::string& text, bool failed, std::int32_t count) {
    const bool complete = store_.IsComplete();
    const bool hasFailed = store_.HasFailed();
    manager_.Gui().Post([=, this] { OnProgress(text, failed, count, complete, hasFailed); });
    if (!failed && gWritePhase.load() == TWritePhase::kWriting && gCaughtSignal.load() != 0) {
      store_.Abort("Interrupted");
    }
  }

  void OnProgress(const std::string& text, bool failed, std::int32_t count, bool complete,
                  bool hasFailed) {
    if (transfer_.over) {
      return;
    }
    transfer_.position += count;
    ++transfer_.blocks;
    Show(text);
    if (writing_ && !failed) {
      NoteWritten(text);
    }
    if (failed || hasFailed) {
      transfer_.over = true;
      transfer_.failed = true;
      transfer_.failureText = text;
      return;
    }
    // A write is done when the device has taken the closing marker: the store's empty report.
    if (writing_) {
      transfer_.over = text.empty() && complete;
    } else {
      transfer_.over = transfer_.position >= transfer_.maximum || complete;
    }
  }

  void Show(const std::string& text) {
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
      line.pop_back();
    }
    if (!showBar_) {
      if (!line.empty()) {
        err_ << line << '\n';
      }
      return;
    }
    constexpr int kWidth = 30;
    const int percent = transfer_.maximum > 0
                            ? static_cast<int>(100LL * transfer_.position / transfer_.maximum)
                            : 100;
    const int filled = percent * kWidth / 100;
    const double seconds = std::chrono::duration<double>(Clock::now() - transfer_.started).count();
    std::ostringstream bar;
    bar << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
        << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] " << std::setw(3)
        << percent << "%  " << transfer_.blocks << " blocks  " << std::fixed << std::setprecision(1)
        << seconds << " s  " << line << "\x1b[K";
    err_ << bar.str() << std::flush;
  }

  // "Writing Coils 1 to 1", "Writing Holding Registers 11 to 12": a block the device took.
  void NoteWritten(const std::string& text) {
    int first = 0;
    int last = 0;
    if (std::sscanf(text.c_str(), "Writing Coils %d to %d", &first, &last) == 2) {
      transfer_.coils.Add(first, last);
    } else if (std::sscanf(text.c_str(), "Writing Holding Registers %d to %d", &first, &last) ==
               2) {
      transfer_.registers.Add(first, last);
    }
  }

  // A write that did not reach its end says what the device holds of it.
  void AwaitWrite() {
    try {
      Await("Writing");
    } catch (const std::exception& error) {
      std::string reached = "nothing of the file reached the device";
      if (!transfer_.coils.Empty() || !transfer_.registers.Empty()) {
        reached = "the device acknowledged ";
        if (!transfer_.coils.Empty()) {
          reached += transfer_.coils.Text("coil", "coils");
        }
        if (!transfer_.coils.Empty() && !transfer_.registers.Empty()) {
          reached += " and ";
        }
        if (!transfer_.registers.Empty()) {
          reached += transfer_.registers.Text("holding register", "holding registers");
        }
        reached += " of the file";
      }
      const std::string cut =
          ": " + reached +
          "; the closing marker (123 in holding register 27) was not sent, so the device has "
          "not taken the write as complete. Write the file again.";
      if (const int signal = gCaughtSignal.load(); signal != 0) {
        throw TExitError("The write was interrupted" + cut, 128 + signal);
      }
      throw std::runtime_error(std::string(error.what()) + "\nThe write did not complete" + cut);
    }
  }

  void Await(const char* what) {
    WaitUntil([&] { return transfer_.over; });
    if (showBar_) {
      err_ << '\n';
    }
    if (transfer_.failed) {
      throw std::runtime_error(transfer_.failureText.empty() ? std::string(what) + " failed"
                                                             : transfer_.failureText);
    }
  }

  // Serves the worker's calls until done() holds.
  static void WaitUntil(const std::function<bool()>& done) {
    while (!done()) {
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
  }

  const TCliCommand& command_;
  std::ostream& out_;
  std::ostream& err_;
  TStderrBoxes boxes_;
  // Before the manager, so that it outlives the links that report to it.
  static constexpr int kTraceDrainMs = 100;
  std::unique_ptr<TFrameTrace> trace_;
  QTimer traceTimer_;
  comms::TFixedChoices choices_;
  registers::TModbusHandler handler_;
  registers::TRegisterDataStore store_;
  model::TDevices devices_;
  comms::TSerialManager manager_;
  const std::int32_t commPort_;
  const bool showBar_;
  model::TDevice* device_ = nullptr;
  // write: the device type the settings file is for.
  model::TDevice* fileDevice_ = nullptr;
  TTransfer transfer_;
  bool writing_ = false;
  bool provisioning_ = false;
  static constexpr int kWakeMs = 100;
  static constexpr int kPauseMs = 1000;
  QTimer wakeTimer_;
};

}  // namespace

int RunOnlineCommand(const TCliCommand& command, const std::string& defaultDevicesPath,
                     std::ostream& out, std::ostream& err) {
  try {
    TOnlineSession session(
        command, command.devicesPath.empty() ? defaultDevicesPath : command.devicesPath, out, err);
    if (command.kind == TCliCommand::Kind::kProvision) {
      return session.Provision();
    }
    session.Run();
    return 0;
  } catch (const TExitError& error) {
    err << "error: " << PrintableMessage(error.what()) << '\n';
    return error.Status();
  } catch (const std::exception& error) {
    err << "error: " << PrintableMessage(error.what()) << '\n';
    return 1;
  }
}
