// The nine service-local command functions: the request bytes each one sends, how each
// reply is decoded, and the failures that never reach the service.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/client/client_fixture.h"

using namespace kel_test;

namespace {

using LocalCmd = ClientTest;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST_F(LocalCmd, LogStatusSendsSubCodeOneAndDecodesThreeValues) {
  ServeOne(Reply(1, 0, Cat({BigEndian32(1), BigEndian32(2), BigEndian32(0x10), BigEndian32(17)})));
  unsigned int overLimit = 9, lines = 0;
  unsigned long long size = 0;
  EXPECT_EQ(UserGetLogStatus(&ci, &overLimit, &size, &lines), 0);
  EXPECT_EQ(overLimit, 1u);
  EXPECT_EQ(size, (2ull << 32) + 0x10);
  EXPECT_EQ(lines, 17u);
  FinishServer();
  EXPECT_EQ(request.code, 255);
  EXPECT_EQ(Hex(request.payload), "01");
}

TEST_F(LocalCmd, LogStatusAcceptsNullSizeAndLines) {
  ServeOne(Reply(1, 0, Cat({BigEndian32(0), BigEndian32(0), BigEndian32(5), BigEndian32(1)})));
  unsigned int overLimit = 9;
  EXPECT_EQ(UserGetLogStatus(&ci, &overLimit, nullptr, nullptr), 0);
  EXPECT_EQ(overLimit, 0u);
}

TEST_F(LocalCmd, ClearLogSendsSubCodeTwo) {
  ServeOne(Reply(2, 0));
  EXPECT_EQ(UserClearLog(&ci), 0);
  FinishServer();
  EXPECT_EQ(Hex(request.payload), "02");
}

TEST_F(LocalCmd, LogItemsSendsDirectionFirstAndCountAndCopiesTheText) {
  const std::string text = "line one\nline two\n";
  ServeOne(Reply(3, 0, Cat({BigEndian32(2), BigEndian32(static_cast<unsigned>(text.size())),
                            Bytes(text.begin(), text.end())})));
  unsigned int count = 20, textLen = 0;
  char buf[kClientBufSize];
  memset(buf, 'x', sizeof(buf));
  EXPECT_EQ(UserGetLogItems(&ci, 1, 0x01020304, &count, buf, &textLen), 0);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(textLen, text.size());
  EXPECT_STREQ(buf, text.c_str());
  FinishServer();
  EXPECT_EQ(Hex(request.payload), "03 01 01 02 03 04 00 00 00 14");
}

TEST_F(LocalCmd, LogItemsWithoutTextLengthGives2015AndNoCount) {
  unsigned int count = 20;
  char buf[kClientBufSize];
  EXPECT_EQ(UserGetLogItems(&ci, 0, 0, &count, buf, nullptr), 2015);
  EXPECT_EQ(count, 0u);
}

TEST_F(LocalCmd, LogItemsRefusesATextLengthBeyondTheReply) {
  ServeOne(Reply(3, 0, Cat({BigEndian32(1), BigEndian32(500), Bytes{'a', '\n'}})));
  unsigned int count = 1, textLen = 0;
  char buf[kClientBufSize];
  EXPECT_EQ(UserGetLogItems(&ci, 0, 0, &count, buf, &textLen), 2015);
}

TEST_F(LocalCmd, LogItemsPassesTheServiceCodeOn) {
  ServeOne(Reply(3, 1001));
  unsigned int count = 5, textLen = 0;
  char buf[kClientBufSize];
  testing::internal::CaptureStdout();
  EXPECT_EQ(UserGetLogItems(&ci, 0, 0, &count, buf, &textLen), 1001);
  EXPECT_TRUE(Contains(testing::internal::GetCapturedStdout(), "Execute cmd[255] failed\n"));
  EXPECT_EQ(count, 5u);  // outputs are left alone on failure
}

TEST_F(LocalCmd, GetBeepReadsDataFive) {
  ServeOne(Reply(4, 0, {1}));
  unsigned char on = 0;
  EXPECT_EQ(GetBeepStatus(&ci, &on), 0);
  EXPECT_EQ(on, 1);
  FinishServer();
  EXPECT_EQ(Hex(request.payload), "04");
}

TEST_F(LocalCmd, SetBeepSendsTheSwitchInDataOne) {
  ServeOne(Reply(5, 0));
  EXPECT_EQ(SetBeepStatus(&ci, 1), 0);
  FinishServer();
  EXPECT_EQ(Hex(request.payload), "05 01");
}

TEST_F(LocalCmd, SetBeepPassesARefusalOn) {
  ServeOne(Reply(5, 1002));
  EXPECT_EQ(SetBeepStatus(&ci, 2), 1002);
  FinishServer();
  EXPECT_EQ(Hex(request.payload), "05 02");
}

TEST_F(LocalCmd, ChangePasswdSendsThreeZeroTerminatedTexts) {
  ServeOne(Reply(6, 0));
  EXPECT_EQ(UserChangePasswd(&ci, "guest", "rovak", "n3w"), 0);
  FinishServer();
  EXPECT_EQ(request.payload, Cat({Bytes{6}, Bytes{'g', 'u', 'e', 's', 't', 0},
                                  Bytes{'r', 'o', 'v', 'a', 'k', 0}, Bytes{'n', '3', 'w', 0}}));
}

TEST_F(LocalCmd, ChangePasswdThatWouldExceedAPacketGives2015) {
  // 1 + 1001 + 1001 + 53 = 2056 payload bytes: with 9 of framing one byte over 2064.
  testing::internal::CaptureStdout();
  EXPECT_EQ(UserChangePasswd(&ci, std::string(1000, 'u').c_str(), std::string(1000, 'o').c_str(),
                             std::string(52, 'n').c_str()),
            2015);
  EXPECT_TRUE(Contains(testing::internal::GetCapturedStdout(), "The username+passwd is too long\n"));
}

TEST_F(LocalCmd, ChangePasswdOfExactlyAPacketIsSent) {
  ServeOne(Reply(6, 0));
  // 1 + 1001 + 1001 + 52 = 2055 payload bytes: a packet of exactly 2064.
  EXPECT_EQ(UserChangePasswd(&ci, std::string(1000, 'u').c_str(), std::string(1000, 'o').c_str(),
                             std::string(51, 'n').c_str()),
            0);
  FinishServer();
  EXPECT_EQ(request.payload.size(), 2055u);
}

TEST_F(LocalCmd, ChangePasswdPassesTheAccountStoreCodeOn) {
  ServeOne(Reply(6, 1037));
  EXPECT_EQ(UserChangePasswd(&ci, "admin", "pelum", "x"), 1037);
}

TEST_F(LocalCmd, GetCheckDiskReadsMinutesFromDataFive) {
  ServeOne(Reply(7, 0, BigEndian32(71582)));
  unsigned int minutes = 0;
  EXPECT_EQ(GetCheckDiskDuration(&ci, &minutes), 0);
  EXPECT_EQ(minutes, 71582u);
  FinishServer();
  EXPECT_EQ(Hex(request.payload), "07");
}

TEST_F(LocalCmd, SetCheckDiskSendsMinutesBigEndian) {
  ServeOne(Reply(8, 0));
  EXPECT_EQ(SetCheckDiskDuration(&ci, 100000), 0);
  FinishServer();
  EXPECT_EQ(Hex(request.payload), "08 00 01 86 a0");
}

TEST_F(LocalCmd, TestDataWithSize112IsQuiet) {
  ServeOne(Reply(9, 0, Cat({Bytes{0x00, 0x70}, Bytes(112, 0)})));
  testing::internal::CaptureStdout();
  EXPECT_EQ(GetTestData(&ci), 0);
  EXPECT_FALSE(Contains(testing::internal::GetCapturedStdout(), "Assersion"));
  FinishServer();
  EXPECT_EQ(Hex(request.payload), "09");
}

TEST_F(LocalCmd, TestDataWithAnotherSizePrintsTheFailedAssertion) {
  ServeOne(Reply(9, 0, Cat({Bytes{0x00, 0x64}, Bytes(100, 0)})));
  testing::internal::CaptureStdout();
  EXPECT_EQ(GetTestData(&ci), 0);
  EXPECT_TRUE(Contains(testing::internal::GetCapturedStdout(), "uSize == sizeof(*pData)"));
}

TEST_F(LocalCmd, NullArgumentsGive2000WithTheirMessage) {
  unsigned int u = 0;
  unsigned char c = 0;
  char buf[kClientBufSize];
  testing::internal::CaptureStdout();
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
  EXPECT_TRUE(Contains(testing::internal::GetCapturedStdout(), "Invalid parameters\n"));
}

TEST_F(LocalCmd, CommandOnAClosedConnectionGives2001) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(UserClearLog(&ci), 2001);  // ci was never connected
  EXPECT_TRUE(Contains(testing::internal::GetCapturedStdout(), "Execute cmd[255] failed\n"));
}

}  // namespace
