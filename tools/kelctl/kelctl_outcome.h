// What running one kelctl command produced: success, or the step that failed with its
// return code, plus the values the command read. Filled by the runner, printed by the
// output formatter.
#ifndef KEL_TOOLS_KELCTL_KELCTL_OUTCOME_H
#define KEL_TOOLS_KELCTL_KELCTL_OUTCOME_H

#include <string>
#include <vector>

#include "tools/kelctl/kelctl_raid_outcome.h"
#include "webext/client/client_task.h"

// The passwords one invocation needs, gathered before any connection is made.
struct KelctlSecrets {
  std::string password;      // --user's password (every command but logout)
  std::string oldPassword;   // passwd: the target user's current password
  std::string newPassword;   // passwd: the new password
  std::string hostPassword;  // reload-driver --reboot: the host account's password
};

// What the task commands read: the task as the service returned it, or the list.
struct KelctlTaskData {
  KelTaskRecord task{};
  bool haveTask = false;  // the service answered with the record (also when it refused)
  std::vector<KelTaskRecord> tasks;
};

struct KelctlOutcome {
  int code = 0;       // 0, or the result of the step that failed
  std::string stage;  // the step that failed: "connect", "login", "log show", ...

  // Joining the stored session failed because the session is over.
  bool sessionEnded = false;

  // login, and any command that logged in or joined a session
  std::string clientId;
  int sessionRights = 0;
  // log status
  bool overLimit = false;
  unsigned long long logSize = 0;
  unsigned int logLines = 0;
  // log show
  unsigned int itemCount = 0;
  std::string itemText;  // the lines one after the other, each ending with "\n"
  // beep, checkdisk
  bool beepOn = false;
  unsigned int minutes = 0;
  // RAID commands
  KelctlRaidData raid;
  KelctlChangeData change;
  KelctlTaskData tasks;
  // When set, what the failure means for this command, in place of the code's general
  // meaning.
  std::string message;

  bool ok() const { return code == 0; }
};

#endif
