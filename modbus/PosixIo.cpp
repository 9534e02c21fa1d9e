#include "modbus/PosixIo.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace modbus {

namespace {

// The kernel's names of USB serial ports: usb-serial drivers (ftdi_sio among them) and the
// CDC ACM driver.
constexpr const char* kUsbSerialPrefixes[] = {"ttyUSB", "ttyACM"};

using Clock = std::chrono::steady_clock;

// Milliseconds left until deadline, rounded up so that poll never wakes early.
int RemainingMs(Clock::time_point deadline) {
  const auto left = deadline - Clock::now();
  if (left <= Clock::duration::zero()) {
    return 0;
  }
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

// Moves n bytes with op (read or write) until done or deadline.
template <typename Op>
int Transfer(int fd, short events, int n, int timeoutMs, int* moved, Op op) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  int done = 0;
  int status = kPortSuccess;
  while (done < n) {
    const ssize_t r = op(done);
    if (r > 0) {
      done += static_cast<int>(r);
      continue;
    }
    if (r < 0 && errno == EINTR) {
      continue;
    }
    if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      status = kPortSystemError;
      break;
    }
    const int wait = RemainingMs(deadline);
    if (wait == 0) {
      status = kPortTimeout;
      break;
    }
    pollfd pfd{fd, events, 0};
    const int ready = poll(&pfd, 1, wait);
    if (ready < 0 && errno != EINTR) {
      status = kPortSystemError;
      break;
    }
    if (ready > 0 && (pfd.revents & (POLLERR | POLLNVAL)) != 0) {
      status = kPortSystemError;
      break;
    }
  }
  if (moved != nullptr) {
    *moved = done;
  }
  return status;
}

std::string EnvOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != 0 ? value : fallback;
}

}  // namespace

int PosixOpenExclusive(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    switch (errno) {
      case ENOENT:
      case ENODEV:
      case ENXIO:
      case ENOTDIR:
        return -kPortNotFound;
      case EBUSY:
        return -kPortInUse;
      case EACCES:
      case EPERM:
        return -kPortNoPermission;
      default:
        return -kPortSystemError;
    }
  }
  // TIOCEXCL keeps other users out; the lock also covers privileged openers, which
  // TIOCEXCL lets through.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    close(fd);
    return error == EWOULDBLOCK ? -kPortInUse : -kPortSystemError;
  }
  if (!isatty(fd)) {
    close(fd);
    return -kPortSystemError;
  }
  ioctl(fd, TIOCEXCL);
  return fd;
}

void PosixCloseExclusive(int fd) {
  ioctl(fd, TIOCNXCL);
  close(fd);
}

void PosixSetModemLines(int fd, const TDcb& dcb) {
  int dtr = TIOCM_DTR;
  int rts = TIOCM_RTS;
  ioctl(fd, dcb.fDtrControl == kDtrControlEnable ? TIOCMBIS : TIOCMBIC, &dtr);
  if (dcb.fRtsControl != kRtsControlHandshake) {
    ioctl(fd, dcb.fRtsControl == 1 ? TIOCMBIS : TIOCMBIC, &rts);
  }
}

int PosixReadAll(int fd, std::uint8_t* buffer, int n, int timeoutMs, int* got) {
  return Transfer(fd, POLLIN, n, timeoutMs, got,
                  [&](int done) { return read(fd, buffer + done, static_cast<size_t>(n - done)); });
}

int PosixWriteAll(int fd, const std::uint8_t* bytes, int n, int timeoutMs, int* put) {
  return Transfer(fd, POLLOUT, n, timeoutMs, put,
                  [&](int done) { return write(fd, bytes + done, static_cast<size_t>(n - done)); });
}

std::string PosixSysfsRoot() {
  return EnvOr("DRAVONIK_SYSFS_ROOT", "/sys");
}

std::string PosixDevRoot() {
  return EnvOr("DRAVONIK_DEV_ROOT", "/dev");
}

std::string PosixReadAttribute(const std::string& path) {
  constexpr std::size_t kPage = 4096;
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    return {};
  }
  std::string text;
  struct stat status {};
  if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
    text.resize(kPage);
    std::size_t got = 0;
    ssize_t n = 0;
    while (got < kPage && (n = read(fd, text.data() + got, kPage - got)) != 0) {
      if (n < 0 && errno != EINTR) {
        got = 0;
        break;
      }
      got += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    text.resize(got);
  }
  close(fd);
  text.resize(std::min(text.find('\n'), text.size()));
  while (!text.empty() && (text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

std::string PosixTtyName(int fd) {
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISCHR(status.st_mode)) {
    return {};
  }
  const std::string number =
      std::to_string(major(status.st_rdev)) + ":" + std::to_string(minor(status.st_rdev));
  std::error_code error;
  const fs::path device = fs::canonical(fs::path(PosixSysfsRoot()) / "dev/char" / number, error);
  return error ? std::string() : device.filename().string();
}

bool PosixIsUsbSerialName(const std::string& ttyName) {
  for (const char* prefix : kUsbSerialPrefixes) {
    if (ttyName.rfind(prefix, 0) == 0) {
      return true;
    }
  }
  return false;
}

TLowLatency PosixSetLowLatency(int fd, const std::string& ttyName) {
  TLowLatency done;
  done.usbSerial = PosixIsUsbSerialName(ttyName);
  if (!done.usbSerial) {
    return done;
  }
  serial_struct serial{};
  if (ioctl(fd, TIOCGSERIAL, &serial) == 0) {
    serial.flags |= ASYNC_LOW_LATENCY;
    done.flagSet = ioctl(fd, TIOCSSERIAL, &serial) == 0;
  }
  // The attribute belongs to the port device (the usb-serial port of ftdi_sio); cdc_acm has
  // none.
  const fs::path timer =
      fs::path(PosixSysfsRoot()) / "class/tty" / ttyName / "device/latency_timer";
  std::error_code error;
  if (fs::is_regular_file(timer, error)) {
    std::ofstream latency(timer);
    latency << "1\n" << std::flush;
    done.timerSet = static_cast<bool>(latency);
  }
  return done;
}

}  // namespace modbus
