// The listening socket: a taken port, the one-second accept wait, and the backlog.
#include "sharedlib/kel_socket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>

namespace {

int ConnectTo(unsigned short port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// A listening socket on a port the kernel picked, so no fixed port is ever bound.
unsigned short PortOf(const KelReceiveSocket& s) {
  sockaddr_in addr{};
  socklen_t len = sizeof(addr);
  getsockname(s.GetSocketID(), reinterpret_cast<sockaddr*>(&addr), &len);
  return ntohs(addr.sin_port);
}

TEST(ReceiveSocket, TakenPortLeavesDescriptorMinusOneWithBothMessages) {
  KelReceiveSocket first(0, 5);
  ASSERT_NE(first.GetSocketID(), -1);
  unsigned short port = PortOf(first);
  // A listening socket without SO_REUSEPORT holds the port against a second bind.
  testing::internal::CaptureStdout();
  KelReceiveSocket second(port, 5);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(second.GetSocketID(), -1);
  EXPECT_NE(out.find("bind() function failed. Another server may be running on your system. \n"),
            std::string::npos);
  EXPECT_NE(out.find("Start listening socket on port [" + std::to_string(port) + "] failed\n"),
            std::string::npos);
}

TEST(ReceiveSocket, AcceptWaitsAboutASecondWhenNobodyConnects) {
  KelReceiveSocket s(0, 5);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(s.Accept(), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
}

TEST(ReceiveSocket, AcceptHandsOverTheConnectionAndPeer) {
  KelReceiveSocket s(0, 5);
  int client = ConnectTo(PortOf(s));
  ASSERT_GE(client, 0);
  ASSERT_EQ(s.Accept(), 1);
  EXPECT_GE(s.AcceptedSocket(), 0);
  EXPECT_EQ(ntohl(s.PeerAddress().sin_addr.s_addr), INADDR_LOOPBACK);
  int accepted = s.AcceptedSocket();
  KelBaseSocket::CloseSocket(accepted);
  EXPECT_EQ(accepted, -1);
  close(client);
}

TEST(ReceiveSocket, WritingToAClosedPeerFailsWithoutEndingTheProcess) {
  KelReceiveSocket s(0, 5);
  int client = ConnectTo(PortOf(s));
  ASSERT_EQ(s.Accept(), 1);
  close(client);
  int fd = s.AcceptedSocket();
  char buf[4096] = {};
  int result = 0;
  testing::internal::CaptureStdout();
  for (int i = 0; i < 50 && result >= 0; ++i) result = KelBaseSocket::Send(fd, buf, sizeof(buf), 0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_LT(result, 0);
  EXPECT_NE(out.find("Signal 13 received\n"), std::string::npos);
  close(fd);
}

}  // namespace

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
