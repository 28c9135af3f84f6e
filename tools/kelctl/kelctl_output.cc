// Readable and JSON renderings of a kelctl outcome.
#include "tools/kelctl/kelctl_output.h"

#include <cstdio>

#include "tools/kelctl/json_writer.h"
#include "tools/kelctl/kelctl_commands.h"
#include "tools/kelctl/kelctl_metrics.h"
#include "tools/kelctl/kelctl_raid_output.h"
#include "tools/kelctl/kelctl_task_format.h"
#include "webext/client/client_codes.h"

namespace {

std::string RightsHex(int rights) {
  char text[16];
  snprintf(text, sizeof(text), "0x%02x", static_cast<unsigned>(rights) & 0xFFu);
  return text;
}

}  // namespace

std::string KelctlCodeText(int code) { return KelClientResultText(code); }

std::vector<std::string> SplitLogLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string FormatReadable(const KelctlOptions& options, const KelctlOutcome& outcome) {
  switch (options.command) {
    case KelctlCommand::kLogin:
      return "client ID: " + outcome.clientId + "\nsession rights: " +
             RightsHex(outcome.sessionRights) + "\n";
    case KelctlCommand::kTest:
      return "test: the service answered correctly\n";
    case KelctlCommand::kLogStatus:
      return "size: " + std::to_string(outcome.logSize) + " bytes\nlines: " +
             std::to_string(outcome.logLines) + "\nover limit: " +
             (outcome.overLimit ? "yes" : "no") + "\n";
    case KelctlCommand::kLogShow: {
      if (outcome.itemCount == 0 && outcome.itemText.empty()) return "(no log lines)\n";
      std::string out;
      for (const std::string& line : SplitLogLines(outcome.itemText)) out += line + "\n";
      return out;
    }
    case KelctlCommand::kLogClear:
      return "event log cleared\n";
    case KelctlCommand::kBeepShow:
      return std::string("beep: ") + (outcome.beepOn ? "on" : "off") + "\n";
    case KelctlCommand::kBeepSet:
      return std::string("beep switched ") + (outcome.beepOn ? "on" : "off") + "\n";
    case KelctlCommand::kCheckdiskShow:
      return "disk check interval: " + std::to_string(outcome.minutes) + " minutes\n";
    case KelctlCommand::kCheckdiskSet:
      return "disk check interval set to " + std::to_string(outcome.minutes) + " minutes\n";
    case KelctlCommand::kPasswd:
      return "password of " + options.targetUser + " changed\n";
    case KelctlCommand::kLogout:
      return "session " + options.clientId + " logged out\n";
    case KelctlCommand::kMetrics:
      return FormatKelctlMetrics(outcome);
    case KelctlCommand::kTasks:
      return FormatTaskTable(outcome.tasks.tasks);
    case KelctlCommand::kReplacePrepare:
      return "disk " + std::to_string(options.toDisk) + " is prepared to replace disk " +
             std::to_string(options.fromDisk) + "\n";
    case KelctlCommand::kReplaceWithdraw:
      return "disk " + std::to_string(options.toDisk) + " no longer replaces disk " +
             std::to_string(options.fromDisk) + "\n";
    case KelctlCommand::kTaskStart:
    case KelctlCommand::kTaskStop:
    case KelctlCommand::kTaskStatus:
    case KelctlCommand::kTaskWait:
      return outcome.tasks.haveTask ? FormatTaskReadable(outcome.tasks.task) : "";
    case KelctlCommand::kNone:
      break;
    default:
      return FormatRaidReadable(options, outcome);
  }
  return "";
}

std::string FormatJson(const KelctlOptions& options, const KelctlOutcome& outcome) {
  JsonWriter json;
  json.AddString("command", KelctlCommandName(options.command));
  json.AddBool("ok", outcome.ok());
  if (!outcome.ok()) {
    json.AddString("stage", outcome.stage)
        .AddInt("code", outcome.code)
        .AddString("message", outcome.message.empty() ? KelctlCodeText(outcome.code)
                                                      : outcome.message);
    if (outcome.tasks.haveTask) json.AddObject("task", TaskJson(outcome.tasks.task));
    else if (outcome.raid.showOnFailure) AddRaidJson(options, outcome, &json);
    return json.Text() + "\n";
  }
  switch (options.command) {
    case KelctlCommand::kLogin:
      json.AddString("user", options.user)
          .AddString("client_id", outcome.clientId)
          .AddInt("session_rights", outcome.sessionRights);
      break;
    case KelctlCommand::kLogStatus:
      json.AddInt("size", static_cast<long long>(outcome.logSize))
          .AddInt("lines", outcome.logLines)
          .AddBool("over_limit", outcome.overLimit);
      break;
    case KelctlCommand::kLogShow:
      json.AddInt("count", outcome.itemCount).AddStrings("lines", SplitLogLines(outcome.itemText));
      break;
    case KelctlCommand::kBeepShow:
    case KelctlCommand::kBeepSet:
      json.AddBool("beep", outcome.beepOn);
      break;
    case KelctlCommand::kCheckdiskShow:
    case KelctlCommand::kCheckdiskSet:
      json.AddInt("minutes", outcome.minutes);
      break;
    case KelctlCommand::kPasswd:
      json.AddString("user", options.targetUser);
      break;
    case KelctlCommand::kLogout:
      json.AddString("client_id", options.clientId);
      break;
    case KelctlCommand::kTasks: {
      std::vector<JsonWriter> list;
      for (const KelTaskRecord& t : outcome.tasks.tasks) list.push_back(TaskJson(t));
      json.AddObjects("tasks", list);
      break;
    }
    case KelctlCommand::kReplacePrepare:
    case KelctlCommand::kReplaceWithdraw:
      json.AddInt("disk", options.fromDisk).AddInt("new_disk", options.toDisk);
      break;
    case KelctlCommand::kTaskStart:
    case KelctlCommand::kTaskStop:
    case KelctlCommand::kTaskStatus:
    case KelctlCommand::kTaskWait:
      if (outcome.tasks.haveTask) json.AddObject("task", TaskJson(outcome.tasks.task));
      break;
    default:
      AddRaidJson(options, outcome, &json);
      break;
  }
  return json.Text() + "\n";
}

std::string FormatFailure(const KelctlOutcome& outcome) {
  return "kelctl: " + outcome.stage + " failed: " + std::to_string(outcome.code) + " (" +
         (outcome.message.empty() ? KelctlCodeText(outcome.code) : outcome.message) + ")\n";
}
