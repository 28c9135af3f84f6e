// Sockets: the IPv4 choice in a resolver answer, a connection by name, and a write after
// the peer has left. A taken port and the accept loop are driven through the real service
// by the process tests.
#include "sharedlib/kel_socket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <sys/socket.h>

#include <string>

#include "tests/sharedlib/capture.h"

namespace {

// A listening socket on a port the kernel picked, so no fixed port is ever bound.
unsigned short PortOf(const KelReceiveSocket& s) {
  sockaddr_in addr{};
  socklen_t len = sizeof(addr);
  getsockname(s.GetSocketID(), reinterpret_cast<sockaddr*>(&addr), &len);
  return ntohs(addr.sin_port);
}

TEST(ReceiveSocket, WritingToAPeerThatLeftFailsWithoutEndingTheProcess) {
  KelReceiveSocket s(0, 5);
  {
    KelSendSocket client("127.0.0.1", PortOf(s));
    ASSERT_TRUE(client.Start());
    ASSERT_EQ(s.Accept(), 1);
  }
  EXPECT_EQ(ntohl(s.PeerAddress().sin_addr.s_addr), INADDR_LOOPBACK);
  int fd = s.AcceptedSocket();
  char buf[4096] = {};
  int result = 0;
  EXPECT_TRUE(kel_test::Reports(
      [&] {
        for (int i = 0; i < 50 && result >= 0; ++i) result = KelBaseSocket::Send(fd, buf, 4096, 0);
      },
      "Signal 13 received\n"));
  EXPECT_LT(result, 0);
  KelBaseSocket::CloseSocket(fd);
  EXPECT_EQ(fd, -1);
}

// A resolver answer that lists ::1 before 127.0.0.1 (a host whose localhost maps to IPv6
// first): the IPv4 entry is taken; an answer without one gives none.
TEST(SendSocket, ResolverAnswerYieldsItsFirstIPv4AddressWhateverComesFirst) {
  sockaddr_in6 six{};
  six.sin6_family = AF_INET6;
  six.sin6_addr = in6addr_loopback;
  sockaddr_in four{};
  four.sin_family = AF_INET;
  four.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addrinfo second{};
  second.ai_family = AF_INET;
  second.ai_addr = reinterpret_cast<sockaddr*>(&four);
  addrinfo first{};
  first.ai_family = AF_INET6;
  first.ai_addr = reinterpret_cast<sockaddr*>(&six);
  first.ai_next = &second;
  in_addr out{};
  ASSERT_TRUE(KelFirstIPv4(&first, &out));
  EXPECT_EQ(ntohl(out.s_addr), INADDR_LOOPBACK);
  first.ai_next = nullptr;
  EXPECT_FALSE(KelFirstIPv4(&first, &out));
}

TEST(SendSocket, LocalhostByNameConnects) {
  KelReceiveSocket s(0, 5);
  KelSendSocket c("localhost", PortOf(s));
  EXPECT_TRUE(c.Start());
  ASSERT_EQ(s.Accept(), 1);
  int accepted = s.AcceptedSocket();
  KelBaseSocket::CloseSocket(accepted);
}

}  // namespace
