// The welcome and disconnect notices as a client receives them.
#include "service/login/connection_notices.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "sharedlib/packet.h"

namespace {

std::string ReadAll(int fd) {
  std::string out;
  char buf[256];
  ssize_t n;
  while ((n = read(fd, buf, sizeof(buf))) > 0) out.append(buf, static_cast<size_t>(n));
  return out;
}

TEST(ConnectionNotices, WelcomeIsAFortySixBytePacketWithTheZeroTerminatedText) {
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  EXPECT_EQ(SendWelcomMessage(fds[0]), 0);
  close(fds[0]);
  std::string got = ReadAll(fds[1]);
  close(fds[1]);
  ASSERT_EQ(got.size(), 46u);
  const auto* bytes = reinterpret_cast<const unsigned char*>(got.data());
  EXPECT_EQ(CheckDelimiter(bytes), 0);
  EXPECT_EQ(bytes[7], 253);
  EXPECT_EQ(got.substr(8, 37), std::string("Welcome to ZEP remote config world\n\r\0", 37));
  EXPECT_EQ(CheckSumVerify(38, 253, bytes + 8, bytes[45]), 0);
}

TEST(ConnectionNotices, DisconnectSendsTheReasonAndClosesTheSocket) {
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  EXPECT_EQ(DisConnect(fds[0], KEL_DISCONNECT_NO_ROOM), 0);
  std::string got = ReadAll(fds[1]);  // ends because the sender closed its side
  close(fds[1]);
  ASSERT_EQ(got.size(), 10u);
  EXPECT_EQ(static_cast<unsigned char>(got[7]), 254);
  EXPECT_EQ(got[8], 2);
  // The descriptor is really closed.
  EXPECT_EQ(fcntl(fds[0], F_GETFD), -1);
  EXPECT_EQ(errno, EBADF);
}

TEST(ConnectionNotices, DisconnectOnMinusOneDoesNothingHarmful) { EXPECT_EQ(DisConnect(-1, 2), 0); }

}  // namespace
