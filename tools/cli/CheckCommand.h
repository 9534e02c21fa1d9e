#pragma once

#include <ostream>
#include <string>

#include "tools/cli/CliCommand.h"

// Runs `check` on the device definitions file (the command's --devices, else
// defaultDevicesPath): loads it as the program does and lists, one line each as
// "FILE:LINE: WHAT: PROBLEM" in line order, what loads but cannot be right (settings on
// holding registers 27 or 28, repeated device or settings ids, limits and defaults that
// contradict each other or do not survive their register, drop-downs without a default
// entry, groups and settings the loader skips, a file without devices, defaults that break
// an exclusion group). Prints nothing when there is nothing to list. A file that does not
// load prints "error: " + the loader's message on err. Returns 0 when clean, 1 when
// something was listed or the file does not load. Needs a QCoreApplication.
int RunCheckCommand(const TCliCommand& command, const std::string& defaultDevicesPath,
                    std::ostream& out, std::ostream& err);
