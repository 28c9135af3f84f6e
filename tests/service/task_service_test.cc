// The task machinery's edges to the rest of the service: command code 1, the worker that
// starts service work, and the records made from the engine's list of unfinished work.
#include <gtest/gtest.h>

#include <cstring>

#include "service/config/kel_remote_config.h"
#include "service/core/srv_private.h"
#include "service/monitor/kel_sig_workers.h"
#include "service/raid/raid_dispatch.h"
#include "service/session/kel_client_hash.h"
#include "service/session/kel_user_cmd.h"
#include "service/task/smr_handles.h"
#include "service/task/task_manager.h"
#include "tests/service/fake_task_engine.h"

namespace {

TEST(NetKelSMR, ListsTheRunningTaskAndAnswersAQueryForAnUnknownOneWith1111) {
  FakeEngine engine;
  KelTaskManager tasks(&engine, {});
  KelAsyncTaskData start;
  start.uTaskCode = KEL_TASK_SYNC_RAID5;
  start.uOp = KEL_TASK_OP_START;
  ASSERT_TRUE(tasks.DispatchAsyncTask(&start));
  KelSrvPrivate priv;
  priv.pTaskManager = &tasks;
  auto run = [&](uint8_t code, uint8_t op, uint8_t index) {
    auto cmd = std::make_unique<KelUserCmd>();
    cmd->code = KEL_CMD_SMR;
    cmd->m_CmdDataLen = 16;
    memset(cmd->data, 0, 16);
    cmd->data[0] = code, cmd->data[1] = op, cmd->data[2] = index;
    std::string logText = "client";
    KelExecuteRaidCmd(&priv, cmd.get(), logText);
    EXPECT_EQ(logText, "");  // queries log nothing
    return cmd;
  };
  auto all = run(KEL_ASYNC_TASK_QUERY_ALL, KEL_TASK_OP_QUERY, 0);
  ASSERT_EQ(all->m_CmdDataLen, 6 + 16);
  EXPECT_EQ(all->GetRetCode(), 0);
  EXPECT_EQ(all->data[5], 1);
  EXPECT_EQ(all->data[6], KEL_TASK_SYNC_RAID5);
  EXPECT_EQ(all->data[6 + 14], KEL_TASK_RUNNING);
  auto none = run(KEL_TASK_SYNC_RAID1, KEL_TASK_OP_QUERY, 4);
  EXPECT_EQ(none->m_CmdDataLen, 21);
  EXPECT_EQ(none->GetRetCode(), KEL_TASK_NO_SUCH);
  EXPECT_EQ(none->data[5 + 14], KEL_TASK_NEW);
}

// A start waits seconds for its confirmation; a login meanwhile needs the writer lock.
TEST(SMRSigWorker, StartsServiceWorkWithoutHoldingTheRegistryLock) {
  KelSrvPrivate priv;
  KelClientHash hash(&priv);
  priv.pClientHash = &hash;
  hash.RegistryLock().TEST_SetWaitMs(200);
  KelSMRSigWorker worker;
  worker.SetPara(&priv, nullptr);
  int dispatched = 0;
  bool loginCouldLock = false;
  worker.SetDispatch([&](KelAsyncTaskData*) {
    ++dispatched;
    loginCouldLock = hash.w_lock(__FILE__, __LINE__);
    if (loginCouldLock) hash.w_unlock(__FILE__, __LINE__);
    return true;
  });
  auto* signal = new KelSignal(Kel_Signal_SMR, 20);
  signal->data[0] = kKelSMRStartRequest;
  ASSERT_TRUE(worker.lock());
  worker.AddSignal(signal);
  worker.unlock();
  KelRemoteConfig::bAutoSMR = true;
  worker.RunOnce();
  EXPECT_EQ(dispatched, 1);
  EXPECT_TRUE(loginCouldLock);
}

TEST(SMRHandles, ARaid01SynchronisationCoversBothHalvesAndAReplacementNamesBothDisks) {
  _LIB_Need_SMR_Info_t info{};
  _LIB_Need_SMR_Entry raid01{};
  raid01.taskType = KEL_TASK_SYNC_RAID01, raid01.index = 3, raid01.magic = 9;
  raid01.third = 2;  // the array's sync status, not a mask
  _LIB_Need_SMR_Entry replace{};
  replace.taskType = KEL_TASK_REPLACE_PD, replace.index = 1, replace.third = 4;
  replace.targetMagic = 5;
  info.Append(raid01);
  info.Append(replace);
  const std::vector<KelAsyncTaskData> r = KelTasksFromHandles(info, {});
  ASSERT_EQ(r.size(), 2U);
  EXPECT_EQ(r[0].uIndex1, 3);
  EXPECT_EQ(r[0].wdMagic2, 3);
  EXPECT_EQ(r[0].uOrigin, KEL_TASK_BY_SERVICE);
  EXPECT_EQ(r[1].uTaskCode, KEL_TASK_REPLACE_PD);
  EXPECT_EQ(r[1].uIndex2, 4);
  EXPECT_EQ(r[1].wdMagic2, 5);
}

}  // namespace
