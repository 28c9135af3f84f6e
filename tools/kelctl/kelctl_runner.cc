// The library calls behind each kelctl command.
#include "tools/kelctl/kelctl_runner.h"

#include <cstdio>

#include "tools/kelctl/kelctl_metrics.h"
#include "tools/kelctl/kelctl_raid_runner.h"
#include "tools/kelctl/kelctl_session.h"
#include "tools/kelctl/kelctl_task_runner.h"
#include "webext/client/kelclient.h"

namespace {

// Fills the outcome with a failure of `stage` unless `code` is 0; returns code == 0.
bool Step(KelctlOutcome* outcome, int code, const char* stage) {
  if (code == 0) return true;
  outcome->code = code;
  outcome->stage = stage;
  return false;
}

// Ending the connection's own session makes the service drop the connection before it
// can answer, so a closed connection is a successful logout here.
bool LoggedOut(int code) { return code == KEL_CLIENT_OK || code == KEL_CLIENT_SEND_FAILED; }

void RunLogShow(CLIENT_INFO* ci, const KelctlOptions& options, KelctlOutcome* outcome) {
  unsigned int first = options.logFirst;
  if (options.logOlder && !options.logFirstGiven) {
    unsigned int overLimit = 0;
    if (!Step(outcome, UserGetLogStatus(ci, &overLimit, nullptr, &first), "log show")) return;
  }
  unsigned int count = options.logCount;
  unsigned int textLen = 0;
  char text[kClientBufSize] = {};
  if (!Step(outcome,
            UserGetLogItems(ci, options.logOlder ? 1 : 0, first, &count, text, &textLen),
            "log show"))
    return;
  outcome->itemCount = count;
  outcome->itemText.assign(text, textLen);
}

// The command proper, on a logged-in connection.
void RunCommand(CLIENT_INFO* ci, const KelctlOptions& options, const KelctlSecrets& secrets,
                KelctlOutcome* outcome) {
  unsigned int overLimit = 0;
  unsigned char on = 0;
  switch (options.command) {
    case KelctlCommand::kTest:
      Step(outcome, GetTestData(ci), "test");
      break;
    case KelctlCommand::kLogStatus:
      if (Step(outcome, UserGetLogStatus(ci, &overLimit, &outcome->logSize, &outcome->logLines),
               "log status"))
        outcome->overLimit = overLimit != 0;
      break;
    case KelctlCommand::kLogShow:
      RunLogShow(ci, options, outcome);
      break;
    case KelctlCommand::kLogClear:
      Step(outcome, UserClearLog(ci), "log clear");
      break;
    case KelctlCommand::kBeepShow:
      if (Step(outcome, GetBeepStatus(ci, &on), "beep")) outcome->beepOn = on != 0;
      break;
    case KelctlCommand::kBeepSet:
      if (Step(outcome, SetBeepStatus(ci, options.beepOn ? 1 : 0), "beep"))
        outcome->beepOn = options.beepOn;
      break;
    case KelctlCommand::kCheckdiskShow:
      Step(outcome, GetCheckDiskDuration(ci, &outcome->minutes), "checkdisk");
      break;
    case KelctlCommand::kCheckdiskSet:
      // The service caps the interval, so what it stored is read back and shown.
      if (Step(outcome, SetCheckDiskDuration(ci, options.minutes), "checkdisk"))
        Step(outcome, GetCheckDiskDuration(ci, &outcome->minutes), "checkdisk");
      break;
    case KelctlCommand::kPasswd:
      Step(outcome,
           UserChangePasswd(ci, options.targetUser.c_str(), secrets.oldPassword.c_str(),
                            secrets.newPassword.c_str()),
           "passwd");
      break;
    case KelctlCommand::kMetrics:
      RunKelctlMetrics(ci, outcome);
      break;
    case KelctlCommand::kTaskStart:
    case KelctlCommand::kTaskStop:
    case KelctlCommand::kTaskStatus:
    case KelctlCommand::kTasks:
    case KelctlCommand::kReplacePrepare:
    case KelctlCommand::kReplaceWithdraw:
      RunKelctlTaskCommand(ci->nCmdSock, options, outcome);
      break;
    default:
      RunKelctlRaidCommand(ci->nCmdSock, options, secrets, outcome);
      break;
  }
}

}  // namespace

KelctlOutcome RunKelctl(const KelctlOptions& options, const KelctlSecrets& secrets) {
  KelctlOutcome outcome;
  CLIENT_INFO ci;
  ClientInfoInit(&ci);
  if (!Step(&outcome, OpenConnect(&ci, options.host.c_str(), options.port), "connect"))
    return outcome;

  if (options.command == KelctlCommand::kLogout) {
    int joined = UserSessionLogin(&ci, options.clientId.c_str());
    if (Step(&outcome, joined, "session login")) {
      int code = UserLogout(&ci, options.clientId.c_str());
      if (!LoggedOut(code)) Step(&outcome, code, "logout");
    } else {
      outcome.sessionEnded = KelctlSessionEnded(joined);
    }
    CloseConnect(&ci);
    return outcome;
  }

  if (!options.sessionId.empty()) {
    int code = UserSessionLogin(&ci, options.sessionId.c_str());
    if (Step(&outcome, code, "session login")) {
      snprintf(ci.szClientID, sizeof(ci.szClientID), "%s", options.sessionId.c_str());
      outcome.clientId = options.sessionId;
      outcome.sessionRights = ci.nSessionRights;
      RunCommand(&ci, options, secrets, &outcome);
    } else {
      outcome.sessionEnded = KelctlSessionEnded(code);
    }
    CloseConnect(&ci);
    return outcome;
  }

  if (Step(&outcome, UserLogin(&ci, options.user.c_str(), secrets.password.c_str()), "login")) {
    outcome.clientId = ci.szClientID;
    outcome.sessionRights = ci.nSessionRights;
    if (options.command != KelctlCommand::kLogin) RunCommand(&ci, options, secrets, &outcome);
    if (options.command != KelctlCommand::kLogin && !options.keepSession) {
      // The session ends whatever the command gave; a failing logout is reported only
      // when the command itself succeeded.
      int code = UserLogout(&ci, nullptr);
      if (outcome.ok() && !LoggedOut(code)) Step(&outcome, code, "logout");
    }
  }
  CloseConnect(&ci);
  return outcome;
}
