// Fuzz target: the input scripts what a serial line gives a Modbus RTU master: what answers
// each request (a correct reply, one altered with or without a matching CRC, an exception
// reply, raw bytes or silence), bytes arriving late after a purge, and how each read and
// write of the port ends (in full, partly then timed out, or failing). The same script drives
// the serial line's try (mbus_rtu_try::SerialLineTry, as MbusRtuMasterProtocol runs it) or
// the USB master whole (MbusRtuOverUSBMasterProtocol over a scripted D2XX driver), through the
// function layer with its retries.
//
// After every request the target checks, against its own framing and CRC, that the master
// accepted only a reply that is right: from the slave asked, for the function asked, of the
// length the request calls for, with a good CRC and (for reads) the right byte count, and that
// what it returned is what that reply holds; that a failed read returns zeroes; that an
// exception result comes from a correct exception reply; and that every request it wrote is
// the right frame. A broken rule aborts with the request and the reply.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "modbus/Ftd2xx.h"
#include "modbus/LineSettings.h"
#include "modbus/MbusMasterFunctions.h"
#include "modbus/MbusRtuFrame.h"
#include "modbus/MbusRtuTry.h"
#include "modbus/Mbusrtuoverusbmasterprotocol.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// CRC-16 of Modbus RTU computed bit by bit, apart from the table of the code under test.
std::uint16_t ReferenceCrc(const std::uint8_t* bytes, std::size_t length) {
  std::uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < length; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1) != 0 ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                           : static_cast<std::uint16_t>(crc >> 1);
    }
  }
  return crc;
}

void AppendCrc(Bytes& frame) {
  const std::uint16_t crc = ReferenceCrc(frame.data(), frame.size());
  frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

bool CrcHolds(const Bytes& frame) {
  if (frame.size() < 4) {
    return false;
  }
  const std::size_t n = frame.size();
  return ReferenceCrc(frame.data(), n - 2) ==
         static_cast<std::uint16_t>(frame[n - 2] | (frame[n - 1] << 8));
}

std::string Hex(const Bytes& bytes) {
  std::string text;
  char digits[4];
  for (std::uint8_t b : bytes) {
    std::snprintf(digits, sizeof digits, "%02X ", b);
    text += digits;
  }
  return text;
}

// The input read from the front, one choice after another, so that a seed can be written by
// hand (tests/fuzz/make_seeds.py). An exhausted script answers zeroes: full reads, correct
// replies, sends that succeed.
class TScript {
 public:
  TScript(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::size_t Remaining() const { return size_ - at_; }
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  bool Bool() { return (Byte() & 1) != 0; }
  // One byte for a range up to 256 values, two (high byte first) for a larger one.
  template <typename T = int>
  T InRange(T min, T max) {
    const auto range = static_cast<std::uint64_t>(max) - static_cast<std::uint64_t>(min);
    std::uint64_t value = Byte();
    if (range > 0xFF) {
      value = (value << 8) | Byte();
    }
    return static_cast<T>(static_cast<std::uint64_t>(min) + value % (range + 1));
  }
  Bytes Take(std::size_t n) {
    n = std::min(n, Remaining());
    Bytes bytes(data_ + at_, data_ + at_ + n);
    at_ += n;
    return bytes;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// The serial line with the slave at its other end, as the script tells it. It keeps its own
// clock, so that the master's waits cost no real time and a run does not depend on it.
class TScriptedLine {
 public:
  using Clock = std::chrono::steady_clock;

  explicit TScriptedLine(TScript& script) : script_(script) {}

  Clock::time_point Now() const { return now_; }

  // The port's input is discarded; then up to three stale bytes arrive late.
  void Purge() { pending_ = script_.Take(script_.InRange(0, 3)); }

  // A request goes out: the write may time out or fail; a request sent is answered.
  int Write(const std::uint8_t* bytes, int n) {
    const std::uint8_t outcome = script_.Byte();
    if (outcome % 16 == 15) {
      return modbus::kPortTimeout;
    }
    if (outcome % 16 == 14) {
      return modbus::kPortSystemError;
    }
    requests_.emplace_back(bytes, bytes + n);
    received_.clear();
    Answer(requests_.back());
    return modbus::kPortSuccess;
  }

  // A read of n bytes: in full while the line has them, or only part then a time-out, or
  // a failure. delivered: the bytes given. A read that comes up short has waited timeoutMs.
  int Read(std::uint8_t* buffer, int n, int timeoutMs, int& delivered) {
    delivered = 0;
    const std::uint8_t outcome = script_.Byte();
    if (outcome % 8 == 7) {
      return modbus::kPortSystemError;
    }
    int wanted = n;
    if (outcome % 8 == 6) {
      wanted = n > 0 ? script_.InRange(0, n - 1) : 0;
    }
    delivered = std::min<int>(wanted, static_cast<int>(pending_.size()));
    std::copy_n(pending_.begin(), delivered, buffer);
    received_.insert(received_.end(), pending_.begin(), pending_.begin() + delivered);
    pending_.erase(pending_.begin(), pending_.begin() + delivered);
    if (delivered == n) {
      return modbus::kPortSuccess;
    }
    now_ += std::chrono::milliseconds(std::max(timeoutMs, 0));
    return modbus::kPortTimeout;
  }

  const std::vector<Bytes>& Requests() const { return requests_; }
  // The bytes read since the last request went out.
  const Bytes& Received() const { return received_; }

 private:
  // What the slave sends back to the request.
  void Answer(const Bytes& request) {
    enum Kind { kCorrect, kAlteredWithCrc, kAltered, kException, kRaw, kSilence, kKinds };
    const int kind = script_.InRange(0, kKinds - 1);
    if (kind == kSilence) {
      pending_.clear();
      return;
    }
    if (kind == kRaw) {
      pending_ =
          script_.Take(script_.InRange<std::size_t>(0, modbus::MbusRtuFrame::kMaxFrameSize + 4));
      return;
    }
    Bytes body =
        kind == kException
            ? Bytes{request[0], static_cast<std::uint8_t>(request[1] | 0x80), script_.Byte()}
            : CorrectReplyBody(request);
    Bytes frame = body;
    AppendCrc(frame);
    if (kind == kAlteredWithCrc || kind == kAltered) {
      Alter(kind == kAlteredWithCrc ? body : frame);
      if (kind == kAlteredWithCrc) {
        frame = body;
        AppendCrc(frame);
      }
    }
    pending_ = frame;
  }

  // A correct reply without its CRC: the data read, or the echo a write expects (or the
  // acknowledgement field devices give instead).
  Bytes CorrectReplyBody(const Bytes& request) {
    const std::uint8_t function = request[1];
    Bytes body{request[0], function};
    const int count = (request[4] << 8) | request[5];
    if (function == 1 || function == 3) {
      const int byteCount = function == 1 ? (count + 7) / 8 : 2 * count;
      body.push_back(static_cast<std::uint8_t>(byteCount));
      Bytes data = script_.Take(static_cast<std::size_t>(byteCount));
      data.resize(static_cast<std::size_t>(byteCount));
      body.insert(body.end(), data.begin(), data.end());
    } else {
      body.insert(body.end(), request.begin() + 2, request.begin() + 6);
      if ((function == 5 || function == 6) && script_.Bool()) {
        body[4] = 0x00;
        body[5] = function == 5 ? 0x01 : 0x02;
      }
    }
    return body;
  }

  // Flips bits of one to four bytes, then maybe cuts the frame short or lengthens it.
  void Alter(Bytes& bytes) {
    const int flips = script_.InRange(1, 4);
    for (int i = 0; i < flips && !bytes.empty(); ++i) {
      const std::size_t at = script_.InRange<std::size_t>(0, bytes.size() - 1);
      bytes[at] ^= static_cast<std::uint8_t>(script_.InRange(1, 255));
    }
    switch (script_.InRange(0, 2)) {
      case 1:
        bytes.resize(script_.InRange<std::size_t>(0, bytes.size()));
        break;
      case 2: {
        const Bytes more = script_.Take(script_.InRange(1, 8));
        bytes.insert(bytes.end(), more.begin(), more.end());
        break;
      }
      default:
        break;
    }
  }

  TScript& script_;
  Bytes pending_;
  Bytes received_;
  std::vector<Bytes> requests_;
  Clock::time_point now_;
};

// The serial port interface SerialLineTry uses, over the scripted line.
class TScriptedPort {
 public:
  explicit TScriptedPort(TScriptedLine& line) : line_(line) {}
  int Purge() {
    line_.Purge();
    return modbus::kPortSuccess;
  }
  int Flush() { return modbus::kPortSuccess; }
  int Write(const std::uint8_t* bytes, int n, int) { return line_.Write(bytes, n); }
  int Read(std::uint8_t* buffer, int n, int timeoutMs, int* got = nullptr) {
    int delivered = 0;
    const int status = line_.Read(buffer, n, timeoutMs, delivered);
    if (got != nullptr) {
      *got = delivered;
    }
    return status;
  }

 private:
  TScriptedLine& line_;
};

// The serial RTU master's try and its discarding of late replies over the scripted port, as
// MbusRtuMasterProtocol runs them.
class TSerialLineMaster : public modbus::MbusMasterFunctions {
 public:
  explicit TSerialLineMaster(TScriptedLine& line) : line_(line), port_(line) {}
  bool IsOpen() const override { return open_; }
  void Open() { open_ = true; }

 protected:
  Clock::time_point Now() const override { return line_.Now(); }
  void DiscardInputUntil(Clock::time_point until) override {
    modbus::mbus_rtu_try::DiscardUntil(port_, until, [this] { return Now(); });
  }
  int TransactOnce(int slave, int function, const std::uint8_t* requestData, int requestLength,
                   std::uint8_t* replyData, int replyLength) override {
    if (!modbus::mbus_rtu_try::FitsFrame(requestLength, replyLength)) {
      return modbus::kMbusIllegalArgument;
    }
    return modbus::mbus_rtu_try::SerialLineTry(
        port_, frame_, modbus::MbusRtuFrame::InterCharTimeoutMs(57600), Timeout(), slave, function,
        requestData, requestLength, replyData, replyLength);
  }

 private:
  const TScriptedLine& line_;
  TScriptedPort port_;
  bool open_ = false;
  std::uint8_t frame_[modbus::MbusRtuFrame::kMaxFrameSize] = {};
};

// A D2XX driver with one converter attached, "Dravonik", whose line is the scripted one.
class TScriptedDriver : public modbus::TFtd2xx {
 public:
  explicit TScriptedDriver(TScriptedLine& line) : line_(line) {}

  std::uint32_t ListDevices(void* arg1, void* arg2, std::uint32_t flags) override {
    if ((flags & kListNumberOnly) != 0) {
      *static_cast<std::uint32_t*>(arg1) = 1;
    } else {
      std::snprintf(static_cast<char*>(arg2), kDescriptionSize, "Dravonik");
    }
    return kOk;
  }
  Handle W32_CreateFile(const char*, std::uint32_t, std::uint32_t, void*, std::uint32_t,
                        std::uint32_t, void*) override {
    return 1;
  }
  std::uint32_t W32_GetLastError(Handle) override { return 0; }
  bool W32_GetCommState(Handle, modbus::TDcb* dcb) override {
    *dcb = modbus::TDcb{};
    return true;
  }
  bool W32_SetCommState(Handle, const modbus::TDcb*) override { return true; }
  bool W32_PurgeComm(Handle, std::uint32_t) override {
    line_.Purge();
    return true;
  }
  bool W32_SetCommTimeouts(Handle, const modbus::TCommTimeouts* timeouts) override {
    readTimeoutMs_ = static_cast<int>(
        std::min<std::uint32_t>(timeouts->ReadTotalTimeoutConstant, kMaxScriptedWaitMs));
    return true;
  }
  bool W32_ReadFile(Handle, void* buffer, std::uint32_t count, std::uint32_t* got, void*) override {
    int delivered = 0;
    const int status = line_.Read(static_cast<std::uint8_t*>(buffer), static_cast<int>(count),
                                  readTimeoutMs_, delivered);
    *got = static_cast<std::uint32_t>(delivered);
    return status != modbus::kPortSystemError;
  }
  bool W32_WriteFile(Handle, const void* buffer, std::uint32_t count, std::uint32_t* put,
                     void*) override {
    const int status =
        line_.Write(static_cast<const std::uint8_t*>(buffer), static_cast<int>(count));
    *put = status == modbus::kPortSuccess ? count : 0;
    return status != modbus::kPortSystemError;
  }
  bool W32_CloseHandle(Handle) override { return true; }
  std::uint32_t Purge(Handle, std::uint32_t) override {
    line_.Purge();
    return kOk;
  }

 private:
  // Longer than any time-out the master sets.
  static constexpr std::uint32_t kMaxScriptedWaitMs = 1'000'000;

  TScriptedLine& line_;
  int readTimeoutMs_ = 0;
};

// The whole USB master, on the scripted line's clock.
class TScriptedUsbMaster : public modbus::MbusRtuOverUSBMasterProtocol {
 public:
  TScriptedUsbMaster(modbus::TFtd2xx& driver, const TScriptedLine& line)
      : modbus::MbusRtuOverUSBMasterProtocol(driver), line_(line) {}

 protected:
  Clock::time_point Now() const override { return line_.Now(); }

 private:
  const TScriptedLine& line_;
};

// One request of the function layer and what it returned.
struct TRequest {
  int function = 3;
  int slave = 1;
  int reference = 1;
  int count = 1;
  std::vector<std::int16_t> registers;  // written by 6 and 16, read by 3
  std::vector<std::int32_t> coils;      // read by 1
  int coilValue = 0;                    // written by 5
  int result = 0;
};

TRequest ScriptedRequest(TScript& script) {
  static constexpr int kFunctions[] = {3, 1, 5, 6, 16};
  TRequest request;
  request.function = kFunctions[script.InRange(0, 4)];
  // An exhausted script asks slave 1; 255 stands for the broadcast address 0.
  request.slave = (script.Byte() + 1) % 256;
  request.reference = script.InRange(1, 65536);
  switch (request.function) {
    case 1:
      request.count = script.InRange(1, modbus::MbusMasterFunctions::kMaxReadCoils);
      request.coils.assign(static_cast<std::size_t>(request.count), -1);
      break;
    case 3:
      request.count = script.InRange(1, modbus::MbusMasterFunctions::kMaxReadRegisters);
      request.registers.assign(static_cast<std::size_t>(request.count), -1);
      break;
    case 5:
      request.coilValue = script.Byte() % 2;
      break;
    case 6:
      request.registers.push_back(static_cast<std::int16_t>(script.InRange(0, 0xFFFF)));
      break;
    default:
      request.count = script.InRange(1, modbus::MbusMasterFunctions::kMaxWriteRegisters);
      for (int i = 0; i < request.count; ++i) {
        request.registers.push_back(static_cast<std::int16_t>(script.InRange(0, 0xFFFF)));
      }
      break;
  }
  return request;
}

void Run(modbus::MbusMasterFunctions& master, TRequest& request) {
  switch (request.function) {
    case 1:
      request.result =
          master.ReadCoils(request.slave, request.reference, request.coils.data(), request.count);
      break;
    case 3:
      request.result = master.ReadHoldingRegisters(request.slave, request.reference,
                                                   request.registers.data(), request.count);
      break;
    case 5:
      request.result = master.WriteCoil(request.slave, request.reference, request.coilValue);
      break;
    case 6:
      request.result =
          master.WriteHoldingRegister(request.slave, request.reference, request.registers[0]);
      break;
    default:
      request.result = master.WriteHoldingRegisters(request.slave, request.reference,
                                                    request.registers.data(), request.count);
      break;
  }
}

void PutWord(Bytes& out, int value) {
  out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
  out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

// The request frame the protocol prescribes.
Bytes ExpectedRequest(const TRequest& request) {
  Bytes frame{static_cast<std::uint8_t>(request.slave),
              static_cast<std::uint8_t>(request.function)};
  PutWord(frame, request.reference - 1);
  switch (request.function) {
    case 1:
    case 3:
      PutWord(frame, request.count);
      break;
    case 5:
      PutWord(frame, request.coilValue != 0 ? 0xFF00 : 0x0000);
      break;
    case 6:
      PutWord(frame, static_cast<std::uint16_t>(request.registers[0]));
      break;
    default:
      PutWord(frame, request.count);
      frame.push_back(static_cast<std::uint8_t>(2 * request.count));
      for (std::int16_t value : request.registers) {
        PutWord(frame, static_cast<std::uint16_t>(value));
      }
      break;
  }
  AppendCrc(frame);
  return frame;
}

// Length of the whole reply frame the request calls for.
std::size_t ExpectedReplyLength(const TRequest& request) {
  switch (request.function) {
    case 1:
      return 5 + static_cast<std::size_t>((request.count + 7) / 8);
    case 3:
      return 5 + 2 * static_cast<std::size_t>(request.count);
    default:
      return 8;
  }
}

[[noreturn]] void Broken(const char* rule, const TRequest& request, const TScriptedLine& line) {
  std::fprintf(stderr,
               "Broken rule: %s\nfunction %d, slave %d, reference %d, count %d: result %d\n"
               "request written: %s\nreply read: %s\n",
               rule, request.function, request.slave, request.reference, request.count,
               request.result, line.Requests().empty() ? "" : Hex(line.Requests().back()).c_str(),
               Hex(line.Received()).c_str());
  std::abort();
}

#define CHECK(condition, rule)     \
  do {                             \
    if (!(condition)) {            \
      Broken(rule, request, line); \
    }                              \
  } while (false)

bool AcceptedValues(const TRequest& request, const Bytes& reply) {
  switch (request.function) {
    case 1:
      if (reply[2] != (request.count + 7) / 8) {
        return false;
      }
      for (int j = 0; j < request.count; ++j) {
        if (request.coils[static_cast<std::size_t>(j)] != ((reply[3 + j / 8] >> (j % 8)) & 1)) {
          return false;
        }
      }
      return true;
    case 3:
      if (reply[2] != 2 * request.count) {
        return false;
      }
      for (int i = 0; i < request.count; ++i) {
        const auto value = static_cast<std::int16_t>((reply[3 + 2 * i] << 8) | reply[4 + 2 * i]);
        if (request.registers[static_cast<std::size_t>(i)] != value) {
          return false;
        }
      }
      return true;
    case 5: {
      const int sent = request.coilValue != 0 ? 0xFF : 0x00;
      return (reply[4] == sent && reply[5] == 0x00) || (reply[4] == 0x00 && reply[5] == 0x01);
    }
    case 6: {
      const auto sent = static_cast<std::uint16_t>(request.registers[0]);
      return (reply[4] == (sent >> 8) && reply[5] == (sent & 0xFF)) ||
             (reply[4] == 0x00 && reply[5] == 0x02);
    }
    default:
      return reply[4] == (request.count >> 8) && reply[5] == (request.count & 0xFF);
  }
}

void Check(const TRequest& request, const TScriptedLine& line, std::size_t requestsBefore,
           int tries, int retries) {
  const Bytes& reply = line.Received();
  const std::size_t written = line.Requests().size() - requestsBefore;
  const bool broadcast = request.slave == 0;
  if (broadcast && (request.function == 1 || request.function == 3)) {
    CHECK(request.result == modbus::kMbusIllegalArgument && written == 0,
          "a read from the broadcast address is refused unsent");
    return;
  }
  CHECK(tries >= 1 && tries <= retries + 1, "a request is tried once plus its retries");
  CHECK(written <= static_cast<std::size_t>(tries), "one request frame at most per try");
  for (std::size_t i = requestsBefore; i < line.Requests().size(); ++i) {
    CHECK(line.Requests()[i] == ExpectedRequest(request), "every request frame is the right one");
  }
  const bool retryable = request.result == modbus::kMbusChecksumError ||
                         request.result == modbus::kMbusInvalidFrame ||
                         request.result == modbus::kMbusReplyTimeout;
  CHECK(!retryable || tries == retries + 1, "a request is retried until its retries are used");
  if (request.function == 1 || request.function == 3) {
    if (request.result != modbus::kMbusSuccess) {
      const bool zeroed = request.function == 1
                              ? std::all_of(request.coils.begin(), request.coils.end(),
                                            [](int v) { return v == 0; })
                              : std::all_of(request.registers.begin(), request.registers.end(),
                                            [](int v) { return v == 0; });
      CHECK(zeroed, "a failed read returns zeroes");
    }
  }
  if (request.result == modbus::kMbusSuccess) {
    CHECK(written >= 1, "a request that succeeded was sent");
    if (broadcast) {
      CHECK(reply.empty(), "nothing is read after a broadcast");
      return;
    }
    CHECK(reply.size() == ExpectedReplyLength(request),
          "an accepted reply has the length its request calls for");
    CHECK(reply[0] == request.slave, "an accepted reply comes from the slave asked");
    CHECK(reply[1] == request.function, "an accepted reply is of the function asked");
    CHECK(CrcHolds(reply), "an accepted reply has a good CRC");
    CHECK(AcceptedValues(request, reply), "what a read returns is what its reply holds");
  } else if (request.result > modbus::kMbusExceptionBase) {
    CHECK(reply.size() == 5 && CrcHolds(reply) && reply[0] == request.slave &&
              reply[1] == (request.function | 0x80) &&
              request.result == (modbus::kMbusExceptionBase | reply[2]),
          "an exception result comes from a correct exception reply");
  }
}

#undef CHECK

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TScript script(data, size);
  const bool usb = script.Bool();
  const int retries = script.InRange(0, 3);
  TScriptedLine line(script);
  TScriptedDriver driver(line);
  TSerialLineMaster serialMaster(line);
  TScriptedUsbMaster usbMaster(driver, line);
  modbus::MbusMasterFunctions& master =
      usb ? static_cast<modbus::MbusMasterFunctions&>(usbMaster) : serialMaster;
  master.SetRetryCount(retries);
  master.SetTimeout(50);
  if (usb) {
    if (usbMaster.Open(modbus::MbusRtuOverUSBMasterProtocol::kDescriptions[0], 57600) !=
        modbus::kMbusSuccess) {
      std::abort();
    }
  } else {
    serialMaster.Open();
  }
  for (int n = 0; n < 8 && script.Remaining() > 0; ++n) {
    TRequest request = ScriptedRequest(script);
    const std::size_t before = line.Requests().size();
    Run(master, request);
    Check(request, line, before, master.LastTryCount(), retries);
  }
  return 0;
}
