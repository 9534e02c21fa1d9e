#pragma once

#include <string>

namespace model {

// Replaces the file at path by the bytes, or leaves it as it was: the bytes
// go to a temporary file beside it, which is then renamed over it. A symbolic
// link is followed and its target replaced; an existing file keeps its
// permissions (and its owner where allowed); a pipe, terminal or other device
// is written to as it is. Throws a message naming the file when it cannot be
// written.
void WriteFileAtomically(const std::string& path, const std::string& bytes);

// Throws what WriteFileAtomically would throw for a path it cannot write to (a folder that
// is not there or not writable, a directory in its place), without touching a file that is
// there: a temporary file is made beside it and removed again.
void CheckFileWritable(const std::string& path);

}  // namespace model
