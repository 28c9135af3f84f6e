// Running `events` and `discover`: unlike the other commands they print while they run,
// one line at a time, through a sink that main() connects to standard output.
#ifndef KEL_TOOLS_KELCTL_KELCTL_MONITOR_RUNNER_H
#define KEL_TOOLS_KELCTL_KELCTL_MONITOR_RUNNER_H

#include <csignal>
#include <functional>
#include <string>

#include "tools/kelctl/kelctl_options.h"
#include "tools/kelctl/kelctl_outcome.h"

// Takes one piece of output (whole lines) as soon as it is ready.
using KelctlLineSink = std::function<void(const std::string&)>;

// Follows the service's notices as `kelctl events` does until the count or time limit is
// reached, SIGINT arrives (its handler is installed for the duration) or the connection
// ends. ZepSockInit must have run. The outcome is a failure for a failed connect, login or
// registration, for a connection the service ended, and for a session another login took
// over; reaching a limit or SIGINT is success.
KelctlOutcome RunKelctlEvents(const KelctlOptions& options, const KelctlSecrets& secrets,
                              const KelctlLineSink& sink);

// Lists the services that answer a discovery, through the sink.
KelctlOutcome RunKelctlDiscover(const KelctlOptions& options, const KelctlLineSink& sink);

#endif
