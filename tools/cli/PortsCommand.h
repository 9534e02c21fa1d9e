#pragma once

#include <ostream>

// dravonik-cli ports: one line per serial device present, with its stable name, driver, USB
// product string, whether this user may open it (and if not, which group would let them)
// and the Comm numbers that open it. Reads the user's Comm port choices, changes nothing.
// Needs a QCoreApplication. Returns the exit status.
int RunPortsCommand(std::ostream& out);
