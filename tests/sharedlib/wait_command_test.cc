// Receiving packets: resynchronisation, dropped packets, time-outs, closes and oversized
// length fields, fed through a socket pair.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "sharedlib/packet.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Packet(unsigned char cmd, const Bytes& payload) {
  Bytes out(payload.size() + kPacketOverhead);
  AssemblePacket(cmd, payload.data(), static_cast<unsigned short>(payload.size()), out.data());
  return out;
}

class WaitCommandTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0); }
  void TearDown() override {
    if (fds[0] != -1) close(fds[0]);
    close(fds[1]);
  }
  void Send(const Bytes& b) { ASSERT_EQ(write(fds[0], b.data(), b.size()), (ssize_t)b.size()); }
  void CloseSender() {
    close(fds[0]);
    fds[0] = -1;
  }
  int Receive(int returnOnTimeout = 1, unsigned int capacity = kMaxPayload) {
    return WaitCommand(fds[1], &cmd, payload, &len, 0, 200000, returnOnTimeout, capacity);
  }

  int fds[2];
  unsigned char cmd = 0;
  unsigned char payload[kMaxPayload + 1] = {};
  unsigned short len = 0;
};

TEST_F(WaitCommandTest, ReceivesAPacketWhole) {
  Send(Packet(0xFD, {0x4F, 0x4B}));
  ASSERT_EQ(Receive(), 0);
  EXPECT_EQ(cmd, 0xFD);
  EXPECT_EQ(len, 2);
  EXPECT_EQ(payload[0], 0x4F);
  EXPECT_EQ(payload[1], 0x4B);
}

TEST_F(WaitCommandTest, SkipsGarbageWithOneMessagePerByte) {
  Bytes stream = {0x01, 0x02, 0x03};
  Bytes p = Packet(7, {9});
  stream.insert(stream.end(), p.begin(), p.end());
  Send(stream);
  testing::internal::CaptureStdout();
  int r = Receive();
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(r, 0);
  EXPECT_EQ(cmd, 7);
  size_t count = 0;
  for (size_t at = 0; (at = out.find("First delimiter character mismatch", at)) != std::string::npos; ++at)
    ++count;
  EXPECT_EQ(count, 3u);
  EXPECT_NE(out.find("received character is: 0x3\n\r"), std::string::npos);
}

TEST_F(WaitCommandTest, AWrongLastDelimiterByteIsDroppedSilently) {
  Bytes stream = {0x55, 0xAA, 0x5A, 0x45, 0x51};
  Bytes p = Packet(8, {});
  stream.insert(stream.end(), p.begin(), p.end());
  Send(stream);
  testing::internal::CaptureStdout();
  int r = Receive();
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(r, 0);
  EXPECT_EQ(cmd, 8);
  EXPECT_EQ(len, 0);
  EXPECT_EQ(out, "");
}

TEST_F(WaitCommandTest, ABadChecksumIsDroppedAndTheNextPacketReturned) {
  Bytes bad = Packet(1, {1, 2, 3});
  bad.back() = static_cast<unsigned char>(bad.back() + 1);
  Bytes good = Packet(2, {4});
  bad.insert(bad.end(), good.begin(), good.end());
  Send(bad);
  testing::internal::CaptureStdout();
  int r = Receive();
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(r, 0);
  EXPECT_EQ(cmd, 2);
  EXPECT_EQ(len, 1);
  EXPECT_EQ(payload[0], 4);
  EXPECT_NE(out.find("checksum verify failed\n\r"), std::string::npos);
}

TEST_F(WaitCommandTest, TimesOutInTheMiddleOfAPacketOnlyWhenAskedTo) {
  Bytes p = Packet(3, {1, 2, 3, 4});
  Send(Bytes(p.begin(), p.begin() + 9));
  EXPECT_EQ(Receive(1), 1);
}

TEST_F(WaitCommandTest, KeepsWaitingAcrossTimeoutsWithoutReturnOnTimeout) {
  Bytes p = Packet(3, {1, 2, 3, 4});
  Send(Bytes(p.begin(), p.begin() + 9));
  std::thread late([&] {
    usleep(500 * 1000);  // several 200 ms waits pass before the rest arrives
    Send(Bytes(p.begin() + 9, p.end()));
  });
  EXPECT_EQ(Receive(0), 0);
  late.join();
  EXPECT_EQ(cmd, 3);
  EXPECT_EQ(len, 4);
}

TEST_F(WaitCommandTest, ACloseBeforeTheLengthIsReadReturnsTwo) {
  Send({0x55, 0xAA, 0x5A, 0x45, 0x50, 0x00});  // half a length field
  CloseSender();
  testing::internal::CaptureStdout();
  EXPECT_EQ(Receive(), 2);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("the peer close socket!"), std::string::npos);
}

TEST_F(WaitCommandTest, ACloseBetweenPacketsReturnsTwo) {
  CloseSender();
  EXPECT_EQ(Receive(), 2);
}

TEST_F(WaitCommandTest, ACloseAfterTheLengthReturnsMinusOne) {
  Bytes p = Packet(3, {1, 2, 3, 4});
  for (size_t cut : {7u, 8u, 10u, 12u}) {  // before command, in payload, before checksum
    TearDown();
    SetUp();
    Send(Bytes(p.begin(), p.begin() + cut));
    CloseSender();
    EXPECT_EQ(Receive(), -1) << "cut at " << cut;
  }
}

TEST_F(WaitCommandTest, ALengthBeyondTheBufferEndsTheCallWithoutOverrun) {
  Bytes header = {0x55, 0xAA, 0x5A, 0x45, 0x50, 0x00, 0x0B, 0x01};  // announces 10 bytes
  Send(header);
  Send(Bytes(10, 0xEE));
  payload[4] = 0x77;
  EXPECT_EQ(Receive(1, 4), -1);
  EXPECT_EQ(payload[4], 0x77);  // nothing written past the 4-byte capacity
}

TEST_F(WaitCommandTest, ALengthFieldOfZeroIsRefused) {
  Send({0x55, 0xAA, 0x5A, 0x45, 0x50, 0x00, 0x00, 0x01});
  EXPECT_EQ(Receive(), -1);
}

TEST_F(WaitCommandTest, TheLargestAcceptedPayloadFits) {
  Bytes big(kMaxPayload, 0x5A);
  Send(Packet(9, big));
  ASSERT_EQ(Receive(), 0);
  EXPECT_EQ(len, kMaxPayload);
  EXPECT_EQ(payload[kMaxPayload - 1], 0x5A);
}

TEST(WaitCommand, RefusesMinusOne) {
  unsigned char cmd, buf[4];
  unsigned short len;
  EXPECT_EQ(WaitCommand(-1, &cmd, buf, &len, 0, 1000, 1), -1);
}

}  // namespace
