// What one kelctl invocation asks for, as the argument parser fills it in: where the
// service is, who logs in, which command runs with which arguments, and how to print.
#ifndef KEL_TOOLS_KELCTL_KELCTL_OPTIONS_H
#define KEL_TOOLS_KELCTL_KELCTL_OPTIONS_H

#include <cstdint>
#include <string>
#include <vector>

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
  kMetrics,
  // RAID queries and maintenance.
  kControllers,
  kChannels,
  kHubs,
  kDisks,
  kDisk,
  kArrays,
  kArray,
  kVds,
  kFree,
  kPartitions,
  kSmartStatus,
  kSmartValues,
  kSmartThresholds,
  kSmartCheck,
  kRescan,
  kReloadDriver,
  // Changes of the RAID configuration.
  kCreateSize,
  kCreate,
  kRemove,
  kSpareAdd,
  kSpareRemove,
  kRepair,
  kClearDisk,
  // Following the service.
  kEvents,
  kDiscover,
  // Background tasks.
  kTaskStart,
  kTaskStop,
  kTaskStatus,
  kTaskWait,
  kTasks,
  kReplacePrepare,
  kReplaceWithdraw,
};

// What a task command names: an array's synchronisation or migration, or a replacement.
enum class KelctlTaskKind { kSync, kMigrate, kReplace };

// How `disk`, `vds` and `partitions` name what they show.
enum class KelctlTarget {
  kDisk,      // a disk by index
  kPhy,       // a disk by controller, channel and position
  kArray,     // an array (vds, partitions)
  kArrayPos,  // the disk at a position of an array
};

inline constexpr unsigned short kKelctlDefaultPort = 8018;
inline constexpr unsigned int kKelctlDefaultLogCount = 20;
inline constexpr unsigned short kKelctlDefaultNotifyPort = 8001;
inline constexpr unsigned short kKelctlDefaultDiscoverPort = 7001;
inline constexpr unsigned int kKelctlDefaultDiscoverWaitSec = 3;

struct KelctlOptions {
  // Connection and account.
  std::string host = "127.0.0.1";
  unsigned short port = kKelctlDefaultPort;  // --port, else KEL_PORT, else 8018
  bool portGiven = false;                    // --port was on the command line
  std::string user = "admin";
  bool userGiven = false;       // --user given: a stored session of another user is not joined
  std::string passwordFile;     // empty: KEL_PASSWORD, then a prompt
  std::string oldPasswordFile;  // passwd: the target user's current password
  std::string newPasswordFile;  // passwd: the new password
  std::string hostUser = "root";     // reload-driver --reboot: the service host's account
  std::string hostPasswordFile;      // its password; empty: KEL_HOST_PASSWORD, then a prompt

  // Sessions. Without --no-session, `login` stores its session and later commands join it.
  bool noSession = false;
  std::string sessionId;     // set by the app: join this session rather than log in
  bool keepSession = false;  // set by the app: do not log out after the command

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
  std::string clientId;  // logout ID (decimal text); empty: the stored session

  // RAID command arguments.
  KelctlTarget target = KelctlTarget::kDisk;
  unsigned int disk = 0;         // disk N, vds --disk, free, partitions --disk, smart ... D
  unsigned int array = 0;        // array N, disk/vds/partitions --array
  unsigned int position = 0;     // disk --array A --pos P; disk --phy C:CH:POS
  unsigned int controller = 0;   // disk --phy
  unsigned int channel = 0;      // disk --phy
  unsigned int slot = 0;         // vds --slot
  bool slotGiven = false;
  bool reboot = false;           // reload-driver --reboot

  // Change command arguments.
  unsigned char raidType = 0;         // create(-size) LEVEL, as a KEL_RAID_* code
  std::vector<unsigned int> disks;    // create --disks, repair --disk, clear-disk N...
  std::vector<std::string> arrayRefs; // remove ARRAY..., spare/repair ARRAY: index or name
  std::string arrayName;              // create --name
  uint64_t sizeMiB = 0;               // create --size; 0: the largest the disks allow
  unsigned int stripeKiB = 0;         // create --stripe
  bool keepData = false;              // --keep-data: build around the first disk's data
  bool useSpare = false;              // repair --spare
  bool confirmed = false;             // --yes

  // events and discover.
  unsigned short notifyPort = kKelctlDefaultNotifyPort;  // events --notify-port
  unsigned short discoverPort = kKelctlDefaultDiscoverPort;  // discover --port
  unsigned int eventCount = 0;   // events --count; 0: no limit
  unsigned int waitSec = 0;      // events --timeout (0: none); discover --timeout; task wait

  // Task commands: the kind, and the array (arrayRefs[0]) or the two disks.
  KelctlTaskKind taskKind = KelctlTaskKind::kSync;
  unsigned int fromDisk = 0;
  unsigned int toDisk = 0;
  bool terminal = false;  // set by the app: standard output is a terminal (task wait's bar)
};

#endif
