// kelctl's output: the readable text or the JSON object for a command's outcome, and the
// one-line error message for stderr. Pure formatting, no I/O.
#ifndef KEL_TOOLS_KELCTL_KELCTL_OUTPUT_H
#define KEL_TOOLS_KELCTL_KELCTL_OUTPUT_H

#include <string>
#include <vector>

#include "tools/kelctl/kelctl_options.h"
#include "tools/kelctl/kelctl_outcome.h"

// The text printed on stdout for a successful outcome, ending with a newline.
std::string FormatReadable(const KelctlOptions& options, const KelctlOutcome& outcome);

// One JSON object and a newline, for success ("ok":true and the values) and failure
// ("ok":false, "stage", "code", "message").
std::string FormatJson(const KelctlOptions& options, const KelctlOutcome& outcome);

// "kelctl: login failed: 2013 (wrong user name or password)" and a newline.
std::string FormatFailure(const KelctlOutcome& outcome);

// The meaning of a return code, as the client library names it.
std::string KelctlCodeText(int code);

// The lines of the log text, without their line ends; a last line without "\n" counts.
std::vector<std::string> SplitLogLines(const std::string& text);

#endif
