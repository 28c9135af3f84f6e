// The command table and the help texts built from it.
#include "tools/kelctl/kelctl_commands.h"

#include <cstring>

#include "tools/kelctl/kelctl_change_commands.h"
#include "tools/kelctl/kelctl_monitor_commands.h"
#include "tools/kelctl/kelctl_raid_commands.h"
#include "tools/kelctl/kelctl_task_commands.h"

namespace {

const char kGlobalUsage[] =
    "Usage: kelctl [OPTIONS] COMMAND [ARGS]\n"
    "\n"
    "Manages a kelsrv service through its client port. 'kelctl login' keeps its\n"
    "session in a file of yours ($XDG_RUNTIME_DIR/kelctl, else ~/.cache/kelctl; one\n"
    "per host and port) and later commands join it without a password; when it has\n"
    "ended they log in afresh and keep the new session. Without a stored session (or\n"
    "with --no-session) a command logs in, runs, and ends its session again.\n"
    "\n"
    "Options:\n"
    "  --host H             service host (default 127.0.0.1)\n"
    "  --port P             client port (default: $KEL_PORT, else 8018)\n"
    "  --user U             account to log in with (default admin)\n"
    "  --password-file F    the password is the first line of F; without this option\n"
    "                       it comes from $KEL_PASSWORD, else from a prompt on the\n"
    "                       terminal. Passwords are never taken from the command line.\n"
    "  --no-session         neither join nor store a session: log in and out again\n"
    "  --json               print one JSON object instead of text\n"
    "  --verbose            show the client library's diagnostic lines on stderr\n"
    "  --help               show this help; 'kelctl COMMAND --help' shows a command's\n"
    "\n"
    "Commands:\n";

const char kGlobalFooter[] =
    "\n"
    "Exit status: 0 on success, 1 when the service or the connection failed (the\n"
    "return code and its meaning are printed on stderr) or 'smart check' found an\n"
    "unhealthy disk, 2 for a usage error (also: remove or clear-disk without --yes).\n";

}  // namespace

const std::vector<KelctlCommandSpec>& KelctlCommandTable() {
  static const std::vector<KelctlCommandSpec> table = [] {
    std::vector<KelctlCommandSpec> all = {
        {"login", "login", "log in and keep the session; prints its client ID",
         "Logs in as --user and prints the new session's client ID and session rights\n"
         "code. The session stays open after kelctl ends and is stored for later commands\n"
         "(not with --no-session); end it with 'kelctl logout'.\n",
         0, 0, {}, {}},
        {"test", "test", "run the service's test command",
         "Sends the service's self-test command and checks its answer.\n", 0, 0, {}, {}},
        {"log status", "log status", "show the event log's size and line count",
         "Shows the event log file's size in bytes, its current line number, and whether\n"
         "the file has outgrown its maximum size.\n",
         0, 0, {}, {}},
        {"log show", "log show [--first N] [--count N] [--older]", "show event log lines",
         "Shows up to --count lines (default 20) of the event log, starting at line\n"
         "--first (default 0, the oldest). With --older the lines before --first are read\n"
         "backwards instead; --first then defaults to the newest line.\n",
         0, 0, {"--first", "--count"}, {"--older"}},
        {"log clear", "log clear", "empty the event log", "Empties the event log.\n", 0, 0, {}, {}},
        {"beep", "beep [on|off]", "show or switch the beeper",
         "Without an argument shows whether the beeper is on; 'on' or 'off' switches it.\n",
         0, 1, {}, {}},
        {"checkdisk", "checkdisk [MINUTES]", "show or set the disk-check interval",
         "Without an argument shows the interval of the periodic disk check in minutes;\n"
         "with MINUTES sets it (the service keeps at most 71582).\n",
         0, 1, {}, {}},
        {"passwd", "passwd USER [--old-password-file F] [--new-password-file F]",
         "change USER's password",
         "Changes USER's password; the logged-in account (--user) must be an\n"
         "administrator. USER's current password is the first line of\n"
         "--old-password-file, else $KEL_OLD_PASSWORD, else asked on the terminal; the new\n"
         "one likewise from --new-password-file, $KEL_NEW_PASSWORD or the terminal.\n",
         1, 1, {"--old-password-file", "--new-password-file"}, {}},
        {"logout", "logout [ID]", "end the stored session, or the one with client ID",
         "Ends the session with client ID (as 'kelctl login' printed it), else the stored\n"
         "session, whose file is then removed. Needs no password: the command joins that\n"
         "session and ends it.\n",
         0, 1, {}, {}},
        {"metrics", "metrics", "print the controller's state as Prometheus metrics",
         "Prints disks present and healthy, arrays by status, each disk's SMART health and\n"
         "the event log's size in the Prometheus text format, for a node exporter's\n"
         "text-file collector. Write to a temporary file and rename it into the\n"
         "collector's folder; on failure nothing is printed on stdout. --json does not\n"
         "apply. The metric names are listed in the README.\n",
         0, 0, {}, {}},
    };
    for (KelctlCommandSpec& spec : KelctlRaidCommands()) all.push_back(std::move(spec));
    for (KelctlCommandSpec& spec : KelctlChangeCommands()) all.push_back(std::move(spec));
    for (KelctlCommandSpec& spec : KelctlTaskCommands()) all.push_back(std::move(spec));
    for (KelctlCommandSpec& spec : KelctlMonitorCommands()) all.push_back(std::move(spec));
    return all;
  }();
  return table;
}

const KelctlCommandSpec* FindKelctlCommand(const std::vector<std::string>& words) {
  const KelctlCommandSpec* best = nullptr;
  size_t bestWords = 0;
  for (const KelctlCommandSpec& spec : KelctlCommandTable()) {
    // Split the entry's words and compare them with the first positional arguments.
    std::vector<std::string> own;
    for (const char* p = spec.words; *p != '\0';) {
      const char* end = strchr(p, ' ');
      size_t n = end != nullptr ? static_cast<size_t>(end - p) : strlen(p);
      own.emplace_back(p, n);
      p += n;
      while (*p == ' ') ++p;
    }
    if (own.size() > words.size() || own.size() <= bestWords) continue;
    bool match = true;
    for (size_t i = 0; i < own.size() && match; ++i) match = own[i] == words[i];
    if (match) {
      best = &spec;
      bestWords = own.size();
    }
  }
  return best;
}

std::string KelctlGlobalHelp() {
  std::string out = kGlobalUsage;
  for (const KelctlCommandSpec& spec : KelctlCommandTable()) {
    std::string line = "  ";
    line += spec.synopsis;
    if (line.size() < 30)
      line.resize(30, ' ');
    else
      line += "\n" + std::string(30, ' ');
    out += line + spec.summary + "\n";
  }
  return out + kGlobalFooter;
}

std::string KelctlCommandHelp(const KelctlCommandSpec& spec) {
  return std::string("Usage: kelctl [OPTIONS] ") + spec.synopsis + "\n\n" + spec.details +
         "\nSee 'kelctl --help' for the options every command takes.\n";
}

std::string KelctlGroupHelp(const std::string& group) {
  std::string out;
  for (const KelctlCommandSpec& spec : KelctlCommandTable()) {
    if (strncmp(spec.words, group.c_str(), group.size()) == 0 && spec.words[group.size()] == ' ')
      out += std::string("  kelctl ") + spec.synopsis + "\n      " + spec.summary + "\n";
  }
  if (out.empty()) return out;
  return "Commands of '" + group + "':\n" + out;
}

std::string KelctlHelpFor(const std::string& topic) {
  if (topic.empty()) return KelctlGlobalHelp();
  for (const KelctlCommandSpec& spec : KelctlCommandTable())
    if (topic == spec.words) return KelctlCommandHelp(spec);
  return KelctlGroupHelp(topic);
}

std::string KelctlCommandName(KelctlCommand command) {
  switch (command) {
    case KelctlCommand::kLogin: return "login";
    case KelctlCommand::kTest: return "test";
    case KelctlCommand::kLogStatus: return "log status";
    case KelctlCommand::kLogShow: return "log show";
    case KelctlCommand::kLogClear: return "log clear";
    case KelctlCommand::kBeepShow:
    case KelctlCommand::kBeepSet: return "beep";
    case KelctlCommand::kCheckdiskShow:
    case KelctlCommand::kCheckdiskSet: return "checkdisk";
    case KelctlCommand::kPasswd: return "passwd";
    case KelctlCommand::kLogout: return "logout";
    case KelctlCommand::kEvents: return "events";
    case KelctlCommand::kDiscover: return "discover";
    case KelctlCommand::kMetrics: return "metrics";
    case KelctlCommand::kNone: break;
    default: {
      const std::string task = KelctlTaskCommandName(command);
      return task.empty() ? KelctlRaidCommandName(command) : task;
    }
  }
  return "";
}
