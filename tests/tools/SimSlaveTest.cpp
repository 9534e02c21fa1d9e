#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "tests/support/ReferenceCrc.h"
#include "tools/sim/SimSlave.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A request with its CRC, computed apart from the simulator's own.
Bytes Frame(Bytes body) {
  return testsupport::WithCrc(std::move(body));
}

TSimSlave::Result Send(TSimSlave& slave, const Bytes& frame) {
  return slave.Handle(frame.data(), frame.size());
}

TEST(SimSlave, RequestLengthFollowsTheFunction) {
  const Bytes read = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01};
  EXPECT_EQ(TSimSlave::RequestLength(read.data(), 1), 0);
  EXPECT_EQ(TSimSlave::RequestLength(read.data(), 2), 8);
  const Bytes write = {0x01, 0x10, 0x00, 0x00, 0x00, 0x02, 0x04};
  EXPECT_EQ(TSimSlave::RequestLength(write.data(), 6), 0);
  EXPECT_EQ(TSimSlave::RequestLength(write.data(), 7), 13);
  const Bytes unknown = {0x01, 0x2B};
  EXPECT_EQ(TSimSlave::RequestLength(unknown.data(), 2), -1);
}

TEST(SimSlave, StaysSilentForOtherSlavesAndBadChecksums) {
  TSimSlave slave(5);
  EXPECT_EQ(Send(slave, Frame({0x01, 0x03, 0x00, 0x00, 0x00, 0x01})).outcome,
            TSimSlave::Outcome::kIgnored);
  Bytes corrupt = Frame({0x05, 0x03, 0x00, 0x00, 0x00, 0x01});
  corrupt[6] ^= 0x10;
  EXPECT_EQ(Send(slave, corrupt).outcome, TSimSlave::Outcome::kIgnored);
  const TSimSlave::Result broadcast = Send(slave, Frame({0x00, 0x06, 0x00, 0x09, 0x12, 0x34}));
  EXPECT_EQ(broadcast.outcome, TSimSlave::Outcome::kBroadcast);
  EXPECT_TRUE(broadcast.reply.empty());
  EXPECT_EQ(slave.Register(10), 0x1234);
}

TEST(SimSlave, AnswersReadsAndWrites) {
  TSimSlave slave(1);
  slave.SetRegister(1, 0xFFFE);
  slave.SetCoil(1, true);
  slave.SetCoil(10, true);
  EXPECT_EQ(Send(slave, Frame({0x01, 0x03, 0x00, 0x00, 0x00, 0x02})).reply,
            Frame({0x01, 0x03, 0x04, 0xFF, 0xFE, 0x00, 0x00}));
  EXPECT_EQ(Send(slave, Frame({0x01, 0x01, 0x00, 0x00, 0x00, 0x0A})).reply,
            Frame({0x01, 0x01, 0x02, 0x01, 0x02}));
  const TSimSlave::Result coil = Send(slave, Frame({0x01, 0x05, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_TRUE(coil.wrote);
  EXPECT_EQ(coil.reply, Frame({0x01, 0x05, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_FALSE(slave.Coil(1));
  const TSimSlave::Result block =
      Send(slave, Frame({0x01, 0x10, 0xFF, 0xFE, 0x00, 0x02, 0x04, 0x00, 0x01, 0x80, 0x00}));
  EXPECT_EQ(block.reply, Frame({0x01, 0x10, 0xFF, 0xFE, 0x00, 0x02}));
  EXPECT_EQ(slave.Register(65535), 1);
  EXPECT_EQ(slave.Register(65536), 0x8000);
}

TEST(SimSlave, ExceptionsForBadRequests) {
  TSimSlave slave(1);
  slave.AddException(100, 4);
  // Past the end of the image.
  EXPECT_EQ(Send(slave, Frame({0x01, 0x03, 0xFF, 0xFF, 0x00, 0x02})).reply,
            Frame({0x01, 0x83, 0x02}));
  // Count out of range, coil value other than on or off, byte count not matching.
  EXPECT_EQ(Send(slave, Frame({0x01, 0x03, 0x00, 0x00, 0x00, 0x7E})).reply,
            Frame({0x01, 0x83, 0x03}));
  EXPECT_EQ(Send(slave, Frame({0x01, 0x05, 0x00, 0x00, 0x12, 0x34})).reply,
            Frame({0x01, 0x85, 0x03}));
  EXPECT_EQ(Send(slave, Frame({0x01, 0x10, 0x00, 0x00, 0x00, 0x02, 0x02, 0x00, 0x01})).reply,
            Frame({0x01, 0x90, 0x03}));
  // Functions the device does not serve.
  EXPECT_EQ(Send(slave, Frame({0x01, 0x04, 0x00, 0x00, 0x00, 0x01})).reply,
            Frame({0x01, 0x84, 0x01}));
  // A configured exception hits any request whose range covers its reference.
  EXPECT_EQ(Send(slave, Frame({0x01, 0x03, 0x00, 0x60, 0x00, 0x04})).reply,
            Frame({0x01, 0x83, 0x04}));
  EXPECT_EQ(Send(slave, Frame({0x01, 0x03, 0x00, 0x60, 0x00, 0x03})).reply,
            Frame({0x01, 0x03, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(Send(slave, Frame({0x01, 0x06, 0x00, 0x63, 0x00, 0x01})).reply,
            Frame({0x01, 0x86, 0x04}));
  EXPECT_EQ(slave.Register(100), 0);
}

TEST(SimSlave, DumpListsNonZeroRegistersThenCoils) {
  TSimSlave slave(1);
  EXPECT_EQ(slave.DumpText(), "");
  slave.SetRegister(65536, 0xFFFF);
  slave.SetRegister(3, 7);
  slave.SetCoil(2, true);
  EXPECT_EQ(slave.DumpText(), "h 3 7\nh 65536 65535\nc 2 1\n");
}

}  // namespace
