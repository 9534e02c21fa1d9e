// The main window connected to the simulated device (the largest bundled type on Comm 1,
// replies paced at 57600 baud), read, and then left alone: the processor time and the
// wake-ups of the whole process while it stays connected and idle, as an installer's laptop
// sees them. Then whole reads with the communication log closed and open, in turn.
#include <QApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/Fm_commlog.h"
#include "app/Fm_connect.h"
#include "app/Fm_main.h"
#include "bench/support/IdleMeter.h"
#include "comms/Registry.h"
#include "model/Devices.h"
#include "registers/Registerdatastore.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"
#include "ui/ImageButton.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  testsupport::TTempDir config;
  setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
  QApplication application(argc, argv);
  const int idleSeconds = argc > 1 ? std::atoi(argv[1]) : 10;

  // The P500 (device id 1) holds the most registers of the bundled types.
  SimProcess sim({"--pace", "57600", "--set", "28=1"});
  if (sim.Path().empty()) {
    std::fprintf(stderr, "cannot start dravonik-sim from %s\n", SimProcess::BinDir().c_str());
    return 1;
  }
  comms::WriteRegistryInteger(comms::kConfigKey, "ConnectionType", 1);
  comms::WriteRegistryInteger(comms::kConfigKey, "CommPortIndex", 0);
  comms::WriteRegistryBool(comms::kConfigKey, "Online", true);
  comms::WritePortDevice("COM1", sim.Path());

  TfmMain window(QString::fromStdString(SimProcess::BinDir()));
  window.show();
  // The connection dialog is answered as a user would: Connect.
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (auto* dialog = qobject_cast<TfmConnect*>(QApplication::activeModalWidget())) {
      answer.stop();
      dialog->btnConnect->click();
    }
  });
  answer.start(10);
  QTimer::singleShot(0, &window, [&] { window.btConnect->click(); });
  QEventLoop reading;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (window.RegisterDataStore()->IsComplete() && window.btWriteSettings->isEnabled() &&
        !window.ReadCompleteTimer->isActive()) {
      reading.quit();
    }
  });
  watch.start(10);
  reading.exec();
  watch.stop();

  TIdleMeter meter;
  QEventLoop idle;
  QTimer::singleShot(idleSeconds * 1000, &idle, &QEventLoop::quit);
  idle.exec();
  meter.Stop();
  meter.Print("window connected");

  auto readMs = [&] {
    const auto begin = std::chrono::steady_clock::now();
    window.RegisterDataStore()->StartRead();
    QEventLoop done;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (window.RegisterDataStore()->IsComplete()) {
        done.quit();
      }
    });
    poll.start(1);
    done.exec();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin)
        .count();
  };
  constexpr int kReads = 5;
  std::vector<double> closed;
  std::vector<double> open;
  for (int i = 0; i < kReads; ++i) {
    closed.push_back(readMs());
    window.ShowCommLog();
    open.push_back(readMs());
    window.CommLog->close();
  }
  std::sort(closed.begin(), closed.end());
  std::sort(open.begin(), open.end());
  const double closedMs = closed[kReads / 2];
  const double openMs = open[kReads / 2];
  std::printf(
      "read   whole device, medians of %d: log closed %.1f ms, open %.1f ms (%+.1f %%); the log "
      "holds %zu lines\n",
      kReads, closedMs, openMs, 100.0 * (openMs - closedMs) / closedMs, window.CommLog->Kept());
  window.close();
  return 0;
}
