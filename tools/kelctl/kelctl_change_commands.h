// The command-table entries and argument rules of kelctl's commands that change the RAID
// configuration: create-size, create, remove, spare add/remove, repair and clear-disk.
#ifndef KEL_TOOLS_KELCTL_KELCTL_CHANGE_COMMANDS_H
#define KEL_TOOLS_KELCTL_KELCTL_CHANGE_COMMANDS_H

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tools/kelctl/kelctl_commands.h"

std::vector<KelctlCommandSpec> KelctlChangeCommands();

// As ResolveKelctlRaidCommand, for the change commands. A destructive command without
// --yes is refused here, as a usage error.
bool ResolveKelctlChangeCommand(const KelctlCommandSpec& spec,
                                const std::vector<std::string>& rest,
                                const std::map<std::string, std::string>& values,
                                const std::set<std::string>& flags, KelctlOptions* out,
                                std::string* error);

// The command's name in messages and JSON; empty for the others.
std::string KelctlChangeCommandName(KelctlCommand command);

// The RAID level names kelctl takes ("raid1") and their KEL_RAID_* codes.
bool KelctlLevelCode(const std::string& name, unsigned char* type);
std::string KelctlLevelName(unsigned char type);

#endif
