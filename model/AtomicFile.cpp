#include "model/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace model {

namespace {

// Symbolic links followed before the path is taken as a loop (the kernel's own limit).
constexpr int kMaxLinks = 40;
constexpr int kMaxNameTries = 100;
// The longest file name the usual file systems take (NAME_MAX), in bytes.
constexpr std::size_t kMaxFileName = 255;

[[noreturn]] void Fail(const std::string& path, int error) {
  throw std::runtime_error("Cannot create file \"" + path + "\". " + std::strerror(error));
}

// The file a path names once its symbolic links are followed, so that a link stays a link
// and its target gets the bytes. A dangling link names the file it would point to.
std::filesystem::path FollowLinks(const std::string& path) {
  std::filesystem::path current(path);
  for (int i = 0; i < kMaxLinks; ++i) {
    std::error_code error;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(current, error))) {
      return current;
    }
    const std::filesystem::path target = std::filesystem::read_symlink(current, error);
    if (error) {
      Fail(path, error.value());
    }
    current = target.is_absolute() ? target : current.parent_path() / target;
  }
  Fail(path, ELOOP);
}

// Zero, or the error that stopped the writing.
int WriteAll(int fd, const std::string& bytes) {
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      return errno;
    }
    written += static_cast<size_t>(n);
  }
  return 0;
}

// A pipe, a terminal or another device cannot be replaced, only written to.
void WriteInPlace(const std::filesystem::path& target, const std::string& bytes,
                  const std::string& path) {
  const int fd = open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    Fail(path, errno);
  }
  if (const int error = WriteAll(fd, bytes)) {
    close(fd);
    Fail(path, error);
  }
  if (close(fd) != 0) {
    Fail(path, errno);
  }
}

// A new file beside the target, made with the usual permissions (the process's umask
// applies), open for writing; its name is returned in `name`.
int CreateTemporary(const std::filesystem::path& target, std::string& name,
                    const std::string& path) {
  const std::filesystem::path folder =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int i = 0; i < kMaxNameTries; ++i) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%012llx",
                  static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
    // "." and the suffix must fit beside the file's name within the longest name a folder
    // holds: a long name is cut short in its temporary's.
    const std::string base = target.filename().string();
    const std::size_t room = kMaxFileName - 1 - std::strlen(suffix);
    name = (folder / ("." + base.substr(0, std::min(base.size(), room)) + suffix)).string();
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      return fd;
    }
    if (errno != EEXIST) {
      Fail(path, errno);
    }
  }
  Fail(path, EEXIST);
}

}  // namespace

void CheckFileWritable(const std::string& path) {
  const std::filesystem::path target = FollowLinks(path);
  struct stat existing {};
  if (stat(target.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
    if (S_ISDIR(existing.st_mode)) {
      Fail(path, EISDIR);
    }
    if (access(target.c_str(), W_OK) != 0) {
      Fail(path, errno);
    }
    return;  // a pipe or device, written to as it is
  }
  std::string temporary;
  const int fd = CreateTemporary(target, temporary, path);
  close(fd);
  unlink(temporary.c_str());
}

void WriteFileAtomically(const std::string& path, const std::string& bytes) {
  const std::filesystem::path target = FollowLinks(path);
  struct stat existing {};
  const bool exists = stat(target.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode)) {
    if (S_ISDIR(existing.st_mode)) {
      Fail(path, EISDIR);
    }
    WriteInPlace(target, bytes, path);
    return;
  }

  std::string temporary;
  const int fd = CreateTemporary(target, temporary, path);
  auto discard = [&](int error) {
    close(fd);
    unlink(temporary.c_str());
    Fail(path, error);
  };
  if (exists) {
    // The replacement keeps what the user gave the file: its permissions, and its owner
    // where this process may keep it.
    if (fchmod(fd, existing.st_mode & 07777) != 0) {
      discard(errno);
    }
    [[maybe_unused]] const int owned = fchown(fd, existing.st_uid, existing.st_gid);
  }
  if (const int error = WriteAll(fd, bytes)) {
    discard(error);
  }
  if (fsync(fd) != 0) {
    discard(errno);
  }
  if (close(fd) != 0) {
    const int error = errno;
    unlink(temporary.c_str());
    Fail(path, error);
  }
  if (std::rename(temporary.c_str(), target.c_str()) != 0) {
    const int error = errno;
    unlink(temporary.c_str());
    Fail(path, error);
  }
  // The rename is an entry of the folder: only its sync makes it last a power cut.
  const std::filesystem::path folder =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  const int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    fsync(folderFd);
    close(folderFd);
  }
}

}  // namespace model
