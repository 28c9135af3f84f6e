// Opening the command connection: connect, then read the service's first packet, which is
// either the welcome or a disconnect notice saying why the service will not serve us.
#include "webext/client/client_connect.h"

#include <cstdio>
#include <new>

#include "sharedlib/aes.h"
#include "sharedlib/cmd_codes.h"
#include "sharedlib/diag.h"
#include "sharedlib/kel_socket.h"
#include "webext/client/client_codes.h"
#include "webext/client/client_exchange.h"

namespace {

constexpr unsigned char kRefusedAddress = 1;
constexpr unsigned char kRefusedTooMany = 2;

// Closes and deletes the command connection and puts its fields back to "closed".
void DropCmdSocket(CLIENT_INFO* ci) {
  if (ci->pCmdSock != nullptr) {
    ci->pCmdSock->Close();
    delete ci->pCmdSock;
  }
  ci->pCmdSock = nullptr;
  ci->nCmdSock = -1;
}

}  // namespace

int ZepSockInit() {
  if (AesModuleInit() != 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "Error:AesModuleInit failed\n");
    return -1;
  }
  return 0;
}

int ZepSockCleanUp() { return 0; }

int OpenConnect(CLIENT_INFO* ci, const char* host, unsigned short port) {
  return OpenConnectWithin(ci, host, port, kClientReplyTimeoutSec);
}

int OpenConnectWithin(CLIENT_INFO* ci, const char* host, unsigned short port,
                      unsigned int welcomeTimeoutSec) {
  if (ci == nullptr || host == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "Invalid parameters\n");
    return KEL_CLIENT_INVALID_PARAM;
  }
  KelSendSocket* sock = new (std::nothrow) KelSendSocket(host, port);
  if (sock == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "No memory for the socket object\n");
    return KEL_CLIENT_NO_MEMORY;
  }
  ClientInfoInit(ci);
  if (!sock->Start()) {
    KEL_PRINT(ZEP_DBG_ERROR, "Start send socket failed\n");
    delete sock;
    return KEL_CLIENT_CONNECT_FAILED;
  }
  ci->nCmdSock = sock->GetSocketID();
  ci->CmdSrvAddr = sock->GetSockAddr();
  snprintf(ci->szServerName, sizeof(ci->szServerName), "%s", sock->GetTgtName());
  ci->pCmdSock = sock;

  unsigned char code = 0;
  unsigned char data[kClientBufSize] = {};
  unsigned short len = 0;
  int wait = WaitCommand(ci->nCmdSock, &code, data, &len, welcomeTimeoutSec, 0, 1,
                         kClientBufSize);
  if (wait != 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "Error: Can not receive the response from server.!\n");
    DropCmdSocket(ci);
    return wait == 1 ? KEL_CLIENT_TIMEOUT : KEL_CLIENT_SEND_FAILED;
  }
  if (code == KEL_CMD_WELCOME) {
    ci->nState = WAIT_FOR_LOGIN_SERVER;
    return KEL_CLIENT_OK;
  }
  if (code == KEL_CMD_DISCONNECT) {
    unsigned char reason = len > 0 ? data[0] : 0;
    if (reason == kRefusedAddress)
      KEL_PRINT(ZEP_DBG_WARN, "IP Address is refused!\n");
    else if (reason == kRefusedTooMany)
      KEL_PRINT(ZEP_DBG_WARN, "Too many user on the server now!\n");
    else
      KEL_PRINT(ZEP_DBG_WARN, "Server refused connection, unknown reason!\n");
    DropCmdSocket(ci);
    return KEL_CLIENT_CONNECT_FAILED;
  }
  KEL_PRINT(ZEP_DBG_ERROR, "Server sent an incorrect ack code, so server state is abnormal!\n");
  DropCmdSocket(ci);
  return KEL_CLIENT_UNEXPECTED;
}

int CloseConnect(CLIENT_INFO* ci) {
  if (ci == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "Invalid parameters\n");
    return KEL_CLIENT_INVALID_PARAM;
  }
  if (ci->nCmdSock != -1 && ci->pCmdSock != nullptr) {
    ci->pCmdSock->Close();
    ci->nCmdSock = -1;
    delete ci->pCmdSock;
    ci->pCmdSock = nullptr;
  }
  if (ci->nNoticeSock != -1 && ci->pNoticeSock != nullptr) {
    ci->pNoticeSock->Close();
    ci->nNoticeSock = -1;
    delete ci->pNoticeSock;
    ci->pNoticeSock = nullptr;
  }
  return KEL_CLIENT_OK;
}
