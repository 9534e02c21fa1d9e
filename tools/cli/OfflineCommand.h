#pragma once

#include <ostream>
#include <string>

#include "tools/cli/CliCommand.h"

namespace model {
class TDevice;
class TDevices;
struct TReportHeading;
}  // namespace model

// Runs an offline command (devices, defaults, convert, report) on the device definitions file: the
// command's --devices, else defaultDevicesPath. The device type's document is opened as the
// main window's offline edit opens it, so the files written are those the program writes.
// Prints the device list to out and an error to err as "error: " + the message. Returns
// the exit status: 0, or 1 after an error. Needs a QCoreApplication (report: a
// QGuiApplication).
int RunOfflineCommand(const TCliCommand& command, const std::string& defaultDevicesPath,
                      std::ostream& out, std::ostream& err);

// True when the output file is to be written as CSV: its name ends in ".csv" in any
// letter case.
bool IsCsvPath(const std::string& path);

// The device type a settings file is for: the one of the definitions with the device_id of
// the file's device element. Throws when the file does not load or names no such type.
model::TDevice& DeviceOfFile(const model::TDevices& devices, const std::string& file);

// The heading of a report this tool makes of the device type's document now.
model::TReportHeading ReportHeading(const model::TDevice& device, const std::string& connection);
