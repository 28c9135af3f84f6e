// The task commands against the real kelsrv on a simulated controller with a RAID 1 of two
// disks and two free disks: the list and status of no task, refusals, and a started
// synchronisation of a second mirror followed by `task wait` to its end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/client/kelctl_e2e_fixture.h"

using namespace kel_test;

namespace {

class KelctlTaskE2e : public KelctlE2e {
 protected:
  void MakeSim() override {
    const std::string sim = dir.File("sim");
    auto kelsim = [&](std::vector<std::string> args) {
      args.insert(args.begin(), {KELSIM_BIN, "--dir", sim});
      return RunProgram(args, dir.File("kelsim.out"));
    };
    ASSERT_TRUE(kelsim({"init", "--channels", "2"}));
    for (const char* position : {"master", "slave"})
      for (const char* channel : {"0", "1"})
        ASSERT_TRUE(kelsim({"add-disk", "--channel", channel, "--position", position, "--size",
                            "64M"}));
  }

  void SetUp() override {
    KelctlE2e::SetUp();
    const KelctlRun run = Kelctl({"create", "raid1", "--name", "data", "--disks", "0,1"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
  }
};

TEST_F(KelctlTaskE2e, NoTaskIsListedAndAStatusOfOneIsRefused) {
  KelctlRun run = Kelctl({"--json", "tasks"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "{\"command\":\"tasks\",\"ok\":true,\"tasks\":[]}\n");
  EXPECT_EQ(Kelctl({"tasks"}).out, "(no tasks)\n");
  run = Kelctl({"task", "status", "sync", "data"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "kelctl: task status failed: 1111 (no such task (or it ended more than a "
                     "few seconds ago))\n");
}

TEST_F(KelctlTaskE2e, TasksOnWhatCannotTakeThemAreRefused) {
  const struct {
    std::vector<std::string> args;
    const char* err;  // the start of stderr
  } cases[] = {
      {{"task", "start", "sync", "nosuch"}, "kelctl: task start: array nosuch failed: 200"},
      {{"task", "start", "sync", "9"}, "kelctl: task start: array 9 failed: 200"},
      // Disk 1 is a member of an array: it cannot take disk 0's place.
      {{"replace", "prepare", "--from", "0", "--to", "1"}, "kelctl: replace prepare failed: "},
      {{"task", "wait", "migrate", "data", "--timeout", "5"}, "kelctl: task wait failed: 1111"},
      // A new empty mirror is in step: there is nothing to synchronise.
      {{"task", "start", "sync", "data"}, "kelctl: task start failed: 300"},
  };
  for (const auto& c : cases) {
    const KelctlRun run = Kelctl(c.args);
    EXPECT_EQ(run.status, 1) << c.args[1] << run.out;
    EXPECT_EQ(run.err.rfind(c.err, 0), 0u) << run.err;
  }
}

// A mirror built around its first disk's data needs synchronising; the wait follows it to
// the end, prints the final state and exits 0.
TEST_F(KelctlTaskE2e, AWaitFollowsASynchronisationToItsEndAndExitsZero) {
  ASSERT_EQ(Kelctl({"create", "raid1", "--name", "copy", "--disks", "2,3", "--keep-data"}).status, 0);
  const KelctlRun start = Kelctl({"--json", "task", "start", "sync", "copy"});
  ASSERT_NE(start.out.find("\"task\":{\"task\":\"raid1-sync\""), std::string::npos) << start.out;
  // A port nobody listens on: no notices, so the wait polls.
  const KelctlRun wait = Kelctl({"--json", "task", "wait", "sync", "copy", "--timeout", "60",
                                 "--notify-port", std::to_string(FreePort())});
  EXPECT_NE(wait.out.find("\"state\":\"completed\",\"percent\":100"), std::string::npos)
      << wait.out << wait.err;
  EXPECT_EQ(wait.status, 0) << wait.out << wait.err;
  const KelctlRun lines = Kelctl({"task", "wait", "sync", "copy", "--notify-port", "1"});
  EXPECT_NE(lines.out.find(": completed, 100%\n"), std::string::npos) << lines.out << lines.err;
}

}  // namespace
