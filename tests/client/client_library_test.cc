// The client library against an in-process fake service, where kelctl does not take it:
// OpenConnect and CloseConnect (the welcome and the refusals, broken or silent services),
// KelExecuteCmd (retries after wrong replies, time-outs, the draining of late replies), the
// login's cipher blocks and results, the limits of the requests, and replies the real
// service does not send (too short for their record, counts out of range). The requests
// and replies of the commands kelctl runs are kelctl_app_test's table; their effect on the
// real service is kelctl_e2e_test's part.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "sharedlib/aes.h"
#include "tests/client/fake_server.h"
#include "webext/client/client_raid_change.h"
#include "webext/client/client_raid_query.h"
#include "webext/client/kelclient.h"

using namespace kel_test;
using namespace std::chrono_literals;

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
    CloseConnect(&ci);  // ends any wait of the script for a request that will not come
    server.reset();
  }

  // Starts a fake service that sends the welcome and then runs `script`, and connects.
  void Connect(FakeServer::Script script) {
    server = std::make_unique<FakeServer>([script](FakeConn& conn) {
      conn.SendWelcome();
      script(conn);
    });
    ASSERT_EQ(OpenConnect(&ci, "127.0.0.1", server->port), 0);
  }
  // Records every request in `seen` and answers it under its own code with what `answer`
  // makes of it; an empty answer closes the connection.
  void Serve(std::function<Bytes(const Bytes&)> answer) {
    Connect([this, answer](FakeConn& conn) {
      Packet p;
      while (conn.Receive(&p)) {
        seen.push_back(p);
        const Bytes reply = answer(p.payload);
        if (reply.empty()) return;
        conn.Send(p.code, reply);
      }
    });
  }
  // Answers the requests one after the other with `replies`, then closes the connection.
  void ServeReplies(std::vector<Bytes> replies) {
    Serve([replies, next = size_t{0}](const Bytes&) mutable {
      return next < replies.size() ? replies[next++] : Bytes{};
    });
  }
  // Ends the connection and waits for the script, so that `seen` can be read.
  void Done() {
    CloseConnect(&ci);
    server->Join();
  }
  // Sends 255/`sub` with a one-byte request and returns KelExecuteCmd's result.
  int Run(unsigned char sub, int useRetCode = 1) {
    code = 255;
    data[0] = sub;
    len = 1;
    return KelExecuteCmd(ci.nCmdSock, &code, data, &len, 1, useRetCode);
  }

  CLIENT_INFO ci;
  unsigned char code = 0;
  unsigned char data[kClientBufSize] = {};
  unsigned short len = 0;
  // Hand-offs between the test and the script; members, so that they outlive the script
  // even when a test ends early.
  std::promise<void> first, second;
  bool closed = false;
  std::unique_ptr<FakeServer> server;
  std::vector<Packet> seen;  // written by the script; read after Done
};

// The library's diagnostic lines (it prints them on stdout) while `run` runs.
std::string Printed(const std::function<void()>& run) {
  testing::internal::CaptureStdout();
  run();
  return testing::internal::GetCapturedStdout();
}

using Connection = ClientTest;

TEST_F(Connection, WelcomeLeavesTheClientWaitingForLoginAndCloseClosesTheSocket) {
  snprintf(ci.szClientID, sizeof(ci.szClientID), "99");  // left by an earlier session
  Connect([this](FakeConn& conn) { closed = conn.WaitClosed(); });
  EXPECT_EQ(ci.nState, WAIT_FOR_LOGIN_SERVER);
  EXPECT_STREQ(ci.szClientID, "");
  EXPECT_EQ(ntohs(ci.CmdSrvAddr.sin_port), server->port);
  Done();
  EXPECT_TRUE(closed);
  EXPECT_EQ(ci.nCmdSock, -1);
  EXPECT_EQ(ci.pCmdSock, nullptr);
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
      {[](FakeConn& c) { c.WaitClosed(); }, 2002, noReply},  // silent
  };
  for (const auto& c : cases) {
    server = std::make_unique<FakeServer>(c.script);
    std::string out = Printed([&] {
      EXPECT_EQ(OpenConnectWithin(&ci, "127.0.0.1", server->port, 1), c.code) << c.message;
    });
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
    EXPECT_EQ(ci.nCmdSock, -1);
    EXPECT_EQ(ci.pCmdSock, nullptr);
    EXPECT_EQ(ci.nState, NOT_CONNECTED);
  }
}

using Exchange = ClientTest;

TEST_F(Exchange, MatchingReplyGivesItsSignedReturnCodeAndWrongRepliesAreRetried) {
  Connect([this](FakeConn& conn) {
    const Packet replies[] = {
        {255, Reply(9, 1234, {0xAB})}, {255, Reply(9, -5)}, {255, Reply(9, 77)}, {255, {9}},
        {250, Reply(9, 0)}, {255, Reply(9, 0, {1})},  // a wrong command code, then the answer
        {255, Reply(5, 0)}, {255, Reply(5, 0)}, {255, Reply(5, 0)}};  // another sub-code
    Packet p;
    for (const Packet& reply : replies) {
      if (!conn.Receive(&p)) return;
      seen.push_back(p);
      conn.Send(reply.code, reply.payload);
    }
  });
  EXPECT_EQ(Run(9), 1234);
  EXPECT_EQ(code, 255);
  EXPECT_EQ(len, 6);
  EXPECT_EQ(data[5], 0xAB);
  EXPECT_EQ(Run(9), -5);
  EXPECT_EQ(Run(9, 0), 0);  // without useRetCode any matching reply is success
  // Before a login the service echoes a request it does not handle: no return code.
  EXPECT_EQ(Run(9), 2003);
  EXPECT_EQ(Run(9), 0);
  EXPECT_EQ(data[5], 1);
  EXPECT_EQ(Run(9), 1002);  // three wrong replies to three sendings of the request
  // The service has gone: the socket is marked for draining.
  EXPECT_EQ(Run(9), 2001);
  EXPECT_TRUE(bClearRevBuf);
  Done();
  ASSERT_EQ(seen.size(), 9u);
  EXPECT_EQ(seen[8].code, 255);
  EXPECT_EQ(seen[8].payload, Bytes{9});
}

TEST_F(Exchange, SilenceGives2002AndTheNextExchangeDiscardsTheLateReply) {
  Connect([this](FakeConn& conn) {
    Packet p;
    if (!conn.Receive(&p) || first.get_future().wait_for(10s) != std::future_status::ready)
      return;
    conn.Send(255, Reply(9, 0));  // the answer to the first request, too late
    second.set_value();
    if (conn.Receive(&p)) conn.Send(255, Reply(9, 42));
  });
  EXPECT_EQ(Run(9), 2002);
  EXPECT_TRUE(bClearRevBuf);
  first.set_value();
  ASSERT_EQ(second.get_future().wait_for(10s), std::future_status::ready);
  // Without draining, the late reply (code 0) would be taken for the answer.
  EXPECT_EQ(Run(9), 42);
  EXPECT_FALSE(bClearRevBuf);
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

TEST_F(Session, LoginSendsWholeCipherBlocksAndItsResultFollowsTheServicesCode) {
  const struct {
    std::string user, password;
    size_t blocks;
    int serviceCode;
    size_t replyLen;
    int result;
  } cases[] = {
      {"admin", "pelum", 1, 0, 26, 0},
      {"operator", "secret7", 2, 1051, 26, 0},  // 17 bytes; logged in, an older session ended
      {std::string(60, 'u'), std::string(34, 'p'), 6, 0, 24, 0},  // 94 characters: the most
      {"a", "b", 1, 1050, 26, 2013},
      {"a", "b", 1, 1052, 26, 2014},
      {"a", "b", 1, 1053, 26, 2014},
      {"a", "b", 1, 1003, 26, 1003},
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
    EXPECT_EQ(UserLogin(&ci, c.user.c_str(), c.password.c_str()), c.result) << c.serviceCode;
    if (c.replyLen < 26) continue;  // the short reply is only reported
    EXPECT_EQ(ci.nState, c.result == 0 ? LOGGED_IN : WAIT_FOR_LOGIN_SERVER) << c.serviceCode;
    EXPECT_STREQ(ci.szClientID, c.result == 0 ? "42" : "") << c.serviceCode;
    EXPECT_EQ(ci.nSessionRights, c.result == 0 ? 0x15 : 0) << c.serviceCode;
  }
  const std::string u60(60, 'u'), p35(35, 'p');  // 95 characters: one too many
  EXPECT_EQ(UserLogin(&ci, u60.c_str(), p35.c_str()), 2000);
  ci.nState = LOGGED_IN;  // a connection that is logged in (or not yet open) takes no login
  EXPECT_EQ(UserLogin(&ci, "admin", "pelum"), 2012);
  Done();
  ASSERT_EQ(seen.size(), std::size(cases));
  for (size_t i = 0; i < seen.size(); ++i) {
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

TEST_F(Session, LocalCommandRepliesThatDoNotFitAreRefused) {
  ServeReplies({
      Reply(1, 0, Cat({BigEndian32(0), BigEndian32(0), BigEndian32(5), BigEndian32(1)})),
      Reply(3, 0, Cat({BigEndian32(1), BigEndian32(500), Bytes{'a', '\n'}})),  // text cut off
      Reply(3, 1001),
      Reply(9, 0, Cat({Bytes{0x00, 0x64}, Bytes(100, 0)})),  // 100 bytes where 112 belong
  });
  unsigned int overLimit = 9, count = 20, textLen = 0;
  EXPECT_EQ(UserGetLogStatus(&ci, &overLimit, nullptr, nullptr), 0);  // no size, no lines
  EXPECT_EQ(overLimit, 0u);
  char buf[kClientBufSize];
  EXPECT_EQ(UserGetLogItems(&ci, 0, 0, &count, buf, &textLen), 2015);
  EXPECT_EQ(UserGetLogItems(&ci, 0, 0, &count, buf, &textLen), 1001);
  EXPECT_EQ(count, 20u);  // outputs are left alone on failure
  EXPECT_NE(Printed([&] { EXPECT_EQ(GetTestData(&ci), 0); }).find("uSize == sizeof(*pData)"),
            std::string::npos);
  EXPECT_EQ(UserGetLogItems(&ci, 0, 0, &count, buf, nullptr), 2015);  // no room for the text
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(UserClearLog(&ci), 2001);  // the service has gone
}

TEST_F(Session, ChangePasswdOfExactlyAPacketIsSentAndOneByteMoreIsRefused) {
  ServeReplies({Reply(6, 0)});
  // 1 + 1001 + 1001 + 52 = 2055 payload bytes: with 9 of framing a packet of exactly 2064.
  const std::string u(1000, 'u'), o(1000, 'o'), n51(51, 'n'), n52(52, 'n');
  EXPECT_EQ(UserChangePasswd(&ci, u.c_str(), o.c_str(), n52.c_str()), 2015);
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
  unsigned char indexes[kRaidMaxSortedArrays] = {};
  unsigned char count = 0;
  EXPECT_EQ(KelGetControllerCount(ci.nCmdSock, &count), 2003);
  unsigned int sorted = 7;
  EXPECT_EQ(KelGetSortedArrayIndexes(ci.nCmdSock, &sorted, indexes), 2003);
  EXPECT_EQ(sorted, 7u);
}

TEST_F(ClientRaidQuery, CountsBeyondTheReplyOrTheCallersRoomAreRefused) {
  Serve([protectReplies = 0](const Bytes& req) mutable {
    Bytes out = Reply(req.at(0), 0, req);
    if (req.size() == 120) out[9] = 33;  // sorted arrays: 33 entries
    const int32_t partitions = req[1] ? -1 : 27;  // partition counts of disks and arrays
    if (req.size() == 172) memcpy(out.data() + 17, &partitions, sizeof(partitions));
    // Protected areas: two announced and one carried, two carried, none.
    const Bytes two = Reply(17, 0, {17, 0, 2, 0});
    const Bytes replies[] = {Cat({two, Bytes(16, 0)}), Cat({two, Bytes(32, 0)}), Reply(17, 0)};
    if (req.size() == 4) return replies[protectReplies++];
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

TEST_F(ClientRaidQuery, ReloadTextsOfNineteenBytesAreSentAndTwentyAreRefused) {
  Serve([](const Bytes& req) { return Reply(req.at(0), 0); });
  const std::string user(19, 'u'), password(19, 'p'), longer(20, 'x');
  EXPECT_EQ(KelReloadDriver(ci.nCmdSock, true, user.c_str(), password.c_str()), 0);
  EXPECT_EQ(KelReloadDriver(ci.nCmdSock, true, longer.c_str(), "pw"), 2015);
  EXPECT_EQ(KelReloadDriver(ci.nCmdSock, true, "root", longer.c_str()), 2015);
  Done();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].payload, Cat({{0, 1, 0, 0}, Bytes(19, 'u'), {0}, Bytes(19, 'p'), {0}}));
}

// The bytes of a creation and of a removal as sent, and the per-array codes of a removal
// that the service ran but that left one array in place.
TEST_F(ClientTest, CreationAndRemovalRequestsAndThePerArrayCodesOfAPartialRemoval) {
  Serve([](const Bytes& req) {
    Bytes out = Reply(req.at(0), req.size() == 392 ? 217 : 208, req);
    if (req.size() == 392) out.at(5 + 264 + 4) = 219;  // the second array stayed
    return out;
  });
  KelCreateRequest create;
  create.kind = KEL_CREATE_KIND_RAID5, create.mode = KEL_CREATE_MODE_KEEP_DATA;
  create.diskCount = 3, create.sizeMiB = 0x100000002ull, create.stripeKiB = 64;
  create.raid5Parameter = 0x01020304, create.secondOption = 1, create.name = "vol";
  for (unsigned int i = 0; i < 3; ++i) create.disks[i] = KelMakeRef(i + 1, 0x0107);
  EXPECT_EQ(KelCreateArray(ci.nCmdSock, create), 208);
  const _Index_Plus_t arrays[2] = {KelMakeRef(3, 0x0207), KelMakeRef(4, 0x0207)};
  int results[2] = {-1, -1};
  EXPECT_EQ(KelRemoveArrays(ci.nCmdSock, arrays, 2, results), 217);
  EXPECT_TRUE(results[0] == 0 && results[1] == 219) << results[0] << " " << results[1];
  Done();
  ASSERT_EQ(seen.size(), 2u);
  auto ref = [](unsigned char i, unsigned char magic) { return Bytes{i, 0, 0, 0, 7, magic, 0, 0}; };
  Bytes created = Cat({{5, 3, 1, 1, 0, 0, 0, 0, 64, 0, 0, 0, 4, 3, 2, 1, 2, 0, 0, 0, 1, 0, 0, 0},
                       {'v', 'o', 'l'}, Bytes(21, 0), ref(1, 1), ref(2, 1), ref(3, 1)});
  created.resize(112);
  Bytes removed = Cat({{0, 2, 0, 0, 0, 0, 0, 0}, ref(3, 2), ref(4, 2)});
  removed.resize(392);
  EXPECT_TRUE(seen[0].code == 2 && seen[0].payload == created);
  EXPECT_TRUE(seen[1].code == 3 && seen[1].payload == removed);
}

// Null arguments give 2000, and requests that cannot be sent fail, before anything is sent.
TEST_F(ClientTest, BadArgumentsAndRequestsThatCannotBeSentFailAtOnce) {
  unsigned int u = 0;
  unsigned char c = 0;
  char buf[kClientBufSize];
  const int nullArgs[] = {
      OpenConnect(nullptr, "127.0.0.1", 1), OpenConnect(&ci, nullptr, 1), CloseConnect(nullptr),
      UserLogin(nullptr, "admin", "pelum"), UserLogin(&ci, nullptr, "pelum"),
      UserLogin(&ci, "admin", nullptr), UserSessionLogin(nullptr, "1"), UserLogout(nullptr, "1"),
      UserGetLogStatus(nullptr, &u, nullptr, nullptr),
      UserGetLogStatus(&ci, nullptr, nullptr, nullptr), UserClearLog(nullptr),
      UserGetLogItems(nullptr, 0, 0, &u, buf, &u), UserGetLogItems(&ci, 0, 0, nullptr, buf, &u),
      GetBeepStatus(nullptr, &c), GetBeepStatus(&ci, nullptr), SetBeepStatus(nullptr, 1),
      UserChangePasswd(nullptr, "a", "b", "c"), UserChangePasswd(&ci, "a", nullptr, "c"),
      GetCheckDiskDuration(nullptr, &u), GetCheckDiskDuration(&ci, nullptr),
      SetCheckDiskDuration(nullptr, 1), GetTestData(nullptr), KelGetControllerCount(-1, nullptr),
      KelGetControllerInfo(-1, 0, nullptr), KelGetChannelInfo(-1, 0, 0, nullptr),
      KelGetHubInfo(-1, 0, 0, 0, nullptr), KelGetDiskInfo(-1, 0, nullptr),
      KelGetArrayMap(-1, nullptr), KelGetSortedArrayIndexes(-1, nullptr, nullptr),
      KelGetArrayInfo(-1, 0, nullptr), KelGetVdInfoByDiskSlot(-1, 0, 0, nullptr),
      KelGetPartitionInfo(-1, 0, nullptr, nullptr), KelReloadDriver(-1, false, nullptr, ""),
      KelSmartReadValues(-1, nullptr, nullptr), KelSmartReadThresholds(-1, nullptr, nullptr),
      KelSmartStatus(-1, nullptr, nullptr), KelGetProtectedAreas(-1, 0, nullptr, 0, nullptr)};
  for (size_t i = 0; i < std::size(nullArgs); ++i) EXPECT_EQ(nullArgs[i], 2000) << "call " << i;
  EXPECT_EQ(Run(9), 2001);  // never connected
  code = 255;
  len = static_cast<unsigned short>(kClientBufSize - 8);  // 9 bytes of framing make 2065
  EXPECT_EQ(KelExecuteCmd(-1, &code, data, &len, 1, 1), 2015);
  EXPECT_FALSE(KelIndexMapHas(_Kel_Index_Map{~0ull, ~0ull}, 128));  // maps end at 127
  // The module's own connection record starts closed.
  EXPECT_EQ(g_ClientInfo.nCmdSock, -1);
  EXPECT_EQ(g_ClientInfo.nNoticeSock, -1);
  EXPECT_EQ(g_ClientInfo.nState, NOT_CONNECTED);
  EXPECT_EQ(ZepSockCleanUp(), 0);
}

}  // namespace
