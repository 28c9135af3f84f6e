// The nine service-local commands (code 255, sub-codes 1 to 9) that the command worker runs:
// the sub-code table, its dispatcher and the handlers. Every handler answers in place in the
// command's data area with big-endian fields and leaves the event-log text empty; each
// returns the reply's return code, so a refused request counts as a failed command.
#include "service/login/local_cmds.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

#include "service/account/kel_account.h"
#include "service/config/kel_remote_config.h"
#include "service/core/srv_private.h"
#include "service/eventlog/kel_event_log.h"
#include "service/login/user_login.h"
#include "service/monitor/kel_watchdog.h"
#include "service/session/kel_client_hash.h"
#include "service/session/kel_user_cmd.h"
#include "sharedlib/diag.h"

namespace {

using KelLocalHandler = int (*)(KelSrvPrivate*, KelUserCmd*, std::string&);

constexpr int kLocalSlots = 10;  // indexed by sub-code; slot 0 (logout) never reaches here
constexpr unsigned short kShortReplyLen = 5;
constexpr unsigned short kLogStatusReplyLen = 21;
constexpr unsigned short kLogItemsRequestLen = 10;
constexpr int kLogItemsTextAt = 13;
constexpr int kLogItemsReplyMax = 2056;  // the largest reply the framing in place can carry
constexpr unsigned short kBeepReplyLen = 6;
constexpr unsigned short kIntervalReplyLen = 9;
constexpr unsigned short kTestReplyLen = 119;
constexpr unsigned int kTestPayloadLen = 112;
constexpr unsigned int kMsPerMinute = 60000;
// The largest whole number of minutes whose milliseconds still fit in 32 bits.
constexpr unsigned int kMaxIntervalMinutes = 71582;

// The shortest request each sub-code can be answered from, sub-code included.
constexpr unsigned short kLocalRequestLen[kLocalSlots] = {1, 1, 1, kLogItemsRequestLen, 1, 2, 1,
                                                           1, 5, 1};

// Filled once, on the first local command; read-only afterwards.
KelLocalHandler aNetKelLocalFunction[kLocalSlots];

bool KelSrvLocalCmdInit() {
  aNetKelLocalFunction[0] = nullptr;
  aNetKelLocalFunction[1] = NetKelCheckLogStatus;
  aNetKelLocalFunction[2] = NetKelClearLog;
  aNetKelLocalFunction[3] = NetKelGetLogItems;
  aNetKelLocalFunction[4] = NetKelGetBeepStatus;
  aNetKelLocalFunction[5] = NetKelSetBeepStatus;
  aNetKelLocalFunction[6] = NetKelChangePasswd;
  aNetKelLocalFunction[7] = NetKelGetCheckDiskInterval;
  aNetKelLocalFunction[8] = NetKelSetCheckDiskInterval;
  aNetKelLocalFunction[9] = NetKelLocalCmdTest;
  return true;
}

// Sets the reply to its bare return code.
int ShortReply(KelUserCmd* pCmd, int ret) {
  pCmd->m_CmdDataLen = kShortReplyLen;
  pCmd->SetRetCode(ret);
  return ret;
}

// Rewrites the configuration file after a setting changed. Some callers (tests) run without
// a configuration object; the setting then lives in memory only.
void SaveSettings(KelSrvPrivate* priv) {
  if (priv != nullptr && priv->pConfig != nullptr) priv->pConfig->WriteKelConfig();
}

// The zero-terminated texts of data[from..len), in order; a text that runs to the end of the
// request ends there.
std::vector<std::string> RequestTexts(const KelUserCmd* pCmd, int from, int wanted) {
  const int len = pCmd->m_CmdDataLen < kCmdDataSize ? pCmd->m_CmdDataLen : kCmdDataSize;
  std::vector<std::string> texts;
  int at = from;
  while (static_cast<int>(texts.size()) < wanted) {
    if (at >= len) {
      texts.emplace_back();
      continue;
    }
    const char* text = reinterpret_cast<const char*>(pCmd->data + at);
    const size_t n = strnlen(text, static_cast<size_t>(len - at));
    texts.emplace_back(text, n);
    at += static_cast<int>(n) + 1;
  }
  return texts;
}

}  // namespace

bool KelExecuteLocalCmd(KelSrvPrivate* priv, KelUserCmd* cmd, std::string& logText) {
  // Thread-safe first use: the table is filled exactly once, before any handler runs.
  [[maybe_unused]] static const bool hasInitialised = KelSrvLocalCmdInit();
  const int subCode = cmd->data[0];
  KelLocalHandler handler = subCode < kLocalSlots ? aNetKelLocalFunction[subCode] : nullptr;
  if (handler == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "Invalid command code %d\n", subCode);
    logText.clear();
    cmd->status = KEL_CMD_REFUSED;
    ShortReply(cmd, KEL_RET_INVALID_CMD);
    return false;
  }
  // Missing request bytes would read as zeros (switching the beeper off, an interval of 0):
  // a request too short for its sub-code changes nothing.
  if (cmd->m_CmdDataLen < kLocalRequestLen[subCode]) {
    KEL_PRINT(ZEP_DBG_ERROR, "Local command[%d] request too short [%d bytes]\n", subCode,
              cmd->m_CmdDataLen);
    logText.clear();
    cmd->status = KEL_CMD_FAILED;
    ShortReply(cmd, KEL_LOCAL_BAD_REQUEST);
    return false;
  }
  const int ret = handler(priv, cmd, logText);
  if (ret != 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "Local command[%d] failed. Ret code [%d]\n", subCode, ret);
    cmd->status = KEL_CMD_FAILED;
    return false;
  }
  cmd->status = KEL_CMD_OK;
  return true;
}

int NetKelCheckLogStatus(KelSrvPrivate* priv, KelUserCmd* pCmd, std::string& logText) {
  logText.clear();
  KelEventLog* log = priv->pEventLog;
  if (log == nullptr) return ShortReply(pCmd, KEL_LOCAL_LOG_FILE);
  const unsigned long long size = KelEventLog::GetSize(log->GetPath().c_str());
  const int lines = log->GetCurLineNum();
  pCmd->INT32UToBuf(size > log->GetMaxSize() ? 1 : 0, 5);
  pCmd->INT32UToBuf(static_cast<unsigned int>(size >> 32), 9);
  pCmd->INT32UToBuf(static_cast<unsigned int>(size & 0xFFFFFFFFu), 13);
  pCmd->INT32SToBuf(lines, 17);
  pCmd->SetRetCode(0);
  pCmd->m_CmdDataLen = kLogStatusReplyLen;
  return 0;
}

int NetKelClearLog(KelSrvPrivate* priv, KelUserCmd* pCmd, std::string& logText) {
  logText.clear();
  // A log that cannot be locked now stays as it is; the client sees no difference.
  if (priv->pEventLog != nullptr) priv->pEventLog->ClearLog();
  return ShortReply(pCmd, 0);
}

int NetKelGetLogItems(KelSrvPrivate* priv, KelUserCmd* pCmd, std::string& logText) {
  logText.clear();
  if (pCmd->m_CmdDataLen != kLogItemsRequestLen) {
    KEL_PRINT(ZEP_DBG_ERROR, "Invalid GetLogItems request packet send by client\n");
    return ShortReply(pCmd, KEL_LOCAL_BAD_REQUEST);
  }
  const int first = static_cast<int>(pCmd->BufToINT32U(2));
  int count = static_cast<int>(pCmd->BufToINT32U(6));
  if (pCmd->data[1] != 0) count = -count;  // older lines, backward from `first`

  const std::string& path = KelRemoteConfig::strEventLogFile;
  std::ifstream file(path, std::ios::in | std::ios::binary);
  if (!file.is_open()) {
    KEL_PRINT(ZEP_DBG_ERROR, "Cannot open file <%s> to read\n", path.c_str());
    return ShortReply(pCmd, KEL_LOCAL_LOG_FILE);
  }
  std::vector<std::string> lines;
  if (priv->pEventLog == nullptr || !priv->pEventLog->ReadLines(file, lines, first, count)) {
    file.close();
    return ShortReply(pCmd, KEL_LOCAL_LOG_FILE);
  }
  file.close();

  int textBytes = 0;
  unsigned int copied = 0;
  for (const std::string& line : lines) {
    if (kLogItemsTextAt + textBytes + static_cast<int>(line.size()) > kLogItemsReplyMax) {
      KEL_PRINT(ZEP_DBG_WARN, "Buffer size is not enough\n");
      break;
    }
    memcpy(pCmd->data + kLogItemsTextAt + textBytes, line.data(), line.size());
    textBytes += static_cast<int>(line.size());
    ++copied;
  }
  pCmd->INT32UToBuf(copied, 5);
  pCmd->INT32UToBuf(static_cast<unsigned int>(textBytes), 9);
  pCmd->SetRetCode(0);
  pCmd->m_CmdDataLen = static_cast<unsigned short>(kLogItemsTextAt + textBytes);
  return 0;
}

int NetKelGetBeepStatus(KelSrvPrivate*, KelUserCmd* pCmd, std::string& logText) {
  logText.clear();
  KEL_ASSERT(pCmd->m_CmdDataLen == 1);
  KelRemoteConfig::kelCfgLock.lock();
  const bool enabled = KelRemoteConfig::bBeepEnable;
  KelRemoteConfig::kelCfgLock.unlock();
  pCmd->data[5] = enabled ? 1 : 0;
  pCmd->SetRetCode(0);
  pCmd->m_CmdDataLen = kBeepReplyLen;
  return 0;
}

int NetKelSetBeepStatus(KelSrvPrivate* priv, KelUserCmd* pCmd, std::string& logText) {
  logText.clear();
  KEL_ASSERT(pCmd->m_CmdDataLen == 2);
  int ret = 0;
  KelRemoteConfig::kelCfgLock.lock();
  if (pCmd->data[1] == 0 || pCmd->data[1] == 1) {
    KelRemoteConfig::bBeepEnable = pCmd->data[1] == 1;
  } else {
    KEL_PRINT(ZEP_DBG_ERROR, "Invalid packet content received from client\n");
    ret = KEL_LOCAL_BAD_REQUEST;
  }
  KelRemoteConfig::kelCfgLock.unlock();
  SaveSettings(priv);
  return ShortReply(pCmd, ret);
}

int NetKelChangePasswd(KelSrvPrivate* priv, KelUserCmd* pCmd, std::string& logText) {
  logText.clear();
  KelClientHash* hash = priv->pClientHash;
  if (!hash->r_lock(__FILE__, __LINE__)) {
    KEL_PRINT(ZEP_DBG_ERROR, "Lock the ClientHash failed\n");
    return ShortReply(pCmd, KEL_LOCAL_REGISTRY_LOCK);
  }
  KelClient* client = hash->GetClient(pCmd->clientID);
  if (client == nullptr || client->pRemoteClient == nullptr) {
    hash->r_unlock(__FILE__, __LINE__);
    return ShortReply(pCmd, KEL_LOCAL_NO_CLIENT);
  }
  client->mutex.lock(__FILE__, __LINE__);
  const bool pinned = client->pRemoteClient->Get();
  client->mutex.unlock(__FILE__, __LINE__);
  hash->r_unlock(__FILE__, __LINE__);
  if (!pinned) return ShortReply(pCmd, KEL_ACC_ERR_NO_USER);

  // The requester's rights are those it logged in with, not what the file says now.
  _KelAccountInfo requester = client->pRemoteClient->accountInfo;
  std::vector<std::string> texts = RequestTexts(pCmd, 1, 3);
  _KelAccountInfo target;
  target.name = texts[0];
  target.password = texts[1];
  const int ret = priv->pAccount->ChangePasswd(&requester, &target, texts[2]);
  UnpinClient(client);
  return ShortReply(pCmd, ret);
}

int NetKelGetCheckDiskInterval(KelSrvPrivate*, KelUserCmd* pCmd, std::string& logText) {
  logText.clear();
  KEL_ASSERT(pCmd->m_CmdDataLen == 1);
  KelRemoteConfig::kelCfgLock.lock();
  // The milliseconds may use all 32 bits (up to 71,582 minutes).
  const auto ms = static_cast<uint32_t>(KelRemoteConfig::nCheckDiskStatusInterval);
  KelRemoteConfig::kelCfgLock.unlock();
  pCmd->INT32UToBuf(ms / kMsPerMinute, 5);
  pCmd->SetRetCode(0);
  pCmd->m_CmdDataLen = kIntervalReplyLen;
  return 0;
}

int NetKelSetCheckDiskInterval(KelSrvPrivate* priv, KelUserCmd* pCmd, std::string& logText) {
  logText.clear();
  KEL_ASSERT(pCmd->m_CmdDataLen == 5);
  unsigned int minutes = pCmd->BufToINT32U(1);
  if (minutes > kMaxIntervalMinutes) minutes = kMaxIntervalMinutes;
  KelRemoteConfig::kelCfgLock.lock();
  KelRemoteConfig::nCheckDiskStatusInterval = static_cast<int32_t>(minutes * kMsPerMinute);
  KelRemoteConfig::kelCfgLock.unlock();
  SaveSettings(priv);
  if (priv != nullptr && priv->pWatchDog != nullptr)
    priv->pWatchDog->SetDsTimeoutMs(minutes * kMsPerMinute);
  return ShortReply(pCmd, 0);
}

int NetKelLocalCmdTest(KelSrvPrivate*, KelUserCmd* pCmd, std::string& logText) {
  logText.clear();
  pCmd->data[5] = static_cast<unsigned char>(kTestPayloadLen >> 8);
  pCmd->data[6] = static_cast<unsigned char>(kTestPayloadLen & 0xFF);
  memset(pCmd->data + 7, 0, kTestPayloadLen);
  pCmd->SetRetCode(0);
  pCmd->m_CmdDataLen = kTestReplyLen;
  return 0;
}
