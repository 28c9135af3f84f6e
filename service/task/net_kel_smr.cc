#include "service/task/net_kel_smr.h"

#include <cstring>

#include "engine/engine_defs.h"
#include "service/core/srv_private.h"
#include "service/raid/raid_magic.h"
#include "service/raid/raid_reply.h"
#include "service/session/kel_user_cmd.h"
#include "service/task/task_manager.h"
#include "sharedlib/diag.h"

namespace {

constexpr int kRecordLen = static_cast<int>(sizeof(KelAsyncTaskData));
constexpr int kMaxListed = 32;

const char* TaskName(uint8_t code) {
  static const char* const names[] = {"raid1 synchronization", "raid01 synchronization",
                                      "raid5 synchronization", "migration", "replace"};
  return KelIsWorkCode(code) ? names[code - 1] : nullptr;
}

// The text of the event-log line, before its outcome is known; empty for no line.
std::string Describe(const KelAsyncTaskData& r, const std::string& client) {
  if ((r.uOp == KEL_TASK_OP_START || r.uOp == KEL_TASK_OP_STOP) && TaskName(r.uTaskCode))
    return client + (r.uOp == KEL_TASK_OP_START ? " start " : " stop ") + TaskName(r.uTaskCode);
  if (r.uOp == KEL_TASK_OP_PREPARE_REPLACE) return client + " init hotspare";
  if (r.uOp == KEL_TASK_OP_WITHDRAW_REPLACE) return client + " remove hotspare";
  return "";
}

bool MagicsCurrent(const KelAsyncTaskData& r) {
  if (r.uTaskCode >= KEL_TASK_SYNC_RAID1 && r.uTaskCode <= KEL_TASK_MIGRATE_ARRAY)
    return CheckArrayMagic(r.uIndex1, r.wdMagic1);
  if (r.uTaskCode == KEL_TASK_REPLACE_PD)
    return CheckPDMagic(r.uIndex1, r.wdMagic1) && CheckPDMagic(r.uIndex2, r.wdMagic2);
  return true;
}

int ListAll(KelTaskManager* tasks, KelAsyncTaskData* r, KelUserCmd* pCmd) {
  KelAsyncTaskData list[kMaxListed];
  const int n = tasks->QueryAllAsyncTaskStatus(r, list, kMaxListed);
  pCmd->SetRetCode(r->nResult);
  pCmd->data[5] = static_cast<uint8_t>(n);
  memcpy(pCmd->data + 6, list, static_cast<size_t>(n) * kRecordLen);
  pCmd->m_CmdDataLen = static_cast<uint16_t>(6 + n * kRecordLen);
  return r->nResult;
}

// A failed start or stop may still leave a telling state: the task already running or
// done, or no such task.
int Refine(const KelAsyncTaskData& r) {
  if (r.nResult == 0 || r.nResult == 2) return r.nResult;
  if (r.uOp == KEL_TASK_OP_START && (r.uState == KEL_TASK_COMPLETED || r.uState == KEL_TASK_RUNNING))
    return KEL_TASK_START_RUNNING;
  if (r.uOp == KEL_TASK_OP_STOP || r.uOp == KEL_TASK_OP_QUERY) {
    if (r.uState == KEL_TASK_NEW) return KEL_TASK_NO_SUCH;
    if (r.uState == KEL_TASK_COMPLETED) return KEL_TASK_FINISHED;
  }
  return r.nResult;
}

}  // namespace

int NetKelSMR(KelSrvPrivate* priv, KelUserCmd* pCmd, std::string& logText) {
  if (pCmd->m_CmdDataLen != kRecordLen)
    KEL_ASSERT_TEXT("pCmd->m_CmdDataLen == sizeof(KelAsyncTaskData)");
  if (!RaidRequestFits(pCmd, kRecordLen)) {
    logText.clear();
    return ZR_BAD_PARAM;
  }
  KelAsyncTaskData r;
  memcpy(&r, pCmd->data, sizeof r);
  const std::string text = Describe(r, logText);
  logText.clear();
  if (r.uOp != KEL_TASK_OP_QUERY && !MagicsCurrent(r)) {
    KEL_PRINT(ZEP_DBG_WARN, "Magic number checking failed for SMR\n");
    if (!text.empty()) logText = "ERROR~" + text + " failed";
    return RaidShortReply(pCmd, 2);
  }
  KelTaskManager* tasks = priv != nullptr ? priv->pTaskManager : nullptr;
  if (tasks == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "No task manager\n");
    return RaidShortReply(pCmd, KEL_TASK_START_FAILED);
  }
  if (r.uTaskCode == KEL_ASYNC_TASK_QUERY_ALL) return ListAll(tasks, &r, pCmd);
  if (r.uOp == KEL_TASK_OP_PREPARE_REPLACE || r.uOp == KEL_TASK_OP_WITHDRAW_REPLACE) {
    r.nResult = tasks->Engine()->PrepareReplace(r, r.uOp == KEL_TASK_OP_WITHDRAW_REPLACE);
  } else if (!tasks->DispatchAsyncTask(&r)) {
    KEL_PRINT(ZEP_DBG_ERROR, "Dispatch SMR task failed. Retcode [%d]\n", r.nResult);
  }
  if (!text.empty()) {
    const bool ok = r.nResult == 0 || r.nResult == KEL_TASK_FINISHED;
    logText = (ok ? "INFO~" : "WARNING~") + text + (ok ? " succeed" : " failed");
  }
  const int result = Refine(r);
  pCmd->SetRetCode(result);
  memcpy(pCmd->data + 5, &r, sizeof r);
  pCmd->m_CmdDataLen = 5 + kRecordLen;
  return result;
}
