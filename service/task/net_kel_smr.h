// The handler of RAID command code 1: start, stop and query background tasks, list them
// all, and prepare or withdraw a replacement disk. Request: one 16-byte KelAsyncTaskData;
// reply: the record as the task manager left it at data[5..20], or for task code 6 a count
// at data[5] and that many records from data[6].
#ifndef KEL_SERVICE_TASK_NET_KEL_SMR_H
#define KEL_SERVICE_TASK_NET_KEL_SMR_H

#include <string>

class KelUserCmd;
struct KelSrvPrivate;

int NetKelSMR(KelSrvPrivate* priv, KelUserCmd* pCmd, std::string& logText);

#endif
