// What one kelctl invocation asks for, as the argument parser fills it in: where the
// service is, who logs in, which command runs with which arguments, and how to print.
#ifndef KEL_TOOLS_KELCTL_KELCTL_OPTIONS_H
#define KEL_TOOLS_KELCTL_KELCTL_OPTIONS_H

#include <string>

enum class KelctlCommand {
  kNone,  // only with a help request: the global help
  kLogin,
  kTest,
  kLogStatus,
  kLogShow,
  kLogClear,
  kBeepShow,
  kBeepSet,
  kCheckdiskShow,
  kCheckdiskSet,
  kPasswd,
  kLogout,
};

inline constexpr unsigned short kKelctlDefaultPort = 8018;
inline constexpr unsigned int kKelctlDefaultLogCount = 20;

struct KelctlOptions {
  // Connection and account.
  std::string host = "127.0.0.1";
  unsigned short port = kKelctlDefaultPort;  // --port, else KEL_PORT, else 8018
  std::string user = "admin";
  std::string passwordFile;     // empty: KEL_PASSWORD, then a prompt
  std::string oldPasswordFile;  // passwd: the target user's current password
  std::string newPasswordFile;  // passwd: the new password

  // Output.
  bool json = false;
  bool verbose = false;  // the library's diagnostic lines go to stderr instead of nowhere

  // Help: the global help (command kNone), a command's, or a command group's ("log").
  bool help = false;
  std::string helpTopic;

  KelctlCommand command = KelctlCommand::kNone;

  // Command arguments.
  unsigned int logFirst = 0;  // log show --first
  bool logFirstGiven = false;
  unsigned int logCount = kKelctlDefaultLogCount;  // log show --count, at least 1
  bool logOlder = false;                           // log show --older
  bool beepOn = false;                             // beep on|off
  unsigned int minutes = 0;                        // checkdisk MINUTES
  std::string targetUser;                          // passwd USER
  std::string clientId;                            // logout ID (decimal text)
};

#endif
