#pragma once

#include <ostream>
#include <string>

#include "tools/cli/CliCommand.h"

// Runs read or write on a whole device: the same serial manager, worker loop, register store
// and settings document as the program's online connection, with this thread serving the
// worker's GUI-thread calls. Progress and errors go to err ("error: " + the system's text).
// Returns the exit status: 0 only when the whole transfer succeeded, else 1. Needs a
// QCoreApplication.
int RunOnlineCommand(const TCliCommand& command, const std::string& defaultDevicesPath,
                     std::ostream& err);
