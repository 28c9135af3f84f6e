// `kelctl metrics`: the controller's state as Prometheus text for a node exporter's
// text-file collector. Reading (one pass over disks, arrays and the event log) is kept
// apart from the text, which is built from the outcome alone.
#ifndef KEL_TOOLS_KELCTL_KELCTL_METRICS_H
#define KEL_TOOLS_KELCTL_KELCTL_METRICS_H

#include <string>

#include "tools/kelctl/kelctl_outcome.h"
#include "webext/client/client_info.h"

// Reads every listed disk with its SMART status, every array and the event log's status
// into outcome->raid.health, outcome->raid.arrays and the log fields. A failing query
// ends the run with its step named: a partial picture would pass for a complete one.
void RunKelctlMetrics(CLIENT_INFO* ci, KelctlOutcome* outcome);

// The metrics text, one HELP and TYPE header per metric, ending with a newline.
std::string FormatKelctlMetrics(const KelctlOutcome& outcome);

#endif
