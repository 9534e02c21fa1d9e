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

}  // namespace model
