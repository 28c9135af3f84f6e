// kelctl's task rendering without a service: the progress bar and rate, the wait's output
// in each style for a sequence of observations, and how the task commands' arguments parse.
#include <gtest/gtest.h>

#include "tools/kelctl/kelctl_args.h"
#include "tools/kelctl/kelctl_task_format.h"

namespace {

KelTaskRecord Task(uint8_t state, uint16_t percent, int result = 0) {
  KelTaskRecord t = KelArrayTask(KEL_TASK_CODE_SYNC_RAID1, 3, 0x1234);
  t.state = state;
  t.percent = percent;
  t.result = result;
  t.origin = 1;
  return t;
}

constexpr uint64_t kGiB = 1024ull * 1024 * 1024;

TEST(TaskFormat, ProgressBarShowsPercentRateAndTimeLeft) {
  const struct {
    unsigned int percent;
    KelctlTaskRate rate;
    uint64_t bytes;
    const char* text;
  } cases[] = {
      {0, {}, kGiB, "[..........]   0%  --  --"},
      {50, {0.5, 100}, kGiB, "[#####.....]  50%  5.1 MiB/s  1:40 left"},
      {99, {0.5, 2}, 0, "[#########.]  99%  30.0 %/min  0:02 left"},
      {100, {2, 0}, 0, "[##########] 100%  120.0 %/min  0:00 left"},
      {20, {0.01, 8000}, 0, "[##........]  20%  0.6 %/min  2:13:20 left"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatProgressBar(c.percent, c.rate, c.bytes, 10), c.text) << c.percent;
}

TEST(TaskFormat, RateIsMeasuredFromTheFirstObservation) {
  EXPECT_EQ(EstimateTaskRate(40, 10, 40, 20).percentPerSec, 0);  // no progress yet
  EXPECT_EQ(EstimateTaskRate(40, 10, 50, 10).percentPerSec, 0);  // no time passed
  const KelctlTaskRate r = EstimateTaskRate(40, 10, 50, 30);     // resumed at 40 %
  EXPECT_DOUBLE_EQ(r.percentPerSec, 0.5);
  EXPECT_DOUBLE_EQ(r.secondsLeft, 100);
}

// Observations at one-second steps; the output of each, in each style.
TEST(TaskFormat, WaitPrintsOneLineOrObjectPerChangeAndEndsOnTheFinalState) {
  const KelTaskRecord seen[] = {Task(KEL_TASK_STATE_STARTING, 0), Task(KEL_TASK_STATE_RUNNING, 0),
                                Task(KEL_TASK_STATE_RUNNING, 0), Task(KEL_TASK_STATE_UNKNOWN, 0),
                                Task(KEL_TASK_STATE_RUNNING, 50),
                                Task(KEL_TASK_STATE_COMPLETED, 100, KEL_TASK_RC_FINISHED)};
  const char* const lines[] = {
      "1970-01-01T00:00:00Z raid1-sync of array 3: starting, 0%\n",
      "1970-01-01T00:00:00Z raid1-sync of array 3: running, 0%\n",
      "",
      "",
      "1970-01-01T00:00:00Z raid1-sync of array 3: running, 50%, 64.0 MiB/s, 0:04 left\n",
      "1970-01-01T00:00:00Z raid1-sync of array 3: completed, 100%\n"};
  KelctlTaskWaitView text(KelctlWaitStyle::kLines, 1 * kGiB / 2);
  KelctlTaskWaitView json(KelctlWaitStyle::kJson, 1 * kGiB / 2);
  KelctlTaskWaitView bar(KelctlWaitStyle::kBar, 0);
  for (size_t i = 0; i < std::size(seen); ++i) {
    EXPECT_EQ(text.Observe(seen[i], static_cast<double>(i), 0), lines[i]) << i;
    EXPECT_EQ(json.Observe(seen[i], static_cast<double>(i), 0).empty(), *lines[i] == '\0') << i;
    const std::string drawn = bar.Observe(seen[i], static_cast<double>(i), 0);
    EXPECT_EQ(drawn.rfind("\r[", 0), seen[i].state == KEL_TASK_STATE_UNKNOWN ? std::string::npos : 0)
        << i;
    EXPECT_EQ(text.Ended(), i == std::size(seen) - 1);
  }
  EXPECT_TRUE(text.Completed());
  EXPECT_EQ(json.Observe(Task(KEL_TASK_STATE_RUNNING, 1), 9, 0), "");  // nothing after the end
  KelctlTaskWaitView last(KelctlWaitStyle::kJson, kGiB);
  EXPECT_EQ(last.Observe(Task(KEL_TASK_STATE_RUNNING, 10), 0, 0),
            "{\"time\":\"1970-01-01T00:00:00Z\",\"task\":{\"task\":\"raid1-sync\",\"code\":1,"
            "\"array\":3,\"state\":\"running\",\"percent\":10,\"result\":0,\"origin\":\"client\"}}\n");
}

TEST(TaskFormat, AWaitThatDoesNotCompleteSaysWhy) {
  const struct {
    uint8_t state;
    const char* reason;
  } cases[] = {{KEL_TASK_STATE_BROKEN, "the task broke: its steps kept failing (result 1113)"},
               {KEL_TASK_STATE_STOPPED, "the task was stopped"},
               {KEL_TASK_STATE_NEW, "no such task (not started, or it ended more than a few seconds ago)"}};
  for (const auto& c : cases) {
    KelctlTaskWaitView view(KelctlWaitStyle::kBar, 0);
    view.Observe(Task(c.state, 7, 1113), 0, 0);
    EXPECT_TRUE(view.Ended() && !view.Completed());
    EXPECT_EQ(view.EndReason(), c.reason);
  }
}

TEST(TaskFormat, TableAndReplacementTarget) {
  KelTaskRecord r = KelReplaceTask(0, 1, 2, 3);
  r.state = KEL_TASK_STATE_STOPPED;
  r.percent = 42;
  r.origin = 2;
  EXPECT_EQ(FormatTaskTable({r}),
            "TASK     TARGET            STATE    PERCENT  STARTED BY\n"
            "replace  disk 0 -> disk 2  stopped  42%      service\n");
  EXPECT_EQ(FormatTaskTable({}), "(no tasks)\n");
}

TEST(TaskArgs, TargetsAndTheirDiagnostics) {
  const struct {
    std::vector<std::string> args;
    const char* result;  // "kind array from to", or the diagnostic
  } cases[] = {
      {{"task", "start", "sync", "data"}, "0 data 0 0"},
      {{"task", "stop", "migrate", "3"}, "1 3 0 0"},
      {{"task", "status", "replace", "--from", "4", "--to", "1"}, "2  4 1"},
      {{"replace", "prepare", "--from=2", "--to=5"}, "2  2 5"},
      {{"task", "wait", "sync", "0", "--timeout", "0"},
       "--timeout needs a whole number of seconds of at least 1, not '0'"},
      {{"task", "start", "sync"}, "a task is named by sync|migrate ARRAY | replace --from D --to D"},
      {{"task", "start", "sync", "1", "--to", "2"},
       "a task is named by sync|migrate ARRAY | replace --from D --to D"},
      {{"task", "start", "replace", "--from", "1"}, "--to needs a disk index from 0 to 255"},
      {{"replace", "prepare", "--from", "1", "--to", "1"},
       "--from and --to must name two different disks"},
  };
  for (const auto& c : cases) {
    KelctlOptions o;
    std::string error;
    if (ParseKelctlArgs(c.args, nullptr, &o, &error))
      error = std::to_string(static_cast<int>(o.taskKind)) + " " +
              (o.arrayRefs.empty() ? "" : o.arrayRefs[0]) + " " + std::to_string(o.fromDisk) +
              " " + std::to_string(o.toDisk);
    EXPECT_EQ(error, c.result) << c.args[1];
  }
}

}  // namespace
