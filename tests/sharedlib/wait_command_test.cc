// Receiving packets through a socket pair: one table of byte streams (garbage, broken
// delimiters and checksums, closes at every stage, the payload-size boundary) with the
// result, the packet and the report each must give. The fuzz target compares the receiver
// with a model of the framing on arbitrary streams.
#include <gtest/gtest.h>
#include <sys/ioctl.h>
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

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Cut(const Bytes& b, std::size_t n) { return Bytes(b.begin(), b.begin() + n); }

int Occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
    ++n;
  return n;
}

class WaitCommandTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0); }
  void TearDown() override {
    if (fds[0] != -1) close(fds[0]);
    close(fds[1]);
  }
  void Send(const Bytes& b) { ASSERT_EQ(write(fds[0], b.data(), b.size()), (ssize_t)b.size()); }
  int Receive(int returnOnTimeout, unsigned int usec = 20000) {
    return WaitCommand(fds[1], &cmd, payload, &len, 0, usec, returnOnTimeout);
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
    testing::internal::CaptureStdout();
    const int result = Receive(1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, c.result) << c.what;
    EXPECT_EQ(payload[kMaxPayload], 0x77) << c.what << ": written past the buffer";
    EXPECT_EQ(c.report[0] == '\0' ? 0 : Occurrences(out, c.report), c.times) << c.what << out;
    if (c.result != 0) continue;
    EXPECT_EQ(cmd, c.cmd) << c.what;
    EXPECT_EQ(Bytes(payload, payload + len), c.payload) << c.what;
  }
}

TEST_F(WaitCommandTest, LengthBeyondTheCallersCapacityEndsTheCallWithoutOverrun) {
  Send(Packet(3, {1, 2, 3, 4}));
  EXPECT_EQ(WaitCommand(fds[1], &cmd, payload, &len, 0, 20000, 1, 4), 0);
  EXPECT_EQ(len, 4);
  Send(Packet(3, {1, 2, 3, 4, 5}));
  payload[4] = 0x77;
  testing::internal::CaptureStdout();
  EXPECT_EQ(WaitCommand(fds[1], &cmd, payload, &len, 0, 20000, 1, 4), -1);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("more than 4\n"), std::string::npos);
  EXPECT_EQ(payload[4], 0x77);
}

// The rest of the packet is sent once the receiver has taken the first part and then
// about twenty of its 1 ms waits have timed out; no wait longer than that is needed.
TEST_F(WaitCommandTest, KeepsWaitingAcrossTimeoutsWithoutReturnOnTimeout) {
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
}

}  // namespace
