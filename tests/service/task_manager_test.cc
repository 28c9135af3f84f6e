// The background-task manager on a fake engine: results and states of start, stop and
// query, the one-at-a-time and busy-disk refusals, retries before a task breaks, the single
// cancelling call of a stop, and a task that outlives the lists while a starter holds it.
#include "service/task/task_manager.h"

#include "tests/service/fake_task_engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace {

struct Tasks {
  explicit Tasks(KelTaskTimings t = Fast()) : manager(&engine, Hooks(), t) {}
  static KelTaskTimings Fast() {
    KelTaskTimings t;
    t.retryPauseMs = 1;
    t.endPauseMs = 0;
    t.clientConfirmMs = 2000;
    return t;
  }
  KelTaskManager::Hooks Hooks() {
    KelTaskManager::Hooks h;
    h.clientCount = [this] { return clients.load(); };
    h.notice = [this](const KelAsyncTaskData& r) {
      std::lock_guard<std::mutex> hold(mu);
      states.push_back(r.uState);
    };
    return h;
  }
  KelAsyncTaskData Op(uint8_t op, uint8_t array, uint8_t code = KEL_TASK_SYNC_RAID1) {
    KelAsyncTaskData r;
    r.uTaskCode = code;
    r.uOp = op;
    r.uIndex1 = array;
    r.wdMagic1 = 7;
    r.uOrigin = KEL_TASK_BY_CLIENT;
    manager.DispatchAsyncTask(&r);
    return r;
  }
  FakeEngine engine;
  std::atomic<int> clients{1};
  std::mutex mu;
  std::vector<uint8_t> states;
  KelTaskManager manager;
};

TEST(TaskManager, StartStopAndQueryReportTheirResultsAndStopCancelsOnce) {
  Tasks t;
  t.engine.disks = {{0, {"A", "B"}}, {1, {"B", "C"}}, {2, {"D"}}};
  struct Case { uint8_t op, array; int result; uint8_t state; };
  const Case cases[] = {
      {KEL_TASK_OP_QUERY, 0, KEL_TASK_NO_SUCH, KEL_TASK_NEW},
      {KEL_TASK_OP_START, 0, KEL_TASK_OK, KEL_TASK_RUNNING},
      {KEL_TASK_OP_START, 0, KEL_TASK_OK, KEL_TASK_RUNNING},  // already running
      {KEL_TASK_OP_START, 1, KEL_TASK_DISK_BUSY, KEL_TASK_NEW},
      {KEL_TASK_OP_START, 2, KEL_TASK_TOO_MANY, KEL_TASK_NEW},
      {KEL_TASK_OP_QUERY, 0, KEL_TASK_OK, KEL_TASK_RUNNING},
      {KEL_TASK_OP_STOP, 0, KEL_TASK_OK, KEL_TASK_STOPPED},
      {KEL_TASK_OP_STOP, 0, KEL_TASK_OK, KEL_TASK_STOPPED},  // already stopped
      {KEL_TASK_OP_QUERY, 0, KEL_TASK_IS_STOPPED, KEL_TASK_STOPPED},
      {KEL_TASK_OP_STOP, 2, KEL_TASK_STOP_FAILED, KEL_TASK_NEW},
  };
  for (const Case& c : cases) {
    const KelAsyncTaskData r = t.Op(c.op, c.array);
    EXPECT_EQ(r.nResult, c.result) << int{c.op} << " on " << int{c.array};
    EXPECT_EQ(r.uState, c.state) << int{c.op} << " on " << int{c.array};
  }
  EXPECT_EQ(t.engine.cancels, 1);
  EXPECT_EQ(t.Op(KEL_TASK_OP_QUERY, 0).uPercent, 50);
  EXPECT_EQ(t.states, (std::vector<uint8_t>{KEL_TASK_RUNNING, KEL_TASK_STOPPED}));
}

TEST(TaskManager, ThreeFailuresInARowAreRetriedAndTheFourthBreaksTheTask) {
  Tasks t;
  t.engine.step = [](int call) { return call <= 3 ? 900 : call == 4 ? 0 : 900; };
  EXPECT_EQ(t.Op(KEL_TASK_OP_START, 0).nResult, KEL_TASK_OK);  // confirmed by the 4th step
  KelAsyncTaskData q;
  for (int i = 0; i < 500 && (q = t.Op(KEL_TASK_OP_QUERY, 0)).uState != KEL_TASK_BROKEN; ++i)
    KelBaseThread::KelThreadSleep(2);
  EXPECT_EQ(q.nResult, KEL_TASK_BROKE);
  EXPECT_EQ(t.engine.steps, 8);  // one good step between, then four failures
  EXPECT_EQ(t.engine.cancels, 0);
}

// A broken task lingers in the running list for a moment. A start in that moment (the
// command pipeline retries a start that was not confirmed) must hear that it broke, not that
// it runs.
TEST(TaskManager, AStartWhileABrokenTaskLingersReportsItBroken) {
  KelTaskTimings lingering = Tasks::Fast();
  lingering.endPauseMs = 5000;
  lingering.clientConfirmMs = 100;  // a start that is never confirmed waits this long
  Tasks t(lingering);
  t.engine.step = [](int) { return 900; };
  for (int i = 0; i < 2; ++i) {
    const KelAsyncTaskData r = t.Op(KEL_TASK_OP_START, 0);
    EXPECT_EQ(r.nResult, KEL_TASK_BROKE) << i;
    EXPECT_EQ(r.uState, KEL_TASK_BROKEN) << i;
  }
  EXPECT_EQ(t.engine.steps, 4);  // the second start ran nothing
}

TEST(TaskManager, AnArrayThatNeedsNoWorkGetsNoTask) {
  Tasks t;
  t.engine.needsWork = false;
  const KelAsyncTaskData r = t.Op(KEL_TASK_OP_START, 0);
  EXPECT_EQ(r.nResult, kKelNoWorkNeeded);
  EXPECT_EQ(t.Op(KEL_TASK_OP_QUERY, 0).nResult, KEL_TASK_NO_SUCH);
  EXPECT_EQ(t.engine.steps, 0);
}

// An array removed under a running task: the engine refuses its magic number and the look-up
// finds nothing, which must end the task rather than repeat the step for ever.
TEST(TaskManager, AMagicRefusedForAVanishedArrayBreaksTheTask) {
  Tasks t;
  t.engine.devicesGone = true;
  t.engine.step = [](int call) { return call == 1 ? 0 : kKelStepMagicChanged; };
  EXPECT_EQ(t.Op(KEL_TASK_OP_START, 0).nResult, KEL_TASK_OK);
  KelAsyncTaskData q;
  for (int i = 0; i < 500 && (q = t.Op(KEL_TASK_OP_QUERY, 0)).uState != KEL_TASK_BROKEN; ++i)
    KelBaseThread::KelThreadSleep(2);
  EXPECT_EQ(q.uState, KEL_TASK_BROKEN);
  EXPECT_EQ(t.engine.steps, 5);
}

TEST(TaskManager, ATaskOutlivesReclaimWhileItsStarterStillHoldsIt) {
  KelTaskTimings timings = Tasks::Fast();
  timings.clientConfirmMs = 300;  // the start is never confirmed: it waits this long
  Tasks t(timings);
  t.clients = 0;  // with nobody logged in, ended tasks leave the lists at once
  t.engine.step = [](int) { return 900; };
  KelAsyncTaskData started;
  std::thread starter([&] { started = t.Op(KEL_TASK_OP_START, 0); });
  KelAsyncTaskData key;
  key.uTaskCode = KEL_TASK_SYNC_RAID1;
  key.wdMagic1 = 7;
  std::weak_ptr<KelAsyncTask> task;
  for (int i = 0; i < 1000; ++i) {
    if (task.expired()) task = t.manager.TEST_Find(key);
    auto held = task.lock();
    if (held && !held->running() && held->Record().uState == KEL_TASK_BROKEN) break;
    KelBaseThread::KelThreadSleep(1);
  }
  t.manager.TEST_Reclaim();
  EXPECT_TRUE(t.manager.TEST_Find(key).expired());  // gone from the lists
  EXPECT_FALSE(task.expired());                     // but still the starter's
  starter.join();
  EXPECT_EQ(started.nResult, KEL_TASK_BROKE);
  EXPECT_TRUE(task.expired());
}

}  // namespace

// A RAID 0+1 synchronisation is only as far as the slowest pair its mask selects.
TEST(TaskRecord, Raid01ProgressIsTheLeastSelectedSlotOrAHundredWhenComplete) {
  const uint16_t slots[kKelRaid01Slots] = {40, 20, 5, 90};
  const struct {
    uint16_t mask;
    bool complete;
    uint16_t want;
  } cases[] = {{1, false, 40}, {2, false, 20}, {3, false, 20}, {3, true, 100}, {0, false, 0}};
  for (const auto& c : cases)
    EXPECT_EQ(KelRaid01Progress(c.mask, slots, c.complete), c.want) << "mask " << c.mask;
}
