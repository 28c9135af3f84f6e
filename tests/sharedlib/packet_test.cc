// Packets: the exact bytes on the wire, the integer codecs, and receiving through a socket
// pair (every stream is sent with SendPacket): one table of byte streams (garbage, broken
// delimiters and checksums, closes at every stage, the payload-size boundary) with the
// result, the packet and the report each must give. The fuzz target compares the receiver
// with a model of the framing on arbitrary streams.
#include "sharedlib/packet.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/sharedlib/capture.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Packet(unsigned char cmd, const Bytes& payload) {
  Bytes out(payload.size() + kPacketOverhead);
  EXPECT_EQ(
      AssemblePacket(cmd, payload.data(), static_cast<unsigned short>(payload.size()), out.data()),
      0);
  return out;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Cut(const Bytes& b, std::size_t n) { return Bytes(b.begin(), b.begin() + n); }

TEST(Packet, AssemblesTheDocumentedBytesAlsoForAnEmptyPayload) {
  EXPECT_EQ(Packet(0xFD, {0x4F, 0x4B}),
            (Bytes{0x55, 0xAA, 0x5A, 0x45, 0x50, 0x00, 0x03, 0xFD, 0x4F, 0x4B, 0x66}));
  EXPECT_EQ(Packet(0x10, {}), (Bytes{0x55, 0xAA, 0x5A, 0x45, 0x50, 0x00, 0x01, 0x10, 0xEF}));
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

class WaitCommandTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0); }
  void TearDown() override {
    if (fds[0] != -1) close(fds[0]);
    close(fds[1]);
  }
  void Send(const Bytes& b) {
    ASSERT_EQ(SendPacket(fds[0], b.data(), static_cast<unsigned short>(b.size())), 0);
  }
  int Receive(int returnOnTimeout, unsigned int usec = 20000, unsigned capacity = kMaxPayload) {
    return WaitCommand(fds[1], &cmd, payload, &len, 0, usec, returnOnTimeout, capacity);
  }

  int fds[2];
  unsigned char cmd = 0;
  unsigned char payload[kMaxPayload + 1] = {};
  unsigned short len = 0;
};

TEST_F(WaitCommandTest, EachStreamGivesItsResultPacketAndReport) {
  const Bytes p4 = Packet(3, {1, 2, 3, 4});
  const Bytes garbage = Join({{3, 3, 3}, Packet(7, {9})});
  const Bytes wrongDelimiter = Join({{0x55, 0xAA, 0x5A, 0x45, 0x51}, Packet(8, {})});
  Bytes badSum = Packet(1, {1, 2, 3});
  badSum.back() = static_cast<unsigned char>(badSum.back() + 1);
  badSum = Join({badSum, Packet(2, {4})});
  const Bytes largest = Packet(9, Bytes(kMaxPayload, 0x5A));
  const Bytes tooLarge = Packet(9, Bytes(kMaxPayload + 1, 0x5A));
  const Bytes lengthZero = {0x55, 0xAA, 0x5A, 0x45, 0x50, 0x00, 0x00, 0x01};
  const char* closed = "the peer close socket!";
  const struct {
    const char* what;
    Bytes stream;
    bool close;  // the sender closes after the stream
    int result;
    int cmd;  // checked with the payload when the result is 0
    Bytes payload;
    const char* report;  // must appear `times` times ("$$$$": any diagnostic)
    int times;
  } cases[] = {
      {"whole packet", Packet(0xFD, {0x4F, 0x4B}), false, 0, 0xFD, {0x4F, 0x4B}, "", 0},
      {"garbage before", garbage, false, 0, 7, {9}, "mismatch, received character is: 0x3\n\r", 3},
      {"wrong last delimiter byte", wrongDelimiter, false, 0, 8, {}, "$$$$", 0},
      {"bad checksum", badSum, false, 0, 2, {4}, "checksum verify failed\n\r", 1},
      {"largest payload", largest, false, 0, 9, Bytes(kMaxPayload, 0x5A), "", 0},
      {"one byte more", tooLarge, false, -1, 0, {}, "Packet announces 2065 payload bytes", 1},
      {"length field 0", lengthZero, false, -1, 0, {}, "Packet announces 65535 payload bytes", 1},
      {"partial packet, time-out", Cut(p4, 9), false, 1, 0, {}, "", 0},
      {"close between packets", {}, true, 2, 0, {}, "$$$$", 0},
      {"close in the length", Cut(p4, 6), true, 2, 0, {}, closed, 1},
      {"close before the command", Cut(p4, 7), true, -1, 0, {}, closed, 1},
      {"close before the payload", Cut(p4, 8), true, -1, 0, {}, closed, 1},
      {"close in the payload", Cut(p4, 10), true, -1, 0, {}, closed, 1},
      {"close before the checksum", Cut(p4, 12), true, -1, 0, {}, closed, 1},
  };
  for (const auto& c : cases) {
    TearDown();
    SetUp();
    if (!c.stream.empty()) Send(c.stream);
    if (c.close) {
      close(fds[0]);
      fds[0] = -1;
    }
    payload[kMaxPayload] = 0x77;
    int result = 0;
    const std::string out = kel_test::Captured([&] { result = Receive(1); });
    EXPECT_EQ(result, c.result) << c.what;
    EXPECT_EQ(payload[kMaxPayload], 0x77) << c.what << ": written past the buffer";
    EXPECT_EQ(c.report[0] == '\0' ? 0 : kel_test::Occurrences(out, c.report), c.times)
        << c.what << out;
    if (c.result != 0) continue;
    EXPECT_EQ(cmd, c.cmd) << c.what;
    EXPECT_EQ(Bytes(payload, payload + len), c.payload) << c.what;
  }
}

TEST_F(WaitCommandTest, LengthBeyondTheCallersCapacityEndsTheCallWithoutOverrun) {
  Send(Packet(3, {1, 2, 3, 4}));
  EXPECT_EQ(Receive(1, 20000, 4), 0);
  EXPECT_EQ(len, 4);
  Send(Packet(3, {1, 2, 3, 4, 5}));
  payload[4] = 0x77;
  EXPECT_TRUE(kel_test::Reports([&] { EXPECT_EQ(Receive(1, 20000, 4), -1); }, "more than 4\n"));
  EXPECT_EQ(payload[4], 0x77);
}

// The rest of the packet is sent once the receiver has taken the first part and then
// about twenty of its 1 ms waits have timed out; no wait longer than that is needed.
TEST_F(WaitCommandTest, KeepsWaitingAcrossTimeoutsWithoutReturnOnTimeoutAndRefusesSocketMinusOne) {
  const Bytes p = Packet(3, {1, 2, 3, 4});
  Send(Cut(p, 9));
  std::thread late([&] {
    int unread = 1;
    while (ioctl(fds[1], FIONREAD, &unread) == 0 && unread > 0) std::this_thread::yield();
    usleep(20 * 1000);
    Send(Bytes(p.begin() + 9, p.end()));
  });
  EXPECT_EQ(Receive(0, 1000), 0);
  late.join();
  EXPECT_EQ(cmd, 3);
  EXPECT_EQ(len, 4);
  EXPECT_EQ(WaitCommand(-1, &cmd, payload, &len, 0, 1000, 1), -1);
  EXPECT_EQ(SendPacket(-1, p.data(), 9), -1);
}

}  // namespace
