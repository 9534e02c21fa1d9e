#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "ui/MessageBoxes.h"

namespace fuzzsupport {

// Starts the one QApplication of the fuzzing process on the offscreen platform, in the
// program's look, with a box that records nothing and answers OK (or Yes) installed for every
// message box, so that no input waits for a user.
void StartApplication(int* argc, char*** argv);

// Writes the bytes to a file of that name in the process's scratch folder (memory-backed
// where possible) and returns its path. The loaders under test take paths only.
std::string WriteScratchFile(const std::string& name, const std::uint8_t* data, std::size_t size);

// Deletes the widgets whose deletion was deferred, so that one input's widgets do not
// outlive it.
void DeleteDeferredWidgets();

}  // namespace fuzzsupport
