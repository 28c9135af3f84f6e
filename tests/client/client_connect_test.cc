// OpenConnect and CloseConnect against a fake service: welcome, refusals, broken or silent
// services, and the release of the connection.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/client/client_fixture.h"

using namespace kel_test;

namespace {

class Connect : public ClientTest {
 protected:
  // Runs OpenConnect against a service that answers the connection with `script`.
  int Open(FakeServer::Script script, std::string* out) {
    server = std::make_unique<FakeServer>(std::move(script));
    testing::internal::CaptureStdout();
    int ret = OpenConnectWithin(&ci, "127.0.0.1", server->port(), 1);
    *out = testing::internal::GetCapturedStdout();
    return ret;
  }

  void ExpectClosed() {
    EXPECT_EQ(ci.nCmdSock, -1);
    EXPECT_EQ(ci.pCmdSock, nullptr);
    EXPECT_EQ(ci.nNoticeSock, -1);
    EXPECT_EQ(ci.nState, NOT_CONNECTED);
  }
};

TEST_F(Connect, WelcomeLeavesTheClientWaitingForLogin) {
  std::string out;
  ASSERT_EQ(Open([](FakeConn& conn) {
              conn.SendWelcome();
              conn.WaitClosed();
            }, &out), 0);
  EXPECT_EQ(ci.nState, WAIT_FOR_LOGIN_SERVER);
  EXPECT_GE(ci.nCmdSock, 0);
  EXPECT_NE(ci.pCmdSock, nullptr);
  EXPECT_EQ(ci.nNoticeSock, -1);
  EXPECT_EQ(ntohs(ci.CmdSrvAddr.sin_port), server->port());
  EXPECT_EQ(ci.CmdSrvAddr.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
}

TEST_F(Connect, OpenConnectClearsWhatAnEarlierSessionLeft) {
  snprintf(ci.szClientID, sizeof(ci.szClientID), "99");
  ci.nSessionRights = 0x15;
  ci.nState = LOGGED_IN;
  std::string out;
  ASSERT_EQ(Open([](FakeConn& conn) { conn.SendWelcome(); }, &out), 0);
  EXPECT_STREQ(ci.szClientID, "");
  EXPECT_EQ(ci.nSessionRights, 0);
  EXPECT_EQ(ci.nState, WAIT_FOR_LOGIN_SERVER);
}

TEST_F(Connect, RefusalForTooManyUsersGives2010) {
  std::string out;
  EXPECT_EQ(Open([](FakeConn& conn) { conn.Send(254, {2}); }, &out), 2010);
  EXPECT_TRUE(Contains(out, "Too many user on the server now!\n")) << out;
  ExpectClosed();
}

TEST_F(Connect, RefusedAddressGives2010) {
  std::string out;
  EXPECT_EQ(Open([](FakeConn& conn) { conn.Send(254, {1}); }, &out), 2010);
  EXPECT_TRUE(Contains(out, "IP Address is refused!\n")) << out;
  ExpectClosed();
}

TEST_F(Connect, RefusalForAnUnknownReasonGives2010) {
  std::string out;
  EXPECT_EQ(Open([](FakeConn& conn) { conn.Send(254, {7}); }, &out), 2010);
  EXPECT_TRUE(Contains(out, "Server refused connection, unknown reason!\n")) << out;
}

TEST_F(Connect, AnyOtherFirstPacketGives2003) {
  std::string out;
  EXPECT_EQ(Open([](FakeConn& conn) { conn.Send(255, Reply(1, 0)); }, &out), 2003);
  EXPECT_TRUE(Contains(out, "Server sent an incorrect ack code, so server state is abnormal!\n"));
  ExpectClosed();
}

TEST_F(Connect, ServiceClosingBeforeTheWelcomeGives2001) {
  std::string out;
  EXPECT_EQ(Open([](FakeConn&) {}, &out), 2001);
  EXPECT_TRUE(Contains(out, "Error: Can not receive the response from server.!\n"));
  ExpectClosed();
}

TEST_F(Connect, SilentServiceGives2002) {
  std::string out;
  EXPECT_EQ(Open([this](FakeConn&) { first.Wait(); }, &out), 2002);
  first.Notify();
  EXPECT_TRUE(Contains(out, "Error: Can not receive the response from server.!\n"));
  ExpectClosed();
}

TEST_F(Connect, NoListenerGives2010) {
  // A bound socket that does not listen holds a port on which connecting is refused.
  int holder = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
  socklen_t len = sizeof(addr);
  getsockname(holder, reinterpret_cast<sockaddr*>(&addr), &len);
  testing::internal::CaptureStdout();
  EXPECT_EQ(OpenConnect(&ci, "127.0.0.1", ntohs(addr.sin_port)), 2010);
  EXPECT_TRUE(Contains(testing::internal::GetCapturedStdout(), "Start send socket failed\n"));
  close(holder);
  ExpectClosed();
}

TEST_F(Connect, NullArgumentsGive2000) {
  EXPECT_EQ(OpenConnect(nullptr, "127.0.0.1", 1), 2000);
  EXPECT_EQ(OpenConnect(&ci, nullptr, 1), 2000);
  EXPECT_EQ(CloseConnect(nullptr), 2000);
}

TEST_F(Connect, CloseConnectReleasesTheConnectionAndKeepsTheSession) {
  Event& closed = first;
  std::string out;
  ASSERT_EQ(Open([this](FakeConn& conn) {
              conn.SendWelcome();
              if (conn.WaitClosed()) first.Notify();
            }, &out), 0);
  snprintf(ci.szClientID, sizeof(ci.szClientID), "12");
  EXPECT_EQ(CloseConnect(&ci), 0);
  EXPECT_EQ(ci.nCmdSock, -1);
  EXPECT_EQ(ci.pCmdSock, nullptr);
  EXPECT_STREQ(ci.szClientID, "12");
  EXPECT_TRUE(closed.Wait());
  EXPECT_EQ(CloseConnect(&ci), 0);  // closing again is harmless
}

TEST(ClientModule, StartsWithBothSocketsClosed) {
  EXPECT_EQ(g_ClientInfo.nCmdSock, -1);
  EXPECT_EQ(g_ClientInfo.nNoticeSock, -1);
  EXPECT_EQ(g_ClientInfo.nState, NOT_CONNECTED);
  EXPECT_EQ(ZepSockCleanUp(), 0);
}

}  // namespace
