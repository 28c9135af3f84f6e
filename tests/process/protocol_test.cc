// The wire protocol of the real kelsrv over loopback: welcome, framing, login rules,
// sessions, connection limits and the local commands as a raw client sees them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>

#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sharedlib/packet.h"
#include "tests/process/raw_client.h"
#include "tests/process/service_harness.h"

using namespace kel_test;
using namespace std::chrono_literals;

namespace {

class Protocol : public ::testing::Test {
 protected:
  void SetUp() override { port = FreePort(); }

  // `overrides` holds "KEY = VALUE" lines that replace the test configuration's own.
  void StartService(const std::string& overrides = "") {
    std::string config;
    std::istringstream base(TestConfig(dir.path(), port));
    for (std::string line; std::getline(base, line);) {
      std::string key = line.substr(0, line.find(' '));
      if (overrides.find(key + " ") == std::string::npos) config += line + "\n";
    }
    WriteFile(dir.File("kel.config"), config + overrides);
    srv = std::make_unique<ServiceProcess>(dir.path(), std::vector<std::string>{dir.File("kel.config")});
    ASSERT_TRUE(WaitFor([&] { return ReadFile(dir.File("kel_init.log")) == "success\n"; }))
        << srv->Output();
  }

  void TearDown() override {
    if (srv) {
      kill(srv->pid(), SIGRTMIN + 1);
      EXPECT_TRUE(srv->WaitExit(30s)) << srv->Output();
      EXPECT_TRUE(WaitFor([&] { return !srv->GroupAlive(); }, 5s));
      EXPECT_FALSE(srv->OutputContains("Sanitizer")) << srv->Output();
    }
  }

  std::unique_ptr<RawClient> LoggedIn(const std::string& user, const std::string& pass,
                                      std::string* id = nullptr) {
    auto c = std::make_unique<RawClient>(port);
    Reply r = c->Login(user, pass);
    EXPECT_EQ(r.result, 0);
    EXPECT_TRUE(r.RetCode() == 0 || r.RetCode() == 1051) << r.RetCode();
    if (id != nullptr) *id = RawClient::IdOf(r);
    return c;
  }

  TempDir dir;
  int port = 0;
  std::unique_ptr<ServiceProcess> srv;
};

TEST_F(Protocol, AFreshConnectionGetsExactlyOneWelcome) {
  StartService();
  RawClient c(port);
  Reply w = c.Receive();
  ASSERT_EQ(w.result, 0);
  EXPECT_EQ(w.code, 253);
  EXPECT_EQ(w.data.size(), 37u);
  EXPECT_EQ(std::string(w.data.begin(), w.data.end()),
            std::string("Welcome to ZEP remote config world\n\r\0", 37));
  EXPECT_EQ(c.Receive(300).result, 1);
}

TEST_F(Protocol, PacketsBeforeLoginComeBackUnchangedAndLoginStillWorks) {
  StartService();
  RawClient c(port);
  ASSERT_EQ(c.Receive().code, 253);
  Reply echo = c.Exchange(11, {3, 0, 0, 0, 0, 9});
  ASSERT_EQ(echo.result, 0);
  EXPECT_EQ(echo.code, 11);
  EXPECT_EQ(echo.data, (std::vector<unsigned char>{3, 0, 0, 0, 0, 9}));
  Reply local = c.Local(9);
  EXPECT_EQ(local.data, std::vector<unsigned char>{9});  // not run: echoed
  // The largest payload a packet may carry comes back whole, framed in place.
  std::vector<unsigned char> largest(kMaxPayload, 0x41);
  Reply big = c.Exchange(11, largest);
  ASSERT_EQ(big.result, 0);
  EXPECT_EQ(big.data, largest);
  EXPECT_FALSE(srv->OutputContains("invalid memory buffer")) << srv->Output();
  // The login on the same connection (its welcome was read above).
  RawClient again(port);
  Reply login = again.Login("admin", "pelum");
  EXPECT_EQ(login.RetCode(), 0);
  EXPECT_EQ(RawClient::IdOf(login), "1");
  EXPECT_EQ(login.data.size(), 26u);
  EXPECT_EQ(login.data[25], 0x15);
}

TEST_F(Protocol, GarbageIsSkippedAndABadChecksumDroppedWithoutReply) {
  StartService();
  auto c = LoggedIn("admin", "pelum");
  ASSERT_TRUE(c->SendRaw({0x00, 0x13, 0x42, 0xAA}));
  Reply test = c->Local(9);
  ASSERT_EQ(test.result, 0);
  EXPECT_EQ(test.data.size(), 119u);
  std::vector<unsigned char> bad(10);
  unsigned char payload[] = {9};
  AssemblePacket(255, payload, 1, bad.data());
  bad[9] ^= 1;
  ASSERT_TRUE(c->SendRaw(bad));
  EXPECT_EQ(c->Receive(500).result, 1);  // nothing comes back
  EXPECT_EQ(c->Local(9).data.size(), 119u);
  EXPECT_TRUE(srv->OutputContains("checksum verify failed"));
}

TEST_F(Protocol, APacketAnnouncingMoreThanTheDataAreaEndsTheConnection) {
  StartService();
  auto c = LoggedIn("admin", "pelum");
  ASSERT_TRUE(c->SendRaw({0x55, 0xAA, 0x5A, 0x45, 0x50, 0x0B, 0xB9, 0xFF}));  // 3000 bytes
  c->SendRaw(std::vector<unsigned char>(3000, 0x41));  // may fail: the service hangs up
  Reply r = c->Receive(3000);
  EXPECT_TRUE(r.result == 2 || r.result == -1) << r.result;
  // The service is fine and serves others.
  auto other = LoggedIn("guest", "rovak");
  EXPECT_EQ(other->Local(9).data.size(), 119u);
}

// Peers that never log in cannot flood the event log: one line per connection for its
// packets, ten failed-login lines per address and minute.
TEST_F(Protocol, FailedLoginsAndUnauthenticatedPeersLeaveABoundedNumberOfLogLines) {
  StartService();
  RawClient echo(port);
  ASSERT_EQ(echo.Receive().code, 253);
  for (int i = 0; i < 30; ++i) ASSERT_EQ(echo.Exchange(11, {3, 0}).result, 0);
  for (int i = 0; i < 15; ++i) {
    RawClient wrong(port);
    Reply r = wrong.Login("admin", "wrong");
    ASSERT_EQ(r.RetCode(), 1050);
    EXPECT_EQ(r.data.size(), 26u);
  }
  EXPECT_EQ(echo.Exchange(250, std::vector<unsigned char>(24, 1)).RetCode(), 1002);  // undecipherable
  auto admin = LoggedIn("admin", "pelum");
  // The peer line, ten failed logins and the administrator's login.
  int lines = 0;
  EXPECT_TRUE(WaitFor([&] {
    lines = static_cast<int>(BufToINT32U(17, admin->Local(1).data.data()));
    return lines >= 12;
  })) << lines;
  EXPECT_EQ(lines, 12);
}

TEST_F(Protocol, ASecondAdminLoginEndsTheFirstSession) {
  StartService();
  std::string first;
  auto a = LoggedIn("admin", "pelum", &first);
  RawClient b(port);
  Reply second = b.Login("admin", "pelum");
  EXPECT_EQ(second.RetCode(), 1051);
  EXPECT_NE(RawClient::IdOf(second), first);
  Reply gone = a->Local(9, {}, 2000);
  EXPECT_NE(gone.result, 0);  // the first connection was closed with its session
  EXPECT_EQ(b.Local(9).data.size(), 119u);
}

// A guest may hold several sessions; IDs rise and are not reused.
TEST_F(Protocol, IdsRiseLogoutOfAnotherSessionIsAnsweredAndOwnLogoutCloses) {
  StartService();
  std::string id1, id2, id3;
  auto c1 = LoggedIn("guest", "rovak", &id1);
  auto c2 = LoggedIn("guest", "rovak", &id2);
  EXPECT_EQ(c1->Local(9).data.size(), 119u);
  auto c3 = LoggedIn("guest", "rovak", &id3);
  EXPECT_EQ(id1, "1");
  EXPECT_EQ(id2, "2");
  EXPECT_EQ(id3, "3");
  Reply out = c1->Logout(id2);
  ASSERT_EQ(out.result, 0);
  EXPECT_EQ(out.RetCode(), 0);
  EXPECT_NE(c2->Local(9, {}, 2000).result, 0);  // its connection went with the session
  std::string id4;
  auto c4 = LoggedIn("guest", "rovak", &id4);
  EXPECT_EQ(id4, "4");  // 2 is not reused
  Reply own = c1->Logout(id1);
  EXPECT_NE(own.result, 0);  // closed before the reply
  EXPECT_EQ(c3->Logout("99").RetCode(), 1002);
}

TEST_F(Protocol, SessionLoginContinuesASessionOnAnotherConnection) {
  StartService();
  std::string id;
  auto a = LoggedIn("guest", "rovak", &id);
  RawClient b(port);
  Reply cont = b.SessionLogin(id);
  ASSERT_EQ(cont.result, 0);
  EXPECT_EQ(cont.RetCode(), 0);
  EXPECT_EQ(cont.data.size(), 6u);
  EXPECT_EQ(cont.data[5], 0x15);
  EXPECT_EQ(b.Local(9).data.size(), 119u);
  RawClient c(port);
  EXPECT_EQ(c.SessionLogin("77").RetCode(), 1054);
}

TEST_F(Protocol, TheEleventhSessionGetsNoIdUnlessAnAdminReplacesAnUnconnectedOne) {
  StartService();
  std::vector<std::unique_ptr<RawClient>> clients;
  for (int i = 0; i < 10; ++i) clients.push_back(LoggedIn("guest", "rovak"));
  RawClient extra(port);
  EXPECT_EQ(extra.Login("guest", "rovak").RetCode(), 1052);
  EXPECT_TRUE(srv->OutputContains("No free ID. Try to recliam"));
  clients[0]->Logout("1");
  RawClient after(port);
  EXPECT_EQ(after.Login("guest", "rovak").RetCode(), 0);

  // Full again (sessions 2 to 11), every session still connected: the administrator waits too.
  RawClient admin(port);
  EXPECT_EQ(admin.Login("admin", "pelum").RetCode(), 1052);
  // Session 4 loses its connection: an administrator's login takes its place, a guest's not.
  clients[3].reset();
  RawClient guest(port);
  EXPECT_EQ(guest.Login("guest", "rovak").RetCode(), 1052);
  std::unique_ptr<RawClient> adminAgain;
  EXPECT_TRUE(WaitFor([&] {
    adminAgain = std::make_unique<RawClient>(port);
    return adminAgain->Login("admin", "pelum").RetCode() == 0;
  })) << srv->Output();
  EXPECT_TRUE(srv->OutputContains("Registry full: end client[4] <guest>"));
  RawClient four(port);
  EXPECT_EQ(four.SessionLogin("4").RetCode(), 1054);
}

TEST_F(Protocol, ConnectionsBeyondTheLimitGetTheDisconnectNotice) {
  StartService("KEL_CFG_MAX_CLIENT_SOCKETS = 3\n");
  std::vector<std::unique_ptr<RawClient>> held;
  for (int i = 0; i < 4; ++i) {  // the limit is exceeded only by the fifth
    held.push_back(std::make_unique<RawClient>(port));
    ASSERT_EQ(held.back()->Receive().code, 253) << i;
  }
  RawClient refused(port);
  Reply notice = refused.Receive();
  ASSERT_EQ(notice.result, 0);
  EXPECT_EQ(notice.code, 254);
  EXPECT_EQ(notice.data, std::vector<unsigned char>{2});
  EXPECT_TRUE(srv->OutputContains("Too many users[4] attached to the Host."));
  // Room again once a connection ends and its thread is reclaimed.
  held.pop_back();
  EXPECT_TRUE(WaitFor([&] {
    RawClient later(port);
    return later.Receive().code == 253;
  }, 5s));
}

TEST_F(Protocol, AFailingLocalCommandIsRetriedTwice) {
  StartService("KEL_CFG_EVENTLOG_FILE = " + dir.path() + "/missing/kel_event.log\n");
  auto c = LoggedIn("admin", "pelum");
  std::vector<unsigned char> req(10, 0);
  req[0] = 3;
  req[9] = 5;  // five lines from line 0
  Reply r = c->Exchange(255, req);
  EXPECT_EQ(r.RetCode(), 1001);
  std::string out = srv->Output();
  size_t first = out.find("Retry cmd [255]");
  ASSERT_NE(first, std::string::npos) << out;
  EXPECT_NE(out.find("Retry cmd [255]", first + 1), std::string::npos);
}

TEST_F(Protocol, LocalCommandsAnswerWithTheirLayouts) {
  StartService();
  auto c = LoggedIn("admin", "pelum");
  Reply beep = c->Local(4);
  EXPECT_EQ(beep.data.size(), 6u);
  EXPECT_EQ(beep.data[5], 1);
  // A request too short for its sub-code changes nothing (missing bytes are not zeros).
  EXPECT_EQ(c->Local(5).RetCode(), 1002);
  EXPECT_EQ(c->Local(4).data[5], 1);
  EXPECT_EQ(c->Local(5, {0}).RetCode(), 0);
  EXPECT_EQ(c->Local(4).data[5], 0);
  EXPECT_EQ(c->Local(5, {2}).RetCode(), 1002);
  EXPECT_NE(ReadFile(dir.File("kel.config")).find("KEL_CFG_BEEP_ENABLE = FALSE\n"), std::string::npos);

  EXPECT_EQ(c->Local(8, {0x00, 0x01, 0x86, 0xA0}).RetCode(), 0);  // 100,000 minutes
  Reply minutes = c->Local(7);
  EXPECT_EQ(BufToINT32U(5, minutes.data.data()), 71582u);
  EXPECT_EQ(c->Local(8, {0x00, 0x00, 0x00}).RetCode(), 1002);
  EXPECT_EQ(BufToINT32U(5, c->Local(7).data.data()), 71582u);
  EXPECT_NE(ReadFile(dir.File("kel.config")).find("KEL_CFG_CHECKDISK_INTERVAL = 4294920000\n"),
            std::string::npos);

  Reply status = c->Local(1);
  EXPECT_EQ(status.data.size(), 21u);
  EXPECT_EQ(c->Local(2).RetCode(), 0);
  EXPECT_EQ(c->Local(3, {0, 0, 0, 0, 0, 0, 0, 0}).RetCode(), 1002);  // 9 bytes
  Reply unknown = c->Local(10);
  EXPECT_EQ(unknown.RetCode(), 1);
  EXPECT_EQ(unknown.data.size(), 5u);
  EXPECT_EQ(c->Exchange(19, {0}).RetCode(), 1);
}

TEST_F(Protocol, TwoSessionsWithFiveConnectionsEachAreAllServed) {
  StartService();
  std::string a, b;
  auto la = LoggedIn("guest", "rovak", &a);
  auto lb = LoggedIn("guest", "rovak", &b);
  std::vector<std::unique_ptr<RawClient>> conns;
  for (int i = 0; i < 10; ++i) {
    conns.push_back(std::make_unique<RawClient>(port));
    ASSERT_EQ(conns.back()->SessionLogin(i % 2 ? a : b).RetCode(), 0);
  }
  for (int round = 0; round < 5; ++round) {
    for (auto& c : conns) ASSERT_TRUE(c->Send(255, {9}));
    for (auto& c : conns) {
      Reply r = c->Receive();
      ASSERT_EQ(r.result, 0);
      EXPECT_EQ(r.data.size(), 119u);
    }
  }
}

}  // namespace
