// The notification and discovery ports of the real kelsrv over loopback: registration,
// replacement, the kick notice, and the discovery echo.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <memory>

#include "tests/process/raw_client.h"
#include "tests/process/service_harness.h"

using namespace kel_test;

namespace {

constexpr unsigned char kNotify = 252;

class Notify : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string d = dir.path();
    WriteFile(dir.File("kel.config"),
              "KEL_CFG_EVENTLOG_FILE = " + d + "/kel_event.log\nKEL_CFG_ACCOUNT_FILE = " + d +
                  "/kel_account\nKEL_CFG_INIT_LOG_FILE = " + d + "/kel_init.log\n" +
                  "KEL_CFG_CLIENT_LISTEN_PORT = " + std::to_string(port) +
                  "\nKEL_CFG_ACK_LISTEN_PORT = " + std::to_string(ackPort) +
                  "\nKEL_CFG_BROADCAST_LISTEN_PORT = " + std::to_string(discoveryPort) + "\n");
    srv = std::make_unique<ServiceProcess>(d, std::vector<std::string>{dir.File("kel.config")});
    ASSERT_TRUE(WaitFor([&] { return ReadFile(dir.File("kel_init.log")) == "success\n"; }))
        << srv->Output();
  }

  void TearDown() override {
    kill(srv->pid(), SIGRTMIN + 1);
    EXPECT_TRUE(srv->WaitExit(std::chrono::seconds(30))) << srv->Output();
    EXPECT_FALSE(srv->OutputContains("Sanitizer")) << srv->Output();
  }

  // A notification connection that registered `id`; the first packet it got back in *reply.
  std::unique_ptr<RawClient> Register(const std::string& id, Reply* reply) {
    auto c = std::make_unique<RawClient>(ackPort);
    std::string text = '\x01' + id;  // then zero-padded to 21 bytes
    text.resize(21, '\0');
    *reply = c->Exchange(kNotify, std::vector<unsigned char>(text.begin(), text.end()), 3000);
    return c;
  }

  TempDir dir;
  int port = FreePort(), ackPort = FreePort(), discoveryPort = FreePort();
  std::unique_ptr<ServiceProcess> srv;
};

TEST_F(Notify, ARegistrationIsConfirmedAndAnUnknownIdIsClosed) {
  RawClient session(port);
  const std::string id = RawClient::IdOf(session.Login("guest", "rovak"));
  Reply ok;
  auto notify = Register(id, &ok);
  EXPECT_TRUE(ok.result == 0 && ok.code == kNotify && ok.data == std::vector<unsigned char>{1});

  Reply refused;
  Register("99", &refused);
  EXPECT_EQ(refused.result, 2) << srv->Output();
}

TEST_F(Notify, ASecondRegistrationClosesTheFirstAndTakesTheKickNotice) {
  RawClient first(port);
  const std::string id = RawClient::IdOf(first.Login("admin", "pelum"));
  Reply r1, r2;
  auto old = Register(id, &r1);
  auto current = Register(id, &r2);
  ASSERT_TRUE(r1.result == 0 && r2.result == 0);
  EXPECT_EQ(old->Receive(3000).result, 2);

  RawClient second(port);
  EXPECT_EQ(second.Login("admin", "pelum").RetCode(), 1051);
  Reply kick = current->Receive(3000);
  EXPECT_TRUE(kick.result == 0 && kick.code == kNotify && kick.data == std::vector<unsigned char>{7});
}

// A full-size datagram without a zero byte must come back whole and be logged bounded.
TEST_F(Notify, DiscoveryDatagramsAreEchoedByteForByte) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  const timeval wait{3, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof(wait));
  sockaddr_in to{AF_INET, htons(static_cast<uint16_t>(discoveryPort)), {htonl(INADDR_LOOPBACK)}, {}};
  std::string sent(1024, 'x'), back(2048, '\0');
  sent[7] = '\x01';
  ASSERT_EQ(sendto(fd, sent.data(), sent.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof(to)), 1024);
  back.resize(static_cast<size_t>(std::max<ssize_t>(0, recv(fd, back.data(), back.size(), 0))));
  close(fd);
  EXPECT_EQ(back, sent);
  EXPECT_TRUE(srv->OutputContains("Received broadcast msg xxxxxxx.xxx"));
}

}  // namespace
