// Login, session login and logout. The login plaintext is "name\0password\0" padded with
// zero bytes to whole 16-byte cipher blocks.
#include "webext/client/client_login.h"

#include <cstring>

#include "sharedlib/aes.h"
#include "sharedlib/cmd_codes.h"
#include "sharedlib/diag.h"
#include "webext/client/client_codes.h"
#include "webext/client/client_exchange.h"

namespace {

constexpr int kServiceBadAccount = 1050;
constexpr int kServiceNoFreeId = 1052;
constexpr int kServiceNotInserted = 1053;
constexpr size_t kMaxLoginChars = 95;  // name + password must stay below this
constexpr size_t kCipherBlock = 16;
constexpr unsigned short kLoginReplyLen = 26;
constexpr int kReplyIdOffset = 5;
constexpr unsigned int kLogoutDrainUsec = 1000000;

// Copies the zero-terminated ID text at data[5] into ci, never past either buffer.
void StoreClientId(CLIENT_INFO* ci, const unsigned char* data) {
  size_t n = strnlen(reinterpret_cast<const char*>(data + kReplyIdOffset),
                     sizeof(ci->szClientID) - 1);
  memcpy(ci->szClientID, data + kReplyIdOffset, n);
  ci->szClientID[n] = '\0';
}

// Writes `text` and its zero byte to data[offset..]; false when the request would not fit
// a packet buffer.
bool PutText(unsigned char* data, size_t offset, const char* text, unsigned short* len) {
  size_t n = strlen(text) + 1;
  if (offset + n + kPacketOverhead > kClientBufSize) return false;
  memcpy(data + offset, text, n);
  *len = static_cast<unsigned short>(offset + n);
  return true;
}

}  // namespace

int UserLogin(CLIENT_INFO* ci, const char* user, const char* password) {
  if (ci == nullptr || user == nullptr || password == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "Error: Null input pointer\n");
    return KEL_CLIENT_INVALID_PARAM;
  }
  const size_t nameLen = strlen(user);
  const size_t passLen = strlen(password);
  if (nameLen + passLen >= kMaxLoginChars) {
    KEL_PRINT(ZEP_DBG_ERROR, "Error: Invalid string length\n");
    return KEL_CLIENT_INVALID_PARAM;
  }
  if (ci->nState != WAIT_FOR_LOGIN_SERVER) {
    KEL_PRINT(ZEP_DBG_WARN,
              "The client isn`t in WAIT_FOR_LOGIN_SERVER state, the client`s statemachine is "
              "abnormal!\n");
    return KEL_CLIENT_BAD_STATE;
  }

  unsigned char plain[kMaxLoginChars + 1 + kCipherBlock] = {};
  memcpy(plain, user, nameLen);
  memcpy(plain + nameLen + 1, password, passLen);
  const size_t textLen = nameLen + passLen + 2;
  const unsigned short cipherLen =
      static_cast<unsigned short>((textLen + kCipherBlock - 1) / kCipherBlock * kCipherBlock);
  unsigned char data[kClientBufSize] = {};
  int aes = AesEncrypt(plain, data, cipherLen);
  memset(plain, 0, sizeof(plain));  // the password does not linger on the stack
  if (aes != 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "AesEncrypt error, should close session!\n");
    return KEL_CLIENT_INVALID_PARAM;
  }

  unsigned char code = KEL_CMD_LOGIN;
  unsigned short uCommandDataLen = cipherLen;
  int ret = KelExecuteCmd(ci->nCmdSock, &code, data, &uCommandDataLen, kClientReplyTimeoutSec, 1);
  if (ret == 0 || ret == KEL_SERVICE_LOGIN_KICKED) {
    KEL_ASSERT(uCommandDataLen == 26);
    KEL_PRINT(ZEP_DBG_INFO, "Login server ok!\n");
    ci->nState = LOGGED_IN;
    StoreClientId(ci, data);
    ci->nSessionRights = uCommandDataLen > 0 ? data[uCommandDataLen - 1] : 0;
    return KEL_CLIENT_OK;
  }
  if (ret == kServiceBadAccount) {
    KEL_PRINT(ZEP_DBG_INFO, "Invalide user name or password!\n");
    return KEL_CLIENT_BAD_LOGIN;
  }
  if (ret == kServiceNoFreeId || ret == kServiceNotInserted) {
    KEL_PRINT(ZEP_DBG_INFO, "No free ID or the user can not login more than once!\n");
    return KEL_CLIENT_NO_FREE_ID;
  }
  KEL_PRINT(ZEP_DBG_ERROR, "Server sent an incorrect ack code, so server state is abnormal!\n");
  return ret;
}

namespace {

// Session login and logout both send a client ID text (the stored one when none is given)
// at data[at] and take the reply's return code. 0, or the client result to return.
int SendIdRequest(CLIENT_INFO* ci, const char* clientIdText, unsigned char code, int at,
                  unsigned char* data) {
  if (ci == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "Invalid parameters\n");
    return KEL_CLIENT_INVALID_PARAM;
  }
  const char* id = clientIdText != nullptr ? clientIdText : ci->szClientID;
  unsigned short len = 0;
  if (!PutText(data, at, id, &len)) {
    KEL_PRINT(ZEP_DBG_ERROR, "The client ID text is too long\n");
    return KEL_CLIENT_TOO_LONG;
  }
  return KelExecuteCmd(ci->nCmdSock, &code, data, &len, kClientReplyTimeoutSec, 1);
}

}  // namespace

int UserSessionLogin(CLIENT_INFO* ci, const char* clientIdText) {
  unsigned char data[kClientBufSize] = {};
  int ret = SendIdRequest(ci, clientIdText, KEL_CMD_SESSION_LOGIN, 0, data);
  if (ret != 0) {
    if (ret != KEL_CLIENT_INVALID_PARAM && ret != KEL_CLIENT_TOO_LONG)
      KEL_PRINT(ZEP_DBG_ERROR, "UserSessionLogin[%d] failed\n", KEL_CMD_SESSION_LOGIN);
    return ret;
  }
  ci->nSessionRights = data[5];
  return KEL_CLIENT_OK;
}

int UserLogout(CLIENT_INFO* ci, const char* clientIdText) {
  unsigned char data[kClientBufSize] = {};
  data[0] = KEL_LOCAL_LOGOUT;
  int ret = SendIdRequest(ci, clientIdText, KEL_CMD_LOCAL, 1, data);
  if (ret == KEL_CLIENT_INVALID_PARAM || ret == KEL_CLIENT_TOO_LONG) return ret;
  if (ret != 0) KEL_PRINT(ZEP_DBG_ERROR, "Execute cmd[%d] failed\n", KEL_CMD_LOCAL);
  DiscardPending(ci->nCmdSock, kLogoutDrainUsec);
  return ret;
}
