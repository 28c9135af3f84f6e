// Packet building and the integer codecs: the bytes on the wire must be exact.
#include "sharedlib/packet.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

TEST(Packet, AssemblesTheDocumentedBytesAlsoForAnEmptyPayload) {
  const unsigned char payload[] = {0x4F, 0x4B};
  Bytes out(11);
  EXPECT_EQ(AssemblePacket(0xFD, payload, 2, out.data()), 0);
  EXPECT_EQ(out, (Bytes{0x55, 0xAA, 0x5A, 0x45, 0x50, 0x00, 0x03, 0xFD, 0x4F, 0x4B, 0x66}));
  out.assign(9, 0);
  AssemblePacket(0x10, nullptr, 0, out.data());
  EXPECT_EQ(out, (Bytes{0x55, 0xAA, 0x5A, 0x45, 0x50, 0x00, 0x01, 0x10, 0xEF}));
}

TEST(Packet, PayloadAtTheStartOfTheOutputBufferIsMovedFirst) {
  Bytes buf(300 + kPacketOverhead);
  for (int i = 0; i < 300; ++i) buf[i] = static_cast<unsigned char>(i * 7);
  AssemblePacket(11, buf.data(), 300, buf.data());
  EXPECT_EQ(CheckDelimiter(buf.data()), 0);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(buf[8 + i], static_cast<unsigned char>(i * 7)) << i;
  EXPECT_EQ(CheckSumVerify(301, 11, buf.data() + 8, buf[308]), 0);
  EXPECT_EQ(CheckSumVerify(301, 11, buf.data() + 8, static_cast<unsigned char>(buf[308] + 1)), -1);
}

TEST(Packet, IntegerCodecsAreBigEndian) {
  const unsigned char in[] = {0x00, 0x12, 0x34, 0x56, 0x78};
  EXPECT_EQ(BufToINT32U(1, in), 0x12345678u);
  unsigned char out[5] = {};
  INT32SToBuf(-2, 1, out);
  EXPECT_EQ(Bytes(out, out + 5), (Bytes{0, 0xFF, 0xFF, 0xFF, 0xFE}));
  EXPECT_EQ(BufToINT32S(1, out), -2);
  INT32UToBuf(0x01020304u, 0, out);
  EXPECT_EQ(Bytes(out, out + 4), (Bytes{1, 2, 3, 4}));
}

TEST(Packet, SendPacketDeliversEveryByteAndRefusesMinusOne) {
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  Bytes out(9), got(9);
  AssemblePacket(1, nullptr, 0, out.data());
  EXPECT_EQ(SendPacket(fds[0], out.data(), 9), 0);
  EXPECT_EQ(read(fds[1], got.data(), 9), 9);
  EXPECT_EQ(got, out);
  EXPECT_EQ(SendPacket(-1, out.data(), 9), -1);
  close(fds[0]);
  close(fds[1]);
}

}  // namespace
