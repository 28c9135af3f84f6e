// kelctl's command-line parser: global options, the command words from the command table,
// the command's own arguments and options. Pure: it reads no file, no terminal and no
// environment of its own, so every rule can be tested directly.
#ifndef KEL_TOOLS_KELCTL_KELCTL_ARGS_H
#define KEL_TOOLS_KELCTL_KELCTL_ARGS_H

#include <string>
#include <vector>

#include "tools/kelctl/kelctl_options.h"

// Parses the arguments after the program name. `envPort` is the value of KEL_PORT, or
// null when it is not set. Options may stand before or after the command words; "--x=v"
// and "--x v" are both accepted. A help request (--help or -h anywhere) succeeds with
// out->help set and out->helpTopic naming the command or group it was given with.
// Returns false with a one-line reason in *error (no "kelctl:" prefix, no newline).
bool ParseKelctlArgs(const std::vector<std::string>& args, const char* envPort,
                     KelctlOptions* out, std::string* error);

// Strict unsigned decimal: digits only, at most `max`. False for anything else.
bool ParseDecimal(const std::string& text, unsigned long long max, unsigned long long* out);

// A port number 1-65535 in strict decimal.
bool ParseKelctlPort(const std::string& text, unsigned short* port);

// Command words and the command they name, one table per group of commands.
struct KelctlNamedCommand {
  const char* words;
  KelctlCommand command;
};

// Sets *out to the command named `words` in `table`; false when the table has no such entry.
template <size_t N>
bool FindKelctlNamedCommand(const KelctlNamedCommand (&table)[N], const std::string& words,
                            KelctlCommand* out) {
  for (const KelctlNamedCommand& n : table)
    if (words == n.words) {
      *out = n.command;
      return true;
    }
  return false;
}

#endif
