// UserLogin, UserSessionLogin and UserLogout against a fake service: request layouts (the
// login deciphered as the service would), reply handling and result codes.
#include <gtest/gtest.h>

#include <string>

#include "sharedlib/aes.h"
#include "tests/client/client_fixture.h"

using namespace kel_test;

namespace {

// The 26-byte login reply: return code, ID text at data[5], rights code at data[25].
// data[0] is the request's first byte, which the service leaves as it was.
Bytes LoginReply(unsigned char first, int retCode, const std::string& id, unsigned char rights) {
  Bytes rest(21, 0);
  std::copy(id.begin(), id.end(), rest.begin());
  rest[20] = rights;
  return Reply(first, retCode, rest);
}

class Login : public ClientTest {
 protected:
  // Serves one login: deciphers the request into `plain` and answers with `retCode`.
  void ServeLogin(int retCode, const std::string& id = "42", unsigned char rights = 0x15,
                  size_t replyLen = 26) {
    Connect([=, this](FakeConn& conn) {
      if (!conn.Receive(&request)) return;
      Bytes reply = LoginReply(request.payload.at(0), retCode, id, rights);
      reply.resize(replyLen);
      conn.Send(250, reply);
    });
  }

  std::string Deciphered() {
    Bytes plain(request.payload.size());
    EXPECT_EQ(AesDecrypt(request.payload.data(), plain.data(),
                         static_cast<unsigned int>(plain.size())), 0);
    return std::string(plain.begin(), plain.end());
  }
};

TEST_F(Login, SendsNameAndPasswordEncipheredInWholeBlocks) {
  ServeLogin(0);
  EXPECT_EQ(UserLogin(&ci, "admin", "pelum"), 0);
  FinishServer();
  EXPECT_EQ(request.code, 250);
  ASSERT_EQ(request.payload.size(), 16u);
  EXPECT_EQ(Deciphered(), std::string("admin\0pelum\0\0\0\0\0", 16));
}

TEST_F(Login, PlaintextOfSeventeenBytesTakesTwoBlocks) {
  ServeLogin(0);
  EXPECT_EQ(UserLogin(&ci, "operator", "secret7"), 0);  // 8 + 1 + 7 + 1 = 17
  FinishServer();
  ASSERT_EQ(request.payload.size(), 32u);
  EXPECT_EQ(Deciphered(), std::string("operator\0secret7\0", 17) + std::string(15, '\0'));
}

TEST_F(Login, SuccessStoresIdRightsAndState) {
  ServeLogin(0, "42", 0x15);
  testing::internal::CaptureStdout();
  EXPECT_EQ(UserLogin(&ci, "admin", "pelum"), 0);
  EXPECT_TRUE(Contains(testing::internal::GetCapturedStdout(), "Login server ok!\n"));
  EXPECT_EQ(ci.nState, LOGGED_IN);
  EXPECT_STREQ(ci.szClientID, "42");
  EXPECT_EQ(ci.nSessionRights, 0x15);
}

TEST_F(Login, ReplyCarrying1051CountsAsSuccess) {
  ServeLogin(1051, "7", 0x16);
  EXPECT_EQ(UserLogin(&ci, "admin", "pelum"), 0);
  EXPECT_EQ(ci.nState, LOGGED_IN);
  EXPECT_STREQ(ci.szClientID, "7");
  EXPECT_EQ(ci.nSessionRights, 0x16);
}

TEST_F(Login, WrongPasswordGives2013AndKeepsWaitingForLogin) {
  ServeLogin(1050, "");
  testing::internal::CaptureStdout();
  EXPECT_EQ(UserLogin(&ci, "admin", "wrong"), 2013);
  EXPECT_TRUE(Contains(testing::internal::GetCapturedStdout(), "Invalide user name or password!\n"));
  EXPECT_EQ(ci.nState, WAIT_FOR_LOGIN_SERVER);
  EXPECT_STREQ(ci.szClientID, "");
}

TEST_F(Login, NoFreeIdGives2014) {
  ServeLogin(1052, "");
  testing::internal::CaptureStdout();
  EXPECT_EQ(UserLogin(&ci, "admin", "pelum"), 2014);
  EXPECT_TRUE(Contains(testing::internal::GetCapturedStdout(),
                       "No free ID or the user can not login more than once!\n"));
}

TEST_F(Login, FailedRegistrationGives2014) {
  ServeLogin(1053, "");
  EXPECT_EQ(UserLogin(&ci, "admin", "pelum"), 2014);
}

TEST_F(Login, OtherServiceCodesPassThrough) {
  ServeLogin(1003, "");
  testing::internal::CaptureStdout();
  EXPECT_EQ(UserLogin(&ci, "admin", "pelum"), 1003);
  EXPECT_TRUE(Contains(testing::internal::GetCapturedStdout(),
                       "Server sent an incorrect ack code, so server state is abnormal!\n"));
  EXPECT_EQ(ci.nState, WAIT_FOR_LOGIN_SERVER);
}

TEST_F(Login, ReplyOfAnotherLengthPrintsTheFailedAssertion) {
  ServeLogin(0, "42", 0x14, 24);
  testing::internal::CaptureStdout();
  EXPECT_EQ(UserLogin(&ci, "admin", "pelum"), 0);
  EXPECT_TRUE(Contains(testing::internal::GetCapturedStdout(), "uCommandDataLen == 26"));
}

TEST_F(Login, BeforeOpenConnectGives2012) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(UserLogin(&ci, "admin", "pelum"), 2012);
  EXPECT_TRUE(Contains(testing::internal::GetCapturedStdout(),
                       "The client isn`t in WAIT_FOR_LOGIN_SERVER state, the client`s "
                       "statemachine is abnormal!\n"));
}

TEST_F(Login, SecondLoginOnALoggedInConnectionGives2012) {
  ServeLogin(0);
  ASSERT_EQ(UserLogin(&ci, "admin", "pelum"), 0);
  EXPECT_EQ(UserLogin(&ci, "admin", "pelum"), 2012);
}

TEST_F(Login, NameAndPasswordOfNinetyFiveCharactersGive2000) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(UserLogin(&ci, std::string(60, 'u').c_str(), std::string(35, 'p').c_str()), 2000);
  EXPECT_TRUE(Contains(testing::internal::GetCapturedStdout(), "Error: Invalid string length\n"));
}

TEST_F(Login, NameAndPasswordOfNinetyFourCharactersAreSent) {
  ServeLogin(0);
  EXPECT_EQ(UserLogin(&ci, std::string(60, 'u').c_str(), std::string(34, 'p').c_str()), 0);
  FinishServer();
  EXPECT_EQ(request.payload.size(), 96u);
}

TEST_F(Login, NullArgumentsGive2000) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(UserLogin(nullptr, "admin", "pelum"), 2000);
  EXPECT_EQ(UserLogin(&ci, nullptr, "pelum"), 2000);
  EXPECT_EQ(UserLogin(&ci, "admin", nullptr), 2000);
  EXPECT_TRUE(Contains(testing::internal::GetCapturedStdout(), "Error: Null input pointer\n"));
}

TEST_F(Login, SessionLoginSendsTheIdTextAndStoresTheRights) {
  Connect([this](FakeConn& conn) {
    if (!conn.Receive(&request)) return;
    Bytes reply = Reply(request.payload[0], 0, {0x16});
    conn.Send(251, reply);
  });
  EXPECT_EQ(UserSessionLogin(&ci, "17"), 0);
  EXPECT_EQ(ci.nSessionRights, 0x16);
  EXPECT_EQ(ci.nState, WAIT_FOR_LOGIN_SERVER);  // unchanged
  FinishServer();
  EXPECT_EQ(request.code, 251);
  EXPECT_EQ(request.payload, (Bytes{'1', '7', 0}));
}

TEST_F(Login, SessionLoginWithoutIdUsesTheStoredOne) {
  Connect([this](FakeConn& conn) {
    if (!conn.Receive(&request)) return;
    conn.Send(251, Reply(request.payload[0], 0, {0x14}));
  });
  snprintf(ci.szClientID, sizeof(ci.szClientID), "305");
  EXPECT_EQ(UserSessionLogin(&ci, nullptr), 0);
  FinishServer();
  EXPECT_EQ(request.payload, (Bytes{'3', '0', '5', 0}));
}

TEST_F(Login, FailedSessionLoginPassesTheCodeOn) {
  Connect([this](FakeConn& conn) {
    if (!conn.Receive(&request)) return;
    conn.Send(251, Reply(request.payload[0], 1054, {0}));
  });
  ci.nSessionRights = 0x15;
  testing::internal::CaptureStdout();
  EXPECT_EQ(UserSessionLogin(&ci, "9"), 1054);
  EXPECT_TRUE(Contains(testing::internal::GetCapturedStdout(), "UserSessionLogin[251] failed\n"));
  EXPECT_EQ(ci.nSessionRights, 0x15);
}

TEST_F(Login, LogoutSendsSubCodeZeroAndTheIdText) {
  ServeOne(Reply(0, 0));
  EXPECT_EQ(UserLogout(&ci, "42"), 0);
  FinishServer();
  EXPECT_EQ(request.code, 255);
  EXPECT_EQ(request.payload, (Bytes{0, '4', '2', 0}));
  EXPECT_GE(ci.nCmdSock, 0);  // the connection stays open
}

TEST_F(Login, LogoutWithoutIdUsesTheStoredOne) {
  ServeOne(Reply(0, 0));
  snprintf(ci.szClientID, sizeof(ci.szClientID), "8");
  EXPECT_EQ(UserLogout(&ci, nullptr), 0);
  FinishServer();
  EXPECT_EQ(request.payload, (Bytes{0, '8', 0}));
}

TEST_F(Login, LogoutOfTheOwnSessionEndsWithTheConnectionClosed) {
  // The service ends the session and with it this connection before it can answer.
  Connect([this](FakeConn& conn) { conn.Receive(&request); });
  EXPECT_EQ(UserLogout(&ci, "42"), 2001);
}

TEST_F(Login, NullClientGives2000) {
  EXPECT_EQ(UserSessionLogin(nullptr, "1"), 2000);
  EXPECT_EQ(UserLogout(nullptr, "1"), 2000);
}

}  // namespace
