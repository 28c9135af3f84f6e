// kelctl's flow: arguments, passwords, one run against the service, output.
#include "tools/kelctl/kelctl_app.h"

#include "tools/kelctl/kelctl_args.h"
#include "tools/kelctl/kelctl_commands.h"
#include "tools/kelctl/kelctl_monitor_runner.h"
#include "tools/kelctl/kelctl_output.h"
#include "tools/kelctl/kelctl_runner.h"
#include "tools/kelctl/kelctl_session.h"
#include "tools/kelctl/kelctl_task_runner.h"
#include "webext/client/client_connect.h"
#include "webext/client/client_raid_query.h"

namespace {

bool GatherOwnPassword(const KelctlOptions& o, const KelctlEnvLookup& env,
                       const KelctlPrompter& prompter, KelctlSecrets* secrets,
                       std::string* error) {
  KelctlSecretSource own{o.passwordFile, "--password-file", "KEL_PASSWORD",
                         "Password for " + o.user + ": ", ""};
  return ReadKelctlSecret(own, env, prompter, &secrets->password, error);
}

// Every password this command needs, before any connection is opened: a prompt must not
// hold a connection open while someone types.
bool GatherSecrets(const KelctlOptions& o, const KelctlEnvLookup& env,
                   const KelctlPrompter& prompter, KelctlSecrets* secrets, std::string* error) {
  // Joining a stored session needs no password; it is asked for only if that session
  // turns out to have ended.
  if (o.command != KelctlCommand::kLogout && o.command != KelctlCommand::kDiscover &&
      o.sessionId.empty() &&
      !GatherOwnPassword(o, env, prompter, secrets, error))
    return false;
  if (o.command == KelctlCommand::kPasswd) {
    KelctlSecretSource old{o.oldPasswordFile, "--old-password-file", "KEL_OLD_PASSWORD",
                           "Current password of " + o.targetUser + ": ", ""};
    KelctlSecretSource neu{o.newPasswordFile, "--new-password-file", "KEL_NEW_PASSWORD",
                           "New password of " + o.targetUser + ": ",
                           "Retype new password of " + o.targetUser + ": "};
    if (!ReadKelctlSecret(old, env, prompter, &secrets->oldPassword, error)) return false;
    if (!ReadKelctlSecret(neu, env, prompter, &secrets->newPassword, error)) return false;
  }
  if (o.command == KelctlCommand::kReloadDriver && o.reboot) {
    KelctlSecretSource host{o.hostPasswordFile, "--host-password-file", "KEL_HOST_PASSWORD",
                            "Password of " + o.hostUser + " on the service host: ", ""};
    if (!ReadKelctlSecret(host, env, prompter, &secrets->hostPassword, error)) return false;
    // The service takes at most this much; a cut password would only fail later.
    if (secrets->hostPassword.size() >= kRaidReloadTextSize) {
      *error = "the host password is longer than " + std::to_string(kRaidReloadTextSize - 1) +
               " bytes";
      return false;
    }
  }
  return true;
}

// Chooses between the stored session and a login of its own for this invocation. Returns
// false (with *error) only when `logout` without an ID finds no stored session.
bool UseStoredSession(const std::string& path, KelctlOptions* o, std::string* err,
                      std::string* error) {
  const bool logoutById = o->command == KelctlCommand::kLogout && !o->clientId.empty();
  KelctlSession stored;
  bool have = false;
  if (!path.empty() && o->command != KelctlCommand::kLogin && !logoutById) {
    std::string warning;
    have = LoadKelctlSession(path, &stored, &warning);
    if (!warning.empty()) *err += "kelctl: " + warning + "\n";
  }
  if (o->command == KelctlCommand::kLogout) {
    if (logoutById || have) {
      if (!logoutById) o->clientId = stored.clientId;
      return true;
    }
    *error = "no stored session for " + o->host + ":" + std::to_string(o->port) +
             " (give the client ID, or log in first)";
    return false;
  }
  // A stored session of another user than the one asked for is left alone.
  if (have && (!o->userGiven || o->user == stored.user)) {
    o->sessionId = stored.clientId;
    o->user = stored.user;
  }
  return true;
}

// After the run: the file follows the session. A failure to store it is the
// invocation's failure, since the next command would log in afresh.
bool UpdateStoredSession(const std::string& path, const KelctlOptions& o,
                         const KelctlOutcome& outcome, bool loggedOutStored,
                         std::string* error) {
  if (path.empty()) return true;
  if (loggedOutStored && (outcome.ok() || outcome.sessionEnded))
    return RemoveKelctlSession(path, error);
  if (outcome.ok() && (o.command == KelctlCommand::kLogin || o.keepSession))
    return StoreKelctlSession(path, {outcome.clientId, o.user}, error);
  return true;
}

}  // namespace

bool KelctlWantsDiagnostics(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--") break;
    if (a == "--verbose" || a == "-v") return true;
  }
  return false;
}

int KelctlMain(const std::vector<std::string>& args, const KelctlEnvLookup& env,
               const KelctlPrompter& prompter, std::string* out, std::string* err,
               const KelctlLineSink& sink, bool terminal) {
  KelctlOptions options;
  std::string error;
  if (!ParseKelctlArgs(args, env("KEL_PORT"), &options, &error)) {
    *err += "kelctl: " + error + "\n";
    return kKelctlExitUsage;
  }
  if (options.help) {
    *out += KelctlHelpFor(options.helpTopic);
    return kKelctlExitOk;
  }
  options.terminal = terminal;
  const std::string sessionPath =
      options.noSession ? "" : KelctlSessionPath(env, options.host, options.port);
  const bool logoutById = !options.clientId.empty();
  if (!UseStoredSession(sessionPath, &options, err, &error)) {
    *err += "kelctl: " + error + "\n";
    return kKelctlExitUsage;
  }
  KelctlSecrets secrets;
  if (!GatherSecrets(options, env, prompter, &secrets, &error)) {
    *err += "kelctl: " + error + "\n";
    return kKelctlExitUsage;
  }
  if (ZepSockInit() != 0) {
    *err += "kelctl: the cipher could not be set up\n";
    return kKelctlExitFailed;
  }
  const bool streams = options.command == KelctlCommand::kEvents ||
                       options.command == KelctlCommand::kDiscover ||
                       options.command == KelctlCommand::kTaskWait;
  if (streams) {
    KelctlLineSink emit = sink ? sink : [out](const std::string& text) { *out += text; };
    // The commands that log in; discovery needs no session.
    const bool follows = options.command != KelctlCommand::kDiscover;
    auto run = [&] {
      if (options.command == KelctlCommand::kTaskWait)
        return RunKelctlTaskWait(options, secrets, emit);
      return follows ? RunKelctlEvents(options, secrets, emit) : RunKelctlDiscover(options, emit);
    };
    KelctlOutcome outcome = run();
    if (follows && outcome.sessionEnded && !options.sessionId.empty()) {
      // The stored session is over: follow with a fresh login of its own instead.
      if (!RemoveKelctlSession(sessionPath, &error)) *err += "kelctl: " + error + "\n";
      options.sessionId.clear();
      if (!GatherOwnPassword(options, env, prompter, &secrets, &error)) {
        *err += "kelctl: " + error + "\n";
        return kKelctlExitUsage;
      }
      outcome = run();
    }
    if (outcome.ok()) return kKelctlExitOk;
    if (options.json) emit(FormatJson(options, outcome));
    *err += FormatFailure(outcome);
    return kKelctlExitFailed;
  }
  KelctlOutcome outcome = RunKelctl(options, secrets);
  if (outcome.sessionEnded && !options.sessionId.empty()) {
    // The stored session is over: log in afresh and keep the new session in its place.
    if (!RemoveKelctlSession(sessionPath, &error)) *err += "kelctl: " + error + "\n";
    options.sessionId.clear();
    options.keepSession = true;
    if (!GatherOwnPassword(options, env, prompter, &secrets, &error)) {
      *err += "kelctl: " + error + "\n";
      return kKelctlExitUsage;
    }
    outcome = RunKelctl(options, secrets);
  }
  const bool loggedOutStored = options.command == KelctlCommand::kLogout && !logoutById;
  if (!UpdateStoredSession(sessionPath, options, outcome, loggedOutStored, &error)) {
    *err += "kelctl: " + error + "\n";
    if (outcome.ok()) {
      if (options.json) *out += FormatJson(options, outcome);
      else *out += FormatReadable(options, outcome);
      return kKelctlExitFailed;
    }
  }
  if (options.json)
    *out += FormatJson(options, outcome);
  else if (outcome.ok() || outcome.raid.showOnFailure)
    *out += FormatReadable(options, outcome);
  if (!outcome.ok()) {
    *err += FormatFailure(outcome);
    return kKelctlExitFailed;
  }
  return kKelctlExitOk;
}
