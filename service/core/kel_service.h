// The service main of the working child: builds every component in a fixed order, runs the
// accept loop on the calling thread until an orderly stop is requested, then runs the
// components down in the documented order.
#ifndef KEL_SERVICE_CORE_KEL_SERVICE_H
#define KEL_SERVICE_CORE_KEL_SERVICE_H

#include "service/core/srv_private.h"
#include "sharedlib/kel_wait.h"

// Completing gExitWait is the only way out of the accept loop; gClearWait is completed at
// the end of the shutdown sequence.
extern KelWait gExitWait;
extern KelWait gClearWait;

// Returns false when the client listen socket cannot be opened, true after an orderly
// shutdown. The first argument is not used.
bool KelSrvMain(void*, const char* cfgPath);

// Initialises the payload cipher and the RAID engine; false when the cipher fails.
bool KelSrvInit(KelSrvPrivate* priv);

// Final clean-up after the components are gone.
void KelSrvExit(KelSrvPrivate* priv);

#endif
