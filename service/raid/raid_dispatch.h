// The RAID command dispatcher: codes below 250 select their handler from one table.
#ifndef KEL_SERVICE_RAID_RAID_DISPATCH_H
#define KEL_SERVICE_RAID_RAID_DISPATCH_H

#include <string>

class KelUserCmd;
struct KelSrvPrivate;

using KelRaidHandler = int (*)(KelSrvPrivate*, KelUserCmd*, std::string&);

// Sets the command's status from the handler's result (0 ok; 2 or an unknown code refused;
// 1112 ok; anything else failed). True when the status is 0.
bool KelExecuteRaidCmd(KelSrvPrivate* priv, KelUserCmd* cmd, std::string& logText);

// Replaces the handler of one code (tests; later the engine's handlers).
void KelSetRaidHandler(unsigned char code, KelRaidHandler handler);

#endif
