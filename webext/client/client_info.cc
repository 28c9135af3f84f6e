// Definitions of the module-wide client objects.
#include "webext/client/client_info.h"

#include <cstring>

void ClientInfoInit(CLIENT_INFO* ci) {
  memset(ci, 0, sizeof(*ci));
  ci->nState = NOT_CONNECTED;
  ci->nCmdSock = -1;
  ci->nNoticeSock = -1;
}

namespace {
CLIENT_INFO ClosedClientInfo() {
  CLIENT_INFO ci;
  ClientInfoInit(&ci);
  return ci;
}
}  // namespace

CLIENT_INFO g_ClientInfo = ClosedClientInfo();
KelMutex g_ClientInfoLock;
std::atomic<bool> bClearRevBuf{false};
