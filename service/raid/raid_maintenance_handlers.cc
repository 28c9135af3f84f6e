// Commands that act on the hardware rather than read the model: a rescan, the driver
// reload (or host reboot), and the SMART commands.
#include "service/account/kel_account.h"
#include "service/core/srv_private.h"
#include "service/raid/raid_engine_ops.h"
#include "service/raid/raid_handlers.h"
#include "service/raid/raid_magic.h"
#include "service/raid/raid_reply.h"
#include "service/session/kel_client_hash.h"
#include "service/session/kel_user_cmd.h"
#include "sharedlib/diag.h"

namespace {

constexpr int kReloadUserAt = 4;
constexpr int kReloadPasswdAt = 24;
constexpr int kReloadTextMax = 20;  // each text field of the reload request
constexpr int kSmartSizeAt = 2;
constexpr int kSmartRefAt = 4;
constexpr int kSmartDataAt = 12;
constexpr int kSmartPageLen = 512;

enum SmartSubCode {
  kSmartReadData = 2,
  kSmartReadThreshold = 3,
  kSmartStatus = 4,
  kSmartExecute = 5,
};

// The data part a sub-code writes into; the client's size must cover it.
int SmartDataNeeded(int sub) {
  switch (sub) {
    case kSmartReadData:
    case kSmartReadThreshold:
      return kSmartPageLen;
    case kSmartStatus:
      return 1;
    default:
      return 0;
  }
}

// A text field of at most `width` bytes that the client may not have terminated.
void CopyText(char* to, const unsigned char* from, int width) {
  int n = 0;
  while (n < width && from[n] != 0) {
    to[n] = static_cast<char>(from[n]);
    ++n;
  }
  to[n] = '\0';
}

// Whether the command came from a session that logged in with administrator rights (the
// rights it logged in with, not what the account file says now).
bool FromAdminSession(KelSrvPrivate* priv, int clientID) {
  if (priv == nullptr || priv->pClientHash == nullptr) return false;
  KelClient* client = PinClient(priv->pClientHash, clientID);
  if (client == nullptr) return false;
  const bool admin = (client->pRemoteClient->accountInfo.rights & KEL_ACC_ADMIN) != 0;
  UnpinClient(client);
  return admin;
}

void Wipe(char* text, size_t n) {
  volatile char* p = text;
  for (size_t i = 0; i < n; ++i) p[i] = 0;
}

}  // namespace

int NetKelUpdateHardwareInfo(KelSrvPrivate*, KelUserCmd* pCmd, std::string& logText) {
  logText.clear();
  // Reads nothing of the request, so any length will do.
  return RaidShortReply(pCmd, KelRaidEngine().update_hardware_info());
}

int NetKelReloadDriver(KelSrvPrivate* priv, KelUserCmd* pCmd, std::string& logText) {
  logText.clear();
  if (!RaidRequestFits(pCmd, kReloadDriverLen)) return ZR_BAD_PARAM;
  // The request carries a host account's password in the clear and may restart the host:
  // a guest session must not be able to probe passwords or take the host down with it.
  if (!FromAdminSession(priv, pCmd->clientID)) {
    KEL_PRINT(ZEP_DBG_WARN, "Driver reload refused: client %d is not an administrator\n",
              pCmd->clientID);
    return RaidShortReply(pCmd, ZR_BAD_PARAM);
  }
  char user[kReloadTextMax + 1];
  char passwd[kReloadTextMax + 1];
  CopyText(user, pCmd->data + kReloadUserAt, kReloadTextMax);
  CopyText(passwd, pCmd->data + kReloadPasswdAt, kReloadTextMax);
  const int ret = KelRaidEngine().reload_driver(pCmd->data[1], user, passwd);
  Wipe(passwd, sizeof passwd);
  return RaidShortReply(pCmd, ret);
}

int NetKelGetSmartStatus(KelSrvPrivate*, KelUserCmd* pCmd, std::string& logText) {
  logText.clear();
  if (!RaidRequestFits(pCmd, kSmartHeadLen)) return ZR_BAD_PARAM;
  const int sub = pCmd->data[0];
  const int size = pCmd->data[kSmartSizeAt] | pCmd->data[kSmartSizeAt + 1] << 8;
  if (size < SmartDataNeeded(sub)) {
    KEL_PRINT(ZEP_DBG_ERROR, "SMART task[%d]: data part of %d bytes is too small\n", sub, size);
    return RaidShortReply(pCmd, ZR_BAD_PARAM);
  }
  // The size field must describe bytes the client really sent.
  const int reqLen = kSmartHeadLen + size;
  if (!RaidRequestFits(pCmd, reqLen)) return ZR_BAD_PARAM;

  if (sub == kSmartExecute) {
    const int ret = KelRaidEngine().exec_SMART();
    RaidPayloadReply(pCmd, reqLen, ret);
    // A disk in bad health is an answer, not a failed command.
    return ret == ZR_SMART_BAD ? ZR_OK : ret;
  }
  const _Index_Plus_t ref = RaidIndexAt(pCmd, kSmartRefAt);
  if (!CheckPDMagic(pCmd->data[kSmartRefAt], ref.wdMagicNum)) {
    KEL_PRINT(ZEP_DBG_WARN, "Check magic failed\n");
    pCmd->SetRetCode(KEL_RET_STALE_MAGIC);
    return KEL_RET_STALE_MAGIC;
  }
  unsigned char page[kSmartPageLen];
  int ret = kRaidUnknownSubCode;
  switch (sub) {
    case kSmartReadData:
    case kSmartReadThreshold:
      std::memcpy(page, pCmd->data + kSmartDataAt, kSmartPageLen);
      ret = sub == kSmartReadData ? KelRaidEngine().exec_SMART_READ_DATA(ref, page)
                                  : KelRaidEngine().exec_SMART_READ_THRESHOLD(ref, page);
      std::memcpy(pCmd->data + kSmartDataAt, page, kSmartPageLen);
      break;
    case kSmartStatus: {
      uint8_t status = pCmd->data[kSmartDataAt];
      ret = KelRaidEngine().get_PD_SMART_status_TARVOII(ref, &status);
      pCmd->data[kSmartDataAt] = status;
      break;
    }
    default:
      break;
  }
  return RaidPayloadReply(pCmd, reqLen, ret);
}
