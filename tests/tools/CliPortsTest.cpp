// dravonik-cli ports against a fake sysfs and /dev tree: an FTDI converter with a stable
// name and a USB modem that this user may not open.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/DeviceTree.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

class CliPorts : public testing::Test {
 protected:
  CliPorts() {
    tree_.AddUsbSerial("ttyUSB0", "1-1", "ftdi_sio", "Dravonik");
    tree_.AddUsbSerial("ttyACM0", "1-2", "cdc_acm", "Modem");
    fs::create_directories(tree_.Dev() / "serial/by-id");
    fs::create_symlink("../../ttyUSB0", tree_.Dev() / "serial/by-id/usb-Brennhaven_Dravonik-if00");
    // Nodes with the owner and mode the kernel's would have.
    for (const char* node : {"ttyUSB0", "ttyACM0"}) {
      const std::string path = tree_.AddNode(node);
      const group* dialout = getgrnam("dialout");
      if (getuid() == 0) {
        EXPECT_EQ(chown(path.c_str(), 0, dialout != nullptr ? dialout->gr_gid : 20), 0);
      }
      fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                fs::perms::group_write);
    }
    // Everyone may look into the tree; the nodes stay root's and dialout's.
    const fs::path& root = tree_.Root();
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      if (entry.is_directory() && !entry.is_symlink()) {
        fs::permissions(entry.path(), fs::perms::others_read | fs::perms::others_exec,
                        fs::perm_options::add);
      }
    }
    fs::permissions(root, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
  }

  std::string Node(const char* name) const { return (tree_.Dev() / name).string(); }

  testsupport::TDeviceTree tree_;
  testsupport::TConfigHome config_;
};

// A node whose number no integer holds is listed in its place, not the end of the program.
TEST_F(CliPorts, ANameEndingInAnyNumberOfDigitsIsListedInOrder) {
  const std::string huge = "ttyUSB" + std::string(30, '9');
  for (const std::string& node : {huge, std::string("ttyUSB10"), std::string("ttyUSB9")}) {
    tree_.AddNode(node);
  }
  const ProgramResult ports = RunProgram(SimProcess::BinDir() + "/dravonik-cli", {"ports"});
  ASSERT_EQ(ports.exitCode, 0) << ports.err;
  const std::size_t nine = ports.out.find(Node("ttyUSB9") + " ");
  const std::size_t ten = ports.out.find(Node("ttyUSB10") + " ");
  ASSERT_NE(nine, std::string::npos) << ports.out;
  EXPECT_LT(nine, ten);
  EXPECT_LT(ten, ports.out.find(Node(huge.c_str())));
}

// An attribute that is a FIFO (an open would block) or /dev/zero (a read would never end) is
// taken as no product string, at once.
TEST_F(CliPorts, AProductThatIsNoRegularFileIsNotRead) {
  tree_.AddUsbSerial("ttyUSB1", "1-3", "ftdi_sio", "");
  tree_.AddUsbSerial("ttyUSB2", "1-4", "ftdi_sio", "");
  const fs::path usb = tree_.Sys() / "devices/usb1";
  fs::remove(usb / "1-3/product");
  ASSERT_EQ(mkfifo((usb / "1-3/product").c_str(), 0600), 0);
  fs::remove(usb / "1-4/product");
  fs::create_symlink("/dev/zero", usb / "1-4/product");
  for (const char* node : {"ttyUSB1", "ttyUSB2"}) {
    tree_.AddNode(node);
  }
  const ProgramResult ports =
      RunProgram("/usr/bin/timeout", {"10", SimProcess::BinDir() + "/dravonik-cli", "ports"});
  ASSERT_EQ(ports.exitCode, 0) << ports.err;
  for (const char* node : {"ttyUSB1", "ttyUSB2"}) {
    EXPECT_NE(ports.out.find(Node(node) + "  by-id -  driver ftdi_sio  product -  "),
              std::string::npos)
        << ports.out;
  }
}

TEST_F(CliPorts, EachDeviceShowsItsNameDriverProductAccessAndCommPort) {
  const std::string cli = SimProcess::BinDir() + "/dravonik-cli";
  // Comm 2 is set to open the converter (the connection dialog stores such a choice).
  fs::create_directories(config_.Path() / "Brennhaven Dravonik");
  std::ofstream(config_.Path() / "Brennhaven Dravonik" / "Config Manager.conf")
      << "[Ports]\nCOM2=" << Node("ttyUSB0") << "\n";
  const ProgramResult ports = RunProgram(cli, {"ports"});
  ASSERT_EQ(ports.exitCode, 0) << ports.err;
  EXPECT_EQ(ports.out,
            Node("ttyUSB0") + "  by-id " + Node("serial/by-id/usb-Brennhaven_Dravonik-if00") +
                "  driver ftdi_sio  product Dravonik  may open  Comm 2\n" + Node("ttyACM0") +
                "  by-id -  driver cdc_acm  product Modem  may open  -\n");

  // A user outside the dialout group is told which group would let them in.
  if (getuid() != 0) {
    GTEST_SKIP() << "the other user's view needs root to take it";
  }
  fs::permissions(config_.Path(), fs::perms::others_read | fs::perms::others_exec,
                  fs::perm_options::add);
  const std::vector<std::string> asNobody{"--reuid=65534", "--regid=65534", "--clear-groups", cli};
  auto runAsNobody = [&](const std::string& command) {
    std::vector<std::string> args = asNobody;
    args.push_back(command);
    return RunProgram("/usr/bin/setpriv", args);
  };
  if (runAsNobody("--help").exitCode != 0) {
    GTEST_SKIP() << "the program cannot run as another user from this folder";
  }
  const ProgramResult other = runAsNobody("ports");
  ASSERT_EQ(other.exitCode, 0) << other.err;
  EXPECT_NE(other.out.find(Node("ttyACM0") +
                           "  by-id -  driver cdc_acm  product Modem  no permission (group "
                           "dialout)  -\n"),
            std::string::npos)
      << other.out;
}

}  // namespace
