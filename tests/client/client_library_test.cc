// The client library against an in-process fake service: OpenConnect, CloseConnect and
// KelExecuteCmd (the welcome and the refusals, broken or silent services, retries after wrong
// replies, time-outs, the draining of late replies); login, session login, logout and the
// service-local commands (block padding, length limits, the client's state, replies the
// real service does not send); and the RAID queries where the real service does not go
// (replies too short for their record, counts out of range, stale magic numbers, text
// limits, missing outputs). The commands' effect on the real service, and the records it
// sends, are kelctl_e2e_test's part; the RAID request bytes are kelctl_app_test's table.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sharedlib/aes.h"
#include "tests/client/fake_server.h"
#include "webext/client/client_raid_query.h"
#include "webext/client/kelclient.h"

using namespace kel_test;

namespace {

// A fake service that welcomes the client and then runs the test's script, and a
// CLIENT_INFO connected to it.
class ClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bClearRevBuf = false;  // module state: one test's time-out must not drain the next's socket
    ClientInfoInit(&ci);
    ASSERT_EQ(ZepSockInit(), 0);
  }

  void TearDown() override {
    // Closing first ends any wait of the script for a request that will not come.
    CloseConnect(&ci);
    server.reset();
  }

  // Starts a fake service that sends the welcome and then runs `script`, and connects.
  void Connect(FakeServer::Script script) {
    server = std::make_unique<FakeServer>([script](FakeConn& conn) {
      conn.SendWelcome();
      script(conn);
    });
    ASSERT_EQ(OpenConnect(&ci, "127.0.0.1", server->port()), 0);
  }

  // Records every request in `seen` and answers it under its own code with what `answer`
  // makes of it, until the client goes.
  void Serve(std::function<Bytes(const Bytes&)> answer) {
    Connect([this, answer](FakeConn& conn) {
      Packet p;
      while (conn.Receive(&p)) {
        seen.push_back(p);
        conn.Send(p.code, answer(p.payload));
      }
    });
  }
  // Answers the requests one after the other with `replies`, then closes the connection.
  void ServeReplies(std::vector<Bytes> replies) {
    Connect([this, replies](FakeConn& conn) {
      Packet p;
      for (const Bytes& reply : replies) {
        if (!conn.Receive(&p)) return;
        seen.push_back(p);
        conn.Send(p.code, reply);
      }
    });
  }

  // Ends the connection and waits for the script, so that `seen` can be read.
  void Done() {
    CloseConnect(&ci);
    ASSERT_TRUE(server->Join());
  }

  CLIENT_INFO ci;
  // Hand-offs between the test and the script; members, so that they outlive the script
  // even when a test ends early.
  Event first, second;
  std::unique_ptr<FakeServer> server;
  std::vector<Packet> seen;  // written by the script; read after Done
};

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The library's diagnostic lines (it prints them on stdout) while `run` runs.
std::string Printed(const std::function<void()>& run) {
  testing::internal::CaptureStdout();
  run();
  return testing::internal::GetCapturedStdout();
}

using Connection = ClientTest;

TEST_F(Connection, WelcomeLeavesTheClientWaitingForLoginAndCloseKeepsTheSession) {
  snprintf(ci.szClientID, sizeof(ci.szClientID), "99");  // left by an earlier session
  ci.nSessionRights = 0x15;
  server = std::make_unique<FakeServer>([this](FakeConn& conn) {
    conn.SendWelcome();
    if (conn.WaitClosed()) first.Notify();
  });
  ASSERT_EQ(OpenConnect(&ci, "127.0.0.1", server->port()), 0);
  EXPECT_EQ(ci.nState, WAIT_FOR_LOGIN_SERVER);
  EXPECT_STREQ(ci.szClientID, "");
  EXPECT_EQ(ci.nSessionRights, 0);
  EXPECT_GE(ci.nCmdSock, 0);
  EXPECT_EQ(ci.nNoticeSock, -1);
  EXPECT_EQ(ntohs(ci.CmdSrvAddr.sin_port), server->port());
  EXPECT_EQ(ci.CmdSrvAddr.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
  snprintf(ci.szClientID, sizeof(ci.szClientID), "12");
  EXPECT_EQ(CloseConnect(&ci), 0);
  EXPECT_EQ(ci.nCmdSock, -1);
  EXPECT_EQ(ci.pCmdSock, nullptr);
  EXPECT_STREQ(ci.szClientID, "12");
  EXPECT_TRUE(first.Wait());
  EXPECT_EQ(CloseConnect(&ci), 0);  // closing again is harmless
}

TEST_F(Connection, FailedOpeningsGiveTheirCodeAndMessageAndLeaveNothingOpen) {
  const std::string noReply = "Error: Can not receive the response from server.!\n";
  const struct {
    FakeServer::Script script;
    int code;
    std::string message;
  } cases[] = {
      {[](FakeConn& c) { c.Send(254, {1}); }, 2010, "IP Address is refused!\n"},
      {[](FakeConn& c) { c.Send(254, {2}); }, 2010, "Too many user on the server now!\n"},
      {[](FakeConn& c) { c.Send(254, {7}); }, 2010, "Server refused connection, unknown reason!\n"},
      {[](FakeConn& c) { c.Send(255, Reply(1, 0)); }, 2003,
       "Server sent an incorrect ack code, so server state is abnormal!\n"},
      {[](FakeConn&) {}, 2001, noReply},                     // closed before the welcome
      {[this](FakeConn&) { first.Wait(); }, 2002, noReply},  // silent
  };
  for (const auto& c : cases) {
    server = std::make_unique<FakeServer>(c.script);
    std::string out = Printed([&] {
      EXPECT_EQ(OpenConnectWithin(&ci, "127.0.0.1", server->port(), 1), c.code) << c.message;
    });
    EXPECT_TRUE(Contains(out, c.message)) << out;
    EXPECT_EQ(ci.nCmdSock, -1);
    EXPECT_EQ(ci.pCmdSock, nullptr);
    EXPECT_EQ(ci.nState, NOT_CONNECTED);
  }
  first.Notify();  // lets the silent service, the last one, go
}

class Exchange : public ClientTest {
 protected:
  // Sends 255/`sub` with a one-byte request and returns KelExecuteCmd's result.
  int Run(unsigned char sub, int useRetCode = 1) {
    code = 255;
    data[0] = sub;
    len = 1;
    return KelExecuteCmd(ci.nCmdSock, &code, data, &len, 1, useRetCode);
  }

  unsigned char code = 0;
  unsigned char data[kClientBufSize] = {};
  unsigned short len = 0;
};

TEST_F(Exchange, MatchingReplyGivesItsSignedReturnCodeInTheCallersBuffer) {
  ServeReplies({Reply(9, 1234, {0xAB}), Reply(9, -5), Reply(9, 77), {9}});
  EXPECT_EQ(Run(9), 1234);
  EXPECT_EQ(code, 255);
  EXPECT_EQ(len, 6);
  EXPECT_EQ(data[5], 0xAB);
  EXPECT_EQ(Run(9), -5);
  EXPECT_EQ(Run(9, 0), 0);  // without useRetCode any matching reply is success
  // Before a login the service echoes a request it does not handle: no return code.
  EXPECT_EQ(Run(9), 2003);
  // The service has gone: the socket is marked for draining.
  EXPECT_EQ(Run(9), 2001);
  EXPECT_TRUE(bClearRevBuf);
  Done();
  EXPECT_EQ(seen.at(0).code, 255);
  EXPECT_EQ(Hex(seen.at(0).payload), "09");
}

TEST_F(Exchange, ThreeWrongRepliesGive1002AfterSendingTheRequestThreeTimes) {
  Serve([](const Bytes&) { return Reply(5, 0); });  // the sub-code of another command
  std::string out = Printed([&] { EXPECT_EQ(Run(4), 1002); });
  Done();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(Hex(seen[2].payload), "04");
  size_t lines = 0;
  for (size_t at = 0; (at = out.find("incorrect cmd code 255", at)) != std::string::npos; ++at)
    ++lines;
  EXPECT_EQ(lines, 3u) << out;
}

TEST_F(Exchange, WrongCodeThenRightReplySucceedsOnTheSecondAttempt) {
  Connect([&](FakeConn& conn) {
    Packet p;
    if (!conn.Receive(&p)) return;
    conn.Send(250, Reply(4, 0));  // right sub-code, wrong command code
    if (conn.Receive(&p)) conn.Send(255, Reply(4, 0, {1}));
  });
  EXPECT_TRUE(Contains(Printed([&] { EXPECT_EQ(Run(4), 0); }), "incorrect cmd code 250"));
  EXPECT_EQ(data[5], 1);
}

TEST_F(Exchange, SilenceGives2002AndTheNextExchangeDiscardsTheLateReply) {
  Event& timedOut = first;
  Event& lateSent = second;
  Connect([&](FakeConn& conn) {
    Packet p;
    if (!conn.Receive(&p) || !timedOut.Wait()) return;
    conn.Send(255, Reply(9, 0));  // the answer to the first request, too late
    lateSent.Notify();
    if (conn.Receive(&p)) conn.Send(255, Reply(9, 42));
  });
  EXPECT_EQ(Run(9), 2002);
  EXPECT_TRUE(bClearRevBuf);
  timedOut.Notify();
  ASSERT_TRUE(lateSent.Wait());
  // Without draining, the late reply (code 0) would be taken for the answer.
  EXPECT_EQ(Run(9), 42);
  EXPECT_FALSE(bClearRevBuf);
}

TEST_F(Exchange, RequestsThatCannotBeSentFailBeforeAnyWait) {
  code = 255;
  len = static_cast<unsigned short>(kClientBufSize - 8);  // 9 bytes of framing make 2065
  EXPECT_EQ(KelExecuteCmd(-1, &code, data, &len, 1, 1), 2015);
  std::string out = Printed([&] { EXPECT_EQ(Run(9), 2001); });  // never connected
  EXPECT_TRUE(Contains(out, "Send packet Request to server failed!!!")) << out;
}

using Session = ClientTest;

// The 26-byte login reply: data[0] as the request had it, the return code, the ID text at
// data[5] and the rights code at data[25].
Bytes LoginReply(const Bytes& request, int retCode) {
  Bytes rest(21, 0);
  rest[0] = '4';
  rest[1] = '2';
  rest[20] = 0x15;
  return Reply(request.at(0), retCode, rest);
}

TEST_F(Session, LoginSendsNameAndPasswordEncipheredInWholeBlocks) {
  Serve([](const Bytes& req) { return LoginReply(req, 0); });
  const struct {
    std::string user, password;
    size_t blocks;
  } cases[] = {{"admin", "pelum", 1},
               {"operator", "secret7", 2},  // 17 bytes of plaintext
               {std::string(60, 'u'), std::string(34, 'p'), 6}};
  for (const auto& c : cases) {
    ci.nState = WAIT_FOR_LOGIN_SERVER;
    EXPECT_EQ(UserLogin(&ci, c.user.c_str(), c.password.c_str()), 0);
  }
  const std::string u60(60, 'u'), p35(35, 'p');  // 95 characters: one too many
  std::string out = Printed([&] { EXPECT_EQ(UserLogin(&ci, u60.c_str(), p35.c_str()), 2000); });
  EXPECT_TRUE(Contains(out, "Error: Invalid string length\n"));
  Done();
  ASSERT_EQ(seen.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    const Bytes& sent = seen[i].payload;
    EXPECT_EQ(seen[i].code, 250);
    ASSERT_EQ(sent.size(), 16 * cases[i].blocks);
    std::string plain(sent.size(), '\0');
    AesDecrypt(sent.data(), reinterpret_cast<unsigned char*>(plain.data()),
               static_cast<unsigned int>(sent.size()));
    std::string expected = cases[i].user + '\0' + cases[i].password;
    expected.resize(sent.size(), '\0');
    EXPECT_EQ(plain, expected);
  }
}

TEST_F(Session, LoginResultFollowsTheServicesCode) {
  const std::string loggedIn = "Login server ok!\n";
  const struct {
    int serviceCode, result;
    size_t replyLen;
    std::string printed;
  } cases[] = {
      {0, 0, 26, loggedIn},
      {1051, 0, 26, loggedIn},  // logged in, an older session of the user ended
      {0, 0, 24, "uCommandDataLen == 26"},
      {1050, 2013, 26, "Invalide user name or password!\n"},
      {1052, 2014, 26, "No free ID or the user can not login more than once!\n"},
      {1053, 2014, 26, "No free ID or the user can not login more than once!\n"},
      {1003, 1003, 26, "Server sent an incorrect ack code, so server state is abnormal!\n"},
  };
  size_t next = 0;
  Serve([&](const Bytes& req) {
    Bytes reply = LoginReply(req, cases[next].serviceCode);
    reply.resize(cases[next++].replyLen);
    return reply;
  });
  for (const auto& c : cases) {
    ci.nState = WAIT_FOR_LOGIN_SERVER;
    ci.szClientID[0] = '\0';
    ci.nSessionRights = 0;
    std::string out = Printed([&] { EXPECT_EQ(UserLogin(&ci, "admin", "pelum"), c.result); });
    EXPECT_TRUE(Contains(out, c.printed)) << c.serviceCode << ": " << out;
    if (c.replyLen < 26) continue;
    EXPECT_EQ(ci.nState, c.result == 0 ? LOGGED_IN : WAIT_FOR_LOGIN_SERVER) << c.serviceCode;
    EXPECT_STREQ(ci.szClientID, c.result == 0 ? "42" : "") << c.serviceCode;
    EXPECT_EQ(ci.nSessionRights, c.result == 0 ? 0x15 : 0) << c.serviceCode;
  }
  ci.nState = LOGGED_IN;  // a connection that is logged in (or not yet open) takes no login
  EXPECT_TRUE(Contains(Printed([&] { EXPECT_EQ(UserLogin(&ci, "admin", "pelum"), 2012); }),
                       "The client isn`t in WAIT_FOR_LOGIN_SERVER state"));
}

TEST_F(Session, SessionLoginAndLogoutSendTheGivenOrTheStoredId) {
  Connect([this](FakeConn& conn) {
    Packet p;
    while (conn.Receive(&p)) {
      seen.push_back(p);
      const unsigned char first = p.payload.at(0);
      if (p.code == 255) {  // logout: the reply, then a stale notice the client discards
        conn.Send(255, Reply(0, 0));
        conn.Send(255, Reply(0, 1004));
      } else {
        conn.Send(251, first == '9' ? Reply(first, 1054, {0}) : Reply(first, 0, {0x16}));
      }
    }
  });
  snprintf(ci.szClientID, sizeof(ci.szClientID), "305");
  EXPECT_EQ(UserSessionLogin(&ci, "17"), 0);
  EXPECT_EQ(ci.nSessionRights, 0x16);
  EXPECT_EQ(ci.nState, WAIT_FOR_LOGIN_SERVER);  // unchanged
  EXPECT_EQ(UserSessionLogin(&ci, nullptr), 0);
  ci.nSessionRights = 0x15;
  std::string out = Printed([&] { EXPECT_EQ(UserSessionLogin(&ci, "9"), 1054); });
  EXPECT_TRUE(Contains(out, "UserSessionLogin[251] failed\n"));
  EXPECT_EQ(ci.nSessionRights, 0x15);
  EXPECT_EQ(UserLogout(&ci, "42"), 0);
  EXPECT_EQ(UserLogout(&ci, nullptr), 0);
  EXPECT_GE(ci.nCmdSock, 0);  // the connection stays open
  Done();
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_EQ(seen[0].code, 251);
  EXPECT_EQ(seen[0].payload, (Bytes{'1', '7', 0}));
  EXPECT_EQ(seen[1].payload, (Bytes{'3', '0', '5', 0}));
  EXPECT_EQ(seen[3].code, 255);
  EXPECT_EQ(seen[3].payload, (Bytes{0, '4', '2', 0}));
  EXPECT_EQ(seen[4].payload, (Bytes{0, '3', '0', '5', 0}));
}

TEST_F(Session, LogoutOfTheOwnSessionEndsWithTheConnectionClosed) {
  // The service ends the session and with it this connection before it can answer.
  ServeReplies({});
  EXPECT_EQ(UserLogout(&ci, "42"), 2001);
}

TEST_F(Session, LocalCommandRepliesAreDecodedOrRefused) {
  const std::string text = "line one\nline two\n";
  ServeReplies({
      Reply(1, 0, Cat({BigEndian32(1), BigEndian32(2), BigEndian32(0x10), BigEndian32(17)})),
      Reply(1, 0, Cat({BigEndian32(0), BigEndian32(0), BigEndian32(5), BigEndian32(1)})),
      Reply(3, 0, Cat({BigEndian32(2), BigEndian32(static_cast<unsigned>(text.size())),
                       Bytes(text.begin(), text.end())})),
      Reply(3, 0, Cat({BigEndian32(1), BigEndian32(500), Bytes{'a', '\n'}})),  // text cut off
      Reply(3, 1001),
      Reply(9, 0, Cat({Bytes{0x00, 0x64}, Bytes(100, 0)})),  // 100 bytes where 112 belong
  });
  unsigned int overLimit = 9, lines = 0, count = 20, textLen = 0;
  unsigned long long size = 0;
  EXPECT_EQ(UserGetLogStatus(&ci, &overLimit, &size, &lines), 0);
  EXPECT_EQ(overLimit, 1u);
  EXPECT_EQ(size, (2ull << 32) + 0x10);
  EXPECT_EQ(lines, 17u);
  EXPECT_EQ(UserGetLogStatus(&ci, &overLimit, nullptr, nullptr), 0);
  EXPECT_EQ(overLimit, 0u);
  char buf[kClientBufSize];
  memset(buf, 'x', sizeof(buf));
  EXPECT_EQ(UserGetLogItems(&ci, 1, 0, &count, buf, &textLen), 0);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(textLen, text.size());
  EXPECT_STREQ(buf, text.c_str());
  EXPECT_EQ(UserGetLogItems(&ci, 0, 0, &count, buf, &textLen), 2015);
  std::string out =
      Printed([&] { EXPECT_EQ(UserGetLogItems(&ci, 0, 0, &count, buf, &textLen), 1001); });
  EXPECT_TRUE(Contains(out, "Execute cmd[255] failed\n"));
  EXPECT_EQ(count, 2u);  // outputs are left alone on failure
  out = Printed([&] { EXPECT_EQ(GetTestData(&ci), 0); });
  EXPECT_TRUE(Contains(out, "uSize == sizeof(*pData)")) << out;
  EXPECT_EQ(UserGetLogItems(&ci, 0, 0, &count, buf, nullptr), 2015);  // no room for the text
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(UserClearLog(&ci), 2001);  // the service has gone
}

TEST_F(Session, ChangePasswdOfExactlyAPacketIsSentAndOneByteMoreIsRefused) {
  ServeReplies({Reply(6, 0)});
  // 1 + 1001 + 1001 + 52 = 2055 payload bytes: with 9 of framing a packet of exactly 2064.
  const std::string u(1000, 'u'), o(1000, 'o'), n51(51, 'n'), n52(52, 'n');
  std::string out = Printed([&] {
    EXPECT_EQ(UserChangePasswd(&ci, u.c_str(), o.c_str(), n52.c_str()), 2015);
  });
  EXPECT_TRUE(Contains(out, "The username+passwd is too long\n"));
  EXPECT_EQ(UserChangePasswd(&ci, u.c_str(), o.c_str(), n51.c_str()), 0);
  Done();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].payload.size(), 2055u);
}

using ClientRaidQuery = ClientTest;

TEST_F(ClientRaidQuery, RepliesTooShortForTheirRecordAreRefusedAndLeaveTheOutputsAlone) {
  Serve([](const Bytes& req) {
    Bytes out = Reply(req.at(0), 0, req);
    out.pop_back();  // return code 0 but one byte short
    return out;
  });
  _zr_device_info disk{};
  disk.index = 42;
  EXPECT_EQ(KelGetDiskInfo(ci.nCmdSock, 3, &disk), 2003);
  EXPECT_EQ(disk.index, 42u);
  _Kel_Index_Map map{};
  EXPECT_EQ(KelGetDiskMap(ci.nCmdSock, &map), 2003);
  const _Index_Plus_t ref = KelMakeRef(2, 1);
  unsigned char page[kRaidSmartPageSize] = {};
  EXPECT_EQ(KelSmartReadThresholds(ci.nCmdSock, &ref, page), 2003);
  unsigned char count = 0;
  EXPECT_EQ(KelGetControllerCount(ci.nCmdSock, &count), 2003);
  unsigned int sorted = 7;
  EXPECT_EQ(KelGetSortedArrayIndexes(ci.nCmdSock, &sorted, page), 2003);
  EXPECT_EQ(sorted, 7u);
}

// A protected-area reply announcing `count` areas and carrying `carried` of them.
Bytes ProtectReply(unsigned char count, unsigned char carried) {
  Bytes body(4 + 16 * carried, 0);
  body[0] = 17;
  body[2] = count;
  return Reply(17, 0, body);
}

TEST_F(ClientRaidQuery, CountsBeyondTheReplyOrTheCallersRoomAreRefused) {
  Serve([protectReplies = 0](const Bytes& req) mutable {
    Bytes out = Reply(req.at(0), 0, req);
    if (req.size() == 120) out[9] = 33;                          // sorted arrays: 33 entries
    if (req.size() == 172) Put<int32_t>(&out, 17, req[1] ? -1 : 27);  // partition counts
    if (req.size() == 4) {
      const Bytes replies[] = {ProtectReply(2, 1), ProtectReply(2, 2), Reply(17, 0)};
      return replies[protectReplies++];
    }
    return out;
  });
  unsigned char indexes[kRaidMaxSortedArrays] = {};
  unsigned int count = 3;
  EXPECT_EQ(KelGetSortedArrayIndexes(ci.nCmdSock, &count, indexes), 2003);
  EXPECT_EQ(count, 3u);
  const _Index_Plus_t ref = KelMakeRef(1, 1);
  _zr_partition_info parts{};
  EXPECT_EQ(KelGetPartitionInfo(ci.nCmdSock, KEL_PART_OWNER_DISK, &ref, &parts), 2003);
  EXPECT_EQ(KelGetPartitionInfo(ci.nCmdSock, KEL_PART_OWNER_ARRAY, &ref, &parts), 2003);
  EXPECT_EQ(parts.count, 0);
  _zr_protect_free_info_t areas[1];
  EXPECT_EQ(KelGetProtectedAreas(ci.nCmdSock, 2, areas, 1, &count), 2003);
  EXPECT_EQ(KelGetProtectedAreas(ci.nCmdSock, 2, areas, 1, &count), 2015);
  // A reply of the return code alone: none, or more than one reply could carry.
  EXPECT_EQ(KelGetProtectedAreas(ci.nCmdSock, 2, areas, 1, &count), 0);
  EXPECT_EQ(count, 0u);
}

TEST_F(ClientRaidQuery, StaleMagicComesBackAsTwoAndLeavesTheOutputsAlone) {
  Serve([](const Bytes& req) { return Reply(req.at(0), 2); });
  const _Index_Plus_t ref = KelMakeRef(1, 0x0BAD);
  _zr_partition_info got{};
  got.count = 5;
  EXPECT_EQ(KelGetPartitionInfo(ci.nCmdSock, KEL_PART_OWNER_DISK, &ref, &got), 2);
  EXPECT_EQ(got.count, 5);
  unsigned char status = 9;
  EXPECT_EQ(KelSmartStatus(ci.nCmdSock, &ref, &status), 2);
  EXPECT_EQ(status, 9);
}

TEST_F(ClientRaidQuery, ReloadTextsOfNineteenBytesAreSentAndTwentyAreRefused) {
  Serve([](const Bytes& req) { return Reply(req.at(0), 0); });
  const std::string user(19, 'u'), password(19, 'p'), longer(20, 'x');
  EXPECT_EQ(KelReloadDriver(ci.nCmdSock, true, user.c_str(), password.c_str()), 0);
  std::string out = Printed([&] {
    EXPECT_EQ(KelReloadDriver(ci.nCmdSock, true, longer.c_str(), "pw"), 2015);
    EXPECT_EQ(KelReloadDriver(ci.nCmdSock, true, "root", longer.c_str()), 2015);
  });
  EXPECT_TRUE(Contains(out, "longer than 19 bytes"));
  Done();
  ASSERT_EQ(seen.size(), 1u);
  const Bytes& sent = seen[0].payload;
  EXPECT_EQ(std::string(sent.begin() + 4, sent.begin() + 24), user + '\0');
  EXPECT_EQ(std::string(sent.begin() + 24, sent.end()), password + '\0');
}

TEST_F(ClientTest, NullArgumentsGive2000BeforeAnythingIsSent) {
  unsigned int u = 0;
  unsigned char c = 0;
  char buf[kClientBufSize];
  std::string out = Printed([&] {
    EXPECT_EQ(OpenConnect(nullptr, "127.0.0.1", 1), 2000);
    EXPECT_EQ(OpenConnect(&ci, nullptr, 1), 2000);
    EXPECT_EQ(CloseConnect(nullptr), 2000);
    EXPECT_EQ(UserLogin(nullptr, "admin", "pelum"), 2000);
    EXPECT_EQ(UserLogin(&ci, nullptr, "pelum"), 2000);
    EXPECT_EQ(UserLogin(&ci, "admin", nullptr), 2000);
    EXPECT_EQ(UserSessionLogin(nullptr, "1"), 2000);
    EXPECT_EQ(UserLogout(nullptr, "1"), 2000);
    EXPECT_EQ(UserGetLogStatus(nullptr, &u, nullptr, nullptr), 2000);
    EXPECT_EQ(UserGetLogStatus(&ci, nullptr, nullptr, nullptr), 2000);
    EXPECT_EQ(UserClearLog(nullptr), 2000);
    EXPECT_EQ(UserGetLogItems(nullptr, 0, 0, &u, buf, &u), 2000);
    EXPECT_EQ(UserGetLogItems(&ci, 0, 0, nullptr, buf, &u), 2000);
    EXPECT_EQ(GetBeepStatus(nullptr, &c), 2000);
    EXPECT_EQ(GetBeepStatus(&ci, nullptr), 2000);
    EXPECT_EQ(SetBeepStatus(nullptr, 1), 2000);
    EXPECT_EQ(UserChangePasswd(nullptr, "a", "b", "c"), 2000);
    EXPECT_EQ(UserChangePasswd(&ci, "a", nullptr, "c"), 2000);
    EXPECT_EQ(GetCheckDiskDuration(nullptr, &u), 2000);
    EXPECT_EQ(GetCheckDiskDuration(&ci, nullptr), 2000);
    EXPECT_EQ(SetCheckDiskDuration(nullptr, 1), 2000);
    EXPECT_EQ(GetTestData(nullptr), 2000);
    EXPECT_EQ(KelGetControllerCount(-1, nullptr), 2000);
    EXPECT_EQ(KelGetControllerInfo(-1, 0, nullptr), 2000);
    EXPECT_EQ(KelGetChannelInfo(-1, 0, 0, nullptr), 2000);
    EXPECT_EQ(KelGetHubInfo(-1, 0, 0, 0, nullptr), 2000);
    EXPECT_EQ(KelGetDiskInfo(-1, 0, nullptr), 2000);
    EXPECT_EQ(KelGetArrayMap(-1, nullptr), 2000);
    EXPECT_EQ(KelGetSortedArrayIndexes(-1, nullptr, nullptr), 2000);
    EXPECT_EQ(KelGetArrayInfo(-1, 0, nullptr), 2000);
    EXPECT_EQ(KelGetVdInfoByDiskSlot(-1, 0, 0, nullptr), 2000);
    EXPECT_EQ(KelGetPartitionInfo(-1, 0, nullptr, nullptr), 2000);
    EXPECT_EQ(KelReloadDriver(-1, false, nullptr, ""), 2000);
    EXPECT_EQ(KelSmartReadValues(-1, nullptr, nullptr), 2000);
    EXPECT_EQ(KelSmartReadThresholds(-1, nullptr, nullptr), 2000);
    EXPECT_EQ(KelSmartStatus(-1, nullptr, nullptr), 2000);
    EXPECT_EQ(KelGetProtectedAreas(-1, 0, nullptr, 0, nullptr), 2000);
  });
  EXPECT_TRUE(Contains(out, "Error: Null input pointer\n"));
  EXPECT_TRUE(Contains(out, "Invalid parameters\n"));
  EXPECT_FALSE(KelIndexMapHas(_Kel_Index_Map{~0ull, ~0ull}, 128));  // maps end at 127
  // The module's own connection record starts closed.
  EXPECT_EQ(g_ClientInfo.nCmdSock, -1);
  EXPECT_EQ(g_ClientInfo.nNoticeSock, -1);
  EXPECT_EQ(g_ClientInfo.nState, NOT_CONNECTED);
  EXPECT_EQ(ZepSockCleanUp(), 0);
}

}  // namespace
