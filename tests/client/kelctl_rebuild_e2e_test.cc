// Data survives background work: the real kelsrv on a simulated controller with 32 MiB
// disks rebuilds repaired arrays, starts the work again after its working process is
// killed, and rides out a passing fault while a lasting one breaks the task and leaves
// the data where it was.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstring>
#include <future>
#include <string>
#include <vector>

#include "service/task/task_record.h"
#include "tests/client/kelctl_e2e_fixture.h"
#include "webext/client/client_connect.h"
#include "webext/client/client_events.h"
#include "webext/client/client_login.h"

using namespace kel_test;

namespace {

class RebuildE2e : public KelctlE2e {
 protected:
  void MakeSim() override {
    // The controller has two channels: the last three disks sit behind a port multiplier.
    ASSERT_TRUE(Kelsim({"init", "--channels", "2"}));
    ASSERT_TRUE(Kelsim({"add-hub", "--channel", "1", "--position", "slave"}));
    for (int i = 0; i < 6; ++i) {
      std::vector<std::string> args{"add-disk", "--channel", i < 2 ? "0" : "1", "--position",
                                    i == 1 || i > 2 ? "slave" : "master", "--size", "32M",
                                    "--serial", std::string("SIM-sd") + static_cast<char>('a' + i)};
      if (i > 2) args.insert(args.end(), {"--hub-port", std::to_string(i - 3)});
      ASSERT_TRUE(Kelsim(args));
    }
  }

  std::string Out(std::vector<std::string> args) {
    std::string out;
    EXPECT_TRUE(Kelsim(args, &out)) << out;
    return out;
  }

  // A logged-in client keeps the service from starting work on its own.
  void StayLoggedIn() {
    ClientInfoInit(&guest);
    ASSERT_EQ(OpenConnect(&guest, "127.0.0.1", static_cast<unsigned short>(port)), 0);
    ASSERT_EQ(UserLogin(&guest, "guest", "rovak"), 0);
  }

  // The service's index of disk `name` (sda...), or "-1".
  std::string Index(const std::string& name) {
    const std::string json = Kelctl({"--json", "disks"}).out;
    const size_t at = json.find("\"SIM-" + name + "\"");
    if (at == std::string::npos) ADD_FAILURE() << json;
    return std::to_string(at == std::string::npos ? -1 : JsonNumber(json.substr(json.rfind('{', at)), "index"));
  }

  // Creates array "a" of `level` on `members`, fills it with a pattern, pulls `pull` and
  // repairs the array with `blank`. Returns the volume's sum before the pull.
  std::string BuildAndRepair(const std::string& level, const std::vector<std::string>& members,
                             const std::string& pull, const std::string& blank = "sde") {
    std::string disks;
    for (const std::string& m : members) disks += (disks.empty() ? "" : ",") + Index(m);
    const KelctlRun made = Kelctl({"create", level, "--name", "a", "--disks", disks, "--size", "24"});
    EXPECT_EQ(made.status, 0) << made.out << made.err;
    EXPECT_TRUE(Kelsim({"volume", "sda:0", "write", "--seed", "7"}));
    const std::string sum = Out({"volume", "sda:0", "sum"});
    EXPECT_TRUE(Kelsim({"unplug", pull}));
    EXPECT_EQ(Kelctl({"rescan"}).status, 0);
    const KelctlRun repaired = Kelctl({"repair", "a", "--disk", Index(blank)});
    EXPECT_EQ(repaired.status, 0) << repaired.out << repaired.err;
    return sum;
  }

  KelctlRun StartAndWait() {
    const KelctlRun start = Kelctl({"task", "start", "sync", "a"});
    EXPECT_EQ(start.status, 0) << start.out << start.err;
    return Kelctl({"task", "wait", "sync", "a", "--timeout", "180", "--notify-port",
                   std::to_string(AckPort())});
  }

  int AckPort() {
    const std::string cfg = ReadFile(dir.File("kel.config"));
    const std::string key = "KEL_CFG_ACK_LISTEN_PORT = ";
    return std::stoi(cfg.substr(cfg.find(key) + key.size()));
  }

  // How often `text` appears in what the service printed and in its event log.
  size_t Seen(const std::string& text) {
    size_t n = 0;
    for (const std::string& s : {srv->Output(), ReadFile(dir.File("kel_event.log"))})
      for (size_t at = s.find(text); at != std::string::npos; at = s.find(text, at + 1)) ++n;
    return n;
  }

  void ExpectIntact(const std::string& sum) {
    std::string check;
    EXPECT_TRUE(Kelsim({"volume", "sda:0", "check"}, &check)) << check << srv->Output();
    EXPECT_EQ(Out({"volume", "sda:0", "sum"}), sum);
  }

  // Whole-disk nodes the driver tries a call through (attached disks and volumes).
  int Nodes() {
    int n = 0;
    for (char c = 'a'; c <= 'h'; ++c)
      if (access((sim + "/dev/sd" + c).c_str(), F_OK) == 0) ++n;
    return n;
  }

  CLIENT_INFO guest{};
};

// A member of a RAID 5 and of a RAID 0+1 is pulled, the array repaired with a blank disk
// and synchronised: redundancy holds again and the content is what it was.
TEST_F(RebuildE2e, ARepairedArrayIsRebuiltWithItsData) {
  StayLoggedIn();
  const struct {
    const char* level;
    std::vector<std::string> members;
    const char* pull;
    const char* blank;
  } cases[] = {{"raid5", {"sda", "sdb", "sdc", "sdd"}, "sdc", "sde"},
               {"raid01", {"sda", "sdb", "sdd", "sde"}, "sdb", "sdf"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.level);
    const std::string sum = BuildAndRepair(c.level, c.members, c.pull, c.blank);
    const KelctlRun wait = StartAndWait();
    EXPECT_EQ(wait.status, 0) << wait.out << wait.err;
    ExpectIntact(sum);
    const KelctlRun removed = Kelctl({"remove", "a", "--yes"});  // frees the disks for the next
    ASSERT_EQ(removed.status, 0) << removed.out << removed.err;
  }
}

// The working process dies mid-synchronisation with nobody logged in: its successor finds
// the unfinished work on the disks, starts it again soon and completes it.
TEST_F(RebuildE2e, KilledServiceResumesItsOwnSynchronisation) {
  const std::string sum = BuildAndRepair("raid1", {"sda", "sdb"}, "sdb");
  const std::string started = "Server start a new";
  ASSERT_TRUE(WaitFor([&] { return Seen(started) >= 1; }, std::chrono::seconds(30))) << srv->Output();
  ASSERT_EQ(Seen("now it's completed"), 0u) << "the work ended before it could be interrupted";
  const pid_t victim = srv->WaitForChild();
  ASSERT_GT(victim, 0);
  ASSERT_EQ(kill(victim, SIGKILL), 0);
  const auto killed = std::chrono::steady_clock::now();
  ASSERT_TRUE(WaitFor([&] { return Seen(started) >= 2; }, std::chrono::seconds(30))) << srv->Output();
  EXPECT_LT(std::chrono::steady_clock::now() - killed, std::chrono::seconds(8));
  ASSERT_TRUE(WaitFor([&] { return Seen("now it's completed") >= 1; }, std::chrono::seconds(180)))
      << srv->Output();
  ExpectIntact(sum);
}

// A few failed steps are retried and the work completes.
TEST_F(RebuildE2e, APassingFaultIsRetried) {
  StayLoggedIn();
  const std::string sum = BuildAndRepair("raid1", {"sda", "sdb"}, "sdb");
  // 6 x nodes failures: the engine sees one failed call whatever volume node comes or goes.
  ASSERT_TRUE(Kelsim({"fail", "sde", "0x09", "--count", std::to_string(6 * Nodes())}));
  const KelctlRun wait = StartAndWait();
  EXPECT_EQ(wait.status, 0) << wait.out << wait.err;
  EXPECT_GE(Seen("Async task break."), 1u) << "the fault never reached the engine";
  ExpectIntact(sum);
}

// A fault that never passes breaks the task, says so in a notice, and the members that
// hold the data are not touched.
TEST_F(RebuildE2e, ALastingFaultBreaksTheTaskAndKeepsTheSource) {
  StayLoggedIn();
  ASSERT_EQ(InitEventSocket(&guest, nullptr, "127.0.0.1", static_cast<unsigned short>(AckPort())), 0);
  const std::string sum = BuildAndRepair("raid1", {"sda", "sdb"}, "sdb");
  const std::string source = Out({"sum", "sda"});
  ASSERT_TRUE(Kelsim({"fail", "sde", "0x09", "--always"}));
  auto notice = std::async(std::launch::async, [&] {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (std::chrono::steady_clock::now() < end) {
      int type = 0;
      unsigned char data[kClientBufSize] = {};
      unsigned short len = 0;
      const int rc = CheckRaidEvent(&guest, &type, data, &len);
      if (rc == 2001) return false;
      KelAsyncTaskData r;
      if (rc == 0 && type == KEL_NOTICE_KIND_TASK && len >= sizeof r) {
        std::memcpy(&r, data, sizeof r);
        if (r.uState == KEL_TASK_BROKEN) return true;
      }
    }
    return false;
  });
  const KelctlRun wait = StartAndWait();
  EXPECT_EQ(wait.status, 1) << wait.out << wait.err;
  EXPECT_NE(wait.err.find("1113"), std::string::npos) << wait.out << wait.err;
  EXPECT_TRUE(notice.get());
  EXPECT_EQ(Out({"sum", "sda"}), source);
  EXPECT_EQ(Out({"volume", "sda:0", "sum"}), sum);
}

}  // namespace
