// Registration decisions of the notification listener against an in-memory registry: on
// loopback every peer is 127.0.0.1, so the address check can only be seen here.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include "service/notify/kel_notify_register.h"
#include "service/session/kel_client_hash.h"

namespace {

sockaddr_in Peer(const char* ip) { return sockaddr_in{AF_INET, 0, {inet_addr(ip)}, {}}; }

TEST(RegisterNotifySocket, APeerFromAnotherAddressCannotTakeTheSession) {
  KelClientHash hash(nullptr);
  auto* client = new KelClient;
  client->pRemoteClient = new KelRemoteClient(5, nullptr);
  client->pRemoteClient->loginAddr = inet_addr("10.0.0.5");
  ASSERT_TRUE(hash.Insert(client));
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);

  EXPECT_EQ(RegisterNotifySocket(&hash, 5, fds[0], Peer("10.0.0.6")),
            KelNotifyRegResult::kRefusedPeer);
  EXPECT_EQ(RegisterNotifySocket(&hash, 5, fds[0], Peer("10.0.0.5")),
            KelNotifyRegResult::kRegistered);  // the session now owns fds[0]
  close(fds[1]);
}

}  // namespace
