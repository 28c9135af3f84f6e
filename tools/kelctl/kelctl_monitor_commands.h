// The command-table entries and argument rules of the commands that follow the service
// rather than ask it once: `events` and `discover`.
#ifndef KEL_TOOLS_KELCTL_KELCTL_MONITOR_COMMANDS_H
#define KEL_TOOLS_KELCTL_KELCTL_MONITOR_COMMANDS_H

#include <map>
#include <string>
#include <vector>

#include "tools/kelctl/kelctl_commands.h"

std::vector<KelctlCommandSpec> KelctlMonitorCommands();

// True for the words of one of these commands.
bool IsKelctlMonitorCommand(const std::string& words);

// Fills out->command and the command's numbers from its options (already checked against
// the entry). The discovery port is the global --port when it was given on the command
// line, else 7001: KEL_PORT names the client port, not the discovery port. False with a
// one-line reason for a bad number.
bool ResolveKelctlMonitorCommand(const std::string& words,
                                 const std::map<std::string, std::string>& values,
                                 KelctlOptions* out, std::string* error);

#endif
