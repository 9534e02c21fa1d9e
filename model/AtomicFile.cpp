#include "model/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace model {

namespace {

// Symbolic links followed before the path is taken as a loop (the kernel's own limit).
constexpr int kMaxLinks = 40;
constexpr int kMaxNameTries = 100;
// The longest file name the usual file systems take (NAME_MAX), in bytes.
constexpr std::size_t kMaxFileName = 255;
// A temporary is "." + the file's name (cut to fit) + "." + 12 hex digits.
constexpr std::size_t kSuffixDigits = 12;
constexpr std::size_t kSuffixLength = 1 + kSuffixDigits;
// A temporary younger than this may belong to a save that has not locked it yet.
constexpr int kStaleAfterSeconds = 5;

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

std::filesystem::path FolderOf(const std::filesystem::path& target) {
  return target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
}

// What the temporaries of the file are named before their suffix.
std::string TemporaryPrefix(const std::filesystem::path& target) {
  // "." and the suffix must fit beside the file's name within the longest name a folder
  // holds: a long name is cut short in its temporary's.
  const std::string base = target.filename().string();
  return "." + base.substr(0, std::min(base.size(), kMaxFileName - 1 - kSuffixLength)) + ".";
}

// A new file beside the target, made with the usual permissions (the process's umask
// applies), open for writing and locked (flock) until it is closed, so that no other save
// takes it for a leftover; its name is returned in `name`.
int CreateTemporary(const std::filesystem::path& target, std::string& name,
                    const std::string& path) {
  std::random_device seed;
  std::mt19937_64 random(seed());
  const std::string prefix = (FolderOf(target) / TemporaryPrefix(target)).string();
  for (int i = 0; i < kMaxNameTries; ++i) {
    char suffix[kSuffixDigits + 1];
    std::snprintf(suffix, sizeof suffix, "%012llx",
                  static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
    name = prefix + suffix;
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      flock(fd, LOCK_EX);
      return fd;
    }
    if (errno != EEXIST) {
      Fail(path, errno);
    }
  }
  Fail(path, EEXIST);
}

// Removes what saves of the file that were cut off (the program killed between making its
// temporary and the rename) left in its folder: files of this user named as its temporaries
// are named, a few seconds old, that no save holds locked any more. Anything else is left.
void RemoveStaleTemporaries(const std::filesystem::path& target) {
  const std::filesystem::path folder = FolderOf(target);
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) {
    return;
  }
  const std::string prefix = TemporaryPrefix(target);
  const time_t staleBefore = time(nullptr) - kStaleAfterSeconds;
  while (const dirent* entry = readdir(listing)) {
    const std::string_view name = entry->d_name;
    if (name.size() != prefix.size() + kSuffixDigits || name.substr(0, prefix.size()) != prefix ||
        name.find_first_not_of("0123456789abcdef", prefix.size()) != std::string_view::npos) {
      continue;
    }
    const int fd = openat(dirfd(listing), entry->d_name,
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
      continue;
    }
    struct stat status {};
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == geteuid() &&
        status.st_mtime < staleBefore && flock(fd, LOCK_EX | LOCK_NB) == 0) {
      unlinkat(dirfd(listing), entry->d_name, 0);
    }
    close(fd);
  }
  closedir(listing);
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
  // The lock stays on the temporary until it has its final name: the copy keeps it.
  const int lockFd = dup(fd);
  auto fail = [&](int error) {
    unlink(temporary.c_str());
    if (lockFd >= 0) {
      close(lockFd);
    }
    Fail(path, error);
  };
  if (close(fd) != 0) {
    fail(errno);
  }
  if (std::rename(temporary.c_str(), target.c_str()) != 0) {
    fail(errno);
  }
  if (lockFd >= 0) {
    close(lockFd);
  }
  // The rename is an entry of the folder: only its sync makes it last a power cut.
  const int folderFd = open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    fsync(folderFd);
    close(folderFd);
  }
  RemoveStaleTemporaries(target);
}

}  // namespace model
