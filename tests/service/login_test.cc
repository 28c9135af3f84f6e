// Login, session login and logout against a real registry and account store: reply bytes,
// return codes, event-log texts, client IDs, the single-session kick with its notice, the
// refusal of malformed requests, and the binding of connection threads to sessions.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
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

namespace {

constexpr char kPeer[] = "10.0.0.5";

// The login request as a client builds it: "name\0password\0" enciphered, padded to 16.
std::unique_ptr<KelUserCmd> LoginCmd(const std::string& name, const std::string& password) {
  std::string plain = name + std::string(1, '\0') + password + std::string(1, '\0');
  plain.resize((plain.size() + 15) / 16 * 16, '\0');
  auto cmd = std::make_unique<KelUserCmd>();
  cmd->code = KEL_CMD_LOGIN;
  EXPECT_LE(plain.size(), static_cast<size_t>(kCmdDataSize));
  EXPECT_EQ(AesEncrypt(reinterpret_cast<const unsigned char*>(plain.data()), cmd->data,
                       static_cast<unsigned int>(plain.size())),
            0);
  cmd->m_CmdDataLen = static_cast<uint16_t>(plain.size());
  return cmd;
}

// A request whose data area carries `text` and its zero byte behind `lead` leading bytes.
std::unique_ptr<KelUserCmd> TextCmd(unsigned char code, const std::string& lead,
                                    const std::string& text) {
  auto cmd = std::make_unique<KelUserCmd>();
  cmd->code = code;
  const std::string payload = lead + text + std::string(1, '\0');
  memcpy(cmd->data, payload.data(), payload.size());
  cmd->m_CmdDataLen = static_cast<uint16_t>(payload.size());
  return cmd;
}

std::unique_ptr<KelUserCmd> SessionCmd(const std::string& idText) {
  return TextCmd(KEL_CMD_SESSION_LOGIN, "", idText);
}

std::unique_ptr<KelUserCmd> LogoutCmd(const std::string& idText) {
  return TextCmd(KEL_CMD_LOCAL, std::string(1, '\0'), idText);
}

std::string IdText(const KelUserCmd& cmd) { return reinterpret_cast<const char*>(cmd.data + 5); }

class UserLoginTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kel_login_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_dir = pattern;
    ASSERT_EQ(AesModuleInit(), 0);
    KelClientHash::TEST_ResetIdCounter();
    m_account = std::make_unique<KelAccount>((m_dir + "/kel_account").c_str());
    m_hash = std::make_unique<KelClientHash>(&m_priv);
    m_priv.pClientHash = m_hash.get();
    m_priv.pAccount = m_account.get();
  }
  void TearDown() override {
    m_hash.reset();
    std::filesystem::remove_all(m_dir);
  }

  // Runs a login with the peer's address pre-filled as the connection thread does;
  // captures the diagnostics into m_out.
  bool Login(KelUserCmd* cmd, int* id, std::string* logText) {
    *logText = std::string("IP:") + kPeer;
    testing::internal::CaptureStdout();
    const bool ok = UserRegister(&m_priv, cmd, id, *logText);
    m_out = testing::internal::GetCapturedStdout();
    return ok;
  }

  // Logs `name` in and returns the new client ID (-1 on failure).
  int LoginAs(const std::string& name, const std::string& password) {
    auto cmd = LoginCmd(name, password);
    int id = -1;
    std::string text;
    return Login(cmd.get(), &id, &text) ? id : -1;
  }

  bool Session(KelUserCmd* cmd, int* id, std::string* logText) {
    *logText = std::string("IP:") + kPeer;
    testing::internal::CaptureStdout();
    const bool ok = UserRegister(&m_priv, cmd, id, *logText);
    m_out = testing::internal::GetCapturedStdout();
    return ok;
  }

  void Logout(KelUserCmd* cmd, std::string* logText) {
    *logText = std::string("IP:") + kPeer;
    testing::internal::CaptureStdout();
    UserLogout(&m_priv, cmd, *logText);
    m_out = testing::internal::GetCapturedStdout();
  }

  KelClient* Client(int id) {
    m_hash->r_lock(__FILE__, __LINE__);
    KelClient* client = m_hash->GetClient(id);
    m_hash->r_unlock(__FILE__, __LINE__);
    return client;
  }

  int ClientCount() {
    m_hash->r_lock(__FILE__, __LINE__);
    const int n = m_hash->GetCurClientNum();
    m_hash->r_unlock(__FILE__, __LINE__);
    return n;
  }

  std::string m_dir;
  std::string m_out;
  KelSrvPrivate m_priv;
  std::unique_ptr<KelAccount> m_account;
  std::unique_ptr<KelClientHash> m_hash;
};

TEST(SessionRights, CodeFollowsTheRightsBits) {
  EXPECT_EQ(SessionRightsCode(14), 0x15);  // admin
  EXPECT_EQ(SessionRightsCode(7), 0x15);   // guest
  EXPECT_EQ(SessionRightsCode(0x2), 0x14);
  EXPECT_EQ(SessionRightsCode(0xB), 0x14);
  EXPECT_EQ(SessionRightsCode(0x8), 0x16);
  EXPECT_EQ(SessionRightsCode(0), 0x16);
}

TEST_F(UserLoginTest, FirstAdminLoginGetsIdOneAndTheFullReply) {
  auto cmd = LoginCmd("admin", "pelum");
  const unsigned char first = cmd->data[0];
  int id = -1;
  std::string text;
  ASSERT_TRUE(Login(cmd.get(), &id, &text));
  EXPECT_EQ(id, 1);
  EXPECT_EQ(cmd->m_CmdDataLen, 26);
  EXPECT_EQ(cmd->data[0], first);
  EXPECT_EQ(cmd->GetRetCode(), 0);
  EXPECT_EQ(IdText(*cmd), "1");
  EXPECT_EQ(cmd->data[6], 0);
  EXPECT_EQ(cmd->data[25], 0x15);
  EXPECT_EQ(text, "INFO~Client <admin> from <10.0.0.5> login OK");
  EXPECT_NE(m_out.find("Client[ID: 1] login from 10.0.0.5 OK\n"), std::string::npos) << m_out;

  KelClient* client = Client(1);
  ASSERT_NE(client, nullptr);
  EXPECT_EQ(client->pRemoteClient->accountInfo.name, "admin");
  EXPECT_EQ(client->pRemoteClient->accountInfo.password, "pelum");
  EXPECT_EQ(client->pRemoteClient->accountInfo.rights, 14u);
}

TEST_F(UserLoginTest, IdsRiseAndAFreedIdIsNotReused) {
  EXPECT_EQ(LoginAs("guest", "rovak"), 1);
  EXPECT_EQ(LoginAs("guest", "rovak"), 2);
  EXPECT_EQ(LoginAs("guest", "rovak"), 3);
  auto logout = LogoutCmd("2");
  std::string text;
  Logout(logout.get(), &text);
  EXPECT_EQ(logout->GetRetCode(), 0);
  EXPECT_EQ(LoginAs("guest", "rovak"), 4);
  EXPECT_EQ(ClientCount(), 3);
}

TEST_F(UserLoginTest, SecondAdminLoginKicksTheFirstSessionWithANotice) {
  ASSERT_EQ(LoginAs("admin", "pelum"), 1);
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  Client(1)->pRemoteClient->notifySocket.sock = fds[0];  // closed by the session's end

  auto cmd = LoginCmd("admin", "pelum");
  int id = -1;
  std::string text;
  ASSERT_TRUE(Login(cmd.get(), &id, &text));
  EXPECT_EQ(id, 2);
  EXPECT_EQ(cmd->GetRetCode(), 1051);
  EXPECT_EQ(cmd->m_CmdDataLen, 26);
  EXPECT_EQ(IdText(*cmd), "2");
  EXPECT_EQ(cmd->data[25], 0x15);
  EXPECT_EQ(text, "INFO~Client <admin> from <10.0.0.5> login OK. But kick previous login session");
  EXPECT_NE(m_out.find("Kick client[1] succeed\n"), std::string::npos) << m_out;
  EXPECT_EQ(Client(1), nullptr);
  EXPECT_NE(Client(2), nullptr);
  EXPECT_EQ(ClientCount(), 1);

  unsigned char code = 0;
  unsigned char payload[16] = {};
  unsigned short len = 0;
  ASSERT_EQ(WaitCommand(fds[1], &code, payload, &len, 1, 0, 1), 0);
  EXPECT_EQ(code, KEL_CMD_NOTIFY);
  EXPECT_EQ(len, 1);
  EXPECT_EQ(payload[0], 7);
  EXPECT_EQ(recv(fds[1], payload, sizeof(payload), 0), 0);  // the session closed it
  close(fds[1]);
}

TEST_F(UserLoginTest, KickWithoutNotificationConnectionStillEndsTheSession) {
  ASSERT_EQ(LoginAs("admin", "pelum"), 1);
  auto cmd = LoginCmd("admin", "pelum");
  int id = -1;
  std::string text;
  ASSERT_TRUE(Login(cmd.get(), &id, &text));
  EXPECT_EQ(cmd->GetRetCode(), 1051);
  EXPECT_EQ(Client(1), nullptr);
  EXPECT_EQ(ClientCount(), 1);
}

TEST_F(UserLoginTest, KickOfAPinnedSessionLeavesItOfflineAndTheLoginGoesOn) {
  ASSERT_EQ(LoginAs("admin", "pelum"), 1);
  KelClient* old = PinClient(m_hash.get(), 1);
  ASSERT_NE(old, nullptr);

  auto cmd = LoginCmd("admin", "pelum");
  int id = -1;
  std::string text;
  ASSERT_TRUE(Login(cmd.get(), &id, &text));
  EXPECT_EQ(cmd->GetRetCode(), 1051);
  EXPECT_EQ(id, 2);
  EXPECT_NE(m_out.find("Kick client[1] failed, set it offline\n"), std::string::npos) << m_out;
  ASSERT_EQ(Client(1), old);
  EXPECT_FALSE(old->pRemoteClient->IsOnline());

  // Once the pin is gone the session can be reclaimed; the login's own pin is not left behind.
  UnpinClient(old);
  EXPECT_EQ(old->pRemoteClient->GetRefCnt(), 0);
  testing::internal::CaptureStdout();
  m_hash->w_lock(__FILE__, __LINE__);
  EXPECT_TRUE(m_hash->DestroyClient(1, false));
  m_hash->w_unlock(__FILE__, __LINE__);
  testing::internal::GetCapturedStdout();
}

TEST_F(UserLoginTest, TwoGuestLoginsBothSucceed) {
  auto first = LoginCmd("guest", "rovak");
  auto second = LoginCmd("guest", "rovak");
  int id1 = -1, id2 = -1;
  std::string text;
  ASSERT_TRUE(Login(first.get(), &id1, &text));
  ASSERT_TRUE(Login(second.get(), &id2, &text));
  EXPECT_EQ(first->GetRetCode(), 0);
  EXPECT_EQ(second->GetRetCode(), 0);
  EXPECT_NE(id1, id2);
  EXPECT_EQ(second->data[25], 0x15);
  EXPECT_EQ(text, "INFO~Client <guest> from <10.0.0.5> login OK");
  EXPECT_EQ(ClientCount(), 2);
}

TEST_F(UserLoginTest, WrongPasswordIsRefusedWith1050) {
  auto cmd = LoginCmd("admin", "wrong");
  int id = -1;
  std::string text;
  EXPECT_FALSE(Login(cmd.get(), &id, &text));
  EXPECT_EQ(id, -1);
  EXPECT_EQ(cmd->GetRetCode(), 1050);
  EXPECT_EQ(cmd->m_CmdDataLen, 26);
  EXPECT_EQ(cmd->data[5], 0);
  EXPECT_EQ(cmd->data[25], 0);
  EXPECT_EQ(text, "ERROR~User <admin> from <10.0.0.5> login failed");
  EXPECT_NE(m_out.find("Account verify failed. Err = 1033\n"), std::string::npos) << m_out;
  EXPECT_NE(m_out.find("User login failed\n"), std::string::npos) << m_out;
  EXPECT_EQ(ClientCount(), 0);
}

TEST_F(UserLoginTest, UnknownUserIsRefusedWith1050) {
  auto cmd = LoginCmd("Admin", "pelum");
  int id = -1;
  std::string text;
  EXPECT_FALSE(Login(cmd.get(), &id, &text));
  EXPECT_EQ(cmd->GetRetCode(), 1050);
  EXPECT_NE(m_out.find("Account verify failed. Err = 1034\n"), std::string::npos) << m_out;
}

TEST_F(UserLoginTest, PayloadNotAWholeNumberOfBlocksIsAnInvalidPacket) {
  auto cmd = LoginCmd("admin", "pelum");
  cmd->m_CmdDataLen = 24;
  int id = -1;
  std::string text;
  EXPECT_FALSE(Login(cmd.get(), &id, &text));
  EXPECT_EQ(cmd->GetRetCode(), 1002);
  EXPECT_EQ(cmd->m_CmdDataLen, 26);
  EXPECT_NE(m_out.find("Invalid login packet received from client\n"), std::string::npos) << m_out;
  EXPECT_EQ(text, "ERROR~User <> from <10.0.0.5> login failed");
  EXPECT_EQ(ClientCount(), 0);
}

TEST_F(UserLoginTest, EmptyPayloadIsAnInvalidPacket) {
  auto cmd = LoginCmd("admin", "pelum");
  cmd->m_CmdDataLen = 0;
  int id = -1;
  std::string text;
  EXPECT_FALSE(Login(cmd.get(), &id, &text));
  EXPECT_EQ(cmd->GetRetCode(), 1002);
  EXPECT_NE(m_out.find("Invalid login packet received from client\n"), std::string::npos) << m_out;
}

TEST_F(UserLoginTest, NameWithoutRoomForAPasswordIsRefusedSilently) {
  // Sixteen name characters: the forced zero at the end leaves no password behind it.
  auto cmd = LoginCmd("abcdefghijklmnop", "");
  cmd->m_CmdDataLen = 16;
  int id = -1;
  std::string text;
  EXPECT_FALSE(Login(cmd.get(), &id, &text));
  EXPECT_EQ(cmd->GetRetCode(), 1002);
  EXPECT_EQ(m_out.find("Invalid login packet"), std::string::npos) << m_out;
  EXPECT_EQ(m_out.find("Account verify failed"), std::string::npos) << m_out;
}

TEST_F(UserLoginTest, CredentialsOf256CharactersAreRefusedAndOf255Verified) {
  int id = -1;
  std::string text;
  auto longName = LoginCmd(std::string(256, 'a'), "pelum");
  EXPECT_FALSE(Login(longName.get(), &id, &text));
  EXPECT_EQ(longName->GetRetCode(), 1002);
  EXPECT_NE(m_out.find("Invalid login packet received from client\n"), std::string::npos) << m_out;

  auto longPassword = LoginCmd("admin", std::string(256, 'p'));
  EXPECT_FALSE(Login(longPassword.get(), &id, &text));
  EXPECT_EQ(longPassword->GetRetCode(), 1002);

  auto longest = LoginCmd(std::string(255, 'a'), std::string(255, 'p'));
  EXPECT_FALSE(Login(longest.get(), &id, &text));
  EXPECT_EQ(longest->GetRetCode(), 1050);  // reached the account store
}

TEST_F(UserLoginTest, LargestLoginPacketIsDeciphered) {
  auto cmd = LoginCmd("admin", "pelum");
  cmd->m_CmdDataLen = kCmdDataSize;  // ciphertext of zeros behind the credentials
  unsigned char zeros[kCmdDataSize - 16] = {};
  ASSERT_EQ(AesEncrypt(zeros, cmd->data + 16, sizeof(zeros)), 0);
  int id = -1;
  std::string text;
  EXPECT_TRUE(Login(cmd.get(), &id, &text));
  EXPECT_EQ(cmd->GetRetCode(), 0);
}

TEST_F(UserLoginTest, OtherCodesBeforeLoginLeaveTheCommandUntouched) {
  KelUserCmd cmd;
  cmd.code = KEL_CMD_GET_ARRAY;
  cmd.data[0] = 3;
  cmd.data[1] = 0xAA;
  cmd.m_CmdDataLen = 2;
  int id = -1;
  std::string text = "IP:10.0.0.5";
  EXPECT_FALSE(UserRegister(&m_priv, &cmd, &id, text));
  EXPECT_EQ(cmd.m_CmdDataLen, 2);
  EXPECT_EQ(cmd.data[0], 3);
  EXPECT_EQ(cmd.data[1], 0xAA);
  EXPECT_EQ(cmd.data[2], 0);
  EXPECT_EQ(id, -1);
}

TEST_F(UserLoginTest, SessionLoginContinuesAnExistingClient) {
  for (int i = 1; i <= 7; ++i) ASSERT_EQ(LoginAs("guest", "rovak"), i);
  auto cmd = SessionCmd("7");
  int id = -1;
  std::string text;
  ASSERT_TRUE(Session(cmd.get(), &id, &text));
  EXPECT_EQ(id, 7);
  EXPECT_EQ(cmd->m_CmdDataLen, 6);
  EXPECT_EQ(cmd->GetRetCode(), 0);
  EXPECT_EQ(cmd->data[5], 0x15);
  EXPECT_EQ(text, "");
  EXPECT_EQ(Client(7)->pRemoteClient->GetRefCnt(), 0);
}

TEST_F(UserLoginTest, SessionLoginToAMissingClientGives1054) {
  ASSERT_EQ(LoginAs("guest", "rovak"), 1);
  auto cmd = SessionCmd("8");
  int id = -1;
  std::string text;
  EXPECT_FALSE(Session(cmd.get(), &id, &text));
  EXPECT_EQ(id, -1);
  EXPECT_EQ(cmd->m_CmdDataLen, 6);
  EXPECT_EQ(cmd->GetRetCode(), 1054);
  EXPECT_EQ(text, "");
  EXPECT_NE(m_out.find("ClientID 8 does not exist\n"), std::string::npos) << m_out;
  EXPECT_NE(m_out.find("User Ack failed\n"), std::string::npos) << m_out;
}

TEST_F(UserLoginTest, SessionLoginWithABadLengthGives1054) {
  ASSERT_EQ(LoginAs("guest", "rovak"), 1);
  auto cmd = SessionCmd("1");
  cmd->m_CmdDataLen = 3;  // one byte more than the text and its zero
  int id = -1;
  std::string text;
  EXPECT_FALSE(Session(cmd.get(), &id, &text));
  EXPECT_EQ(cmd->GetRetCode(), 1054);
  EXPECT_NE(m_out.find("Invalid ClientID 1 send by user\n"), std::string::npos) << m_out;

  auto unterminated = SessionCmd("1");
  unterminated->m_CmdDataLen = 1;  // no zero byte inside the request
  EXPECT_FALSE(Session(unterminated.get(), &id, &text));
  EXPECT_EQ(unterminated->GetRetCode(), 1054);
}

TEST_F(UserLoginTest, SessionLoginToAnOfflineClientGivesOne) {
  ASSERT_EQ(LoginAs("guest", "rovak"), 1);
  KelClient* pinned = PinClient(m_hash.get(), 1);
  ASSERT_NE(pinned, nullptr);
  testing::internal::CaptureStdout();
  m_hash->w_lock(__FILE__, __LINE__);
  EXPECT_FALSE(m_hash->DestroyClient(1, false));  // pinned: stays, offline
  m_hash->w_unlock(__FILE__, __LINE__);
  testing::internal::GetCapturedStdout();

  auto cmd = SessionCmd("1");
  int id = -1;
  std::string text;
  EXPECT_FALSE(Session(cmd.get(), &id, &text));
  EXPECT_EQ(cmd->GetRetCode(), 1);
  EXPECT_EQ(cmd->m_CmdDataLen, 6);
  EXPECT_EQ(id, -1);
  UnpinClient(pinned);
}

TEST_F(UserLoginTest, LogoutDestroysTheClientAndNamesItInTheLog) {
  ASSERT_EQ(LoginAs("guest", "rovak"), 1);
  ASSERT_EQ(LoginAs("admin", "pelum"), 2);
  auto cmd = LogoutCmd("1");
  std::string text;
  Logout(cmd.get(), &text);
  EXPECT_EQ(cmd->m_CmdDataLen, 5);
  EXPECT_EQ(cmd->data[0], 0);
  EXPECT_EQ(cmd->GetRetCode(), 0);
  EXPECT_EQ(text, "INFO~Client <guest> from <10.0.0.5> logout");
  EXPECT_NE(m_out.find("ID[1]: INFO~Client <guest> from <10.0.0.5> logout\n"), std::string::npos)
      << m_out;
  EXPECT_EQ(Client(1), nullptr);
  EXPECT_NE(Client(2), nullptr);
}

TEST_F(UserLoginTest, LogoutOfAMissingClientGives1002) {
  ASSERT_EQ(LoginAs("guest", "rovak"), 1);
  auto cmd = LogoutCmd("5");
  std::string text;
  Logout(cmd.get(), &text);
  EXPECT_EQ(cmd->m_CmdDataLen, 5);
  EXPECT_EQ(cmd->GetRetCode(), 1002);
  EXPECT_EQ(text, "");
  EXPECT_NE(m_out.find("Non exist client\n"), std::string::npos) << m_out;
  EXPECT_EQ(ClientCount(), 1);
}

TEST_F(UserLoginTest, LogoutWithABadLengthGives1002) {
  ASSERT_EQ(LoginAs("guest", "rovak"), 1);
  auto cmd = LogoutCmd("1");
  cmd->m_CmdDataLen = 4;
  std::string text;
  Logout(cmd.get(), &text);
  EXPECT_EQ(cmd->m_CmdDataLen, 5);
  EXPECT_EQ(cmd->GetRetCode(), 1002);
  EXPECT_NE(m_out.find("Invalid ClientID 1 send by user\n"), std::string::npos) << m_out;
  EXPECT_EQ(ClientCount(), 1);
}

TEST_F(UserLoginTest, LogoutOfAnOfflineClientAnswersZeroAndDoesNothing) {
  ASSERT_EQ(LoginAs("guest", "rovak"), 1);
  KelClient* pinned = PinClient(m_hash.get(), 1);
  ASSERT_NE(pinned, nullptr);
  testing::internal::CaptureStdout();
  m_hash->w_lock(__FILE__, __LINE__);
  m_hash->DestroyClient(1, false);
  m_hash->w_unlock(__FILE__, __LINE__);
  testing::internal::GetCapturedStdout();

  auto cmd = LogoutCmd("1");
  std::string text;
  Logout(cmd.get(), &text);
  EXPECT_EQ(cmd->GetRetCode(), 0);
  EXPECT_EQ(cmd->m_CmdDataLen, 5);
  EXPECT_EQ(text, "");
  EXPECT_EQ(Client(1), pinned);
  EXPECT_EQ(pinned->pRemoteClient->GetRefCnt(), 1);
  UnpinClient(pinned);
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
  testing::internal::CaptureStdout();
  ASSERT_TRUE(UserRegister(&m_priv, login.get(), &id, text));
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(first->GetClientID(), id);
  EXPECT_EQ(text, "INFO~Client <guest> from <192.168.1.7> login OK");

  auto session = SessionCmd(std::to_string(id));
  session->pIssuer = second.get();
  int id2 = -1;
  ASSERT_TRUE(Session(session.get(), &id2, &text));
  EXPECT_EQ(second->GetClientID(), id);

  // Ending the session shuts both bound connections down.
  auto logout = LogoutCmd(std::to_string(id));
  Logout(logout.get(), &text);
  EXPECT_EQ(logout->GetRetCode(), 0);
  char byte;
  EXPECT_EQ(recv(a[1], &byte, 1, 0), 0);
  EXPECT_EQ(recv(b[1], &byte, 1, 0), 0);
  first.reset();
  second.reset();
  close(a[1]);
  close(b[1]);
}

}  // namespace
