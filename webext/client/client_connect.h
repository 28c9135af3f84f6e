// Module set-up and the command connection: opening it up to the service's welcome, and
// closing both connections of a client.
#ifndef KEL_WEBEXT_CLIENT_CLIENT_CONNECT_H
#define KEL_WEBEXT_CLIENT_CLIENT_CONNECT_H

#include "webext/client/client_info.h"

// Builds the cipher's key schedule; must run before the first UserLogin. 0, or -1 with
// "Error:AesModuleInit failed".
int ZepSockInit();

// Nothing to release; returns 0.
int ZepSockCleanUp();

// Clears *ci, connects to host:port and waits up to 15 s for the service's first packet.
// 0: the welcome came, ci is in WAIT_FOR_LOGIN_SERVER and owns the command connection.
// Otherwise the connection is closed again and ci's sockets are -1: 2000 null argument,
// 2004 no memory, 2010 no connection or the service refused it (disconnect notice), 2002
// nothing within 15 s, 2001 the connection broke, 2003 some other first packet.
int OpenConnect(CLIENT_INFO* ci, const char* host, unsigned short port);

// Same with the wait for the welcome given in seconds (tests use short waits).
int OpenConnectWithin(CLIENT_INFO* ci, const char* host, unsigned short port,
                      unsigned int welcomeTimeoutSec);

// Closes and releases the command and the notice connection where open. 2000 for a null
// ci, else 0. The state and the client ID are left as they are.
int CloseConnect(CLIENT_INFO* ci);

#endif
