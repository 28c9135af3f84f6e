// The command-table entries and argument rules of kelctl's RAID commands: the queries of
// controllers, channels, hubs, disks, arrays, virtual devices, partitions and SMART data,
// the hardware rescan and the driver reload.
#ifndef KEL_TOOLS_KELCTL_KELCTL_RAID_COMMANDS_H
#define KEL_TOOLS_KELCTL_KELCTL_RAID_COMMANDS_H

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tools/kelctl/kelctl_commands.h"

// The RAID entries, in the order the global help lists them.
std::vector<KelctlCommandSpec> KelctlRaidCommands();

// Fills out->command and the RAID arguments from the entry, its positional arguments and
// its options, which the caller has already checked against the entry. False with a
// one-line reason in *error for a command that is not a RAID command or bad arguments.
bool ResolveKelctlRaidCommand(const KelctlCommandSpec& spec, const std::vector<std::string>& rest,
                              const std::map<std::string, std::string>& values,
                              const std::set<std::string>& flags, KelctlOptions* out,
                              std::string* error);

// The name of a RAID command in messages and JSON output; empty for the others.
std::string KelctlRaidCommandName(KelctlCommand command);

#endif
