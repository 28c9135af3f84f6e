// The real kelsrv binary: start-up, supervision, stopping, and refusal of a taken port.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <sstream>
#include <thread>

#include "tests/process/raw_client.h"
#include "tests/process/service_harness.h"

using namespace kel_test;
using namespace std::chrono_literals;

namespace {

class KelsrvProcess : public ::testing::Test {
 public:
  void SetUp() override {
    port = FreePort();
    config = dir.File("kel.config");
    WriteFile(config, TestConfig(dir.path(), port));
  }

  // Starts the service and waits until its init log says it is serving.
  std::unique_ptr<ServiceProcess> Start(std::vector<std::string> args = {}) {
    if (args.empty()) args = {config};
    auto srv = std::make_unique<ServiceProcess>(dir.path(), args);
    bool up = WaitFor([&] { return ReadFile(dir.File("kel_init.log")) == "success\n"; });
    EXPECT_TRUE(up) << srv->Output();
    return srv;
  }

  // Stops the service the way an operator does and checks nothing is left running.
  void StopOrderly(ServiceProcess& srv) {
    ASSERT_EQ(kill(srv.pid(), SIGRTMIN + 1), 0);
    int status = 0;
    ASSERT_TRUE(srv.WaitExit(20s, &status)) << srv.Output();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "supervisor status " << status;
    EXPECT_TRUE(WaitFor([&] { return !srv.GroupAlive(); }, 5s)) << srv.Output();
    EXPECT_FALSE(srv.OutputContains("Sanitizer")) << srv.Output();
  }

  TempDir dir;
  int port = 0;
  std::string config;
};

TEST_F(KelsrvProcess, ReadsKelConfigFromWorkingFolderWithoutArgumentsAndServes) {
  auto srv = std::make_unique<ServiceProcess>(dir.path(), std::vector<std::string>{});
  EXPECT_TRUE(WaitFor([&] { return ReadFile(dir.File("kel_init.log")) == "success\n"; }))
      << srv->Output();
  int fd = ConnectLoopback(port);
  EXPECT_GE(fd, 0);
  if (fd >= 0) close(fd);
  EXPECT_TRUE(WaitFor([&] { return srv->OutputContains("New connect receieved in main thread"); }));
  EXPECT_TRUE(srv->OutputContains("RAID engine started\n")) << srv->Output();
  StopOrderly(*srv);
}

TEST_F(KelsrvProcess, RewritesAFaultyConfigurationWithAllFourteenSettings) {
  // A key given twice makes the read fail; the file is rewritten from the values in force.
  WriteFile(config, TestConfig(dir.path(), port) + "KEL_CFG_AUTO_SMR = F\nKEL_CFG_AUTO_SMR = T\n");
  auto srv = Start();
  std::istringstream lines(ReadFile(config));
  std::vector<std::string> keys;
  for (std::string line; std::getline(lines, line);) keys.push_back(line.substr(0, line.find(" = ")));
  std::vector<std::string> expected = {
      "KEL_CFG_BEEP_ENABLE",           "KEL_CFG_HOTPLUG_INTERVAL",   "KEL_CFG_CHECKDISK_INTERVAL",
      "KEL_CFG_EVENTLOG_FILE",         "KEL_CFG_ACCOUNT_FILE",       "KEL_CFG_CLIENT_LISTEN_PORT",
      "KEL_CFG_ACK_LISTEN_PORT",       "KEL_CFG_BROADCAST_LISTEN_PORT", "KEL_CFG_MAX_CLIENT_COUNT",
      "KEL_CFG_MAX_CLIENT_SOCKETS",    "KEL_CFG_EVENTLOG_MAXSIZE",   "KEL_CFG_EVENTLOG_BYTES_PER_ITEM",
      "KEL_CFG_INIT_LOG_FILE",         "KEL_CFG_AUTO_SMR"};
  EXPECT_EQ(keys, expected);
  EXPECT_NE(ReadFile(config).find("KEL_CFG_CLIENT_LISTEN_PORT = " + std::to_string(port) + "\n"),
            std::string::npos);
  EXPECT_NE(ReadFile(config).find("KEL_CFG_AUTO_SMR = FALSE\n"), std::string::npos);
  EXPECT_TRUE(srv->OutputContains("Multiple configure field KEL_CFG_AUTO_SMR"));
  StopOrderly(*srv);
}

// Ten clients log in and out as fast as they can while the service is stopped: every
// connection thread and the worker still queue event-log lines, so the stop must end them
// before the log they write to goes. `stop` is SIGRTMIN+1 or SIGTERM to the supervisor.
void StopUnderLoginStorm(KelsrvProcess& t, ServiceProcess& srv, int stopSignal) {
  std::atomic<bool> stopping{false};
  std::atomic<int> logins{0};
  std::vector<std::thread> clients;
  for (int i = 0; i < 10; ++i)
    clients.emplace_back([&] {
      while (!stopping) {
        RawClient c(t.port);
        Reply r = c.Login("guest", "rovak");
        if (r.result != 0 || r.RetCode() != 0) continue;
        ++logins;
        c.Logout(RawClient::IdOf(r));
      }
    });
  EXPECT_TRUE(WaitFor([&] { return logins >= 20; })) << srv.Output();
  ASSERT_EQ(kill(srv.pid(), stopSignal), 0);
  int status = 0;
  bool ended = srv.WaitExit(30s, &status);
  stopping = true;
  for (auto& c : clients) c.join();
  ASSERT_TRUE(ended) << srv.Output();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "supervisor status " << status;
  EXPECT_TRUE(WaitFor([&] { return !srv.GroupAlive(); }, 5s)) << srv.Output();
  std::string out = srv.Output();
  EXPECT_EQ(out.find("Sanitizer"), std::string::npos) << out;
  EXPECT_EQ(out.find("ended abnormally"), std::string::npos) << out;
  EXPECT_EQ(out.find("Child process exit, create a new one"), std::string::npos) << out;
  const char* steps[] = {"Get exit sigm break",      "Kill all SMR",
                         "delete kelSigParser",      "delete kelWatchDog",
                         "delete kelBroadcast",      "delete kelEventListen",
                         "delete kelHpListen",       "delete kelCliThreadList",
                         "delete kelCmdParser",      "delete kelEH",
                         "delete kelLog",            "delete StopTimerDaemonThread()",
                         "delete kelCliHashTable",   "delete kelAccount",
                         "delete kelMainListenSocket", "delete kelConfig"};
  size_t at = 0;
  for (const char* step : steps) {
    size_t found = out.find(step, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << step << "\n" << out;
    at = found;
  }
}

TEST_F(KelsrvProcess, OrderlyStopDuringALoginStormRunsTheWholeShutdownSequence) {
  auto srv = Start();
  StopUnderLoginStorm(*this, *srv, SIGRTMIN + 1);
}

// kill PID, timeout and service managers send SIGTERM to the supervisor: an orderly stop
// too, never a working process left running on its own.
TEST_F(KelsrvProcess, TermSignalToTheSupervisorStopsBothProcessesInOrder) {
  auto srv = Start();
  StopUnderLoginStorm(*this, *srv, SIGTERM);
}

TEST_F(KelsrvProcess, InterruptStopsBothProcessesLikeCtrlC) {
  auto srv = Start();
  ASSERT_NE(srv->WaitForChild(), -1);
  kill(-srv->pid(), SIGINT);  // a terminal sends it to the whole foreground group
  ASSERT_TRUE(srv->WaitExit(20s)) << srv->Output();
  EXPECT_TRUE(WaitFor([&] { return !srv->GroupAlive(); }, 5s));
  EXPECT_TRUE(srv->OutputContains("Get exit sigm break"));
}

TEST_F(KelsrvProcess, KilledWorkingProcessIsReplacedAtOnce) {
  auto srv = Start();
  pid_t first = srv->WaitForChild();
  ASSERT_GT(first, 0);
  for (int round = 0; round < 2; ++round) {
    pid_t victim = srv->WaitForChild();
    WriteFile(dir.File("kel_init.log"), "");
    ASSERT_EQ(kill(victim, SIGKILL), 0);
    ASSERT_TRUE(WaitFor([&] {
      std::vector<pid_t> kids = ChildrenOf(srv->pid());
      return !kids.empty() && kids.front() != victim;
    })) << srv->Output();
    EXPECT_TRUE(WaitFor([&] { return ReadFile(dir.File("kel_init.log")) == "success\n"; }));
  }
  EXPECT_TRUE(srv->OutputContains("Child process exit, create a new one"));
  int fd = -1;
  EXPECT_TRUE(WaitFor([&] { return (fd = ConnectLoopback(port)) >= 0; }));
  if (fd >= 0) close(fd);
  StopOrderly(*srv);
}

TEST_F(KelsrvProcess, TermSignalToWorkingProcessOnlyPrints) {
  auto srv = Start();
  pid_t child = srv->WaitForChild();
  ASSERT_GT(child, 0);
  ASSERT_EQ(kill(child, SIGTERM), 0);
  EXPECT_TRUE(WaitFor([&] { return srv->OutputContains("Reset package remove flag\n"); }));
  EXPECT_TRUE(Alive(child));
  int fd = ConnectLoopback(port);
  EXPECT_GE(fd, 0);
  if (fd >= 0) close(fd);
  StopOrderly(*srv);
}

TEST_F(KelsrvProcess, SecondInstanceOnATakenPortStopsWholly) {
  auto first = Start();
  TempDir otherDir;
  std::string otherConfig = otherDir.File("kel.config");
  WriteFile(otherConfig, TestConfig(otherDir.path(), port));
  ServiceProcess second(otherDir.path(), {otherConfig});
  int status = 0;
  ASSERT_TRUE(second.WaitExit(20s, &status)) << second.Output();
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  // The supervisor dies of its own SIGTERM; the working process ignores it and ends two
  // seconds after reporting.
  EXPECT_TRUE(second.GroupAlive());
  EXPECT_TRUE(WaitFor([&] { return !second.GroupAlive(); }, 10s));
  std::string out = second.Output();
  EXPECT_NE(out.find("Listen socket cannot be started, please check whether there is another server"),
            std::string::npos) << out;
  EXPECT_NE(out.find("service exit"), std::string::npos) << out;
  EXPECT_NE(out.find("the int value is 8 \n"), std::string::npos) << out;
  EXPECT_EQ(ReadFile(otherDir.File("kel_init.log")), "");
  // The first instance is untouched.
  int fd = ConnectLoopback(port);
  EXPECT_GE(fd, 0);
  if (fd >= 0) close(fd);
  StopOrderly(*first);
}

TEST_F(KelsrvProcess, DriverTalksToTheSimulatorNamedBeforeOrAfterTheConfiguration) {
  std::string sim = dir.File("named-sim");
  ASSERT_TRUE(MakeSimFolder(sim, 2));
  // Simulated disks are numbered from 1 in their serials.
  ASSERT_TRUE(RunProgram({KELSIM_BIN, "--dir", sim, "list", "--json"}, dir.File("list.json")));
  const std::string list = ReadFile(dir.File("list.json"));
  EXPECT_NE(list.find("\"serial\":\"ZEPSIM00000001\""), std::string::npos) << list;
  EXPECT_NE(list.find("\"serial\":\"ZEPSIM00000002\""), std::string::npos) << list;
  for (bool before : {true, false}) {
    WriteFile(dir.File("kel_init.log"), "");
    std::vector<std::string> args =
        before ? std::vector<std::string>{"--sim", sim, config} : std::vector<std::string>{config, "--sim", sim};
    auto srv = Start(args);
    EXPECT_TRUE(WaitFor([&] {
      return srv->OutputContains("RAID driver ready, 1 controller(s) simulated in " + sim + "\n");
    })) << srv->Output();
    StopOrderly(*srv);
  }
}

TEST_F(KelsrvProcess, RefusesAnUnknownOptionOrASimulatorWithoutFolderWithUsage) {
  const struct { std::vector<std::string> args; const char* says; } cases[] = {
      {{"--bogus"}, "unknown option --bogus"}, {{config, "--sim"}, "--sim needs a folder"}};
  for (const auto& c : cases) {
    ServiceProcess srv(dir.path(), c.args);
    int status = 0;
    ASSERT_TRUE(srv.WaitExit(10s, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << c.says;
    EXPECT_TRUE(srv.OutputContains(c.says)) << srv.Output();
  }
}

}  // namespace
