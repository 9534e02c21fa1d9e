#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace testsupport {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // Writes the bytes into a file of the folder and returns its full path.
  std::string Write(const std::string& name, std::string_view contents) const;
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// A fresh folder that is the user's configuration folder (XDG_CONFIG_HOME) while the object
// lives: what the programs and the tests store under the tool's key goes there, not into the
// user's own. Declared before what reads the stored choices, so that it is set first; the
// folder set before comes back when it goes.
class TConfigHome : public TTempDir {
 public:
  TConfigHome();
  ~TConfigHome();

 private:
  std::optional<std::string> before_;
};

// The whole contents of a file; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

}  // namespace testsupport
