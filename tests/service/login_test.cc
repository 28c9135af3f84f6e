// Login, session login and logout against a real registry and account store, for what the
// process tests (tests/process/protocol_test.cc) do not see: event-log texts and
// diagnostics, the kick notice, pinned and offline sessions, every malformed request, and
// the binding of connection threads to sessions.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>

#include "service/account/kel_account.h"
#include "service/core/srv_private.h"
#include "service/login/user_login.h"
#include "service/session/kel_client_hash.h"
#include "service/session/kel_client_thread.h"
#include "service/session/kel_user_cmd.h"
#include "sharedlib/aes.h"
#include "sharedlib/packet.h"
#include "tests/service/service_test_util.h"
#include "tests/support/temp_dir.h"

namespace {

using kel_test::Captured;

// The login request as a client builds it: "name\0password\0" enciphered, padded to 16 (or
// with zeros to the largest packet); a length `len` other than -1 is sent instead of its own.
std::unique_ptr<KelUserCmd> LoginCmd(const std::string& name, const std::string& password, int len = -1) {
  std::string plain = name + std::string(1, '\0') + password + std::string(1, '\0');
  plain.resize(len == kCmdDataSize ? kCmdDataSize : (plain.size() + 15) / 16 * 16, '\0');
  auto cmd = std::make_unique<KelUserCmd>();
  cmd->code = KEL_CMD_LOGIN;
  EXPECT_EQ(AesEncrypt(reinterpret_cast<const unsigned char*>(plain.data()), cmd->data,
                       static_cast<unsigned int>(plain.size())), 0);
  cmd->m_CmdDataLen = static_cast<uint16_t>(len >= 0 ? len : plain.size());
  return cmd;
}

// A session login (code 251) or logout (local sub-code 0) naming a client ID.
std::unique_ptr<KelUserCmd> IdCmd(unsigned char code, const std::string& idText) {
  auto cmd = std::make_unique<KelUserCmd>();
  cmd->code = code;
  const std::string payload = (code == KEL_CMD_LOCAL ? std::string(1, '\0') : "") + idText + '\0';
  memcpy(cmd->data, payload.data(), payload.size());
  cmd->m_CmdDataLen = static_cast<uint16_t>(payload.size());
  return cmd;
}

class UserLoginTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(AesModuleInit(), 0);
    m_account = std::make_unique<KelAccount>(m_dir.File("kel_account").c_str());
    m_priv.pAccount = m_account.get();
    NewRegistry();
  }
  void NewRegistry() {
    m_hash.reset();
    KelClientHash::TEST_ResetIdCounter();
    m_hash = std::make_unique<KelClientHash>(&m_priv);
    m_priv.pClientHash = m_hash.get();
  }

  // Runs a request as a connection thread does, the peer's address pre-filled; the
  // diagnostics go to m_out, the event-log text to m_text, the return code to m_ret.
  bool Run(KelUserCmd* cmd, int* id = nullptr) {
    int ignored = -1;
    m_text = "IP:10.0.0.5";
    bool ok = false;
    m_out = Captured([&] {
      ok = cmd->code != KEL_CMD_LOCAL ? UserRegister(&m_priv, cmd, id != nullptr ? id : &ignored, m_text)
                                      : (UserLogout(&m_priv, cmd, m_text), cmd->GetRetCode() == 0);
    });
    m_ret = cmd->GetRetCode();
    return ok;
  }
  int LoginAs(const std::string& name, const std::string& password) {
    int id = -1;
    return Run(LoginCmd(name, password).get(), &id) ? id : -1;
  }
  KelClient* Client(int id) {
    m_hash->r_lock(__FILE__, __LINE__);
    KelClient* client = m_hash->GetClient(id);
    m_hash->r_unlock(__FILE__, __LINE__);
    return client;
  }
  bool Destroy(int id) {
    bool done = false;
    Captured([&] {
      m_hash->w_lock(__FILE__, __LINE__);
      done = m_hash->DestroyClient(id, false);
      m_hash->w_unlock(__FILE__, __LINE__);
    });
    return done;
  }
  bool Says(const std::string& what) const { return m_out.find(what) != std::string::npos; }

  kel_test::TempDir m_dir;
  std::string m_out, m_text;
  int m_ret = -1;
  KelSrvPrivate m_priv;
  std::unique_ptr<KelAccount> m_account;
  std::unique_ptr<KelClientHash> m_hash;
};

TEST(SessionRights, CodeFollowsTheRightsBits) {
  const struct { unsigned int rights; unsigned char code; } cases[] = {
      {14, 0x15}, {7, 0x15}, {0x2, 0x14}, {0xB, 0x14}, {0x8, 0x16}, {0, 0x16}};
  for (const auto& k : cases) EXPECT_EQ(SessionRightsCode(k.rights), k.code) << k.rights;
}

TEST_F(UserLoginTest, LoginsAreAcceptedOrRefusedWithTheirTextsAndDiagnostics) {
  const std::string kBadPacket = "Invalid login packet received from client\n";
  // says: empty when neither the packet nor the account is reported.
  const struct { std::unique_ptr<KelUserCmd> cmd; int ret; std::string says, text; } cases[] = {
      {LoginCmd("admin", "wrong"), 1050, "Account verify failed. Err = 1033\n",
       "ERROR~User <admin> from <10.0.0.5> login failed"},
      {LoginCmd("admin", "pelum", 24), 1002, kBadPacket, "ERROR~User <> from <10.0.0.5> login failed"},
      {LoginCmd("admin", "pelum", 0), 1002, kBadPacket, ""},
      // Sixteen name characters: the forced zero at the end leaves no password behind it.
      {LoginCmd("abcdefghijklmnop", "", 16), 1002, "", ""},
      {LoginCmd(std::string(256, 'a'), "pelum"), 1002, kBadPacket, ""},
      {LoginCmd("admin", std::string(256, 'p')), 1002, kBadPacket, ""},
      {LoginCmd(std::string(255, 'a'), std::string(255, 'p')), 1050, "Account verify failed. Err = 1034\n", ""},
      // The largest packet is deciphered whole.
      {LoginCmd("admin", "pelum", kCmdDataSize), 0, "Client[ID: 1] login from 10.0.0.5 OK\n",
       "INFO~Client <admin> from <10.0.0.5> login OK"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.says + std::to_string(k.cmd->m_CmdDataLen));
    NewRegistry();
    int id = -1;
    EXPECT_EQ(Run(k.cmd.get(), &id), k.ret == 0);
    EXPECT_EQ(k.cmd->GetRetCode(), k.ret);
    EXPECT_EQ(k.cmd->m_CmdDataLen, 26);
    EXPECT_TRUE(k.says.empty() ? !Says("Invalid login packet") && !Says("Account verify failed") : Says(k.says))
        << m_out;
    EXPECT_TRUE(k.text.empty() || m_text == k.text) << m_text;
    const bool ok = k.ret == 0;
    EXPECT_EQ(id, ok ? 1 : -1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(k.cmd->data + 5)) + "/" + std::to_string(k.cmd->data[25]),
              ok ? "1/21" : "/0");  // the ID text and the rights code 0x15
    const _KelAccountInfo* a = ok ? &Client(1)->pRemoteClient->accountInfo : nullptr;
    EXPECT_TRUE(ok ? a->name + "/" + a->password + "/" + std::to_string(a->rights) == "admin/pelum/14"
                   : Client(1) == nullptr);
  }
}

// A second admin login ends the first session, which is sent the kick notice (7) and closed;
// a pinned session cannot end and is left offline, and the login goes on.
TEST_F(UserLoginTest, SecondAdminLoginKicksTheFirstSessionOrLeavesAPinnedOneOffline) {
  ASSERT_EQ(LoginAs("admin", "pelum"), 1);
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  Client(1)->pRemoteClient->notifySocket.sock = fds[0];  // closed by the session's end
  EXPECT_EQ(LoginAs("admin", "pelum"), 2);
  EXPECT_EQ(m_ret, 1051);
  EXPECT_EQ(m_text, "INFO~Client <admin> from <10.0.0.5> login OK. But kick previous login session");
  EXPECT_TRUE(Says("Kick client[1] succeed\n") && Client(1) == nullptr) << m_out;
  unsigned char code = 0, payload[16] = {};
  unsigned short len = 0;
  ASSERT_EQ(WaitCommand(fds[1], &code, payload, &len, 1, 0, 1), 0);
  EXPECT_TRUE(code == KEL_CMD_NOTIFY && len == 1 && payload[0] == 7) << int(code) << " " << len;
  EXPECT_EQ(recv(fds[1], payload, sizeof(payload), 0), 0);  // the session closed it
  close(fds[1]);

  KelClient* old = PinClient(m_hash.get(), 2);
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(LoginAs("admin", "pelum"), 3);
  EXPECT_EQ(m_ret, 1051);
  EXPECT_TRUE(Says("Kick client[2] failed, set it offline\n")) << m_out;
  ASSERT_EQ(Client(2), old);
  EXPECT_FALSE(old->pRemoteClient->IsOnline());
  // Once the pin is gone the session can be reclaimed; the login's own pin is not left behind.
  UnpinClient(old);
  EXPECT_EQ(old->pRemoteClient->GetRefCnt(), 0);
  EXPECT_TRUE(Destroy(2));
}

// Session logins and logouts naming guest session 1 (admin holds 2).
TEST_F(UserLoginTest, RequestsNamingASessionAnswerAsTheyShould) {
  const unsigned char kSession = KEL_CMD_SESSION_LOGIN, kLogout = KEL_CMD_LOCAL;
  // lenDelta: added to the request length; offline: session 1 pinned and destroyed first.
  const struct { unsigned char code; std::string id; int lenDelta; bool offline; int ret; std::string says, text; }
      cases[] = {
      {kSession, "1", 0, false, 0, "", ""}, {kSession, "1", 0, true, 1, "", ""},
      {kSession, "1", 1, false, 1054, "Invalid ClientID 1 send by user\n", ""},
      {kSession, "1", -1, false, 1054, "User Ack failed\n", ""},  // no zero byte inside
      {kLogout, "1", 0, false, 0, "ID[1]: INFO~Client <guest> from <10.0.0.5> logout\n",
       "INFO~Client <guest> from <10.0.0.5> logout"},
      {kLogout, "5", 0, false, 1002, "Non exist client\n", ""},
      {kLogout, "1", 1, false, 1002, "Invalid ClientID 1 send by user\n", ""}, {kLogout, "1", 0, true, 0, "", ""},
      {kLogout, "1", -1, false, 1002, "Invalid ClientID 1 send by user\n", ""},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(std::to_string(k.code) + " " + k.id + " " + std::to_string(k.lenDelta));
    NewRegistry();
    ASSERT_EQ(LoginAs("guest", "rovak"), 1);
    ASSERT_EQ(LoginAs("admin", "pelum"), 2);
    // Session 1 pinned and destroyed: it stays registered, offline, until unpinned.
    KelClient* pinned = k.offline ? PinClient(m_hash.get(), 1) : nullptr;
    EXPECT_FALSE(k.offline && Destroy(1));
    auto cmd = IdCmd(k.code, k.id);
    cmd->m_CmdDataLen = static_cast<uint16_t>(cmd->m_CmdDataLen + k.lenDelta);
    int id = -1;
    EXPECT_EQ(Run(cmd.get(), &id), k.ret == 0);
    EXPECT_EQ(m_ret, k.ret);
    EXPECT_EQ(cmd->m_CmdDataLen, k.code == kSession ? 6 : 5);
    EXPECT_TRUE(Says(k.says)) << m_out;
    EXPECT_EQ(m_text, k.text);
    const bool ended = k.code == kLogout && k.ret == 0 && !k.offline;
    EXPECT_TRUE((Client(1) == nullptr) == ended && Client(2) != nullptr);
    // A session login answers the ID and the rights code; nothing keeps a pin it took.
    EXPECT_TRUE(k.code != kSession || (id == (k.ret == 0 ? 1 : -1) && cmd->data[5] == (k.ret == 0 ? 0x15 : 0)));
    EXPECT_TRUE(ended || Client(1)->pRemoteClient->GetRefCnt() == (k.offline ? 1 : 0));
    if (pinned != nullptr) UnpinClient(pinned);
  }
}

TEST_F(UserLoginTest, LoginAndSessionLoginBindTheirConnectionThreads) {
  int a[2], b[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, a), 0);
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, b), 0);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = htonl(0xC0A80107);  // 192.168.1.7
  // Never started: only their binding and their sockets matter here.
  auto first = std::make_unique<KelClientThread>(&m_priv, nullptr, a[0], peer);
  auto second = std::make_unique<KelClientThread>(&m_priv, nullptr, b[0], peer);

  auto login = LoginCmd("guest", "rovak");
  login->pIssuer = first.get();
  int id = -1;
  std::string text;  // no "IP:" text: the thread names its peer
  Captured([&] { EXPECT_TRUE(UserRegister(&m_priv, login.get(), &id, text)); });
  EXPECT_EQ(first->GetClientID(), id);
  EXPECT_EQ(text, "INFO~Client <guest> from <192.168.1.7> login OK");

  auto session = IdCmd(KEL_CMD_SESSION_LOGIN, std::to_string(id));
  session->pIssuer = second.get();
  ASSERT_TRUE(Run(session.get()) && second->GetClientID() == id);

  // Ending the session shuts both bound connections down.
  EXPECT_TRUE(Run(IdCmd(KEL_CMD_LOCAL, std::to_string(id)).get()));
  char byte;
  EXPECT_TRUE(recv(a[1], &byte, 1, 0) == 0 && recv(b[1], &byte, 1, 0) == 0);
  close(a[1]);
  close(b[1]);
}

}  // namespace
