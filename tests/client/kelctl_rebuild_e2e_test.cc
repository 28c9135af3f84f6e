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

  void TearDown() override {
    if (guestOpen) CloseConnect(&guest);
  }

  // A logged-in client keeps the service from starting work on its own.
  void StayLoggedIn() {
    ClientInfoInit(&guest);
    guestOpen = true;
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
    const KelctlRun made = Kelctl({"create", level, "--name", "a", "--disks", Indexes(members), "--size", "24"});
    EXPECT_EQ(made.status, 0) << made.out << made.err;
    EXPECT_TRUE(Kelsim({"volume", "sda:0", "write", "--seed", "7"}));
    const std::string sum = Out({"volume", "sda:0", "sum"});
    EXPECT_TRUE(Kelsim({"unplug", pull}));
    EXPECT_EQ(Kelctl({"rescan"}).status, 0);
    const KelctlRun repaired = Kelctl({"repair", "a", "--disk", Index(blank)});
    EXPECT_EQ(repaired.status, 0) << repaired.out << repaired.err;
    return sum;
  }

  // Starts the task `target` names ("sync a", "replace --from 1 --to 4") and waits for it.
  KelctlRun StartAndWait(const std::vector<std::string>& target = {"sync", "a"}) {
    std::vector<std::string> start{"task", "start"}, wait{"task", "wait"};
    start.insert(start.end(), target.begin(), target.end());
    wait.insert(wait.end(), target.begin(), target.end());
    const KelctlRun started = Kelctl(start);
    EXPECT_EQ(started.status, 0) << started.out << started.err;
    wait.insert(wait.end(), {"--timeout", "180", "--notify-port", std::to_string(AckPort())});
    return Kelctl(wait);
  }

  // A comma-separated list of the service's indexes of `names`.
  std::string Indexes(const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& n : names) list += (list.empty() ? "" : ",") + Index(n);
    return list;
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
  bool guestOpen = false;
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

// A plain disk full of data becomes the first member of a RAID 0 and of a RAID 5 built
// around it and is migrated: what the disk held reads back through the array unchanged.
TEST_F(RebuildE2e, AnArrayBuiltAroundADiskKeepsItsDataThroughTheMigration) {
  StayLoggedIn();
  const std::string old = std::to_string(32 * 2048 - 32);  // the data area of a 32 MiB disk
  const struct {
    const char* level;
    std::vector<std::string> members;
  } cases[] = {{"raid0", {"sda", "sdb"}}, {"raid5", {"sda", "sdb", "sdc"}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.level);
    ASSERT_TRUE(Kelsim({"write", "sda", "--seed", "5"}));
    const std::string sum = Out({"sum", "sda"});
    const KelctlRun made = Kelctl({"create", c.level, "--name", "a", "--disks", Indexes(c.members), "--keep-data"});
    ASSERT_EQ(made.status, 0) << made.out << made.err;
    const KelctlRun wait = StartAndWait({"migrate", "a"});
    EXPECT_EQ(wait.status, 0) << wait.out << wait.err << srv->Output();
    EXPECT_NE(Out({"sum", "sda"}), sum) << "the data never left the plain layout";
    EXPECT_EQ(Out({"volume", "sda:0", "sum", "--count", old}), sum);
    std::string check;
    EXPECT_TRUE(Kelsim({"volume", "sda:0", "check"}, &check)) << check;
    const KelctlRun removed = Kelctl({"remove", "a", "--yes"});  // frees the disks for the next
    ASSERT_EQ(removed.status, 0) << removed.out << removed.err;
  }
}

// A RAID 5 member is replaced while the array stays in use: the array's data is unchanged
// and lives on the new disk, and the old one leaves the array holding no VD.
TEST_F(RebuildE2e, ARaid5MemberIsReplacedOnlineWithItsData) {
  StayLoggedIn();
  const KelctlRun made = Kelctl({"create", "raid5", "--name", "a", "--disks",
                                 Indexes({"sda", "sdb", "sdc", "sdd"}), "--size", "24"});
  ASSERT_EQ(made.status, 0) << made.out << made.err;
  ASSERT_TRUE(Kelsim({"volume", "sda:0", "write", "--seed", "3"}));
  const std::string sum = Out({"volume", "sda:0", "sum"});
  const std::vector<std::string> pair{"--from", Index("sdb"), "--to", Index("sde")};
  std::vector<std::string> prepare{"replace", "prepare"}, replace{"replace"};
  prepare.insert(prepare.end(), pair.begin(), pair.end());
  replace.insert(replace.end(), pair.begin(), pair.end());
  const KelctlRun prepared = Kelctl(prepare);
  ASSERT_EQ(prepared.status, 0) << prepared.out << prepared.err;
  const KelctlRun wait = StartAndWait(replace);
  ASSERT_EQ(wait.status, 0) << wait.out << wait.err << srv->Output();
  std::string check;
  EXPECT_TRUE(Kelsim({"volume", "sde:0", "check"}, &check)) << check;
  EXPECT_EQ(Out({"volume", "sde:0", "sum"}), sum);
  EXPECT_FALSE(Kelsim({"volume", "sdb:0", "info"})) << "the old member still holds a VD";
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
