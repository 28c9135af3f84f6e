// Login (code 250), session login (code 251) and logout (code 255, sub-code 0): the
// handlers that turn a fresh connection into a registered client session and end sessions
// again. They run on the connection threads, concurrently with the command worker, and
// touch the client registry only through its reader/writer lock and the clients' mutexes.
#include "service/login/user_login.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "service/account/kel_account.h"
#include "service/notify/kel_client_notify.h"
#include "service/core/srv_private.h"
#include "service/session/kel_client_hash.h"
#include "service/session/kel_client_thread.h"
#include "service/session/kel_user_cmd.h"
#include "sharedlib/aes.h"
#include "sharedlib/diag.h"
#include "sharedlib/packet.h"

namespace {

constexpr unsigned short kLoginReplyLen = 26;
constexpr unsigned short kSessionReplyLen = 6;
constexpr unsigned short kLogoutReplyLen = 5;
constexpr int kIdTextAt = 5;            // the new client ID as decimal text in the login reply
constexpr int kRightsAt = 25;           // session rights code in the login reply
constexpr size_t kMaxCredential = 255;  // names and passwords travel through 256-byte buffers

// The caller hands in "IP:" followed by the peer's dotted address; a connection thread can
// also name its peer itself.
std::string PeerAddress(const KelUserCmd* cmd, const std::string& logText) {
  static constexpr char kPrefix[] = "IP:";
  if (logText.compare(0, sizeof(kPrefix) - 1, kPrefix) == 0)
    return logText.substr(sizeof(kPrefix) - 1);
  if (cmd->pIssuer != nullptr) return cmd->pIssuer->PeerText();
  return std::string();
}

// Client IDs travel as decimal text; anything that is not an int names no client.
int ParseClientID(const std::string& text) {
  const long value = strtol(text.c_str(), nullptr, 10);
  if (value < INT_MIN || value > INT_MAX) return gDummyClientID;
  return static_cast<int>(value);
}

// The zero-terminated text at data[from], bounded by the request length; `terminated`
// tells whether its zero byte lay inside the request.
std::string RequestText(const KelUserCmd* cmd, int from, bool* terminated) {
  const int len = cmd->m_CmdDataLen < kCmdDataSize ? cmd->m_CmdDataLen : kCmdDataSize;
  if (from >= len) {
    *terminated = false;
    return std::string();
  }
  const char* text = reinterpret_cast<const char*>(cmd->data + from);
  const size_t n = strnlen(text, static_cast<size_t>(len - from));
  *terminated = n < static_cast<size_t>(len - from);
  return std::string(text, n);
}

// Binds the receiving connection thread to the session; unit tests run without one.
void BindIssuer(KelUserCmd* cmd, KelRemoteClient* session, int id) {
  if (cmd->pIssuer == nullptr) return;
  cmd->pIssuer->SetClientID(id);
  session->AddCliThread(cmd->pIssuer);
}

// Deciphers the login request into name and password. 0, or KEL_LOCAL_BAD_REQUEST.
int ResolveLoginPacket(const KelUserCmd* cmd, std::string* name, std::string* password) {
  const unsigned int len = cmd->m_CmdDataLen;
  unsigned char plain[kCmdDataSize];
  if (len == 0 || len % 16 != 0 || len > sizeof(plain) || AesDecrypt(cmd->data, plain, len) != 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "Invalid login packet received from client\n");
    return KEL_LOCAL_BAD_REQUEST;
  }
  plain[len - 1] = 0;
  const char* text = reinterpret_cast<const char*>(plain);
  const size_t nameLen = strlen(text);
  int ret = 0;
  if (nameLen >= len - 1) {
    // No room for a password behind the name.
    ret = KEL_LOCAL_BAD_REQUEST;
  } else {
    const char* pass = text + nameLen + 1;
    const size_t passLen = strlen(pass);
    if (nameLen > kMaxCredential || passLen > kMaxCredential) {
      KEL_PRINT(ZEP_DBG_ERROR, "Invalid login packet received from client\n");
      ret = KEL_LOCAL_BAD_REQUEST;
    } else {
      name->assign(text, nameLen);
      password->assign(pass, passLen);
    }
  }
  explicit_bzero(plain, len);
  return ret;
}

// Tells the session that a newer login of its user ends it. Send errors do not matter:
// the session goes either way.
void SendKickNotice(KelClientHash* hash, KelRemoteClient* session) {
  const _KelHostEventData notice{KEL_NOTICE_KICKED, 0, nullptr};
  session->notifyMutex.lock();
  if (session->notifySocket.sock != -1)
    KelClientNotify(hash).SendNotice(notice, &session->notifySocket.sock);
  session->notifyMutex.unlock();
}

// Ends the session that `name` already holds. True when there was one to end.
bool KickPreviousSession(KelClientHash* hash, const std::string& name) {
  if (!hash->r_lock(__FILE__, __LINE__)) {
    KEL_PRINT(ZEP_DBG_ERROR, "Get ClientHash R lock failed\n");
    return false;
  }
  KelClient* old = hash->GetClient(name);
  if (old == nullptr) {
    hash->r_unlock(__FILE__, __LINE__);
    return false;
  }
  const int oldId = old->pRemoteClient->GetClientID();
  old->mutex.lock(__FILE__, __LINE__);
  const bool pinned = old->pRemoteClient->Get();
  old->mutex.unlock(__FILE__, __LINE__);
  hash->r_unlock(__FILE__, __LINE__);

  // Without a pin the session may vanish now; only a pinned one can still be told.
  if (pinned) SendKickNotice(hash, old->pRemoteClient);

  if (!hash->w_lock(__FILE__, __LINE__)) {
    KEL_PRINT(ZEP_DBG_ERROR, "w_lock the client hash failed\n");
    // The pin must not outlive this call, or the session could never be destroyed; a
    // pinned session stays valid without the registry lock.
    if (pinned) UnpinClient(old);
    return true;
  }
  if (pinned) UnpinClient(old);
  if (!hash->DestroyClient(oldId, false))
    KEL_PRINT(ZEP_DBG_ERROR, "Kick client[%d] failed, set it offline\n", oldId);
  else
    KEL_PRINT(ZEP_DBG_INFO, "Kick client[%d] succeed\n", oldId);
  hash->w_unlock(__FILE__, __LINE__);
  return true;
}

// Creates and registers the session for `account`; the caller holds the write lock. 0 with
// *id set, or one of KelLocalRet.
int RegisterSession(KelSrvPrivate* priv, KelClientHash* hash, KelUserCmd* cmd,
                    const _KelAccountInfo& account, int* id) REQUIRES(hash->RegistryLock()) {
  const int newId = hash->AllocateFreeClientID();
  if (newId == gDummyClientID) {
    KEL_ASSERT_TEXT("nClientID != gDummyClientID");
    return KEL_LOGIN_NO_ID;
  }
  KelClient* client = nullptr;
  try {
    client = new KelClient();
    client->pRemoteClient = new KelRemoteClient(newId, priv->pCmdParser);
  } catch (const std::bad_alloc&) {
    delete client;
    return KEL_LOCAL_NO_MEMORY;
  }
  client->pRemoteClient->accountInfo = account;
  if (cmd->pIssuer != nullptr)
    client->pRemoteClient->loginAddr = cmd->pIssuer->PeerAddress().sin_addr.s_addr;
  if (!hash->Insert(client)) {
    KEL_PRINT(ZEP_DBG_ERROR, "Insert client to Hash failed. The ID may exist\n");
    delete client->pRemoteClient;
    delete client;
    return KEL_LOGIN_INSERT_FAILED;
  }
  BindIssuer(cmd, client->pRemoteClient, newId);
  *id = newId;
  return 0;
}

}  // namespace

unsigned char SessionRightsCode(unsigned int rights) {
  if (rights & 0x4) return 0x15;
  if (rights & 0x2) return 0x14;
  return 0x16;
}

bool UserRegister(KelSrvPrivate* priv, KelUserCmd* cmd, int* clientId, std::string& logText) {
  switch (cmd->code) {
    case KEL_CMD_LOGIN:
      return UserLogin(priv, cmd, clientId, logText);
    case KEL_CMD_SESSION_LOGIN:
      return UserSessionLogin(priv, cmd, clientId, logText);
    default:
      return false;
  }
}

bool UserLogin(KelSrvPrivate* priv, KelUserCmd* cmd, int* clientId, std::string& logText) {
  _KelAccountInfo account;
  int result = ResolveLoginPacket(cmd, &account.name, &account.password);
  int id = gDummyClientID;
  if (result == 0) {
    const int verified = priv->pAccount->VerifyItem(&account);
    if (verified != 0) {
      KEL_PRINT(ZEP_DBG_ERROR, "Account verify failed. Err = %d\n", verified);
      result = KEL_LOGIN_BAD_ACCOUNT;
    }
  }
  if (result == 0 && !(account.rights & KEL_ACC_MULTI_LOGIN) &&
      KickPreviousSession(priv->pClientHash, account.name))
    result = KEL_LOGIN_KICKED;

  const bool kicked = result == KEL_LOGIN_KICKED;
  if (result == 0 || kicked) {
    KelClientHash* hash = priv->pClientHash;
    if (!hash->w_lock(__FILE__, __LINE__)) {
      KEL_PRINT(ZEP_DBG_ERROR, "Get ClientHash W lock failed\n");
      result = KEL_LOCAL_REGISTRY_LOCK;
    } else {
      int registered = RegisterSession(priv, hash, cmd, account, &id);
      // Sessions whose connections all closed would otherwise hold every place until the
      // watchdog drops them, locking the administrator out; guests wait for a free place.
      if (registered == KEL_LOGIN_NO_ID && (account.rights & KEL_ACC_ADMIN) != 0 &&
          hash->EvictUnreachableSession())
        registered = RegisterSession(priv, hash, cmd, account, &id);
      if (registered != 0) result = registered;
      hash->w_unlock(__FILE__, __LINE__);
    }
  }

  const std::string address = PeerAddress(cmd, logText);
  const bool ok = result == 0 || result == KEL_LOGIN_KICKED;
  cmd->m_CmdDataLen = kLoginReplyLen;
  cmd->SetRetCode(result);
  memset(cmd->data + kIdTextAt, 0, kLoginReplyLen - kIdTextAt);
  if (!ok) {
    KEL_PRINT(ZEP_DBG_ERROR, "User login failed\n");
    logText = "ERROR~User <" + account.name + "> from <" + address + "> login failed";
    return false;
  }
  snprintf(reinterpret_cast<char*>(cmd->data + kIdTextAt), kRightsAt - kIdTextAt, "%d", id);
  cmd->data[kRightsAt] = SessionRightsCode(account.rights);
  *clientId = id;
  KEL_PRINT(ZEP_DBG_INFO, "Client[ID: %d] login from %s OK\n", id, address.c_str());
  logText = "INFO~Client <" + account.name + "> from <" + address + "> login OK";
  if (kicked) logText += ". But kick previous login session";
  return true;
}

bool UserSessionLogin(KelSrvPrivate* priv, KelUserCmd* cmd, int* clientId, std::string& logText) {
  logText.clear();
  bool terminated = false;
  const std::string text = RequestText(cmd, 0, &terminated);
  int result = 0;
  int id = gDummyClientID;
  unsigned int rights = 0;
  KelClientHash* hash = priv->pClientHash;
  if (!terminated || cmd->m_CmdDataLen != text.size() + 1) {
    KEL_PRINT(ZEP_DBG_ERROR, "Invalid ClientID %s send by user\n", text.c_str());
    result = KEL_LOGIN_BAD_SESSION;
  } else if (!hash->r_lock(__FILE__, __LINE__)) {
    KEL_PRINT(ZEP_DBG_ERROR, "Get ClientTable R lock failed\n");
    result = KEL_LOCAL_REGISTRY_LOCK;
  } else {
    id = ParseClientID(text);
    KelClient* client = hash->GetClient(id);
    if (client == nullptr || client->pRemoteClient == nullptr) {
      KEL_PRINT(ZEP_DBG_ERROR, "ClientID %d does not exist\n", id);
      result = KEL_LOGIN_BAD_SESSION;
    } else {
      client->mutex.lock(__FILE__, __LINE__);
      KelRemoteClient* session = client->pRemoteClient;
      if (session->Get()) {
        rights = session->accountInfo.rights;
        session->Put();
        BindIssuer(cmd, session, id);
      } else {
        result = KEL_RET_INVALID_CMD;  // offline: the session is being destroyed
      }
      client->mutex.unlock(__FILE__, __LINE__);
      KEL_PRINT(ZEP_DBG_VERBOSE, "ClientID %d send ACK\n", id);
    }
    hash->r_unlock(__FILE__, __LINE__);
  }

  cmd->m_CmdDataLen = kSessionReplyLen;
  cmd->SetRetCode(result);
  if (result != 0) {
    cmd->data[5] = 0;
    KEL_PRINT(ZEP_DBG_ERROR, "User Ack failed\n");
    return false;
  }
  cmd->data[5] = SessionRightsCode(rights);
  *clientId = id;
  KEL_PRINT(ZEP_DBG_VERBOSE, "User Ack ok\n");
  return true;
}

void UserLogout(KelSrvPrivate* priv, KelUserCmd* cmd, std::string& logText) {
  const std::string address = PeerAddress(cmd, logText);
  // Only an actual logout attempt leaves a line for the event log.
  logText.clear();
  bool terminated = false;
  const std::string text = RequestText(cmd, 1, &terminated);
  const unsigned short requestLen = cmd->m_CmdDataLen;
  cmd->m_CmdDataLen = kLogoutReplyLen;
  if (!terminated || requestLen != text.size() + 2) {
    KEL_PRINT(ZEP_DBG_ERROR, "Invalid ClientID %s send by user\n", text.c_str());
    cmd->SetRetCode(KEL_LOCAL_BAD_REQUEST);
    return;
  }
  const int id = ParseClientID(text);
  KelClientHash* hash = priv->pClientHash;
  if (!hash->r_lock(__FILE__, __LINE__)) {
    KEL_PRINT(ZEP_DBG_ERROR, "Get ClientTable R lock failed\n");
    cmd->SetRetCode(KEL_LOCAL_REGISTRY_LOCK);
    return;
  }
  KelClient* client = hash->GetClient(id);
  if (client == nullptr || client->pRemoteClient == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "Non exist client\n");
    hash->r_unlock(__FILE__, __LINE__);
    cmd->SetRetCode(KEL_LOCAL_BAD_REQUEST);
    return;
  }
  client->mutex.lock(__FILE__, __LINE__);
  const bool pinned = client->pRemoteClient->Get();
  client->mutex.unlock(__FILE__, __LINE__);
  hash->r_unlock(__FILE__, __LINE__);
  if (!pinned) {
    // Already on its way out: nothing left to do.
    cmd->SetRetCode(0);
    return;
  }

  // The pin keeps the session, and with it the account record, alive until Put.
  const std::string who =
      "Client <" + client->pRemoteClient->accountInfo.name + "> from <" + address;
  int result = 0;
  if (hash->w_lock(__FILE__, __LINE__)) {
    logText = "INFO~" + who + "> logout";
    UnpinClient(client);
    if (!hash->DestroyClient(id, true)) {
      KelClient* left = hash->GetClient(id);
      const int refs =
          left != nullptr && left->pRemoteClient != nullptr ? left->pRemoteClient->GetRefCnt() : 0;
      KEL_PRINT(ZEP_DBG_ERROR, "Client[ID: %d], [Ref = %d]\n", id, refs);
    }
    hash->w_unlock(__FILE__, __LINE__);
  } else {
    KEL_PRINT(ZEP_DBG_ERROR, "Get ClientTable W lock failed\n");
    UnpinClient(client);
    logText = "WARNING~" + who + "> logout failed";
    result = KEL_LOCAL_REGISTRY_LOCK;
  }
  KEL_PRINT(ZEP_DBG_INFO, "ID[%d]: %s\n", id, logText.c_str());
  cmd->SetRetCode(result);
}
