#include "service/raid/raid_dispatch.h"

#include <mutex>

#include "service/session/kel_user_cmd.h"
#include "sharedlib/diag.h"

namespace {

constexpr int kRaidCodes = 18;  // 1 to 17; slot 0 unused
constexpr int kTaskRunning = 1112;

// Codes 1 to 17 get their handlers with the engine; until then they answer as unknown.
KelRaidHandler aNetKelRaidFunction[kRaidCodes] = {};
std::mutex g_tableMutex;  // guards aNetKelRaidFunction

}  // namespace

void KelSetRaidHandler(unsigned char code, KelRaidHandler handler) {
  if (code == 0 || code >= kRaidCodes) return;
  std::lock_guard<std::mutex> hold(g_tableMutex);
  aNetKelRaidFunction[code] = handler;
}

bool KelExecuteRaidCmd(KelSrvPrivate* priv, KelUserCmd* cmd, std::string& logText) {
  KelRaidHandler handler = nullptr;
  if (cmd->code > 0 && cmd->code < kRaidCodes) {
    std::lock_guard<std::mutex> hold(g_tableMutex);
    handler = aNetKelRaidFunction[cmd->code];
  }
  if (handler == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "Invalid command code %d\n", cmd->code);
    cmd->status = KEL_CMD_REFUSED;
    cmd->m_CmdDataLen = 5;
    cmd->SetRetCode(KEL_RET_INVALID_CMD);
    return false;
  }
  int result = handler(priv, cmd, logText);
  if (result == 0 || result == kTaskRunning)
    cmd->status = KEL_CMD_OK;
  else if (result == KEL_RET_STALE_MAGIC)
    cmd->status = KEL_CMD_REFUSED;
  else
    cmd->status = KEL_CMD_FAILED;
  return cmd->status == KEL_CMD_OK;
}
