#include "model/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace model {

namespace {

[[noreturn]] void Fail(const std::string& path, int error) {
  throw std::runtime_error("Cannot create file \"" + path + "\". " + std::strerror(error));
}

}  // namespace

void WriteFileAtomically(const std::string& path, const std::string& bytes) {
  const std::filesystem::path target(path);
  const std::filesystem::path folder =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  std::string temporary = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = mkstemp(temporary.data());
  if (fd < 0) {
    Fail(path, errno);
  }
  // A new file gets the usual permissions rather than mkstemp's 0600.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);

  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      const int error = errno;
      close(fd);
      unlink(temporary.c_str());
      Fail(path, error);
    }
    written += static_cast<size_t>(n);
  }
  const int syncResult = fsync(fd);
  const int syncError = errno;
  if (close(fd) != 0 || syncResult != 0) {
    const int error = syncResult != 0 ? syncError : errno;
    unlink(temporary.c_str());
    Fail(path, error);
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    unlink(temporary.c_str());
    Fail(path, error);
  }
}

}  // namespace model
