// Registration decisions of the notification listener against an in-memory registry: on
// loopback every peer is 127.0.0.1, so the address check can only be seen here.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "service/core/srv_private.h"
#include "service/notify/kel_notify_register.h"
#include "service/session/kel_client_hash.h"

namespace {

sockaddr_in Peer(const char* ip, sa_family_t family = AF_INET) {
  sockaddr_in a{};
  a.sin_family = family;
  inet_pton(AF_INET, ip, &a.sin_addr);
  return a;
}

in_addr_t Addr(const char* ip) { return Peer(ip).sin_addr.s_addr; }

TEST(NotifyPeerAllowed, OnlyTheLoginAddressMayRegister) {
  EXPECT_TRUE(NotifyPeerAllowed(Addr("10.0.0.5"), Peer("10.0.0.5")));
  EXPECT_FALSE(NotifyPeerAllowed(Addr("10.0.0.5"), Peer("10.0.0.6")));
  EXPECT_FALSE(NotifyPeerAllowed(0, Peer("0.0.0.0")));  // unknown login address
  EXPECT_FALSE(NotifyPeerAllowed(Addr("10.0.0.5"), Peer("10.0.0.5", AF_INET6)));
}

TEST(ParseNotifyRegistration, TakesTheIdTextWithinThePacketOnly) {
  const unsigned char ok[] = {1, '1', '2', 0, 0};
  const unsigned char unterminated[] = {1, '3', '4', '5'};
  const unsigned char notRegistration[] = {2, '1', 0};
  const unsigned char notNumber[] = {1, '1', 'x', 0};
  EXPECT_EQ(ParseNotifyRegistration(252, ok, sizeof(ok)), 12);
  EXPECT_EQ(ParseNotifyRegistration(252, unterminated, 3), 34);
  EXPECT_EQ(ParseNotifyRegistration(251, ok, sizeof(ok)), -1);
  EXPECT_EQ(ParseNotifyRegistration(252, notRegistration, 3), -1);
  EXPECT_EQ(ParseNotifyRegistration(252, notNumber, 4), -1);
}

TEST(RegisterNotifySocket, APeerFromAnotherAddressCannotTakeTheSession) {
  KelSrvPrivate priv;
  KelClientHash hash(&priv);
  auto* client = new KelClient;
  client->pRemoteClient = new KelRemoteClient(5, nullptr);
  client->pRemoteClient->loginAddr = Addr("10.0.0.5");
  ASSERT_TRUE(hash.Insert(client));
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);

  EXPECT_EQ(RegisterNotifySocket(&hash, 5, fds[0], Peer("10.0.0.6")),
            KelNotifyRegResult::kRefusedPeer);
  client->pRemoteClient->notifyMutex.lock();
  EXPECT_EQ(client->pRemoteClient->notifySocket.sock, -1);
  client->pRemoteClient->notifyMutex.unlock();
  EXPECT_EQ(RegisterNotifySocket(&hash, 5, fds[0], Peer("10.0.0.5")),
            KelNotifyRegResult::kRegistered);  // the session now owns fds[0]
  close(fds[1]);
}

}  // namespace
