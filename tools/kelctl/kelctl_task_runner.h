// The library calls behind kelctl's task commands: the one-exchange commands on a
// logged-in command connection, and `task wait`, which follows a task until it ends.
#ifndef KEL_TOOLS_KELCTL_KELCTL_TASK_RUNNER_H
#define KEL_TOOLS_KELCTL_KELCTL_TASK_RUNNER_H

#include "tools/kelctl/kelctl_monitor_runner.h"
#include "tools/kelctl/kelctl_options.h"
#include "tools/kelctl/kelctl_outcome.h"

// task start/stop/status, tasks, replace prepare/withdraw. The array or disks are read
// first for their current magic numbers (and a synchronisation's kind from the level).
void RunKelctlTaskCommand(int sock, const KelctlOptions& options, KelctlOutcome* outcome);

// Logs in (or joins the stored session), registers for notices and follows the task,
// handing output to `sink` as it comes. Success only when the task completes.
KelctlOutcome RunKelctlTaskWait(const KelctlOptions& options, const KelctlSecrets& secrets,
                                const KelctlLineSink& sink);

#endif
