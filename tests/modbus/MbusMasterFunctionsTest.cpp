#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <vector>

#include "modbus/MbusMasterFunctions.h"
#include "modbus/MbusRtuFrame.h"

namespace modbus {

namespace {

using Bytes = std::vector<std::uint8_t>;

// CRC computed bit by bit, independently of the table-driven one under test.
Bytes WithCrc(Bytes frame) {
  std::uint16_t crc = 0xFFFF;
  for (std::uint8_t byte : frame) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1) != 0 ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                           : static_cast<std::uint16_t>(crc >> 1);
    }
  }
  frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
  return frame;
}

// A transport whose line is a script: each try records the request frame it would send and
// takes the next scripted reply frame (or a scripted transport result) and checks it the
// way the RTU transports do.
class ScriptedMaster : public MbusMasterFunctions {
 public:
  struct Step {
    Bytes reply;     // complete reply frame
    int result = 0;  // used instead of a reply when nonzero
  };

  bool IsOpen() const override { return open; }

  // The retry count can only change while the link is closed.
  int SetRetriesWhileClosed(int count) {
    open = false;
    const int result = SetRetryCount(count);
    open = true;
    return result;
  }

  bool open = true;
  std::vector<Bytes> sent;
  std::vector<int> replyLengths;
  std::deque<Step> script;

 protected:
  int TransactOnce(int slave, int function, const std::uint8_t* requestData, int requestLength,
                   std::uint8_t* replyData, int replyLength) override {
    std::uint8_t frame[MbusRtuFrame::kMaxFrameSize];
    const int length =
        MbusRtuFrame::BuildRequest(frame, slave, function, requestData, requestLength);
    sent.emplace_back(frame, frame + length);
    replyLengths.push_back(replyLength);
    if (slave == 0 || replyLength == 0) {
      return kMbusSuccess;
    }
    if (script.empty()) {
      return kMbusReplyTimeout;
    }
    Step step = script.front();
    script.pop_front();
    if (step.result != 0) {
      return step.result;
    }
    return MbusRtuFrame::CheckReply(step.reply.data(), static_cast<int>(step.reply.size()), slave,
                                    function, replyData, replyLength);
  }
};

TEST(MbusRtuFrame, CrcMatchesPublishedFrames) {
  // Frames as printed in Modbus documentation, CRC low byte first.
  const std::vector<Bytes> frames = {
      {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A},
      {0x01, 0x05, 0x00, 0x00, 0xFF, 0x00, 0x8C, 0x3A},
      {0x01, 0x06, 0x00, 0x01, 0x00, 0x03, 0x98, 0x0B},
      {0x01, 0x10, 0x00, 0x01, 0x00, 0x02, 0x04, 0x00, 0x0A, 0x01, 0x02, 0x92, 0x30},
  };
  for (const Bytes& frame : frames) {
    const std::uint16_t crc = MbusRtuFrame::Crc16(frame.data(), frame.size() - 2);
    EXPECT_EQ(crc & 0xFF, frame[frame.size() - 2]);
    EXPECT_EQ(crc >> 8, frame[frame.size() - 1]);
    EXPECT_EQ(WithCrc(Bytes(frame.begin(), frame.end() - 2)), frame);
  }
}

TEST(MbusRtuFrame, InterCharacterTimeoutIsFourCharactersOfElevenBits) {
  EXPECT_EQ(MbusRtuFrame::InterCharTimeoutMs(57600), 1);
  EXPECT_EQ(MbusRtuFrame::InterCharTimeoutMs(9600), 5);
  EXPECT_EQ(MbusRtuFrame::InterCharTimeoutMs(1200), 37);
  EXPECT_EQ(MbusRtuFrame::InterCharTimeoutMs(921600), 1);
}

TEST(MbusMasterFunctions, RequestFramesAreByteExact) {
  ScriptedMaster master;
  std::int16_t reg[1];
  master.script.push_back({WithCrc({0x01, 0x03, 0x02, 0x00, 0x07})});
  ASSERT_EQ(master.ReadHoldingRegisters(1, 1, reg, 1), 0);
  EXPECT_EQ(master.sent.back(), (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}));
  EXPECT_EQ(master.replyLengths.back(), 3);

  std::int32_t coils[10];
  master.script.push_back({WithCrc({0x11, 0x01, 0x02, 0x00, 0x00})});
  ASSERT_EQ(master.ReadCoils(0x11, 20, coils, 10), 0);
  EXPECT_EQ(master.sent.back(), WithCrc({0x11, 0x01, 0x00, 0x13, 0x00, 0x0A}));
  EXPECT_EQ(master.replyLengths.back(), 3);

  master.script.push_back({WithCrc({0x01, 0x05, 0x00, 0x00, 0xFF, 0x00})});
  ASSERT_EQ(master.WriteCoil(1, 1, 1), 0);
  EXPECT_EQ(master.sent.back(), (Bytes{0x01, 0x05, 0x00, 0x00, 0xFF, 0x00, 0x8C, 0x3A}));

  master.script.push_back({WithCrc({0x01, 0x06, 0x00, 0x01, 0x00, 0x03})});
  ASSERT_EQ(master.WriteHoldingRegister(1, 2, 3), 0);
  EXPECT_EQ(master.sent.back(), (Bytes{0x01, 0x06, 0x00, 0x01, 0x00, 0x03, 0x98, 0x0B}));

  const std::int16_t values[] = {0x000A, 0x0102};
  master.script.push_back({WithCrc({0x01, 0x10, 0x00, 0x01, 0x00, 0x02})});
  ASSERT_EQ(master.WriteHoldingRegisters(1, 2, values, 2), 0);
  EXPECT_EQ(master.sent.back(),
            (Bytes{0x01, 0x10, 0x00, 0x01, 0x00, 0x02, 0x04, 0x00, 0x0A, 0x01, 0x02, 0x92, 0x30}));
  EXPECT_EQ(master.replyLengths.back(), 4);
}

TEST(MbusMasterFunctions, HighestReferenceAndNegativeValuesTravelHighByteFirst) {
  ScriptedMaster master;
  master.script.push_back({WithCrc({0x01, 0x06, 0xFF, 0xFF, 0x80, 0x00})});
  ASSERT_EQ(master.WriteHoldingRegister(1, 65536, -32768), 0);
  EXPECT_EQ(master.sent.back(), WithCrc({0x01, 0x06, 0xFF, 0xFF, 0x80, 0x00}));

  master.script.push_back({WithCrc({0x01, 0x05, 0x00, 0x00, 0x00, 0x00})});
  ASSERT_EQ(master.WriteCoil(1, 1, 0), 0);
  EXPECT_EQ(master.sent.back(), WithCrc({0x01, 0x05, 0x00, 0x00, 0x00, 0x00}));
}

TEST(MbusMasterFunctions, ArgumentsOutOfRangeGiveOneWithoutTraffic) {
  ScriptedMaster master;
  std::int32_t coils[2001];
  std::int16_t regs[126];
  const std::int16_t values[101] = {};
  EXPECT_EQ(master.ReadCoils(1, 1, coils, 0), 1);
  EXPECT_EQ(master.ReadCoils(1, 1, coils, 2001), 1);
  EXPECT_EQ(master.ReadCoils(0, 1, coils, 1), 1);
  EXPECT_EQ(master.ReadCoils(256, 1, coils, 1), 1);
  EXPECT_EQ(master.ReadHoldingRegisters(1, 1, regs, 126), 1);
  EXPECT_EQ(master.ReadHoldingRegisters(0, 1, regs, 1), 1);
  EXPECT_EQ(master.ReadHoldingRegisters(1, 0, regs, 1), 1);
  EXPECT_EQ(master.ReadHoldingRegisters(1, 65537, regs, 1), 1);
  EXPECT_EQ(master.WriteHoldingRegisters(1, 1, values, 101), 1);
  EXPECT_EQ(master.WriteHoldingRegisters(1, 1, values, 0), 1);
  EXPECT_EQ(master.WriteHoldingRegisters(-1, 1, values, 1), 1);
  EXPECT_EQ(master.WriteCoil(1, 0, 1), 1);
  EXPECT_EQ(master.WriteCoil(256, 1, 1), 1);
  EXPECT_EQ(master.WriteHoldingRegister(1, 65537, 1), 1);
  EXPECT_TRUE(master.sent.empty());
}

TEST(MbusMasterFunctions, CountIsValidatedBeforeOutputsAreZeroed) {
  ScriptedMaster master;
  // A count the function refuses must not write past a buffer sized for a valid request;
  // the sanitizer build turns such a write into a failure.
  std::vector<std::int32_t> coils(4, 7);
  std::vector<std::int16_t> regs(4, 7);
  EXPECT_EQ(master.ReadCoils(1, 1, coils.data(), 2001), 1);
  EXPECT_EQ(master.ReadHoldingRegisters(1, 1, regs.data(), 126), 1);
  EXPECT_EQ(master.ReadHoldingRegisters(1, 1, regs.data(), -5), 1);
  EXPECT_EQ(coils, std::vector<std::int32_t>(4, 7));
  EXPECT_EQ(regs, std::vector<std::int16_t>(4, 7));

  // With a valid count the outputs are zeroed even when another argument fails.
  EXPECT_EQ(master.ReadHoldingRegisters(0, 1, regs.data(), 4), 1);
  EXPECT_EQ(regs, std::vector<std::int16_t>(4, 0));
}

TEST(MbusMasterFunctions, FailedReadLeavesZeroedOutputs) {
  ScriptedMaster master;
  std::int16_t regs[2] = {5, 5};
  master.script.push_back({{}, kMbusReplyTimeout});
  EXPECT_EQ(master.ReadHoldingRegisters(1, 1, regs, 2), kMbusReplyTimeout);
  EXPECT_EQ(regs[0], 0);
  EXPECT_EQ(regs[1], 0);
}

TEST(MbusMasterFunctions, ClosedLinkGivesTwoWithoutTraffic) {
  ScriptedMaster master;
  master.open = false;
  std::int16_t reg[1];
  EXPECT_EQ(master.ReadHoldingRegisters(1, 1, reg, 1), kMbusIllegalState);
  EXPECT_EQ(master.WriteHoldingRegister(0, 1, 1), kMbusIllegalState);
  EXPECT_TRUE(master.sent.empty());
  EXPECT_EQ(master.LastTryCount(), 0);
}

TEST(MbusMasterFunctions, ReplyChecks) {
  ScriptedMaster master;
  std::int32_t coils[10];
  std::int16_t regs[2];
  // Ten coils need a byte count of 2.
  master.script.push_back({WithCrc({0x01, 0x01, 0x01, 0x00, 0x00})});
  EXPECT_EQ(master.ReadCoils(1, 1, coils, 10), kMbusInvalidReply);
  master.script.push_back({WithCrc({0x01, 0x03, 0x02, 0x00, 0x01, 0x00, 0x02})});
  EXPECT_EQ(master.ReadHoldingRegisters(1, 1, regs, 2), kMbusInvalidReply);
  // A reply for another function or from another slave is an invalid frame.
  master.script.push_back({WithCrc({0x01, 0x04, 0x02, 0x00, 0x01})});
  EXPECT_EQ(master.ReadHoldingRegisters(1, 1, regs, 1), kMbusInvalidFrame);
  master.script.push_back({WithCrc({0x02, 0x03, 0x02, 0x00, 0x01})});
  EXPECT_EQ(master.ReadHoldingRegisters(1, 1, regs, 1), kMbusInvalidFrame);
  Bytes corrupt = WithCrc({0x01, 0x03, 0x02, 0x00, 0x01});
  corrupt.back() ^= 0x01;
  master.script.push_back({corrupt});
  EXPECT_EQ(master.ReadHoldingRegisters(1, 1, regs, 1), kMbusChecksumError);
  // Write echoes: the count must come back for function 16.
  const std::int16_t values[] = {1, 2, 3};
  master.script.push_back({WithCrc({0x01, 0x10, 0x00, 0x00, 0x00, 0x02})});
  EXPECT_EQ(master.WriteHoldingRegisters(1, 1, values, 3), kMbusInvalidReply);
  master.script.push_back({WithCrc({0x01, 0x06, 0x00, 0x00, 0x00, 0x04})});
  EXPECT_EQ(master.WriteHoldingRegister(1, 1, 5), kMbusInvalidReply);
}

TEST(MbusMasterFunctions, WriteEchoesAcceptTheAcknowledgementsDevicesSend) {
  ScriptedMaster master;
  // The echoed address is not compared.
  master.script.push_back({WithCrc({0x01, 0x05, 0x12, 0x34, 0x00, 0x01})});
  EXPECT_EQ(master.WriteCoil(1, 1, 1), 0);
  master.script.push_back({WithCrc({0x01, 0x05, 0x00, 0x00, 0x00, 0x00})});
  EXPECT_EQ(master.WriteCoil(1, 1, 1), kMbusInvalidReply);
  master.script.push_back({WithCrc({0x01, 0x06, 0x00, 0x00, 0x00, 0x02})});
  EXPECT_EQ(master.WriteHoldingRegister(1, 1, 5), 0);
  master.script.push_back({WithCrc({0x01, 0x06, 0x00, 0x00, 0x00, 0x01})});
  EXPECT_EQ(master.WriteHoldingRegister(1, 1, 5), kMbusInvalidReply);
}

TEST(MbusMasterFunctions, ExceptionRepliesMapToTheirResults) {
  ScriptedMaster master;
  std::int16_t reg[1];
  master.script.push_back({WithCrc({0x01, 0x83, 0x02})});
  EXPECT_EQ(master.ReadHoldingRegisters(1, 1, reg, 1), 162);
  EXPECT_STREQ(ResultText(162), "Illegal Data Address exception response");
  master.script.push_back({WithCrc({0x01, 0x83, 0x06})});
  EXPECT_EQ(master.ReadHoldingRegisters(1, 1, reg, 1), 166);
  EXPECT_STREQ(ResultText(166), "Unknwon error");
  master.script.push_back({WithCrc({0x01, 0x90, 0x00})});
  const std::int16_t values[] = {1};
  EXPECT_EQ(master.WriteHoldingRegisters(1, 1, values, 1), 160);
  // Exceptions are answers, never retried.
  ASSERT_EQ(master.SetRetriesWhileClosed(3), 0);
  master.script.push_back({WithCrc({0x01, 0x81, 0x01})});
  std::int32_t coil[1];
  EXPECT_EQ(master.ReadCoils(1, 1, coil, 1), 161);
  EXPECT_EQ(master.LastTryCount(), 1);
}

TEST(MbusMasterFunctions, CoilsUnpackLeastSignificantBitFirst) {
  ScriptedMaster master;
  std::int32_t coils[10];
  master.script.push_back({WithCrc({0x01, 0x01, 0x02, 0x0D, 0x03})});
  ASSERT_EQ(master.ReadCoils(1, 1, coils, 10), 0);
  EXPECT_EQ(std::vector<std::int32_t>(coils, coils + 10),
            (std::vector<std::int32_t>{1, 0, 1, 1, 0, 0, 0, 0, 1, 1}));
}

TEST(MbusMasterFunctions, RegistersAreSignedHighByteFirst) {
  ScriptedMaster master;
  std::int16_t regs[3];
  master.script.push_back({WithCrc({0x01, 0x03, 0x06, 0xFF, 0xFE, 0x01, 0x02, 0x80, 0x00})});
  ASSERT_EQ(master.ReadHoldingRegisters(1, 1, regs, 3), 0);
  EXPECT_EQ(regs[0], -2);
  EXPECT_EQ(regs[1], 0x0102);
  EXPECT_EQ(regs[2], -32768);
}

TEST(MbusMasterFunctions, BroadcastWritesSkipTheReply) {
  ScriptedMaster master;
  EXPECT_EQ(master.WriteHoldingRegister(0, 1, 5), 0);
  EXPECT_EQ(master.WriteCoil(0, 1, 1), 0);
  const std::int16_t values[] = {1, 2};
  EXPECT_EQ(master.WriteHoldingRegisters(0, 1, values, 2), 0);
  EXPECT_EQ(master.sent.size(), 3u);
  EXPECT_EQ(master.sent[0][0], 0);
}

TEST(MbusMasterFunctions, RetriesOnlyChecksumFrameAndTimeoutFailures) {
  ScriptedMaster master;
  std::int16_t reg[1];
  ASSERT_EQ(master.SetRetriesWhileClosed(1), 0);
  // A silent slave costs two tries.
  EXPECT_EQ(master.ReadHoldingRegisters(1, 1, reg, 1), kMbusReplyTimeout);
  EXPECT_EQ(master.LastTryCount(), 2);
  EXPECT_EQ(master.sent.size(), 2u);

  for (int retried : {kMbusChecksumError, kMbusInvalidFrame, kMbusReplyTimeout}) {
    master.script = {{{}, retried}, {WithCrc({0x01, 0x03, 0x02, 0x00, 0x09})}};
    EXPECT_EQ(master.ReadHoldingRegisters(1, 1, reg, 1), 0) << retried;
    EXPECT_EQ(master.LastTryCount(), 2);
    EXPECT_EQ(reg[0], 9);
  }
  for (int final : {kMbusInvalidReply, kMbusSendTimeout, kMbusIoError}) {
    master.script = {{{}, final}, {WithCrc({0x01, 0x03, 0x02, 0x00, 0x09})}};
    EXPECT_EQ(master.ReadHoldingRegisters(1, 1, reg, 1), final);
    EXPECT_EQ(master.LastTryCount(), 1);
  }
  master.script.clear();
  ASSERT_EQ(master.SetRetriesWhileClosed(0), 0);
  EXPECT_EQ(master.ReadHoldingRegisters(1, 1, reg, 1), kMbusReplyTimeout);
  EXPECT_EQ(master.LastTryCount(), 1);
  ASSERT_EQ(master.SetRetriesWhileClosed(10), 0);
  EXPECT_EQ(master.ReadHoldingRegisters(1, 1, reg, 1), kMbusReplyTimeout);
  EXPECT_EQ(master.LastTryCount(), 11);
}

TEST(MbusMasterFunctions, RetryCountOnlyInRangeAndWhileClosed) {
  ScriptedMaster master;
  EXPECT_EQ(master.RetryCount(), 0);
  EXPECT_EQ(master.Timeout(), 1000);
  EXPECT_EQ(master.SetRetryCount(-1), 1);
  EXPECT_EQ(master.SetRetryCount(11), 1);
  EXPECT_EQ(master.SetRetryCount(1), 2);
  master.open = false;
  EXPECT_EQ(master.SetRetryCount(1), 0);
  EXPECT_EQ(master.RetryCount(), 1);
}

TEST(MbusMasterFunctions, ResultTextsAreTheSystemsOwn) {
  EXPECT_STREQ(ResultText(0), "Operation was successful");
  EXPECT_STREQ(ResultText(66), "Port or socket open error");
  EXPECT_STREQ(ResultText(67), "Serial port already open");
  EXPECT_STREQ(ResultText(71), "TCP Port alread bound");
  EXPECT_STREQ(ResultText(74), "No permission to access serial or TCP port");
  EXPECT_STREQ(ResultText(131), "Invalid reply error");
  EXPECT_STREQ(ResultText(132), "Reply time-out");
  EXPECT_STREQ(ResultText(164), "Slave Device Failure exception response");
  for (int code : {3, 76, 165, 4354, 4355, 4356, -1}) {
    EXPECT_STREQ(ResultText(code), "Unknwon error") << code;
  }
}

}  // namespace

}  // namespace modbus
