// KelExecuteCmd: matching replies, retries after wrong replies, time-outs and the draining
// of replies that arrive too late.
#include <gtest/gtest.h>

#include "tests/client/client_fixture.h"

using namespace kel_test;

namespace {

class Exchange : public ClientTest {
 protected:
  // Sends 255/`sub` with a one-byte request and returns KelExecuteCmd's result.
  int Run(unsigned char sub, unsigned int timeoutSec = 1, int useRetCode = 1) {
    code = 255;
    data[0] = sub;
    len = 1;
    return KelExecuteCmd(ci.nCmdSock, &code, data, &len, timeoutSec, useRetCode);
  }

  unsigned char code = 0;
  unsigned char data[kClientBufSize] = {};
  unsigned short len = 0;
};

TEST_F(Exchange, MatchingReplyGivesItsReturnCodeAndOverwritesTheBuffer) {
  ServeOne(Reply(9, 1234, {0xAB}));
  EXPECT_EQ(Run(9), 1234);
  EXPECT_EQ(code, 255);
  EXPECT_EQ(len, 6);
  EXPECT_EQ(data[5], 0xAB);
  FinishServer();
  EXPECT_EQ(request.code, 255);
  EXPECT_EQ(Hex(request.payload), "09");
}

TEST_F(Exchange, WithoutUseRetCodeAnyMatchingReplyIsSuccess) {
  ServeOne(Reply(9, 77));
  EXPECT_EQ(Run(9, 1, 0), 0);
}

TEST_F(Exchange, NegativeReturnCodeIsReadAsSigned) {
  ServeOne(Reply(9, -5));
  EXPECT_EQ(Run(9), -5);
}

TEST_F(Exchange, ThreeWrongRepliesGive1002AfterSendingTheRequestThreeTimes) {
  Connect([&](FakeConn& conn) {
    Packet p;
    while (conn.Receive(&p, std::chrono::seconds(3))) {
      EXPECT_EQ(Hex(p.payload), "04");
      ++requests;
      conn.Send(255, Reply(5, 0));  // the sub-code of another command
    }
  });
  testing::internal::CaptureStdout();
  int ret = Run(4);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(ret, 1002);
  CloseConnect(&ci);
  FinishServer();
  EXPECT_EQ(requests, 3);
  size_t lines = 0;
  for (size_t at = 0; (at = out.find("Server send an incorrect cmd code 255", at)) != std::string::npos; ++at)
    ++lines;
  EXPECT_EQ(lines, 3u) << out;
}

TEST_F(Exchange, WrongCodeThenRightReplySucceedsOnTheSecondAttempt) {
  Connect([&](FakeConn& conn) {
    Packet p;
    if (!conn.Receive(&p)) return;
    ++requests;
    conn.Send(250, Reply(4, 0));  // right sub-code, wrong command code
    if (!conn.Receive(&p)) return;
    ++requests;
    conn.Send(255, Reply(4, 0, {1}));
  });
  testing::internal::CaptureStdout();
  EXPECT_EQ(Run(4), 0);
  EXPECT_TRUE(Contains(testing::internal::GetCapturedStdout(), "Server send an incorrect cmd code 250"));
  EXPECT_EQ(data[5], 1);
  FinishServer();
  EXPECT_EQ(requests, 2);
}

TEST_F(Exchange, SilenceGives2002AndTheNextExchangeDiscardsTheLateReply) {
  Event& timedOut = first;
  Event& lateSent = second;
  Connect([&](FakeConn& conn) {
    Packet p;
    if (!conn.Receive(&p) || !timedOut.Wait()) return;
    conn.Send(255, Reply(9, 0));  // the answer to the first request, too late
    lateSent.Notify();
    if (!conn.Receive(&p)) return;
    conn.Send(255, Reply(9, 42));
  });
  EXPECT_EQ(Run(9, 1), 2002);
  EXPECT_TRUE(bClearRevBuf);
  timedOut.Notify();
  ASSERT_TRUE(lateSent.Wait());
  // Without draining, the late reply (code 0) would be taken for the answer.
  EXPECT_EQ(Run(9, 1), 42);
  EXPECT_FALSE(bClearRevBuf);
}

TEST_F(Exchange, ClosedConnectionGives2001AndMarksTheSocketStale) {
  Connect([](FakeConn& conn) {
    Packet p;
    conn.Receive(&p);  // then close without answering
  });
  EXPECT_EQ(Run(9), 2001);
  EXPECT_TRUE(bClearRevBuf);
}

TEST_F(Exchange, SendOnAClosedSocketGives2001WithItsMessage) {
  testing::internal::CaptureStdout();
  code = 255;
  data[0] = 9;
  len = 1;
  EXPECT_EQ(KelExecuteCmd(-1, &code, data, &len, 1, 1), 2001);
  EXPECT_TRUE(Contains(testing::internal::GetCapturedStdout(), "Send packet Request to server failed!!!"));
}

TEST_F(Exchange, RequestThatWouldNotFitAPacketIsRefusedWith2015) {
  code = 255;
  len = static_cast<unsigned short>(kClientBufSize - 8);  // 9 bytes of framing make 2065
  EXPECT_EQ(KelExecuteCmd(-1, &code, data, &len, 1, 1), 2015);
}

TEST_F(Exchange, MatchingReplyWithoutRoomForAReturnCodeGives2003) {
  // Before a login the service echoes a request it does not handle.
  ServeOne({9});
  EXPECT_EQ(Run(9), 2003);
}

}  // namespace
