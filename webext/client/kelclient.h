// The client connection library in one include: codes, client state, the exchange,
// connection, session, notice, discovery and local-command functions. No PHP headers
// anywhere below.
#ifndef KEL_WEBEXT_CLIENT_KELCLIENT_H
#define KEL_WEBEXT_CLIENT_KELCLIENT_H

#include "webext/client/client_codes.h"
#include "webext/client/client_connect.h"
#include "webext/client/client_discovery.h"
#include "webext/client/client_events.h"
#include "webext/client/client_exchange.h"
#include "webext/client/client_info.h"
#include "webext/client/client_local_cmds.h"
#include "webext/client/client_login.h"

#endif
