#include "tests/support/TempDir.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

TTempDir::TTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "dravonik-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot create a temporary folder");
  }
  path_ = pattern;
}

TTempDir::~TTempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

TConfigHome::TConfigHome() {
  if (const char* before = std::getenv("XDG_CONFIG_HOME")) {
    before_ = before;
  }
  setenv("XDG_CONFIG_HOME", Path().c_str(), 1);
}

TConfigHome::~TConfigHome() {
  if (before_) {
    setenv("XDG_CONFIG_HOME", before_->c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
}

std::string TTempDir::Write(const std::string& name, std::string_view contents) const {
  const std::filesystem::path file = path_ / name;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  return file.string();
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

}  // namespace testsupport
