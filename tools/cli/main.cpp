// dravonik-cli: raw register commands for installers and tests, through the tool's own
// Modbus master; read and write of a whole device through the program's own link, worker and
// register store; and offline commands that write the settings files and CSV the program
// writes, without a device.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Version.h"
#include "comms/SerialDevices.h"
#include "modbus/MbusRtuMasterProtocol.h"
#include "modbus/Mbusrtuoverusbmasterprotocol.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/FrameTrace.h"
#include "tools/cli/OfflineCommand.h"
#include "tools/cli/OnlineCommand.h"
#include "tools/cli/PortsCommand.h"
#include "tools/cli/SettingTexts.h"

namespace {

// Qt's own notes about the session (no XDG_RUNTIME_DIR in a plain shell or a service) are no
// business of this tool's users; every other message goes to standard error as Qt writes it.
void FilterQtMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtWarningMsg && text.startsWith(QStringLiteral("QStandardPaths: "))) {
    return;
  }
  std::cerr << qPrintable(qFormatLogMessage(type, context, text)) << '\n';
}

// A link that would not open: what failed and why.
int ReportOpenFailure(const std::string& cause) {
  std::cerr << "error: " << PrintableMessage(cause) << '\n';
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      std::cout << kCliUsage;
      return 0;
    }
    if (arg == "--version") {
      std::cout << "dravonik-cli " << kProgramVersion << '\n';
      return 0;
    }
  }
  TCliCommand command;
  std::string error;
  if (!ParseCliCommand(args, command, error)) {
    std::cerr << "dravonik-cli: " << PrintableMessage(error) << "\nTry 'dravonik-cli --help'.\n";
    return 2;
  }

  if (command.kind == TCliCommand::Kind::kPorts) {
    QCoreApplication application(argc, argv);
    return RunPortsCommand(std::cout);
  }
  if (IsOfflineCommand(command.kind) || IsOnlineCommand(command.kind)) {
    // The settings model is built on QObject, and this thread serves the serial worker's
    // calls as the program's GUI thread does. A report lays out text, which takes the fonts
    // of a QGuiApplication; its offscreen platform needs no display, and nothing is shown.
    std::unique_ptr<QCoreApplication> application;
    if (MakesReport(command)) {
      qputenv("QT_QPA_PLATFORM", "offscreen");
      qInstallMessageHandler(FilterQtMessages);
      application = std::make_unique<QGuiApplication>(argc, argv);
    } else {
      application = std::make_unique<QCoreApplication>(argc, argv);
    }
    const std::string defaultDevices =
        QFile::encodeName(QDir(QCoreApplication::applicationDirPath()).filePath("Devices.xml"))
            .toStdString();
    if (IsOnlineCommand(command.kind)) {
      return RunOnlineCommand(command, defaultDevices, std::cout, std::cerr);
    }
    return RunOfflineCommand(command, defaultDevices, std::cout, std::cerr);
  }

  // Made before the master, so that it outlives the master's reports.
  std::optional<TFrameTrace> trace;
  if (!command.tracePath.empty()) {
    try {
      trace.emplace(command.tracePath);
    } catch (const std::exception& error) {
      std::cerr << "error: " << PrintableMessage(error.what()) << '\n';
      return 1;
    }
  }
  // The retry count and time-out were checked with the other arguments.
  std::unique_ptr<modbus::MbusMasterFunctions> master;
  if (command.usb) {
    auto usb = std::make_unique<modbus::MbusRtuOverUSBMasterProtocol>();
    usb->SetRetryCount(command.retries);
    usb->SetTimeout(command.timeoutMs);
    // The converter is found by the descriptions the tool itself tries, in its order.
    int result = modbus::kMbusOpenError;
    for (const char* description : modbus::MbusRtuOverUSBMasterProtocol::kDescriptions) {
      result = usb->Open(description, command.baud);
      if (result == modbus::kMbusSuccess) {
        break;
      }
    }
    if (result != modbus::kMbusSuccess) {
      return ReportOpenFailure(comms::UsbOpenFailure());
    }
    master = std::move(usb);
  } else {
    auto serial = std::make_unique<modbus::MbusRtuMasterProtocol>();
    serial->SetRetryCount(command.retries);
    serial->SetTimeout(command.timeoutMs);
    if (const int result = serial->Open(command.port, command.baud);
        result != modbus::kMbusSuccess) {
      return ReportOpenFailure(comms::SerialOpenFailure(serial->DevicePath(), result));
    }
    master = std::move(serial);
  }
  if (trace) {
    master->SetObserver(&trace->Observer());
  }
  const int status = RunCliCommand(command, *master, std::cout, std::cerr);
  master->Close();
  return status == modbus::kMbusSuccess ? 0 : 1;
}
