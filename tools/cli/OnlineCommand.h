#pragma once

#include <ostream>
#include <string>

#include "tools/cli/CliCommand.h"

// Runs read, write or provision on a whole device: the same serial manager, worker loop,
// register store and settings document as the program's online connection, with this thread
// serving the worker's GUI-thread calls. Progress and errors go to err ("error: " + the system's
// text); what a verified write finds different goes to out. Returns the exit status: 0 only when
// the whole transfer (and its verification) succeeded, 128 plus the signal when SIGINT,
// SIGTERM or SIGHUP cut a write short, else 1. During a write the first such signal stops it
// after the request on the line; a second one, or one before any block was sent, ends the
// program at once. provision (see kCliUsage) returns 0 when every unit was written and
// verified, 1 when one failed, 128 plus the signal when one was cut short. Needs a
// QCoreApplication (a QGuiApplication for reports).
int RunOnlineCommand(const TCliCommand& command, const std::string& defaultDevicesPath,
                     std::ostream& out, std::ostream& err);
