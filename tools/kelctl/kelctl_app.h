// The whole of one kelctl invocation apart from the process's own streams: parse, gather
// passwords, run, format. main() only wires it to stdout, stderr and the environment.
#ifndef KEL_TOOLS_KELCTL_KELCTL_APP_H
#define KEL_TOOLS_KELCTL_KELCTL_APP_H

#include <string>
#include <vector>

#include "tools/kelctl/kelctl_monitor_runner.h"
#include "tools/kelctl/kelctl_secrets.h"

// Exit statuses.
inline constexpr int kKelctlExitOk = 0;
inline constexpr int kKelctlExitFailed = 1;  // the service or the connection failed
inline constexpr int kKelctlExitUsage = 2;   // bad arguments, or no password to be had

// Runs kelctl with `args` (without the program name). What belongs on stdout is appended
// to *out, the error message to *err. Returns the exit status. Commands that print while
// they run (events, discover) hand their output to `sink` as it comes, or append it to
// *out when there is no sink. `terminal` says that standard output is a terminal, where
// `task wait` draws a progress bar.
int KelctlMain(const std::vector<std::string>& args, const KelctlEnvLookup& env,
               const KelctlPrompter& prompter, std::string* out, std::string* err,
               const KelctlLineSink& sink = {}, bool terminal = false);

// True when the options ask for the library's diagnostics to be shown (--verbose); main()
// uses it before running to decide where those lines go.
bool KelctlWantsDiagnostics(const std::vector<std::string>& args);

#endif
