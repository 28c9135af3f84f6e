// The real kelsrv driven through the client library and through the kelctl program: login,
// the local commands, password change and logout, in a temporary folder on free ports.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "tests/process/service_harness.h"
#include "tests/support/conf_area_builder.h"
#include "webext/client/kelclient.h"

using namespace kel_test;
using namespace std::chrono_literals;

extern char** environ;

namespace {

struct KelctlRun {
  int status = -1;  // exit status, or -1 when the program did not exit normally
  std::string out, err;
};

class KelctlE2e : public ::testing::Test {
 protected:
  // A test that wants another simulated controller builds it in dir/sim first.
  virtual void MakeSim() {}

  void SetUp() override {
    MakeSim();
    bClearRevBuf = false;
    ASSERT_EQ(ZepSockInit(), 0);
    port = FreePort();
    WriteFile(dir.File("kel.config"), TestConfig(dir.path(), port));
    srv = std::make_unique<ServiceProcess>(dir.path(), std::vector<std::string>{dir.File("kel.config")});
    // A generous limit: on a loaded machine the service may take long to come up.
    ASSERT_TRUE(WaitFor([&] { return ReadFile(dir.File("kel_init.log")) == "success\n"; },
                        std::chrono::seconds(60)))
        << srv->Output();
  }

  // Runs the kelctl binary with `args` and the given environment (KEL_PORT is added) in a
  // session of its own, so that it has no terminal to prompt on.
  KelctlRun Kelctl(const std::vector<std::string>& args,
                   std::vector<std::string> envs = {"KEL_PASSWORD=pelum"}) {
    envs.push_back("KEL_PORT=" + std::to_string(port));
    std::vector<char*> argv{const_cast<char*>(KELCTL_BIN)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : envs) envp.push_back(e.data());
    envp.push_back(nullptr);

    const std::string outPath = dir.File("kelctl.out"), errPath = dir.File("kelctl.err");
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t pid = -1;
    KelctlRun run;
    int rc = posix_spawn(&pid, KELCTL_BIN, &files, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
      ADD_FAILURE() << "cannot start " << KELCTL_BIN;
      return run;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadFile(outPath);
    run.err = ReadFile(errPath);
    return run;
  }

  // The client ID that "kelctl login" printed.
  static std::string IdFrom(const std::string& loginOutput) {
    const std::string tag = "client ID: ";
    size_t at = loginOutput.find(tag);
    if (at == std::string::npos) return "";
    size_t end = loginOutput.find('\n', at);
    return loginOutput.substr(at + tag.size(), end - at - tag.size());
  }

  TempDir dir;
  int port = 0;
  std::unique_ptr<ServiceProcess> srv;
};

// The local commands' results through the library are KelctlRunsTheLocalCommands' part.
TEST_F(KelctlE2e, LibraryLogsInTakesTheServicesRefusalsAndEndsItsSession) {
  CLIENT_INFO ci;
  ClientInfoInit(&ci);
  ASSERT_EQ(OpenConnect(&ci, "127.0.0.1", static_cast<unsigned short>(port)), 0);
  ASSERT_EQ(UserLogin(&ci, "admin", "pelum"), 0);
  EXPECT_EQ(ci.nState, LOGGED_IN);
  EXPECT_EQ(ci.nSessionRights, 0x15);
  EXPECT_NE(ci.szClientID[0], '\0');
  EXPECT_EQ(GetTestData(&ci), 0);
  EXPECT_EQ(SetBeepStatus(&ci, 2), 1002);
  EXPECT_EQ(UserChangePasswd(&ci, "guest", "wrong", "x"), 1033);

  int logout = UserLogout(&ci, nullptr);
  EXPECT_TRUE(logout == 0 || logout == 2001) << logout;
  EXPECT_EQ(CloseConnect(&ci), 0);

  // The session is gone: joining it again is refused.
  ASSERT_EQ(OpenConnect(&ci, "127.0.0.1", static_cast<unsigned short>(port)), 0);
  EXPECT_NE(UserSessionLogin(&ci, nullptr), 0);
  CloseConnect(&ci);
}

TEST_F(KelctlE2e, LibrarySessionLoginContinuesASessionOnANewConnection) {
  CLIENT_INFO first, second;
  ClientInfoInit(&first);
  ClientInfoInit(&second);
  ASSERT_EQ(OpenConnect(&first, "127.0.0.1", static_cast<unsigned short>(port)), 0);
  ASSERT_EQ(UserLogin(&first, "guest", "rovak"), 0);
  ASSERT_EQ(OpenConnect(&second, "127.0.0.1", static_cast<unsigned short>(port)), 0);
  EXPECT_EQ(UserSessionLogin(&second, first.szClientID), 0);
  EXPECT_EQ(second.nSessionRights, first.nSessionRights);
  EXPECT_EQ(GetTestData(&second), 0);
  // Logging the session out from the second connection leaves the first's connection
  // without a session.
  int logout = UserLogout(&second, first.szClientID);
  EXPECT_TRUE(logout == 0 || logout == 2001) << logout;
  CloseConnect(&second);
  CloseConnect(&first);
}

TEST_F(KelctlE2e, LibraryWrongPasswordGives2013) {
  CLIENT_INFO ci;
  ClientInfoInit(&ci);
  ASSERT_EQ(OpenConnect(&ci, "127.0.0.1", static_cast<unsigned short>(port)), 0);
  EXPECT_EQ(UserLogin(&ci, "admin", "nope"), 2013);
  EXPECT_EQ(ci.nState, WAIT_FOR_LOGIN_SERVER);
  CloseConnect(&ci);
}

TEST_F(KelctlE2e, KelctlLoginThenLogoutEndsThatSession) {
  KelctlRun login = Kelctl({"login"});
  ASSERT_EQ(login.status, 0) << login.err;
  std::string id = IdFrom(login.out);
  ASSERT_FALSE(id.empty()) << login.out;
  EXPECT_NE(login.out.find("session rights: 0x15\n"), std::string::npos) << login.out;

  KelctlRun logout = Kelctl({"logout", id}, {});
  EXPECT_EQ(logout.status, 0) << logout.err;
  EXPECT_EQ(logout.out, "session " + id + " logged out\n");

  KelctlRun again = Kelctl({"logout", id}, {});
  EXPECT_NE(again.status, 0);
  EXPECT_EQ(again.err.rfind("kelctl: session login failed: ", 0), 0u) << again.err;
}

TEST_F(KelctlE2e, KelctlRunsTheLocalCommands) {
  KelctlRun test = Kelctl({"test"});
  EXPECT_EQ(test.status, 0) << test.err;
  EXPECT_EQ(test.out, "test: the service answered correctly\n");

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
  KelctlRun json = Kelctl({"--json", "log", "show"});
  EXPECT_EQ(json.out.rfind("{\"command\":\"log show\",\"ok\":true,\"count\":", 0), 0u) << json.out;

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
  KelctlRun login = Kelctl({"--user", "guest", "--password-file", dir.File("guest.pw"), "test"}, {});
  EXPECT_EQ(login.status, 0) << login.err;
  KelctlRun old = Kelctl({"--user", "guest", "test"}, {"KEL_PASSWORD=rovak"});
  EXPECT_NE(old.status, 0);
}

TEST_F(KelctlE2e, KelctlWrongPasswordFailsWithOneMessage) {
  KelctlRun run = Kelctl({"log", "status"}, {"KEL_PASSWORD=wrong"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "kelctl: login failed: 2013 (wrong user name or password)\n");
}

TEST_F(KelctlE2e, KelctlWithoutAnyPasswordSourceRefusesToStart) {
  KelctlRun run = Kelctl({"test"}, {});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("use --password-file or KEL_PASSWORD"), std::string::npos) << run.err;
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
    uint32_t c = 0, d = 0;
    ASSERT_TRUE(SimDiskSerialChecksum(KELSIM_BIN, sim, "sdc", &c));
    ASSERT_TRUE(SimDiskSerialChecksum(KELSIM_BIN, sim, "sdd", &d));
    const std::vector<uint32_t> ids = {ConfAreaBuilder::VdId(c, 0), ConfAreaBuilder::VdId(d, 0)};
    for (int pos = 0; pos < 2; ++pos) {
      ConfVd vd;
      vd.raidType = 1;
      vd.vdCount = 2;
      vd.position = static_cast<uint8_t>(pos);
      vd.length = 1048576;  // 512 MiB
      vd.name = "m" + std::to_string(pos);
      vd.arrayName = "data";
      vd.memberIds = ids;
      ConfAreaBuilder area;
      area.Pd(pos == 0 ? c : d).Vd(0, vd);
      const std::string disk = pos == 0 ? "sdc" : "sdd";
      ASSERT_TRUE(ImportConfArea(KELSIM_BIN, sim, disk, area.Bytes(), dir.File("area-" + disk)));
    }
  }
};

TEST_F(KelctlRaidE2e, DisksAndArraysShowTheController) {
  KelctlRun disks = Kelctl({"--user", "admin", "disks"});
  ASSERT_EQ(disks.status, 0) << disks.err;
  EXPECT_NE(disks.out.find("2.0 GiB"), std::string::npos) << disks.out;
  EXPECT_EQ(std::count(disks.out.begin(), disks.out.end(), '\n'), 5) << disks.out;  // head + 4

  KelctlRun arrays = Kelctl({"--user", "admin", "arrays"});
  ASSERT_EQ(arrays.status, 0) << arrays.err;
  // The mirror first, then the two plain disks.
  const size_t mirror = arrays.out.find("data");
  const size_t plain = arrays.out.find("plain disk");
  ASSERT_NE(mirror, std::string::npos) << arrays.out;
  ASSERT_NE(plain, std::string::npos) << arrays.out;
  EXPECT_LT(mirror, plain);
  EXPECT_NE(arrays.out.find("RAID 1"), std::string::npos) << arrays.out;
  EXPECT_NE(arrays.out.find("512.0 MiB"), std::string::npos) << arrays.out;
}

TEST_F(KelctlRaidE2e, JsonCarriesMagicNumbersThatSurviveARescan) {
  KelctlRun before = Kelctl({"--user", "admin", "--json", "arrays"});
  ASSERT_EQ(before.status, 0) << before.err;
  EXPECT_NE(before.out.find("\"magicNum\":"), std::string::npos) << before.out;
  EXPECT_NE(before.out.find("\"arrayName\":\"data\""), std::string::npos) << before.out;
  KelctlRun rescan = Kelctl({"--user", "admin", "rescan"});
  ASSERT_EQ(rescan.status, 0) << rescan.err;
  KelctlRun after = Kelctl({"--user", "admin", "--json", "arrays"});
  ASSERT_EQ(after.status, 0) << after.err;
  EXPECT_EQ(before.out, after.out);
}

TEST_F(KelctlRaidE2e, OneDiskByIndexByAddressAndByArrayPosition) {
  KelctlRun hubDisk = Kelctl({"--user", "admin", "--json", "disk", "--phy", "0:1:1"});
  ASSERT_EQ(hubDisk.status, 0) << hubDisk.err;
  EXPECT_NE(hubDisk.out.find("\"PortNum\":1"), std::string::npos) << hubDisk.out;
  KelctlRun none = Kelctl({"--user", "admin", "disk", "31"});
  EXPECT_EQ(none.status, 1);
  KelctlRun outOfRange = Kelctl({"--user", "admin", "disk", "32"});
  EXPECT_NE(outOfRange.status, 0);
}

// The other queries, each read back from the real service through kelctl's output.
TEST_F(KelctlRaidE2e, HubsMembersVdsFreeSpacePartitionsAndSmart) {
  const std::pair<std::vector<std::string>, std::string> runs[] = {
      {{"hubs"}, "0     1     master    ZEP Port Multiplier  1     0x197b  0x0001    2 of 4\n"},
      {{"array", "2"}, "\n1         3     ZEP SimDisk  ZEPSIM00000004  2.0 GiB  ok "},
      {{"vds", "--array", "2"}, "m1    3     0     2      1         0      1048576  512.0 MiB"},
      {{"free", "2"}, "1048576  4194271  3145696  1.5 GiB    free\n"},
      {{"partitions", "--disk", "0"}, "disk 0: no partitions\n"},
      {{"smart", "status", "3"}, "disk 3: healthy\n"},
      {{"smart", "values", "0"}, "194  0x0003  100      100    0\n"},
      {{"smart", "thresholds", "0"}, "5    36\n"},
      {{"smart", "check"}, "all disks are healthy\n"},
  };
  for (const auto& [args, part] : runs) {
    KelctlRun run = Kelctl(args);
    EXPECT_EQ(run.status, 0) << args[0] << ": " << run.err;
    EXPECT_NE(run.out.find(part), std::string::npos) << run.out;
  }
}

}  // namespace
