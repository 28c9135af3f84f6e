// kelctl's command table: the words that name each command, its arguments and options,
// and its help text. Both the argument parser and the help output are driven by it.
#ifndef KEL_TOOLS_KELCTL_KELCTL_COMMANDS_H
#define KEL_TOOLS_KELCTL_KELCTL_COMMANDS_H

#include <string>
#include <vector>

#include "tools/kelctl/kelctl_options.h"

struct KelctlCommandSpec {
  const char* words;     // the command as typed: "log show"
  const char* synopsis;  // "log show [--first N] [--count N] [--older]"
  const char* summary;   // one line for the global help
  const char* details;   // the rest of `kelctl COMMAND --help`
  int minArgs;           // positional arguments after the words
  int maxArgs;
  std::vector<std::string> valueOptions;  // command options that take a value
  std::vector<std::string> flagOptions;   // command options without a value
};

// Every command, in the order the global help lists them.
const std::vector<KelctlCommandSpec>& KelctlCommandTable();

// The entry whose words open `words` (the positional arguments); null when none does.
const KelctlCommandSpec* FindKelctlCommand(const std::vector<std::string>& words);

// Help texts, each ending with a newline.
std::string KelctlGlobalHelp();
std::string KelctlCommandHelp(const KelctlCommandSpec& spec);
// Help for a group such as "log": the commands whose first word is `group`; empty when
// there is no such group.
std::string KelctlGroupHelp(const std::string& group);

// The help for `topic`: the global help when it is empty, else the command's or the
// group's help; empty for an unknown topic.
std::string KelctlHelpFor(const std::string& topic);

// The name a command goes by in messages and JSON output ("log show", "beep").
std::string KelctlCommandName(KelctlCommand command);

#endif
