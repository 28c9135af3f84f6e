// The RAID command dispatcher: codes 1 to 18 select their handler from one table.
#ifndef KEL_SERVICE_RAID_RAID_DISPATCH_H
#define KEL_SERVICE_RAID_RAID_DISPATCH_H

#include <string>

#include "sharedlib/kel_mutex.h"

class KelUserCmd;
struct KelSrvPrivate;

using KelRaidHandler = int (*)(KelSrvPrivate*, KelUserCmd*, std::string&);

// Array creation (code 2) holds it shared and array removal (code 3) exclusively, so
// creations may overlap each other but never a removal. Taken outside the engine's own lock.
extern KelRWLock gRaidOpRWLock;

// Fills the handler table with this service's handlers; only the first call does anything.
void KelRaidCmdInit();

// Runs one RAID command and sets its status from the handler's result: 0 or 1112 ok, 2 (a
// stale magic number) refused, anything else failed. A code outside 1..18, or one without a
// handler, is refused with return code 1 and a 5-byte reply. True when the status is 0.
// A null command is reported and answered false. Unchecked by the lock analysis: which
// side of gRaidOpRWLock it takes, if any, depends on the command code.
bool KelExecuteRaidCmd(KelSrvPrivate* priv, KelUserCmd* cmd, std::string& logText)
    NO_THREAD_SAFETY_ANALYSIS;

// Replaces the handler of one code (tests). The table is filled first, so a replacement is
// never undone by the first command.
void KelSetRaidHandler(unsigned char code, KelRaidHandler handler);

#endif
