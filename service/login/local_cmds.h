// The service-local commands (code 255, sub-codes 1 to 9) run by the command worker:
// event-log status, clearing and items, beeper switch, password change, disk-check
// interval and the test command. Integers in their requests and replies are big-endian.
#ifndef KEL_SERVICE_LOGIN_LOCAL_CMDS_H
#define KEL_SERVICE_LOGIN_LOCAL_CMDS_H

#include <string>

class KelUserCmd;
struct KelSrvPrivate;

// Dispatches by data[0]; sets the command's status (0 ok, 1 refused, 2 failed). True when
// the handler returned 0.
bool KelExecuteLocalCmd(KelSrvPrivate* priv, KelUserCmd* cmd, std::string& logText);

int NetKelCheckLogStatus(KelSrvPrivate*, KelUserCmd*, std::string&);
int NetKelClearLog(KelSrvPrivate*, KelUserCmd*, std::string&);
int NetKelGetLogItems(KelSrvPrivate*, KelUserCmd*, std::string&);
int NetKelGetBeepStatus(KelSrvPrivate*, KelUserCmd*, std::string&);
int NetKelSetBeepStatus(KelSrvPrivate*, KelUserCmd*, std::string&);
int NetKelChangePasswd(KelSrvPrivate*, KelUserCmd*, std::string&);
int NetKelGetCheckDiskInterval(KelSrvPrivate*, KelUserCmd*, std::string&);
int NetKelSetCheckDiskInterval(KelSrvPrivate*, KelUserCmd*, std::string&);
int NetKelLocalCmdTest(KelSrvPrivate*, KelUserCmd*, std::string&);

#endif
