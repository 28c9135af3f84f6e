// Login, session login and logout, run on the connection thread that received them, and
// the reply sender. Each handler works in place on the command record: it reads the
// request from the data area, writes the reply there, sets m_CmdDataLen, and fills the
// event-log text that the caller queues.
#ifndef KEL_SERVICE_LOGIN_USER_LOGIN_H
#define KEL_SERVICE_LOGIN_USER_LOGIN_H

#include <string>

class KelUserCmd;
struct KelSrvPrivate;

// Return codes of login and the local commands.
enum KelLocalRet {
  KEL_LOCAL_LOG_FILE = 1001,        // the event-log file cannot be opened or read
  KEL_LOCAL_BAD_REQUEST = 1002,     // malformed request
  KEL_LOCAL_REGISTRY_LOCK = 1003,   // the client registry could not be locked
  KEL_LOCAL_NO_CLIENT = 1004,       // the requesting client no longer exists
  KEL_LOCAL_NO_MEMORY = 1005,
  KEL_LOGIN_BAD_ACCOUNT = 1050,     // user name or password wrong
  KEL_LOGIN_KICKED = 1051,          // login succeeded, the user's earlier session ended
  KEL_LOGIN_NO_ID = 1052,
  KEL_LOGIN_INSERT_FAILED = 1053,
  KEL_LOGIN_BAD_SESSION = 1054,     // session login: bad ID text or no such client
};

// Session rights code sent to the client, from the account's rights word.
unsigned char SessionRightsCode(unsigned int rights);

// For every packet before the connection is logged in: code 250 logs in, 251 continues a
// session, any other code returns false with the command untouched. True: the connection
// is now logged in as *clientId.
bool UserRegister(KelSrvPrivate* priv, KelUserCmd* cmd, int* clientId, std::string& logText);
bool UserLogin(KelSrvPrivate* priv, KelUserCmd* cmd, int* clientId, std::string& logText);
bool UserSessionLogin(KelSrvPrivate* priv, KelUserCmd* cmd, int* clientId, std::string& logText);
// Code 255 sub-code 0 on a logged-in connection; any client may be logged out.
void UserLogout(KelSrvPrivate* priv, KelUserCmd* cmd, std::string& logText);

#endif
