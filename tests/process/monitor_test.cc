// The watchdog's checks in the real kelsrv on a simulated controller: hot-plug under a storm
// of plugs and pulls, a clean stop in the middle of one, and sessions whose clients fell
// silent being ended.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdlib>
#include <memory>
#include <thread>

#include "tests/process/raw_client.h"
#include "tests/process/service_harness.h"

using namespace kel_test;

namespace {

constexpr unsigned char kNotify = 252;
constexpr unsigned char kHotplugNotice = 3;

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class Monitor : public ::testing::Test {
 protected:
  // `env` is set for the service only (name, value pairs).
  void Start(const std::vector<std::pair<const char*, const char*>>& env = {}) {
    ASSERT_TRUE(MakeSimFolder(dir.File("sim"), 2));
    std::string cfg = TestConfig(dir.path(), port);
    const size_t ack = cfg.find("KEL_CFG_ACK_LISTEN_PORT");
    cfg.replace(ack, cfg.find('\n', ack) - ack, "KEL_CFG_ACK_LISTEN_PORT = " + std::to_string(ackPort));
    WriteFile(dir.File("kel.config"), cfg);
    for (const auto& [name, value] : env) setenv(name, value, 1);
    srv = std::make_unique<ServiceProcess>(dir.path(),
                                           std::vector<std::string>{dir.File("kel.config")});
    for (const auto& [name, value] : env) unsetenv(name);
    ASSERT_TRUE(WaitFor([&] { return ReadFile(dir.File("kel_init.log")) == "success\n"; }))
        << srv->Output();
  }

  bool Sim(const std::vector<std::string>& args) {
    std::vector<std::string> argv{KELSIM_BIN, "--dir", dir.File("sim")};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv);
  }

  // 21 changes of the second disk over about a second, pulls and plugs in turn, so that it
  // ends pulled; `halfway` runs after half of them.
  void Storm(const std::function<void()>& halfway = {}) {
    for (int i = 0; i < 21; ++i) {
      if (i == 10 && halfway) halfway();
      if (i % 2 == 0) Sim({"unplug", "sdb"});
      else Sim({"plug", "sdb", "--channel", "0", "--position", "slave"});
      std::this_thread::sleep_for(std::chrono::milliseconds(45));  // the storm's pace
    }
  }

  std::unique_ptr<RawClient> Register(const std::string& id) {
    auto c = std::make_unique<RawClient>(ackPort);
    std::string text = '\x01' + id;
    text.resize(21, '\0');
    Reply r = c->Exchange(kNotify, std::vector<unsigned char>(text.begin(), text.end()), 3000);
    EXPECT_EQ(r.result, 0) << srv->Output();
    return c;
  }

  void StopCleanly() {
    kill(srv->pid(), SIGRTMIN + 1);
    int status = -1;
    EXPECT_TRUE(srv->WaitExit(std::chrono::seconds(30), &status)) << srv->Output();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << srv->Output();
    EXPECT_FALSE(srv->OutputContains("Sanitizer")) << srv->Output();
  }

  TempDir dir;
  int port = FreePort(), ackPort = FreePort();
  std::unique_ptr<ServiceProcess> srv;
};

TEST_F(Monitor, APlugStormEndsInTheFinalStateWithMatchingLogLinesAndNotices) {
  Start();
  RawClient session(port);
  auto notices = Register(RawClient::IdOf(session.Login("guest", "rovak")));
  Storm();

  // Every logged change is the difference of two looks at the controller, so the lines
  // alternate from the first pull and, with the disk gone at the end, end on a pull.
  ASSERT_TRUE(WaitFor([&] {
    const std::string log = ReadFile(dir.File("kel_event.log"));
    const size_t in = Count(log, "pluged in"), out = Count(log, "pluged out");
    return out == in + 1 && (in == 0 || log.rfind("pluged out") > log.rfind("pluged in"));
  })) << ReadFile(dir.File("kel_event.log"));
  bool hotplug = false;
  for (int i = 0; i < 20 && !hotplug; ++i) {
    Reply r = notices->Receive(3000);
    ASSERT_EQ(r.result, 0) << srv->Output();
    hotplug = r.code == kNotify && r.data == std::vector<unsigned char>{kHotplugNotice};
  }
  EXPECT_TRUE(hotplug);
  StopCleanly();
}

TEST_F(Monitor, AStopSignalDuringAPlugStormEndsTheServiceCleanly) {
  Start();
  Storm([&] { kill(srv->pid(), SIGRTMIN + 1); });
  StopCleanly();
}

// A client that never answers the probes, and one that vanished without logging out, are
// both ended once they have missed more probes than the limit.
TEST_F(Monitor, SilentAndVanishedClientsAreEndedAfterTheMissLimit) {
  Start({{"KEL_ACK_INTERVAL_MS", "100"}, {"KEL_ACK_MISS_LIMIT", "2"}});
  RawClient silent(port);
  const std::string silentId = RawClient::IdOf(silent.Login("guest", "rovak"));
  auto notices = Register(silentId);
  std::string goneId;
  {
    RawClient gone(port);
    goneId = RawClient::IdOf(gone.Login("admin", "pelum"));
  }
  for (const std::string& id : {silentId, goneId})
    EXPECT_TRUE(WaitFor([&] { return srv->OutputContains("Client[" + id + "] is dead"); },
                        std::chrono::seconds(30)))
        << srv->Output();
  // The silent client's notification connection goes with its session.
  Reply r;
  for (int i = 0; i < 10 && r.result != 2; ++i) r = notices->Receive(3000);
  EXPECT_EQ(r.result, 2);
  RawClient again(port);
  EXPECT_NE(again.SessionLogin(goneId).RetCode(), 0);
  RawClient admin(port);
  EXPECT_EQ(admin.Login("admin", "pelum").RetCode(), 0);
  StopCleanly();
}

}  // namespace
