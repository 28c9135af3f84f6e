// kelctl's flow: arguments, passwords, one run against the service, output.
#include "tools/kelctl/kelctl_app.h"

#include "tools/kelctl/kelctl_args.h"
#include "tools/kelctl/kelctl_commands.h"
#include "tools/kelctl/kelctl_monitor_runner.h"
#include "tools/kelctl/kelctl_output.h"
#include "tools/kelctl/kelctl_runner.h"
#include "webext/client/client_connect.h"
#include "webext/client/client_raid_query.h"

namespace {

// Every password this command needs, before any connection is opened: a prompt must not
// hold a connection open while someone types.
bool GatherSecrets(const KelctlOptions& o, const KelctlEnvLookup& env,
                   const KelctlPrompter& prompter, KelctlSecrets* secrets, std::string* error) {
  if (o.command != KelctlCommand::kLogout && o.command != KelctlCommand::kDiscover) {
    KelctlSecretSource own{o.passwordFile, "--password-file", "KEL_PASSWORD",
                           "Password for " + o.user + ": ", ""};
    if (!ReadKelctlSecret(own, env, prompter, &secrets->password, error)) return false;
  }
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
               const KelctlLineSink& sink) {
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
  KelctlSecrets secrets;
  if (!GatherSecrets(options, env, prompter, &secrets, &error)) {
    *err += "kelctl: " + error + "\n";
    return kKelctlExitUsage;
  }
  if (ZepSockInit() != 0) {
    *err += "kelctl: the cipher could not be set up\n";
    return kKelctlExitFailed;
  }
  const bool streams =
      options.command == KelctlCommand::kEvents || options.command == KelctlCommand::kDiscover;
  if (streams) {
    KelctlLineSink emit = sink ? sink : [out](const std::string& text) { *out += text; };
    KelctlOutcome outcome = options.command == KelctlCommand::kEvents
                                ? RunKelctlEvents(options, secrets, emit)
                                : RunKelctlDiscover(options, emit);
    if (outcome.ok()) return kKelctlExitOk;
    if (options.json) emit(FormatJson(options, outcome));
    *err += FormatFailure(outcome);
    return kKelctlExitFailed;
  }
  KelctlOutcome outcome = RunKelctl(options, secrets);
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
