// SIGTERM in the working process only prints a line: an administrator's stray SIGTERM (or
// the parent's, when the whole service stops after a failed start) must not end a working
// process in the middle of a disk write. The orderly stop is SIGRTMIN+1 to the parent.
#ifndef KEL_SERVICE_CORE_TERM_HANDLER_H
#define KEL_SERVICE_CORE_TERM_HANDLER_H

void InstallTermHandler();

#endif
