// Packet building and the integer codecs: the bytes on the wire must be exact.
#include "sharedlib/packet.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace {

TEST(Packet, AssemblesTheDocumentedElevenBytes) {
  const unsigned char payload[] = {0x4F, 0x4B};
  unsigned char out[11];
  EXPECT_EQ(AssemblePacket(0xFD, payload, 2, out), 0);
  const unsigned char expected[] = {0x55, 0xAA, 0x5A, 0x45, 0x50, 0x00, 0x03, 0xFD, 0x4F, 0x4B, 0x66};
  EXPECT_EQ(std::vector<unsigned char>(out, out + 11), std::vector<unsigned char>(expected, expected + 11));
}

TEST(Packet, EmptyPayloadGivesNineBytesWithLengthOne) {
  unsigned char out[9];
  AssemblePacket(0x10, nullptr, 0, out);
  EXPECT_EQ(out[5], 0x00);
  EXPECT_EQ(out[6], 0x01);
  EXPECT_EQ(out[8], static_cast<unsigned char>(-(1 + 0x10)));
  EXPECT_EQ(CheckSumVerify(1, 0x10, nullptr, out[8]), 0);
}

TEST(Packet, PayloadAtTheStartOfTheOutputBufferIsMovedFirst) {
  std::vector<unsigned char> buf(300 + kPacketOverhead);
  for (int i = 0; i < 300; ++i) buf[i] = static_cast<unsigned char>(i * 7);
  AssemblePacket(11, buf.data(), 300, buf.data());
  EXPECT_EQ(CheckDelimiter(buf.data()), 0);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(buf[8 + i], static_cast<unsigned char>(i * 7)) << i;
  EXPECT_EQ(CheckSumVerify(301, 11, buf.data() + 8, buf[308]), 0);
  EXPECT_EQ(CheckSumVerify(301, 11, buf.data() + 8, static_cast<unsigned char>(buf[308] + 1)), -1);
}

TEST(Packet, DelimiterCheckRejectsAWrongLastByte) {
  const unsigned char bad[] = {0x55, 0xAA, 0x5A, 0x45, 0x51};
  EXPECT_EQ(CheckDelimiter(bad), -1);
  EXPECT_EQ(CheckDelimiter(DELIMITER), 0);
}

TEST(Packet, IntegerCodecsAreBigEndian) {
  const unsigned char in[] = {0x00, 0x12, 0x34, 0x56, 0x78};
  EXPECT_EQ(BufToINT32U(1, in), 0x12345678u);
  unsigned char out[4] = {};
  INT32SToBuf(-1, 0, out);
  EXPECT_EQ(out[0] & out[1] & out[2] & out[3], 0xFF);
  EXPECT_EQ(BufToINT32S(0, out), -1);
  INT32UToBuf(0x01020304u, 0, out);
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[3], 4);
}

TEST(Packet, SendPacketDeliversEveryByteAndRefusesMinusOne) {
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  unsigned char out[9];
  AssemblePacket(1, nullptr, 0, out);
  EXPECT_EQ(SendPacket(fds[0], out, 9), 0);
  unsigned char got[9];
  EXPECT_EQ(read(fds[1], got, 9), 9);
  EXPECT_EQ(std::vector<unsigned char>(got, got + 9), std::vector<unsigned char>(out, out + 9));
  EXPECT_EQ(SendPacket(-1, out, 9), -1);
  close(fds[0]);
  close(fds[1]);
}

}  // namespace
