// The notification and discovery ports of the real kelsrv over loopback: registration,
// replacement, the kick notice, and the discovery echo.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/process/raw_client.h"
#include "tests/process/service_harness.h"

using namespace kel_test;
using namespace std::chrono_literals;

namespace {

constexpr unsigned char kNotify = 252;

class Notify : public ::testing::Test {
 protected:
  void SetUp() override {
    port = FreePort();
    ackPort = FreePort();
    discoveryPort = FreePort();
    std::string config;
    std::istringstream base(TestConfig(dir.path(), port));
    for (std::string line; std::getline(base, line);)
      if (line.find("ACK_LISTEN") == std::string::npos &&
          line.find("BROADCAST_LISTEN") == std::string::npos)
        config += line + "\n";
    WriteFile(dir.File("kel.config"),
              config + "KEL_CFG_ACK_LISTEN_PORT = " + std::to_string(ackPort) +
                  "\nKEL_CFG_BROADCAST_LISTEN_PORT = " + std::to_string(discoveryPort) + "\n");
    srv = std::make_unique<ServiceProcess>(dir.path(),
                                           std::vector<std::string>{dir.File("kel.config")});
    ASSERT_TRUE(WaitFor([&] { return ReadFile(dir.File("kel_init.log")) == "success\n"; }))
        << srv->Output();
  }

  void TearDown() override {
    kill(srv->pid(), SIGRTMIN + 1);
    EXPECT_TRUE(srv->WaitExit(30s)) << srv->Output();
    EXPECT_FALSE(srv->OutputContains("Sanitizer")) << srv->Output();
  }

  // A notification connection that registered `id`; the first packet it got back in *reply.
  std::unique_ptr<RawClient> Register(const std::string& id, Reply* reply) {
    auto c = std::make_unique<RawClient>(ackPort);
    std::vector<unsigned char> data(21, 0);
    data[0] = 1;
    std::copy(id.begin(), id.end(), data.begin() + 1);
    *reply = c->Exchange(kNotify, data, 3000);
    return c;
  }

  TempDir dir;
  int port = 0, ackPort = 0, discoveryPort = 0;
  std::unique_ptr<ServiceProcess> srv;
};

TEST_F(Notify, ARegistrationIsConfirmedAndAnUnknownIdIsClosed) {
  RawClient session(port);
  const std::string id = RawClient::IdOf(session.Login("guest", "rovak"));
  Reply ok;
  auto notify = Register(id, &ok);
  ASSERT_EQ(ok.result, 0);
  EXPECT_EQ(ok.code, kNotify);
  EXPECT_EQ(ok.data, std::vector<unsigned char>{1});

  Reply refused;
  Register("99", &refused);
  EXPECT_EQ(refused.result, 2) << srv->Output();
  EXPECT_TRUE(srv->OutputContains("Cannot find Client[99]"));
}

TEST_F(Notify, ASecondRegistrationClosesTheFirstAndTakesTheKickNotice) {
  RawClient first(port);
  const std::string id = RawClient::IdOf(first.Login("admin", "pelum"));
  Reply r1, r2;
  auto old = Register(id, &r1);
  auto current = Register(id, &r2);
  ASSERT_EQ(r1.result, 0);
  ASSERT_EQ(r2.result, 0);
  EXPECT_EQ(old->Receive(3000).result, 2);

  RawClient second(port);
  EXPECT_EQ(second.Login("admin", "pelum").RetCode(), 1051);
  Reply kick = current->Receive(3000);
  ASSERT_EQ(kick.result, 0);
  EXPECT_EQ(kick.code, kNotify);
  EXPECT_EQ(kick.data, std::vector<unsigned char>{7});
}

// A full-size datagram without a zero byte must come back whole and be logged safely.
TEST_F(Notify, DiscoveryDatagramsAreEchoedByteForByte) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_GE(fd, 0);
  timeval wait{3, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof(wait));
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(static_cast<uint16_t>(discoveryPort));
  std::vector<std::string> messages{std::string("ZEP", 4), std::string(1024, 'x')};
  messages[1][7] = '\x01';
  for (const std::string& sent : messages) {
    ASSERT_EQ(sendto(fd, sent.data(), sent.size(), 0, reinterpret_cast<sockaddr*>(&to),
                     sizeof(to)),
              static_cast<ssize_t>(sent.size()));
    char back[2048];
    const ssize_t got = recv(fd, back, sizeof(back), 0);
    ASSERT_GT(got, 0);
    EXPECT_EQ(std::string(back, static_cast<size_t>(got)), sent);
  }
  close(fd);
  EXPECT_TRUE(srv->OutputContains("Received broadcast msg xxxxxxx.xxx"));
}

}  // namespace
