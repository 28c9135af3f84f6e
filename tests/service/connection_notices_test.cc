// The disconnect notice as a refused client receives it (the welcome is checked byte for
// byte by tests/process/protocol_test.cc), and that the socket really goes.
#include "service/login/connection_notices.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace {

TEST(ConnectionNotices, DisconnectSendsTheReasonAndClosesTheSocket) {
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  EXPECT_EQ(DisConnect(fds[0], KEL_DISCONNECT_NO_ROOM), 0);
  std::string got;
  char buf[256];
  for (ssize_t n; (n = read(fds[1], buf, sizeof(buf))) > 0;) got.append(buf, static_cast<size_t>(n));
  close(fds[1]);  // the read ended because the sender closed its side
  // A ten-byte packet of code 254 carrying the reason.
  EXPECT_TRUE(got.size() == 10u && static_cast<unsigned char>(got[7]) == 254 && got[8] == 2) << got.size();
  EXPECT_TRUE(fcntl(fds[0], F_GETFD) == -1 && errno == EBADF);
  EXPECT_EQ(DisConnect(-1, 2), 0);  // nothing to send to, nothing harmed
}

}  // namespace
