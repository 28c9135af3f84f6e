// Runs one parsed kelctl command against the service through the client connection
// library: connect, log in (or join a session), run, log out. All of kelctl's network I/O
// happens here.
#ifndef KEL_TOOLS_KELCTL_KELCTL_RUNNER_H
#define KEL_TOOLS_KELCTL_KELCTL_RUNNER_H

#include "tools/kelctl/kelctl_options.h"
#include "tools/kelctl/kelctl_outcome.h"

// `options.command` must not be kNone. ZepSockInit must have run. Every command but login
// and logout ends the session it opened; login leaves its session open, logout joins the
// session it ends. The connection is closed in every case.
KelctlOutcome RunKelctl(const KelctlOptions& options, const KelctlSecrets& secrets);

#endif
