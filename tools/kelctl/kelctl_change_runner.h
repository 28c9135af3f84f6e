// The library calls behind kelctl's change commands, on a logged-in command connection.
#ifndef KEL_TOOLS_KELCTL_KELCTL_CHANGE_RUNNER_H
#define KEL_TOOLS_KELCTL_KELCTL_CHANGE_RUNNER_H

#include "tools/kelctl/kelctl_options.h"
#include "tools/kelctl/kelctl_outcome.h"

// Runs `options.command` (a change command) on `sock`, filling outcome->change, or the
// failing step with its code and, for a refused change, what the code means here.
void RunKelctlChangeCommand(int sock, const KelctlOptions& options, KelctlOutcome* outcome);

#endif
