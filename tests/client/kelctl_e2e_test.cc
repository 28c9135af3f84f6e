// The real kelsrv driven through the client library and through the kelctl program: login,
// session login and logout, the local commands, password change, the failures kelctl
// reports, and the RAID queries on a simulated controller; in a temporary folder on free
// ports.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/client/kelctl_e2e_fixture.h"
#include "tests/process/service_harness.h"
#include "tests/support/conf_area_builder.h"
#include "webext/client/kelclient.h"

using namespace kel_test;

namespace {

// The library against the real service; the local commands' results are kelctl's part.
TEST_F(KelctlE2e, LibraryLogsInContinuesTheSessionElsewhereAndTakesTheRefusals) {
  CLIENT_INFO ci, second, wrong;
  for (CLIENT_INFO* c : {&ci, &second, &wrong}) {
    ClientInfoInit(c);
    ASSERT_EQ(OpenConnect(c, "127.0.0.1", static_cast<unsigned short>(port)), 0);
  }
  ASSERT_EQ(UserLogin(&ci, "admin", "pelum"), 0);
  EXPECT_EQ(ci.nState, LOGGED_IN);
  EXPECT_EQ(ci.nSessionRights, 0x15);
  EXPECT_NE(ci.szClientID[0], '\0');
  EXPECT_EQ(GetTestData(&ci), 0);
  EXPECT_EQ(SetBeepStatus(&ci, 2), 1002);
  EXPECT_EQ(UserChangePasswd(&ci, "guest", "wrong", "x"), 1033);
  // A second connection joins the session and ends it.
  EXPECT_EQ(UserSessionLogin(&second, ci.szClientID), 0);
  EXPECT_EQ(second.nSessionRights, 0x15);
  EXPECT_EQ(GetTestData(&second), 0);
  const int logout = UserLogout(&second, ci.szClientID);
  EXPECT_TRUE(logout == 0 || logout == 2001) << logout;
  EXPECT_EQ(UserLogin(&wrong, "admin", "nope"), 2013);
  EXPECT_EQ(wrong.nState, WAIT_FOR_LOGIN_SERVER);
  for (CLIENT_INFO* c : {&ci, &second, &wrong}) CloseConnect(c);
}

TEST_F(KelctlE2e, KelctlLoginThenLogoutEndsThatSession) {
  KelctlRun login = Kelctl({"login"});
  ASSERT_EQ(login.status, 0) << login.err;
  const std::string id = login.out.substr(11, login.out.find('\n') - 11);
  EXPECT_EQ(login.out, "client ID: " + id + "\nsession rights: 0x15\n");
  KelctlRun logout = Kelctl({"logout", id}, {});
  EXPECT_EQ(logout.status, 0) << logout.err;
  EXPECT_EQ(logout.out, "session " + id + " logged out\n");
  KelctlRun again = Kelctl({"logout", id}, {});
  EXPECT_NE(again.status, 0);
  EXPECT_EQ(again.err.rfind("kelctl: session login failed: ", 0), 0u) << again.err;
}

TEST_F(KelctlE2e, KelctlRunsTheLocalCommands) {
  EXPECT_EQ(Kelctl({"beep", "on"}).out, "beep switched on\n");
  EXPECT_EQ(Kelctl({"beep"}).out, "beep: on\n");
  EXPECT_EQ(Kelctl({"beep", "off"}).status, 0);
  EXPECT_EQ(Kelctl({"--json", "beep"}).out, "{\"command\":\"beep\",\"ok\":true,\"beep\":false}\n");
  EXPECT_EQ(Kelctl({"checkdisk", "30"}).out, "disk check interval set to 30 minutes\n");
  EXPECT_EQ(Kelctl({"checkdisk"}).out, "disk check interval: 30 minutes\n");
  EXPECT_EQ(Kelctl({"checkdisk", "100000"}).out, "disk check interval set to 71582 minutes\n");
  // Each command's login leaves an event-log line once the log is flushed.
  EXPECT_TRUE(WaitFor([&] {
    return Kelctl({"log", "status"}).out.find("lines: 0\n") == std::string::npos;
  }, std::chrono::seconds(60))) << srv->Output();
  KelctlRun show = Kelctl({"log", "show", "--count", "50"});
  EXPECT_EQ(show.status, 0) << show.err;
  EXPECT_NE(show.out.find("INFO~Client <admin> from <127.0.0.1> login OK"), std::string::npos)
      << show.out;
  KelctlRun clear = Kelctl({"log", "clear"});
  EXPECT_EQ(clear.status, 0) << clear.err;
  EXPECT_EQ(clear.out, "event log cleared\n");
}

TEST_F(KelctlE2e, KelctlChangesAnotherUsersPassword) {
  KelctlRun passwd = Kelctl({"passwd", "guest"}, {"KEL_PASSWORD=pelum", "KEL_OLD_PASSWORD=rovak",
                                                  "KEL_NEW_PASSWORD=s3cret"});
  ASSERT_EQ(passwd.status, 0) << passwd.err;
  EXPECT_EQ(passwd.out, "password of guest changed\n");
  WriteFile(dir.File("guest.pw"), "s3cret\n");
  EXPECT_EQ(Kelctl({"--user", "guest", "--password-file", dir.File("guest.pw"), "test"}, {}).status,
            0);
  EXPECT_NE(Kelctl({"--user", "guest", "test"}, {"KEL_PASSWORD=rovak"}).status, 0);
}

TEST_F(KelctlE2e, KelctlFailuresGiveTheirStatusAndOneMessage) {
  KelctlRun wrong = Kelctl({"log", "status"}, {"KEL_PASSWORD=wrong"});
  EXPECT_EQ(wrong.status, 1);
  EXPECT_EQ(wrong.out, "");
  EXPECT_EQ(wrong.err, "kelctl: login failed: 2013 (wrong user name or password)\n");
  KelctlRun none = Kelctl({"test"}, {});  // no password source and no terminal to ask on
  EXPECT_EQ(none.status, 2);
  EXPECT_NE(none.err.find("use --password-file or KEL_PASSWORD"), std::string::npos) << none.err;
  KelctlRun refused = Kelctl({"--port", std::to_string(FreePort()), "test"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "kelctl: connect failed: 2010 (the connection could not be opened or "
                         "was refused)\n");
}

// The RAID queries on a controller with two plain disks and a mirror named "data" on two
// disks behind a device hub: what an administrator sees first.
class KelctlRaidE2e : public KelctlE2e {
 protected:
  void MakeSim() override {
    const std::string sim = dir.File("sim");
    auto kelsim = [&](std::vector<std::string> args) {
      args.insert(args.begin(), {KELSIM_BIN, "--dir", sim});
      ASSERT_TRUE(RunProgram(args)) << args[3];
    };
    kelsim({"init"});
    kelsim({"add-disk", "--channel", "0", "--position", "master", "--size", "1G"});
    kelsim({"add-disk", "--channel", "0", "--position", "slave", "--size", "1G"});
    kelsim({"add-hub", "--channel", "1", "--position", "master"});
    kelsim({"add-disk", "--channel", "1", "--position", "master", "--hub-port", "0", "--size", "2G"});
    kelsim({"add-disk", "--channel", "1", "--position", "master", "--hub-port", "1", "--size", "2G"});
    const std::string disks[2] = {"sdc", "sdd"};
    uint32_t sums[2] = {};
    for (int i = 0; i < 2; ++i)
      ASSERT_TRUE(SimDiskSerialChecksum(KELSIM_BIN, sim, disks[i], &sums[i]));
    const std::vector<uint32_t> ids = {ConfAreaBuilder::VdId(sums[0], 0),
                                       ConfAreaBuilder::VdId(sums[1], 0)};
    for (uint8_t pos = 0; pos < 2; ++pos) {
      const ConfVd vd{.raidType = 1, .vdCount = 2, .position = pos, .length = 1048576,  // 512 MiB
                      .name = "m" + std::to_string(pos), .arrayName = "data", .memberIds = ids};
      const auto area = ConfAreaBuilder().Pd(sums[pos]).Vd(0, vd).Bytes();
      ASSERT_TRUE(ImportConfArea(KELSIM_BIN, sim, disks[pos], area, dir.File("area-" + disks[pos])));
    }
  }
};

// The queries, each read back from the real service through kelctl's output: what an
// administrator sees first.
TEST_F(KelctlRaidE2e, EachQueryShowsTheController) {
  const struct {
    std::vector<std::string> args;
    int status;
    std::string part;
  } runs[] = {
      {{"disks"}, 0, "ZEPSIM00000004  2.0 GiB  4194304  0:1 master, hub port 1  1"},
      {{"arrays"}, 0, "MAGIC\n2      data  RAID 1      2      512.0 MiB  1048576  -       normal"},
      {{"--json", "disk", "--phy", "0:1:1"}, 0, R"("chan_index":1,"deviceRoot":2,"PortNum":1,)"},
      {{"disk", "31"}, 1, ""},
      {{"disk", "32"}, 1, ""},
      {{"hubs"}, 0, "0     1     master    ZEP Port Multiplier  1     0x197b  0x0001    2 of 4\n"},
      {{"array", "2"}, 0, "\n1         3     ZEP SimDisk  ZEPSIM00000004  2.0 GiB  ok "},
      {{"vds", "--array", "2"}, 0, "m1    3     0     2      1         0      1048576  512.0 MiB"},
      {{"free", "2"}, 0, "1048576  4194271  3145696  1.5 GiB    free\n"},
      {{"partitions", "--disk", "0"}, 0, "disk 0: no partitions\n"},
      {{"smart", "status", "3"}, 0, "disk 3: healthy\n"},
      {{"smart", "values", "0"}, 0, "194  0x0003  100      100    0\n"},
      {{"smart", "thresholds", "0"}, 0, "5    36\n"},
      {{"smart", "check"}, 0, "ZEPSIM00000004  healthy\nall disks are healthy\n"},
  };
  for (const auto& [args, status, part] : runs) {
    KelctlRun run = Kelctl(args);
    EXPECT_EQ(run.status, status) << args[0] << ": " << run.err;
    EXPECT_NE(run.out.find(part), std::string::npos) << run.out;
  }
}

TEST_F(KelctlRaidE2e, JsonCarriesMagicNumbersThatSurviveARescan) {
  KelctlRun before = Kelctl({"--json", "arrays"});
  ASSERT_EQ(before.status, 0) << before.err;
  EXPECT_NE(before.out.find("\"magicNum\":"), std::string::npos) << before.out;
  EXPECT_NE(before.out.find("\"arrayName\":\"data\""), std::string::npos) << before.out;
  KelctlRun rescan = Kelctl({"rescan"});
  ASSERT_EQ(rescan.status, 0) << rescan.err;
  EXPECT_EQ(Kelctl({"--json", "arrays"}).out, before.out);
}

}  // namespace

// The stored session: joined without a password, replaced by a fresh login once it has
// ended, and removed by logout.
TEST_F(KelctlE2e, LoginStoresTheSessionThatLaterCommandsJoinUntilLogout) {
  const std::string runtime = "XDG_RUNTIME_DIR=" + dir.path();
  const std::string file = dir.path() + "/kelctl/session-127.0.0.1-" + std::to_string(port);
  KelctlRun login = Kelctl({"login"}, {runtime, "KEL_PASSWORD=pelum"});
  ASSERT_EQ(login.status, 0) << login.err;
  const std::string id = login.out.substr(11, login.out.find('\n') - 11);
  struct stat st {};
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadFile(file), id + " admin\n");
  EXPECT_EQ(Kelctl({"beep", "off"}, {runtime}).out, "beep switched off\n");  // joined
  EXPECT_EQ(Kelctl({"--no-session", "logout", id}, {runtime}).status, 0);
  KelctlRun fresh = Kelctl({"beep"}, {runtime, "KEL_PASSWORD=pelum"});
  EXPECT_EQ(fresh.status, 0) << fresh.err;
  const std::string renewed = ReadFile(file);
  EXPECT_NE(renewed, id + " admin\n");
  ASSERT_EQ(chmod(file.c_str(), 0644), 0);  // another user could have written it: not joined
  KelctlRun ignored = Kelctl({"beep"}, {runtime});
  EXPECT_EQ(ignored.status, 2);
  EXPECT_NE(ignored.err.find("is not a private file"), std::string::npos) << ignored.err;
  ASSERT_EQ(chmod(file.c_str(), 0600), 0);
  EXPECT_EQ(Kelctl({"logout"}, {runtime}).out,
            "session " + renewed.substr(0, renewed.find(' ')) + " logged out\n");
  EXPECT_NE(stat(file.c_str(), &st), 0);
  EXPECT_EQ(Kelctl({"logout"}, {runtime}).status, 2);
}

// Metrics from the live controller after one disk reported a SMART failure: the sick disk
// counts as present but not healthy and its own series drops to 0.
TEST_F(KelctlRaidE2e, MetricsCountASickDiskAndTheArrays) {
  ASSERT_TRUE(RunProgram({KELSIM_BIN, "--dir", dir.File("sim"), "smart", "sda", "--status", "3"}));
  KelctlRun run = Kelctl({"metrics"});
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* line :
       {"\nkel_disks_present 4\n", "\nkel_disks_healthy 3\n", "\nkel_arrays{status=\"normal\"} 1\n",
        "\nkel_arrays{status=\"degraded\"} 0\n",
        "\nkel_disk_smart_healthy{disk=\"0\",model=\"ZEP SimDisk\",serial=\"ZEPSIM00000001\"} 0\n",
        "\nkel_disk_smart_healthy{disk=\"3\",model=\"ZEP SimDisk\",serial=\"ZEPSIM00000004\"} 1\n",
        "\nkel_event_log_over_limit 0\n"})
    EXPECT_NE(run.out.find(line), std::string::npos) << line << " in\n" << run.out;
  EXPECT_EQ(Kelctl({"--json", "metrics"}).status, 2);
}
