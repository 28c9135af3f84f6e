#include "service/raid/raid_reply.h"

#include "engine/engine_defs.h"
#include "service/session/kel_user_cmd.h"
#include "sharedlib/diag.h"

int RaidShortReply(KelUserCmd* cmd, int ret) {
  cmd->m_CmdDataLen = kRaidShortReplyLen;
  cmd->SetRetCode(ret);
  return ret;
}

bool RaidRequestFits(KelUserCmd* cmd, int need) {
  if (need >= 0 && cmd->m_CmdDataLen >= need && need + kRaidShortReplyLen <= kRaidMaxReplyLen)
    return true;
  KEL_PRINT(ZEP_DBG_ERROR, "cmd[%d]-task[%d]: request of %d bytes, %d needed\n", cmd->code,
            cmd->data[0], cmd->m_CmdDataLen, need);
  RaidShortReply(cmd, ZR_BAD_PARAM);
  return false;
}

int RaidPayloadReply(KelUserCmd* cmd, int reqLen, int ret) {
  std::memmove(cmd->data + kRaidShortReplyLen, cmd->data, static_cast<size_t>(reqLen));
  cmd->m_CmdDataLen = static_cast<uint16_t>(reqLen + kRaidShortReplyLen);
  cmd->SetRetCode(ret);
  return ret;
}

_Index_Plus_t RaidIndexAt(const KelUserCmd* cmd, int at) {
  _Index_Plus_t ref;
  std::memcpy(&ref, cmd->data + at, sizeof ref);
  return ref;
}
