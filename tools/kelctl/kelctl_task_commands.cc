// Table entries and argument rules of the background-task commands.
#include "tools/kelctl/kelctl_task_commands.h"

#include "tools/kelctl/kelctl_args.h"

namespace {

constexpr unsigned long long kMaxIndex = 255;
constexpr unsigned long long kMaxWaitSec = 86400000ULL;

constexpr KelctlNamedCommand kNames[] = {
    {"task start", KelctlCommand::kTaskStart},     {"task stop", KelctlCommand::kTaskStop},
    {"task status", KelctlCommand::kTaskStatus},   {"task wait", KelctlCommand::kTaskWait},
    {"tasks", KelctlCommand::kTasks},              {"replace prepare", KelctlCommand::kReplacePrepare},
    {"replace withdraw", KelctlCommand::kReplaceWithdraw},
};

const char kTarget[] = "sync|migrate ARRAY | replace --from D --to D";

const std::string* Find(const std::map<std::string, std::string>& values, const char* name) {
  auto it = values.find(name);
  return it == values.end() ? nullptr : &it->second;
}

bool ParseDisk(const std::map<std::string, std::string>& values, const char* option,
               unsigned int* out, std::string* error) {
  const std::string* text = Find(values, option);
  unsigned long long value = 0;
  if (text == nullptr || !ParseDecimal(*text, kMaxIndex, &value)) {
    *error = std::string(option) + " needs a disk index from 0 to 255" +
             (text != nullptr ? ", not '" + *text + "'" : "");
    return false;
  }
  *out = static_cast<unsigned int>(value);
  return true;
}

// --from and --to: two different disks.
bool ResolveDisks(const std::map<std::string, std::string>& values, KelctlOptions* out,
                  std::string* error) {
  if (!ParseDisk(values, "--from", &out->fromDisk, error) ||
      !ParseDisk(values, "--to", &out->toDisk, error))
    return false;
  if (out->fromDisk == out->toDisk) {
    *error = "--from and --to must name two different disks";
    return false;
  }
  return true;
}

bool ResolveTarget(const std::vector<std::string>& rest,
                   const std::map<std::string, std::string>& values, KelctlOptions* out,
                   std::string* error) {
  const bool disksGiven = Find(values, "--from") != nullptr || Find(values, "--to") != nullptr;
  if (!rest.empty() && rest[0] == "replace" && rest.size() == 1) {
    out->taskKind = KelctlTaskKind::kReplace;
    return ResolveDisks(values, out, error);
  }
  if (!rest.empty() && (rest[0] == "sync" || rest[0] == "migrate") && rest.size() == 2 &&
      !disksGiven) {
    out->taskKind = rest[0] == "sync" ? KelctlTaskKind::kSync : KelctlTaskKind::kMigrate;
    out->arrayRefs = {rest[1]};
    return true;
  }
  *error = std::string("a task is named by ") + kTarget;
  return false;
}

}  // namespace

std::vector<KelctlCommandSpec> KelctlTaskCommands() {
  return {
      {"task start", "task start sync|migrate ARRAY | replace --from D --to D",
       "start a synchronisation, migration or disk replacement",
       "Starts background work: 'sync ARRAY' synchronises a raid1, raid01 or raid5 array\n"
       "(named by index or name), 'migrate ARRAY' moves an array built around a disk's\n"
       "data into its level's layout, 'replace --from D --to D' copies disk D's part in\n"
       "its arrays onto the new disk (prepared first with 'kelctl replace prepare'). One\n"
       "task runs at a time. A stopped task resumes where it stopped. Prints the task's\n"
       "state; 'kelctl task wait' follows it.\n",
       1, 2, {"--from", "--to"}, {}},
      {"task stop", "task stop sync|migrate ARRAY | replace --from D --to D",
       "stop a background task",
       "Stops the task; its progress is kept, and 'kelctl task start' resumes it.\n", 1, 2,
       {"--from", "--to"}, {}},
      {"task status", "task status sync|migrate ARRAY | replace --from D --to D",
       "show one background task",
       "Shows the task's state (starting, running, stopped, completed, broken) and its\n"
       "progress in percent. A task that ended is known for a few seconds only.\n",
       1, 2, {"--from", "--to"}, {}},
      {"task wait",
       "task wait sync|migrate ARRAY | replace --from D --to D [--notify-port P] [--timeout S]",
       "follow a background task until it ends",
       "Follows the task until it ends: on a terminal a progress bar with percent, rate\n"
       "and time left; otherwise one line per percent; with --json one JSON object per\n"
       "change. State changes arrive as notices on the notification port (--notify-port,\n"
       "default 8001); progress is polled every second, and everything is polled when no\n"
       "notices can be had. Exits 0 when the task completes, 1 when it breaks, is\n"
       "stopped, is not known, or --timeout seconds pass first.\n",
       1, 2, {"--from", "--to", "--notify-port", "--timeout"}, {}},
      {"tasks", "tasks", "list the background tasks with state and percent",
       "Lists the running and stopped tasks: what they work on, their state, progress\n"
       "and whether a client or the service started them.\n",
       0, 0, {}, {}},
      {"replace prepare", "replace prepare --from D --to D", "prepare a disk to replace another",
       "Checks that disk --to can take disk --from's place (readable, without arrays of\n"
       "its own, large enough, not the system disk) and prepares it; then 'kelctl task\n"
       "start replace --from D --to D' copies the data.\n",
       0, 0, {"--from", "--to"}, {}},
      {"replace withdraw", "replace withdraw --from D --to D",
       "give up a prepared replacement disk",
       "Undoes 'kelctl replace prepare' for a replacement that has not been started.\n", 0, 0,
       {"--from", "--to"}, {}},
  };
}

bool IsKelctlTaskCommand(const std::string& words) {
  KelctlCommand command = KelctlCommand::kNone;
  return FindKelctlNamedCommand(kNames, words, &command);
}

bool ResolveKelctlTaskCommand(const std::string& words, const std::vector<std::string>& rest,
                              const std::map<std::string, std::string>& values,
                              KelctlOptions* out, std::string* error) {
  FindKelctlNamedCommand(kNames, words, &out->command);
  switch (out->command) {
    case KelctlCommand::kTasks:
      return true;
    case KelctlCommand::kReplacePrepare:
    case KelctlCommand::kReplaceWithdraw:
      out->taskKind = KelctlTaskKind::kReplace;
      return ResolveDisks(values, out, error);
    case KelctlCommand::kTaskWait: {
      if (!ResolveTarget(rest, values, out, error)) return false;
      if (auto it = values.find("--notify-port");
          it != values.end() && !ParseKelctlPort(it->second, &out->notifyPort)) {
        *error = "invalid port '" + it->second + "' for --notify-port";
        return false;
      }
      unsigned long long sec = 0;
      if (auto it = values.find("--timeout"); it != values.end()) {
        if (!ParseDecimal(it->second, kMaxWaitSec, &sec) || sec == 0) {
          *error = "--timeout needs a whole number of seconds of at least 1, not '" +
                   it->second + "'";
          return false;
        }
        out->waitSec = static_cast<unsigned int>(sec);
      }
      return true;
    }
    default:
      return ResolveTarget(rest, values, out, error);
  }
}

std::string KelctlTaskCommandName(KelctlCommand command) {
  for (const KelctlNamedCommand& n : kNames)
    if (n.command == command) return n.words;
  return "";
}
