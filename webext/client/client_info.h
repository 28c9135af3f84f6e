// The state of one console client's connections to a service, and the module-wide objects
// of the client library: the one CLIENT_INFO that the extension module serves, the lock its
// script functions hold around each exchange, and the stale-reply flag.
#ifndef KEL_WEBEXT_CLIENT_CLIENT_INFO_H
#define KEL_WEBEXT_CLIENT_CLIENT_INFO_H

#include <netinet/in.h>

#include <atomic>

#include "sharedlib/kel_mutex.h"

class KelSendSocket;

// Where a CLIENT_INFO stands. The values travel nowhere but are kept as the console knows
// them.
enum KelClientState : int {
  NOT_CONNECTED = 0,          // no welcome received
  WAIT_FOR_LOGIN_SERVER = 3,  // the welcome arrived; a login may follow
  LOGGED_IN = 4,              // a login succeeded on this connection
};

// Plain data: OpenConnect clears it whole with memset. The socket objects are owned by the
// structure while their descriptor fields are not -1; CloseConnect releases them.
struct CLIENT_INFO {
  char szClientID[20];         // decimal client ID from the last login, zero-terminated
  char szServerName[256];      // reverse look-up of the service's address, or empty
  int nSessionRights;          // 0x14, 0x15 or 0x16 from the last (session) login
  int nState;                  // KelClientState
  int nCmdSock;                // command connection, -1 when closed
  int nNoticeSock;             // notification connection, -1 when closed
  sockaddr_in CmdSrvAddr;      // target of the command connection
  sockaddr_in NoticeSrvAddr;   // target of the notification connection
  KelSendSocket* pCmdSock;     // owner of nCmdSock
  KelSendSocket* pNoticeSock;  // owner of nNoticeSock
};

// The console's build is 32-bit, where the structure is 332 bytes.
static_assert(sizeof(void*) != 4 || sizeof(CLIENT_INFO) == 332, "CLIENT_INFO layout changed");

// A CLIENT_INFO in state NOT_CONNECTED with both sockets at -1.
void ClientInfoInit(CLIENT_INFO* ci);

// The module's one client; starts as ClientInfoInit leaves it. Exchanges on its command
// connection are made under g_ClientInfoLock.
extern CLIENT_INFO g_ClientInfo;
extern KelMutex g_ClientInfoLock;

// Set when the command connection may still deliver a reply that nobody waits for any more
// (after a time-out, a broken or a wrong reply); the next KelExecuteCmd drains the socket
// first and clears it. Module-wide, not per connection, as the module has one command
// connection: callers that use several connections from several threads must serialise
// their exchanges (g_ClientInfoLock does it for the module). Atomic only so that such use
// is not a data race.
extern std::atomic<bool> bClearRevBuf;

#endif
