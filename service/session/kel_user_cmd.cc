#include "service/session/kel_user_cmd.h"

#include <cstring>

#include "sharedlib/diag.h"

namespace {

// The list of every record in existence, so that shutdown can release leftovers.
KelMutex& UserCmdMutex() {
  static KelMutex user_cmd_mutex;
  return user_cmd_mutex;
}
KelUserCmd* user_cmd_head = nullptr;  // guarded by UserCmdMutex()
int user_cmd_count = 0;               // guarded by UserCmdMutex()

bool IsQuery(unsigned char code) { return (code >= 9 && code <= 13) || code == 17; }
// Configuration changes: one retry at most, and none once the engine has acted (the
// handlers clear the budget themselves).
bool IsArrayChange(unsigned char code) {
  return (code >= KEL_CMD_CREATE_RAID && code <= KEL_CMD_REMOVE_SPARE) ||
         code == KEL_CMD_CLEAR_DISK;
}

}  // namespace

KelUserCmd::KelUserCmd() {
  memset(data, 0, sizeof(data));
  KelMutexGuard hold(UserCmdMutex());
  m_next = user_cmd_head;
  if (user_cmd_head != nullptr) user_cmd_head->m_prev = this;
  user_cmd_head = this;
  ++user_cmd_count;
}

KelUserCmd::~KelUserCmd() {
  if (m_pCmdCopy != nullptr) KelMemPool::operator delete[](m_pCmdCopy);
  KelMutexGuard hold(UserCmdMutex());
  if (m_prev != nullptr)
    m_prev->m_next = m_next;
  else
    user_cmd_head = m_next;
  if (m_next != nullptr) m_next->m_prev = m_prev;
  --user_cmd_count;
}

void KelUserCmd::ClearAllCmds() {
  for (;;) {
    KelUserCmd* victim;
    {
      KelMutexGuard hold(UserCmdMutex());
      victim = user_cmd_head;
    }
    if (victim == nullptr) return;
    delete victim;  // unlinks itself
  }
}

int KelUserCmd::SendReply(int sock) {
  if (m_CmdDataLen > kCmdDataSize) {
    KEL_PRINT(ZEP_DBG_ERROR, "Reply of cmd[%d] too long [%d], cut to %d\n", code, m_CmdDataLen,
              kCmdDataSize);
    m_CmdDataLen = kCmdDataSize;
  }
  AssemblePacket(code, data, m_CmdDataLen, data);
  return SendPacket(sock, data, static_cast<unsigned short>(m_CmdDataLen + kPacketOverhead));
}

int KelUserCmd::LiveCount() {
  KelMutexGuard hold(UserCmdMutex());
  return user_cmd_count;
}

void KelCmdInit(KelUserCmd* cmd) {
  if (IsQuery(cmd->code))
    cmd->retriesLeft = 0;
  else if (IsArrayChange(cmd->code))
    cmd->retriesLeft = 1;
  if (cmd->retriesLeft == 0 || cmd->m_pCmdCopy != nullptr) return;
  try {
    cmd->m_pCmdCopy =
        static_cast<unsigned char*>(KelMemPool::operator new[](cmd->m_CmdDataLen + 2u));
  } catch (const std::bad_alloc&) {
    cmd->m_pCmdCopy = nullptr;
  }
  if (cmd->m_pCmdCopy == nullptr) {
    KEL_ASSERT_TEXT("pCmd->m_pCmdCopy != NULL");
    return;
  }
  cmd->m_pCmdCopy[0] = static_cast<unsigned char>(cmd->m_CmdDataLen >> 8);
  cmd->m_pCmdCopy[1] = static_cast<unsigned char>(cmd->m_CmdDataLen & 0xFF);
  memcpy(cmd->m_pCmdCopy + 2, cmd->data, cmd->m_CmdDataLen);
}

void KelCmdRetryPrep(KelUserCmd* cmd) {
  if (cmd->status != KEL_CMD_RETRY || cmd->m_pCmdCopy == nullptr) return;
  cmd->m_CmdDataLen = static_cast<uint16_t>(cmd->m_pCmdCopy[0] << 8 | cmd->m_pCmdCopy[1]);
  memset(cmd->data, 0, sizeof(cmd->data));
  memcpy(cmd->data, cmd->m_pCmdCopy + 2, cmd->m_CmdDataLen);
}

void KelCmdComplete(KelSrvPrivate*, KelUserCmd* cmd) { cmd->state = KEL_CMD_STATE_DONE; }

bool IsSrvLocalCmd(const KelUserCmd* cmd) { return cmd->code >= KEL_CMD_LOGIN; }

bool KelCmdPermissionCheck(KelUserCmd*, std::string&) { return true; }

bool KelUserCmdQueue::lock() {
  if (!mutex.lock()) {
    KEL_PRINT(ZEP_DBG_ERROR, "Get cmd queue lock failed\n");
    return false;
  }
  return true;
}

bool KelUserCmdQueue::AddToQueue(KelUserCmd* cmd) {
  try {
    cmds.Insert(cmd);
  } catch (const std::bad_alloc&) {
    return false;
  }
  ++m_nCmds;
  return true;
}

bool KelUserCmdQueue::RemoveFromQueue(KelUserCmd* cmd) {
  if (cmds.Remove(cmd) == 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "Remove cmd[%p] failed. Current cmd[%d]\n", static_cast<void*>(cmd),
              m_nCmds);
    return false;
  }
  if (m_nCmds > 0) --m_nCmds;
  return true;
}

bool KelUserCmdQueue::GetNextCmd(KelUserCmd*& cmd) {
  auto* node = cmds.Head();
  if (cmd != nullptr) {
    auto* at = node;
    while (at != nullptr && at->m_val != cmd) at = at->next;
    if (at != nullptr) node = at->next;
  }
  if (node == nullptr) return false;
  cmd = node->m_val;
  return true;
}

bool KelUserCmdQueue::PopHead(KelUserCmd*& cmd) {
  if (!cmds.PopFront(&cmd)) return false;
  if (m_nCmds > 0) --m_nCmds;
  return true;
}

void KelUserCmdQueue::DumpQueue() {
  cmds.ForEach([](KelUserCmd* c) {
    KEL_PRINT(ZEP_DBG_INFO, "Cmd[%d-%d] from client[%d]\n", c->code, c->data[0], c->clientID);
  });
}
