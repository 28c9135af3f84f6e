// Result codes of the client connection library, and a short meaning for each code a
// caller may see: the library's own (2000-2015, and 1002 for three wrong replies) and the
// service's and RAID engine's codes that the library passes through unchanged.
#ifndef KEL_WEBEXT_CLIENT_CLIENT_CODES_H
#define KEL_WEBEXT_CLIENT_CLIENT_CODES_H

enum KelClientResult : int {
  KEL_CLIENT_OK = 0,
  KEL_CLIENT_WRONG_REPLY = 1002,    // three replies in a row carried the wrong code or sub-code
  KEL_CLIENT_INVALID_PARAM = 2000,  // null pointer, login text too long, cipher error
  KEL_CLIENT_SEND_FAILED = 2001,    // sending failed, or the connection failed or closed
  KEL_CLIENT_TIMEOUT = 2002,        // no reply within the time allowed
  KEL_CLIENT_UNEXPECTED = 2003,     // the service answered with an unexpected code
  KEL_CLIENT_NO_MEMORY = 2004,      // no memory for the socket object
  KEL_CLIENT_CONNECT_FAILED = 2010, // could not connect, or the service refused the connection
  KEL_CLIENT_BAD_STATE = 2012,      // login outside WAIT_FOR_LOGIN_SERVER
  KEL_CLIENT_BAD_LOGIN = 2013,      // wrong user name or password (service code 1050)
  KEL_CLIENT_NO_FREE_ID = 2014,     // no free client ID / not registered (1052, 1053)
  KEL_CLIENT_TOO_LONG = 2015,       // result does not fit the caller's buffer, or request a packet
};

// Service codes that callers commonly branch on.
enum KelServiceResult : int {
  KEL_SERVICE_LOGIN_KICKED = 1051,  // login succeeded and ended the user's earlier session
  KEL_SERVICE_NO_SESSION = 1054,    // session login: no such client
};

// A short lower-case meaning of `code` ("wrong user name or password"); never null. Codes
// that are neither the library's nor known service codes give "unknown return code".
const char* KelClientResultText(int code);

#endif
