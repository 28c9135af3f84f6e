// Connection, session, notices, discovery, event log and service settings: the script
// functions over the client library. Arguments that cannot be parsed, and result variables
// that are no references, give 900 here (201 for the three functions older pages check
// for it: connect, session continuation and logout).
#include <algorithm>
#include <cstring>

#include "sharedlib/kel_mutex.h"
#include "webext/client/kelclient.h"
#include "zv_util.h"

namespace {

// One service-local command on the module's command connection, under the lock every
// exchange on it is made with.
template <class F>
int LocalCommand(F&& f) {
  return zvu::Guarded([&] {
    KelMutexGuard hold(g_ClientInfoLock);
    return f(&g_ClientInfo);
  });
}

// Session continuation and logout: one client-ID text, then `call` on the module's client.
void WithClientId(zend_execute_data* execute_data, zval* return_value,
                  int (*call)(CLIENT_INFO*, const char*)) {
  char* id;
  size_t idLen;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 1, 1)
  Z_PARAM_STRING(id, idLen)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  const std::string i = zvu::CText(id, idLen);
  RETURN_LONG(zvu::Guarded([&] { return call(&g_ClientInfo, i.c_str()); }));
}

// How long discovery waits for each further answer.
constexpr unsigned int kScanWaitSec = 3;

}  // namespace

ZEND_FUNCTION(php_zepsockinit) { RETURN_LONG(zvu::Guarded([] { return ZepSockInit(); })); }

ZEND_FUNCTION(php_zepsockcleanup) { RETURN_LONG(ZepSockCleanUp()); }

ZEND_FUNCTION(php_openconnect) {
  char* host;
  size_t hostLen;
  zend_long port;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 2, 2)
  Z_PARAM_STRING(host, hostLen)
  Z_PARAM_LONG(port)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  const std::string h = zvu::CText(host, hostLen);
  RETURN_LONG(zvu::Guarded(
      [&] { return OpenConnect(&g_ClientInfo, h.c_str(), static_cast<unsigned short>(port)); }));
}

// The client ID and the rights code are written also when the login failed: they then
// show what the module holds (an empty ID after a failed first login).
ZEND_FUNCTION(php_userlogin) {
  char *user, *password;
  size_t userLen, passwordLen;
  zval *clientId, *rights;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 4, 4)
  Z_PARAM_STRING(user, userLen)
  Z_PARAM_STRING(password, passwordLen)
  Z_PARAM_ZVAL(clientId)
  Z_PARAM_ZVAL(rights)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgsLocal));
  if (!zvu::AllRefs({clientId, rights})) RETURN_LONG(kVolmodBadArgsLocal);
  const std::string u = zvu::CText(user, userLen), p = zvu::CText(password, passwordLen);
  const int rc = zvu::Guarded([&] { return UserLogin(&g_ClientInfo, u.c_str(), p.c_str()); });
  zvu::SetText(clientId, g_ClientInfo.szClientID,
               strnlen(g_ClientInfo.szClientID, sizeof g_ClientInfo.szClientID));
  zvu::SetLong(rights, g_ClientInfo.nSessionRights);
  RETURN_LONG(rc);
}

ZEND_FUNCTION(php_userack) { WithClientId(execute_data, return_value, UserSessionLogin); }

ZEND_FUNCTION(php_userlogout) { WithClientId(execute_data, return_value, UserLogout); }

ZEND_FUNCTION(php_closeconnect) {
  RETURN_LONG(zvu::Guarded([] { return CloseConnect(&g_ClientInfo); }));
}

ZEND_FUNCTION(php_zr_exit) {
  RETURN_LONG(zvu::Guarded([] { return CloseConnect(&g_ClientInfo); }));
}

ZEND_FUNCTION(php_initeventsocket) {
  char *id, *host;
  size_t idLen, hostLen;
  zend_long port;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 3, 3)
  Z_PARAM_STRING(id, idLen)
  Z_PARAM_STRING(host, hostLen)
  Z_PARAM_LONG(port)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgsLocal));
  const std::string i = zvu::CText(id, idLen), h = zvu::CText(host, hostLen);
  RETURN_LONG(zvu::Guarded([&] {
    return InitEventSocket(&g_ClientInfo, i.c_str(), h.c_str(), static_cast<unsigned short>(port));
  }));
}

// `kind` receives the notice kind; for a disk-status or task notice `data` becomes the
// list of its values, for other kinds it is left alone.
ZEND_FUNCTION(php_checkraidevent) {
  zval *kind, *data;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 2, 2)
  Z_PARAM_ZVAL(kind)
  Z_PARAM_ZVAL(data)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgsLocal));
  if (!zvu::AllRefs({kind, data})) RETURN_LONG(kVolmodBadArgsLocal);
  std::vector<unsigned char> buf(kClientBufSize, 0);
  int type = 0;
  unsigned short len = 0;
  std::vector<int64_t> list;
  const int rc = zvu::Guarded([&] {
    const int r = CheckRaidEvent(&g_ClientInfo, &type, buf.data(), &len);
    if (r == 0) list = NoticeList(type, buf.data(), len);
    return r;
  });
  if (rc != 0) RETURN_LONG(rc);
  zvu::SetLong(kind, type);
  if (type == KEL_NOTICE_KIND_DISK_STATUS || type == KEL_NOTICE_KIND_TASK) zvu::SetIntList(data, list);
  RETURN_LONG(0);
}

// The list text is "ADDRESS\nNAME\n" per service; also written when it was cut short
// (2015), with the services that fitted.
ZEND_FUNCTION(php_scanserver) {
  zend_long port;
  zval* list;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 2, 2)
  Z_PARAM_LONG(port)
  Z_PARAM_ZVAL(list)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgsLocal));
  if (!zvu::AllRefs({list})) RETURN_LONG(kVolmodBadArgsLocal);
  std::vector<char> buf(kClientBufSize, 0);
  const int rc = zvu::Guarded([&] {
    return ExecuteBroadCast(static_cast<unsigned short>(port), buf.data(),
                            static_cast<unsigned int>(buf.size()), kScanWaitSec);
  });
  if (rc == 0 || rc == KEL_CLIENT_TOO_LONG) zvu::SetText(list, buf.data(), strnlen(buf.data(), buf.size()));
  RETURN_LONG(rc);
}

ZEND_FUNCTION(php_clearlog) {
  RETURN_LONG(LocalCommand([](CLIENT_INFO* ci) { return UserClearLog(ci); }));
}

// The log size comes back as a float: it may exceed the script's integer range.
ZEND_FUNCTION(php_getlogstatus) {
  zval *overLimit, *size, *lines;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 3, 3)
  Z_PARAM_ZVAL(overLimit)
  Z_PARAM_ZVAL(size)
  Z_PARAM_ZVAL(lines)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgsLocal));
  if (!zvu::AllRefs({overLimit, size, lines})) RETURN_LONG(kVolmodBadArgsLocal);
  unsigned int over = 0, n = 0;
  unsigned long long bytes = 0;
  const int rc = LocalCommand([&](CLIENT_INFO* ci) { return UserGetLogStatus(ci, &over, &bytes, &n); });
  if (rc == 0) {
    zvu::SetLong(overLimit, over);
    zvu::SetDouble(size, static_cast<double>(bytes));
    zvu::SetLong(lines, n);
  }
  RETURN_LONG(rc);
}

// `count` goes in as the number of lines wanted and comes back as the number returned.
ZEND_FUNCTION(php_getlogitems) {
  zend_long direction, first;
  zval *count, *text;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 4, 4)
  Z_PARAM_LONG(direction)
  Z_PARAM_LONG(first)
  Z_PARAM_ZVAL(count)
  Z_PARAM_ZVAL(text)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgsLocal));
  if (!zvu::AllRefs({count, text})) RETURN_LONG(kVolmodBadArgsLocal);
  unsigned int n = static_cast<unsigned int>(zval_get_long(Z_REFVAL_P(count)));
  unsigned int textLen = 0;
  std::vector<char> buf(kClientBufSize + 1, 0);
  const int rc = LocalCommand([&](CLIENT_INFO* ci) {
    return UserGetLogItems(ci, static_cast<unsigned char>(direction),
                           static_cast<unsigned int>(first), &n, buf.data(), &textLen);
  });
  if (rc == 0) {
    zvu::SetLong(count, n);
    zvu::SetText(text, buf.data(), std::min<size_t>(textLen, kClientBufSize));
  }
  RETURN_LONG(rc);
}

ZEND_FUNCTION(php_changepasswd) {
  char *user, *oldPassword, *newPassword;
  size_t userLen, oldLen, newLen;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 3, 3)
  Z_PARAM_STRING(user, userLen)
  Z_PARAM_STRING(oldPassword, oldLen)
  Z_PARAM_STRING(newPassword, newLen)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgsLocal));
  const std::string u = zvu::CText(user, userLen), o = zvu::CText(oldPassword, oldLen),
                    n = zvu::CText(newPassword, newLen);
  RETURN_LONG(LocalCommand(
      [&](CLIENT_INFO* ci) { return UserChangePasswd(ci, u.c_str(), o.c_str(), n.c_str()); }));
}

ZEND_FUNCTION(php_setbeepstatus) {
  zend_long on;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 1, 1)
  Z_PARAM_LONG(on)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgsLocal));
  RETURN_LONG(LocalCommand(
      [&](CLIENT_INFO* ci) { return SetBeepStatus(ci, static_cast<unsigned char>(on)); }));
}

ZEND_FUNCTION(php_getbeepstatus) {
  zval* on;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 1, 1)
  Z_PARAM_ZVAL(on)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgsLocal));
  if (!zvu::AllRefs({on})) RETURN_LONG(kVolmodBadArgsLocal);
  unsigned char state = 0;
  const int rc = LocalCommand([&](CLIENT_INFO* ci) { return GetBeepStatus(ci, &state); });
  if (rc == 0) zvu::SetLong(on, state);
  RETURN_LONG(rc);
}

ZEND_FUNCTION(php_setcheckdisktime) {
  zend_long minutes;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 1, 1)
  Z_PARAM_LONG(minutes)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgsLocal));
  RETURN_LONG(LocalCommand([&](CLIENT_INFO* ci) {
    return SetCheckDiskDuration(ci, static_cast<unsigned int>(minutes));
  }));
}

ZEND_FUNCTION(php_getcheckdisktime) {
  zval* minutes;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 1, 1)
  Z_PARAM_ZVAL(minutes)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgsLocal));
  if (!zvu::AllRefs({minutes})) RETURN_LONG(kVolmodBadArgsLocal);
  unsigned int m = 0;
  const int rc = LocalCommand([&](CLIENT_INFO* ci) { return GetCheckDiskDuration(ci, &m); });
  if (rc == 0) zvu::SetLong(minutes, m);
  RETURN_LONG(rc);
}
