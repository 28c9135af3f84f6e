// Readable text and JSON members for the outcome of kelctl's change commands.
#ifndef KEL_TOOLS_KELCTL_KELCTL_CHANGE_OUTPUT_H
#define KEL_TOOLS_KELCTL_KELCTL_CHANGE_OUTPUT_H

#include <string>

#include "tools/kelctl/json_writer.h"
#include "tools/kelctl/kelctl_options.h"
#include "tools/kelctl/kelctl_outcome.h"

// The text for stdout, ending with a newline; empty for the other commands.
std::string FormatChangeReadable(const KelctlOptions& options, const KelctlOutcome& outcome);

void AddChangeJson(const KelctlOptions& options, const KelctlOutcome& outcome, JsonWriter* json);

#endif
