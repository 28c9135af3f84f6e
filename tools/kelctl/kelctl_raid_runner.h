// The library calls behind kelctl's RAID commands, on a logged-in command connection.
#ifndef KEL_TOOLS_KELCTL_KELCTL_RAID_RUNNER_H
#define KEL_TOOLS_KELCTL_KELCTL_RAID_RUNNER_H

#include "tools/kelctl/kelctl_options.h"
#include "tools/kelctl/kelctl_outcome.h"

// Runs `options.command` (a RAID command) on `sock`, filling outcome->raid, or the failing
// step and its code. Commands that take a reference first read the disk or array record
// to learn its current magic number.
void RunKelctlRaidCommand(int sock, const KelctlOptions& options, const KelctlSecrets& secrets,
                          KelctlOutcome* outcome);

#endif
