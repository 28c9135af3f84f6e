#include "service/raid/raid_dispatch.h"

#include <mutex>

#include "service/raid/raid_change_handlers.h"
#include "service/raid/raid_handlers.h"
#include "service/session/kel_user_cmd.h"
#include "service/task/net_kel_smr.h"
#include "sharedlib/diag.h"

KelRWLock gRaidOpRWLock;

namespace {

constexpr int kRaidCodes = 19;  // 1 to 18; slot 0 unused
constexpr int kTaskRunning = 1112;

// Written once by KelRaidCmdInit and afterwards only by tests through KelSetRaidHandler.
KelRaidHandler aNetKelRaidFunction[kRaidCodes] = {};  // guarded by g_tableMutex
std::mutex g_tableMutex;
bool g_hasInitialised = false;  // guarded by g_tableMutex

KelRaidHandler HandlerOf(unsigned char code) {
  std::lock_guard<std::mutex> hold(g_tableMutex);
  return aNetKelRaidFunction[code];
}

// How a command code uses gRaidOpRWLock.
enum class RaidOpLock { kNone, kShared, kExclusive };

RaidOpLock LockOf(unsigned char code) {
  if (code == KEL_CMD_CREATE_RAID) return RaidOpLock::kShared;
  if (code == KEL_CMD_REMOVE_RAID) return RaidOpLock::kExclusive;
  return RaidOpLock::kNone;
}

}  // namespace

void KelRaidCmdInit() {
  std::lock_guard<std::mutex> hold(g_tableMutex);
  if (g_hasInitialised) return;
  aNetKelRaidFunction[KEL_CMD_SMR] = NetKelSMR;
  aNetKelRaidFunction[KEL_CMD_CREATE_RAID] = NetKelCreateRaid;
  aNetKelRaidFunction[KEL_CMD_REMOVE_RAID] = NetKelRemoveRaid;
  aNetKelRaidFunction[KEL_CMD_REPAIR_RAID] = NetKelRepairRaid;
  aNetKelRaidFunction[KEL_CMD_ADD_SPARE] = NetKelAddSpare;
  aNetKelRaidFunction[KEL_CMD_REMOVE_SPARE] = NetKelRemoveSpare;
  aNetKelRaidFunction[KEL_CMD_GET_CONTROLLER] = NetKelGetClterInfo;
  aNetKelRaidFunction[KEL_CMD_GET_CHANNEL] = NetKelGetChnlInfo;
  aNetKelRaidFunction[KEL_CMD_GET_HUB] = NetKelGetDHubInfo;
  aNetKelRaidFunction[KEL_CMD_GET_DEVICE] = NetKelGetDevInfo;
  aNetKelRaidFunction[KEL_CMD_GET_ARRAY] = NetKelGetArrInfo;
  aNetKelRaidFunction[KEL_CMD_GET_VD] = NetKelGetVDInfo;
  aNetKelRaidFunction[KEL_CMD_GET_PARTITION] = NetKelGetPartInfo;
  aNetKelRaidFunction[KEL_CMD_UPDATE_HARDWARE] = NetKelUpdateHardwareInfo;
  aNetKelRaidFunction[KEL_CMD_RELOAD_DRIVER] = NetKelReloadDriver;
  aNetKelRaidFunction[KEL_CMD_SMART] = NetKelGetSmartStatus;
  aNetKelRaidFunction[KEL_CMD_GET_PROTECT] = NetKelGetProtectInfo;
  aNetKelRaidFunction[KEL_CMD_CLEAR_DISK] = NetKelClearDiskConf;
  g_hasInitialised = true;
}

void KelSetRaidHandler(unsigned char code, KelRaidHandler handler) {
  if (code == 0 || code >= kRaidCodes) return;
  KelRaidCmdInit();
  std::lock_guard<std::mutex> hold(g_tableMutex);
  aNetKelRaidFunction[code] = handler;
}

bool KelExecuteRaidCmd(KelSrvPrivate* priv, KelUserCmd* cmd, std::string& logText) {
  if (priv == nullptr) KEL_ASSERT_TEXT("priv != NULL");
  if (cmd == nullptr) {
    KEL_ASSERT_TEXT("pCmd != NULL");
    return false;  // nothing to answer
  }
  KelRaidCmdInit();
  KelRaidHandler handler = cmd->code > 0 && cmd->code < kRaidCodes ? HandlerOf(cmd->code) : nullptr;
  if (handler == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "Invalid command code %d\n", cmd->code);
    logText.clear();  // a refused code is not an event
    cmd->status = KEL_CMD_REFUSED;
    cmd->m_CmdDataLen = 5;
    cmd->SetRetCode(KEL_RET_INVALID_CMD);
    return false;
  }

  const RaidOpLock lock = LockOf(cmd->code);
  bool locked = false;
  if (lock == RaidOpLock::kShared) locked = gRaidOpRWLock.RLock();
  if (lock == RaidOpLock::kExclusive) locked = gRaidOpRWLock.WLock();
  // With a single command worker nobody else holds the lock; the operation runs anyway.
  if (lock != RaidOpLock::kNone && !locked) KEL_PRINT(ZEP_DBG_ERROR, "RaidOpLock failed \n");

  const int result = handler(priv, cmd, logText);

  if (locked && lock == RaidOpLock::kShared) gRaidOpRWLock.RUnlock();
  if (locked && lock == RaidOpLock::kExclusive) gRaidOpRWLock.WUnlock();

  if (result == 0 || result == kTaskRunning) {
    cmd->status = KEL_CMD_OK;
  } else if (result == KEL_RET_STALE_MAGIC) {
    KEL_PRINT(ZEP_DBG_WARN, "The device/array cmd[%d]-task[%d] tries to operated on has changed\n",
              cmd->code, cmd->data[0]);
    cmd->status = KEL_CMD_REFUSED;
  } else {
    cmd->status = KEL_CMD_FAILED;
  }
  return cmd->status == KEL_CMD_OK;
}
