// Saving over what the user's path already is: links, permissions, pipes and folders.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include "model/AtomicFile.h"
#include "tests/support/TempDir.h"

namespace model {
namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;

mode_t ModeOf(const std::string& path) {
  struct stat status {};
  EXPECT_EQ(stat(path.c_str(), &status), 0) << path;
  return status.st_mode & 07777;
}

std::string Thrown(const std::string& path, const std::string& bytes) {
  try {
    WriteFileAtomically(path, bytes);
  } catch (const std::runtime_error& error) {
    return error.what();
  }
  return "(nothing thrown)";
}

TEST(AtomicFile, ALinkStaysALinkAndItsTargetGetsTheBytes) {
  testsupport::TTempDir folder;
  const std::string target = folder.Write("settings.zsf", "old");
  const std::string link = folder.File("current.zsf");
  fs::create_symlink("settings.zsf", link);
  WriteFileAtomically(link, "new");
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
  EXPECT_EQ(ReadFile(target), "new");

  // A dangling link makes the file it points to.
  const std::string dangling = folder.File("later.zsf");
  fs::create_symlink("sub/../made.zsf", dangling);
  fs::create_directory(folder.Path() / "sub");
  WriteFileAtomically(dangling, "made");
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dangling)));
  EXPECT_EQ(ReadFile(folder.File("made.zsf")), "made");

  const std::string loop = folder.File("loop.zsf");
  fs::create_symlink("loop.zsf", loop);
  EXPECT_EQ(Thrown(loop, "x"), "Cannot create file \"" + loop + "\". " + std::strerror(ELOOP));
}

// A name as long as a folder takes (255 bytes) is saved: its temporary's name is cut short.
TEST(AtomicFile, ANameOfTheLongestLengthIsSavedAndReplaced) {
  testsupport::TTempDir folder;
  for (const std::size_t length : {241u, 250u, 255u}) {
    const std::string path = folder.File(std::string(length - 4, 'n') + ".zsf");
    WriteFileAtomically(path, "first");
    WriteFileAtomically(path, "second");
    EXPECT_EQ(ReadFile(path), "second") << length;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.Path()), fs::directory_iterator()), 3);
}

// A save cut off leaves its temporary: the next save of the file removes those no save holds
// any more, and nothing that only looks like one.
TEST(AtomicFile, ASaveRemovesTheTemporariesOfSavesCutOff) {
  testsupport::TTempDir folder;
  const std::string longName = std::string(250, 'n') + ".zsf";
  const std::string longPrefix = "." + longName.substr(0, 241) + ".";
  struct TLeftover {
    std::string target;
    std::string name;
    int ageSeconds;
    bool locked;
    bool removed;
  };
  const std::vector<TLeftover> leftovers = {
      {"site.zsf", ".site.zsf.0123456789ab", 3600, false, true},
      {longName, longPrefix + "00000000abcd", 3600, false, true},
      {"site.zsf", ".site.zsf.0123456789ac", 0, false, false},     // a save just begun
      {"site.zsf", ".site.zsf.0123456789ad", 3600, true, false},   // a save still running
      {"site.zsf", ".site.zsf.0123456789AB", 3600, false, false},  // not a name we make
      {"site.zsf", ".site.zsf.0123456789a", 3600, false, false},
      {"site.zsf", ".other.zsf.0123456789ab", 3600, false, false},
  };
  std::vector<int> holders;
  for (const TLeftover& leftover : leftovers) {
    const std::string path = folder.Write(leftover.name, "cut off");
    const timeval old[2] = {{time(nullptr) - leftover.ageSeconds, 0},
                            {time(nullptr) - leftover.ageSeconds, 0}};
    ASSERT_EQ(utimes(path.c_str(), old), 0);
    if (leftover.locked) {
      holders.push_back(open(path.c_str(), O_RDONLY | O_CLOEXEC));
      ASSERT_EQ(flock(holders.back(), LOCK_EX), 0);
    }
  }
  WriteFileAtomically(folder.File("site.zsf"), "saved");
  WriteFileAtomically(folder.File(longName), "saved");
  for (const TLeftover& leftover : leftovers) {
    EXPECT_EQ(fs::exists(folder.File(leftover.name)), !leftover.removed) << leftover.name;
  }
  for (const int holder : holders) {
    close(holder);
  }
}

TEST(AtomicFile, AnExistingFileKeepsItsPermissionsAndANewOneGetsTheUsualOnes) {
  testsupport::TTempDir folder;
  const std::string secret = folder.Write("secret.zsf", "old");
  ASSERT_EQ(chmod(secret.c_str(), 0600), 0);
  WriteFileAtomically(secret, "new");
  EXPECT_EQ(ModeOf(secret), 0600u);
  EXPECT_EQ(ReadFile(secret), "new");

  // What open() with the usual 0666 gives under this process's umask.
  const std::string reference = folder.File("reference");
  const int fd = open(reference.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  ASSERT_GE(fd, 0);
  close(fd);
  const std::string fresh = folder.File("fresh.zsf");
  WriteFileAtomically(fresh, "x");
  EXPECT_EQ(ModeOf(fresh), ModeOf(reference));

  // Nothing is left beside the files.
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder.Path())) {
    ++entries;
  }
  EXPECT_EQ(entries, 3);
}

TEST(AtomicFile, APipeIsWrittenToAndStaysAPipe) {
  testsupport::TTempDir folder;
  const std::string pipe = folder.File("out.csv");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  // The reading end is opened first without waiting, so that nothing here can block.
  const int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  WriteFileAtomically(pipe, "Name,Value\n");
  char received[64] = {};
  const ssize_t n = read(reader, received, sizeof received);
  close(reader);
  EXPECT_EQ(std::string(received, n > 0 ? static_cast<size_t>(n) : 0), "Name,Value\n");
  struct stat status {};
  ASSERT_EQ(lstat(pipe.c_str(), &status), 0);
  EXPECT_TRUE(S_ISFIFO(status.st_mode));
}

TEST(AtomicFile, AFolderIsRefusedAndLeftAsItIs) {
  testsupport::TTempDir folder;
  const std::string sub = folder.File("sub");
  fs::create_directory(sub);
  EXPECT_EQ(Thrown(sub, "x"), "Cannot create file \"" + sub + "\". " + std::strerror(EISDIR));
  EXPECT_TRUE(fs::is_directory(sub));
  EXPECT_TRUE(fs::is_empty(sub));
}

}  // namespace
}  // namespace model
