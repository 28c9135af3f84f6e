// Readable text and JSON members for the outcome of kelctl's RAID commands. Pure
// formatting of what the runner read.
#ifndef KEL_TOOLS_KELCTL_KELCTL_RAID_OUTPUT_H
#define KEL_TOOLS_KELCTL_KELCTL_RAID_OUTPUT_H

#include <string>

#include "tools/kelctl/json_writer.h"
#include "tools/kelctl/kelctl_options.h"
#include "tools/kelctl/kelctl_outcome.h"

// The text for stdout, ending with a newline; empty for a command that is not a RAID
// command.
std::string FormatRaidReadable(const KelctlOptions& options, const KelctlOutcome& outcome);

// Adds the command's results to the JSON object.
void AddRaidJson(const KelctlOptions& options, const KelctlOutcome& outcome, JsonWriter* json);

#endif
