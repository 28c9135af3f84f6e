// Argument parsing for kelctl. Options are recognised wherever they stand, then the
// remaining words are matched against the command table and checked against the entry.
#include "tools/kelctl/kelctl_args.h"

#include <map>
#include <set>

#include "tools/kelctl/kelctl_commands.h"
#include "tools/kelctl/kelctl_monitor_commands.h"
#include "tools/kelctl/kelctl_raid_commands.h"
#include "tools/kelctl/kelctl_task_commands.h"

namespace {

const std::set<std::string> kGlobalValueOptions = {"--host", "--port", "--user", "--password-file"};
const std::set<std::string> kPasswordOnCommandLine = {"--password", "-p", "--passwd",
                                                      "--old-password", "--new-password"};
constexpr unsigned int kMaxClientIdDigits = 11;

bool IsCommandOption(const std::string& name, bool wantValue) {
  for (const KelctlCommandSpec& spec : KelctlCommandTable()) {
    const std::vector<std::string>& list = wantValue ? spec.valueOptions : spec.flagOptions;
    for (const std::string& o : list)
      if (o == name) return true;
  }
  return false;
}

bool Contains(const std::vector<std::string>& list, const std::string& name) {
  for (const std::string& o : list)
    if (o == name) return true;
  return false;
}

}  // namespace

bool ParseKelctlPort(const std::string& text, unsigned short* port) {
  unsigned long long value = 0;
  if (!ParseDecimal(text, 65535, &value) || value == 0) return false;
  *port = static_cast<unsigned short>(value);
  return true;
}

namespace {

// Fills the command and its arguments from the table entry and the words after its own.
bool ResolveCommand(const KelctlCommandSpec& spec, const std::vector<std::string>& rest,
                    const std::map<std::string, std::string>& values,
                    const std::set<std::string>& flags, KelctlOptions* out, std::string* error) {
  const std::string words = spec.words;
  const std::string usage = std::string("usage: kelctl ") + spec.synopsis;
  if (static_cast<int>(rest.size()) < spec.minArgs || static_cast<int>(rest.size()) > spec.maxArgs) {
    *error = "wrong number of arguments for '" + words + "'; " + usage;
    return false;
  }
  for (const auto& [name, value] : values) {
    if (!Contains(spec.valueOptions, name)) {
      *error = "option " + name + " does not apply to '" + words + "'";
      return false;
    }
  }
  for (const std::string& name : flags) {
    if (!Contains(spec.flagOptions, name)) {
      *error = "option " + name + " does not apply to '" + words + "'";
      return false;
    }
  }

  unsigned long long number = 0;
  if (words == "login") {
    out->command = KelctlCommand::kLogin;
  } else if (words == "test") {
    out->command = KelctlCommand::kTest;
  } else if (words == "log status") {
    out->command = KelctlCommand::kLogStatus;
  } else if (words == "log clear") {
    out->command = KelctlCommand::kLogClear;
  } else if (words == "log show") {
    out->command = KelctlCommand::kLogShow;
    if (auto it = values.find("--first"); it != values.end()) {
      if (!ParseDecimal(it->second, 0x7FFFFFFF, &number)) {
        *error = "--first needs a line number, not '" + it->second + "'";
        return false;
      }
      out->logFirst = static_cast<unsigned int>(number);
      out->logFirstGiven = true;
    }
    if (auto it = values.find("--count"); it != values.end()) {
      if (!ParseDecimal(it->second, 0x7FFFFFFF, &number) || number == 0) {
        *error = "--count needs a number of lines of at least 1, not '" + it->second + "'";
        return false;
      }
      out->logCount = static_cast<unsigned int>(number);
    }
    out->logOlder = flags.count("--older") != 0;
  } else if (words == "beep") {
    if (rest.empty()) {
      out->command = KelctlCommand::kBeepShow;
    } else if (rest[0] == "on" || rest[0] == "off") {
      out->command = KelctlCommand::kBeepSet;
      out->beepOn = rest[0] == "on";
    } else {
      *error = "beep takes 'on' or 'off', not '" + rest[0] + "'";
      return false;
    }
  } else if (words == "checkdisk") {
    if (rest.empty()) {
      out->command = KelctlCommand::kCheckdiskShow;
    } else if (ParseDecimal(rest[0], 0xFFFFFFFF, &number)) {
      out->command = KelctlCommand::kCheckdiskSet;
      out->minutes = static_cast<unsigned int>(number);
    } else {
      *error = "checkdisk takes a number of minutes, not '" + rest[0] + "'";
      return false;
    }
  } else if (words == "passwd") {
    out->command = KelctlCommand::kPasswd;
    out->targetUser = rest[0];
    if (out->targetUser.empty()) {
      *error = "passwd needs a user name";
      return false;
    }
    if (auto it = values.find("--old-password-file"); it != values.end())
      out->oldPasswordFile = it->second;
    if (auto it = values.find("--new-password-file"); it != values.end())
      out->newPasswordFile = it->second;
  } else if (words == "metrics") {
    if (out->json) {
      *error = "metrics prints the Prometheus text format; --json does not apply";
      return false;
    }
    out->command = KelctlCommand::kMetrics;
  } else if (words == "logout") {
    out->command = KelctlCommand::kLogout;
    if (rest.empty()) return true;
    if (rest[0].size() > kMaxClientIdDigits || !ParseDecimal(rest[0], 0x7FFFFFFF, &number)) {
      *error = "logout needs a client ID (a decimal number), not '" + rest[0] + "'";
      return false;
    }
    out->clientId = rest[0];
  } else if (IsKelctlTaskCommand(words)) {
    return ResolveKelctlTaskCommand(words, rest, values, out, error);
  } else if (IsKelctlMonitorCommand(words)) {
    return ResolveKelctlMonitorCommand(words, values, out, error);
  } else {
    return ResolveKelctlRaidCommand(spec, rest, values, flags, out, error);
  }
  return true;
}

}  // namespace

bool ParseDecimal(const std::string& text, unsigned long long max, unsigned long long* out) {
  if (text.empty() || text.size() > 20) return false;
  unsigned long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    unsigned digit = static_cast<unsigned>(c - '0');
    if (value > (max - digit) / 10) return false;
    value = value * 10 + digit;
  }
  *out = value;
  return true;
}

bool ParseKelctlArgs(const std::vector<std::string>& args, const char* envPort,
                     KelctlOptions* out, std::string* error) {
  *out = KelctlOptions{};
  std::vector<std::string> words;
  std::map<std::string, std::string> values;  // command options with a value
  std::set<std::string> flags;                // command options without one
  std::string portText;
  bool portGiven = false;
  bool onlyWords = false;

  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (onlyWords || arg.size() < 2 || arg[0] != '-') {
      words.push_back(arg);
      continue;
    }
    if (arg == "--") {
      onlyWords = true;
      continue;
    }
    std::string name = arg;
    std::string value;
    bool inlineValue = false;
    if (size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      inlineValue = true;
    }
    if (kPasswordOnCommandLine.count(name) != 0) {
      *error = "passwords are not taken on the command line; use --password-file or the "
               "environment (see kelctl --help)";
      return false;
    }
    const bool isGlobalValue = kGlobalValueOptions.count(name) != 0;
    const bool isCommandValue = IsCommandOption(name, true);
    if (isGlobalValue || isCommandValue) {
      if (!inlineValue) {
        if (i + 1 >= args.size()) {
          *error = "option " + name + " needs a value";
          return false;
        }
        value = args[++i];
      }
      if (name == "--host") {
        out->host = value;
      } else if (name == "--port") {
        portText = value;
        portGiven = true;
      } else if (name == "--user") {
        out->user = value;
        out->userGiven = true;
      } else if (name == "--password-file") {
        out->passwordFile = value;
      } else {
        values[name] = value;
      }
      continue;
    }
    const bool isFlag = name == "--help" || name == "-h" || name == "--json" ||
                        name == "--verbose" || name == "-v" || name == "--no-session" ||
                        IsCommandOption(name, false);
    if (!isFlag) {
      *error = "unknown option '" + name + "'";
      return false;
    }
    if (inlineValue) {
      *error = "option " + name + " takes no value";
      return false;
    }
    if (name == "--help" || name == "-h")
      out->help = true;
    else if (name == "--json")
      out->json = true;
    else if (name == "--verbose" || name == "-v")
      out->verbose = true;
    else if (name == "--no-session")
      out->noSession = true;
    else
      flags.insert(name);
  }

  out->portGiven = portGiven;
  if (portGiven) {
    if (!ParseKelctlPort(portText, &out->port)) {
      *error = "invalid port '" + portText + "'";
      return false;
    }
  } else if (envPort != nullptr && *envPort != '\0') {
    if (!ParseKelctlPort(envPort, &out->port)) {
      *error = std::string("invalid port '") + envPort + "' in KEL_PORT";
      return false;
    }
  }
  if (out->host.empty() || out->user.empty()) {
    *error = out->host.empty() ? "--host needs a host name or address" : "--user needs a name";
    return false;
  }

  const KelctlCommandSpec* spec = FindKelctlCommand(words);
  if (out->help) {
    // Help for the longest known topic the words name; unknown words are an error.
    if (spec != nullptr) {
      out->helpTopic = spec->words;
    } else if (!words.empty()) {
      if (KelctlGroupHelp(words[0]).empty()) {
        *error = "unknown command '" + words[0] + "'";
        return false;
      }
      out->helpTopic = words[0];
    }
    return true;
  }
  if (words.empty()) {
    *error = "no command given (see kelctl --help)";
    return false;
  }
  if (spec == nullptr) {
    if (!KelctlGroupHelp(words[0]).empty() && words.size() == 1)
      *error = "'" + words[0] + "' needs a subcommand (see kelctl " + words[0] + " --help)";
    else
      *error = "unknown command '" + words[0] +
               (words.size() > 1 && !KelctlGroupHelp(words[0]).empty() ? " " + words[1] : "") + "'";
    return false;
  }
  size_t own = 1;
  for (const char* p = spec->words; *p != '\0'; ++p)
    if (*p == ' ') ++own;
  std::vector<std::string> rest(words.begin() + static_cast<long>(own), words.end());
  return ResolveCommand(*spec, rest, values, flags, out, error);
}
