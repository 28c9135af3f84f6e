// The command-table entries and argument rules of kelctl's background-task commands:
// task start/stop/status/wait, tasks, and replace prepare/withdraw.
#ifndef KEL_TOOLS_KELCTL_KELCTL_TASK_COMMANDS_H
#define KEL_TOOLS_KELCTL_KELCTL_TASK_COMMANDS_H

#include <map>
#include <string>
#include <vector>

#include "tools/kelctl/kelctl_commands.h"

std::vector<KelctlCommandSpec> KelctlTaskCommands();

// True for the words of one of these commands.
bool IsKelctlTaskCommand(const std::string& words);

// Fills out->command, the task kind and its array or disks from the positional arguments
// (`sync ARRAY`, `migrate ARRAY`, or `replace` with --from/--to) and options. False with a
// one-line reason.
bool ResolveKelctlTaskCommand(const std::string& words, const std::vector<std::string>& rest,
                              const std::map<std::string, std::string>& values,
                              KelctlOptions* out, std::string* error);

// The command's name in messages and JSON; empty for the others.
std::string KelctlTaskCommandName(KelctlCommand command);

#endif
