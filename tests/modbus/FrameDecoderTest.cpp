// The communication log's lines for frames from outside our code: the request and reply of
// each function as the Modbus protocol's own examples and libmodbus build them (their CRCs
// computed independently), exception replies, replies cut short or corrupted, discarded
// input and retries.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "modbus/FrameDecoder.h"
#include "modbus/MbusMasterFunctions.h"

namespace modbus {

namespace {

using TKind = TFrameEvent::TKind;

std::vector<std::uint8_t> FromHex(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  std::istringstream in(hex);
  unsigned value = 0;
  while (in >> std::hex >> value) {
    bytes.push_back(static_cast<std::uint8_t>(value));
  }
  return bytes;
}

TFrameEvent Event(TKind kind, const std::string& hex, int result = kMbusSuccess, int function = 3) {
  TFrameEvent event;
  event.kind = kind;
  event.time = std::chrono::steady_clock::now();
  event.bytes = FromHex(hex);
  event.result = result;
  event.waitMs = 1000;
  event.slave = 1;
  event.function = function;
  return event;
}

// The line without its time of day ("HH:MM:SS.mmm  ").
std::string Text(TFrameDecoder& decoder, const TFrameEvent& event) {
  const std::string line = decoder.Line(event);
  EXPECT_EQ(line.substr(2, 1) + line.substr(5, 1) + line.substr(8, 1), "::.") << line;
  return line.substr(14);
}

TEST(FrameDecoder, RequestsAndRepliesOfEveryFunction) {
  struct TPair {
    std::string request;
    std::string requestText;
    std::string reply;
    int result;
    std::string replyText;
  };
  const std::vector<TPair> pairs = {
      {"01 03 00 1B 00 01 F4 0D", "read holding register 28 (1)", "01 03 02 00 0C B8 41",
       kMbusSuccess, "12"},
      {"01 01 00 00 00 03 7C 0B", "read coils 1 to 3 (3)", "01 01 01 05 91 8B", kMbusSuccess,
       "1 0 1"},
      {"01 05 00 00 FF 00 8C 3A", "write coil 1: on", "01 05 00 00 FF 00 8C 3A", kMbusSuccess,
       "done"},
      {"01 06 00 1A 00 7B E8 2E", "write holding register 27: 123", "01 06 00 1A 00 7B E8 2E",
       kMbusSuccess, "done"},
      {"01 10 00 0A 00 02 04 00 53 00 01 42 01", "write holding registers 11 to 12 (2): 83 1",
       "01 10 00 0A 00 02 61 CA", kMbusSuccess, "done"},
      // Failures of the reply to a read of register 28.
      {"01 03 00 1B 00 01 F4 0D", "read holding register 28 (1)", "01 83 02 C0 F1",
       kMbusExceptionBase | 2, "exception 2: illegal data address"},
      {"01 03 00 1B 00 01 F4 0D", "read holding register 28 (1)", "01 03 02 00 0C 00 00",
       kMbusChecksumError, "bad CRC: received 0000, computed 41B8"},
      {"01 03 00 1B 00 01 F4 0D", "read holding register 28 (1)", "02 03 02 00 0C FC 41",
       kMbusInvalidFrame, "a reply from slave 2, not 1"},
      {"01 03 00 1B 00 01 F4 0D", "read holding register 28 (1)", "01 03 02", kMbusReplyTimeout,
       "cut short: 3 bytes within 1000 ms"},
  };
  for (const TPair& pair : pairs) {
    TFrameDecoder decoder;
    const std::vector<std::uint8_t> request = FromHex(pair.request);
    const std::string sent = Text(decoder, Event(TKind::kRequest, pair.request));
    EXPECT_EQ(sent.substr(0, 4), "TX  ") << sent;
    EXPECT_NE(sent.find(pair.request + "  "), std::string::npos) << sent;
    EXPECT_EQ(sent.substr(sent.size() - pair.requestText.size()), pair.requestText) << sent;
    const std::string got =
        Text(decoder, Event(TKind::kReply, pair.reply, pair.result, request[1]));
    EXPECT_EQ(got.rfind("RX  " + pair.reply + " ", 0), 0u) << got;
    EXPECT_NE(got.find(" ms   "), std::string::npos) << got;  // the time since the request
    EXPECT_EQ(got.substr(got.size() - pair.replyText.size()), pair.replyText) << got;
  }
}

TEST(FrameDecoder, SilenceDiscardedInputRetriesAndExceptionNames) {
  TFrameDecoder decoder;
  EXPECT_EQ(Text(decoder, Event(TKind::kReply, "", kMbusReplyTimeout)),
            "--  no reply after 1000 ms");
  TFrameEvent stale = Event(TKind::kDiscarded, "01 03 02");
  stale.beforeRequest = true;
  stale.count = 3;
  EXPECT_EQ(Text(decoder, stale), "--  discarded 3 stale bytes before the request: 01 03 02");
  TFrameEvent late = Event(TKind::kDiscarded, "01 03");
  late.count = 300;
  EXPECT_EQ(Text(decoder, late), "--  discarded 300 bytes arriving after a time-out: 01 03 ...");
  TFrameEvent retry = Event(TKind::kRetry, "");
  retry.retry = 1;
  EXPECT_EQ(Text(decoder, retry), "--  retry 1");
  EXPECT_TRUE(TFrameDecoder::IsError(retry));
  EXPECT_FALSE(TFrameDecoder::IsError(Event(TKind::kReply, "01 03 02 00 0C B8 41")));

  const std::vector<std::pair<int, std::string>> names = {
      {1, "illegal function"},
      {2, "illegal data address"},
      {3, "illegal data value"},
      {4, "slave device failure"},
      {5, "acknowledge"},
      {6, "slave device busy"},
      {8, "memory parity error"},
      {10, "gateway path unavailable"},
      {11, "gateway target device failed to respond"},
      {7, "exception code 7"},
  };
  for (const auto& [code, name] : names) {
    EXPECT_EQ(TFrameDecoder::ExceptionName(code), name);
  }
}

}  // namespace

}  // namespace modbus
