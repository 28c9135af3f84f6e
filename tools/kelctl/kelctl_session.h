// The session `kelctl login` keeps for later commands: its client ID and user, in a file
// of the local user's own (mode 0600), one per service host and port. Later commands join
// that session instead of logging in afresh, which would end another admin session (a web
// console's) each time.
#ifndef KEL_TOOLS_KELCTL_KELCTL_SESSION_H
#define KEL_TOOLS_KELCTL_KELCTL_SESSION_H

#include <string>

#include "tools/kelctl/kelctl_secrets.h"

struct KelctlSession {
  std::string clientId;  // decimal, as the login gave it
  std::string user;
};

// The session file for host:port: $XDG_RUNTIME_DIR/kelctl/ when that is set, else
// $HOME/.cache/kelctl/; the name is "session-HOST-PORT" with every byte of the host that
// is not a letter, digit, '.' or '-' written as '_'. Empty when neither variable is set.
std::string KelctlSessionPath(const KelctlEnvLookup& env, const std::string& host,
                              unsigned short port);

// The file's text, "ID USER\n", and back. Parsing fails for anything else (a client ID
// that is not 1 to 11 digits, no user, more lines).
std::string FormatKelctlSession(const KelctlSession& session);
bool ParseKelctlSession(const std::string& text, KelctlSession* out);

// False when there is no usable file; a file that exists but is not ours alone (another
// owner, group or other access) or does not parse is reported in *error.
bool LoadKelctlSession(const std::string& path, KelctlSession* out, std::string* error);
// Creates the folder (0700) when missing and replaces the file as a whole, mode 0600.
bool StoreKelctlSession(const std::string& path, const KelctlSession& session,
                        std::string* error);
// Removes the file; a file that is already gone is no failure.
bool RemoveKelctlSession(const std::string& path, std::string* error);

// The session login's answers that mean the stored session is over, as against a failure
// of the connection.
bool KelctlSessionEnded(int code);

#endif
