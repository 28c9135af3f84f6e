// Turning a command connection into a session: login with user name and password, session
// login that attaches the connection to an existing client ID, and logout.
#ifndef KEL_WEBEXT_CLIENT_CLIENT_LOGIN_H
#define KEL_WEBEXT_CLIENT_CLIENT_LOGIN_H

#include "webext/client/client_info.h"

// Logs in on ci's command connection, which must be in WAIT_FOR_LOGIN_SERVER; the name and
// password travel AES-enciphered (ZepSockInit must have run). On success (the service
// answered 0 or 1051, the latter having ended the user's earlier session) ci is LOGGED_IN
// with the client ID text and the session rights code stored, and 0 is returned.
// 2000 null argument, name + password of 95 characters or more, cipher failure; 2012 wrong
// state; 2013 wrong name or password; 2014 no free ID or not registered; otherwise the
// exchange's or the service's code.
int UserLogin(CLIENT_INFO* ci, const char* user, const char* password);

// Attaches ci's command connection to the session `clientIdText` (null: ci's stored ID).
// On 0 the session rights code is stored; the state is not changed. 2000 for a null ci,
// 2015 for an ID text that does not fit a packet, else the exchange's or the service's
// code (1 the session is no longer usable, 1054 no such session).
int UserSessionLogin(CLIENT_INFO* ci, const char* clientIdText);

// Ends the session `clientIdText` (null: ci's stored ID); ci's connection must be logged
// in. Afterwards waits up to 1 s for anything more on the connection and drops it.
// Returns the exchange's result and changes neither the connection nor the state. Ending
// the connection's own session makes the service close the connection, which usually
// comes back as 2001: the caller treats that as the end of the session.
int UserLogout(CLIENT_INFO* ci, const char* clientIdText);

#endif
