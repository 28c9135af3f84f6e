// The service's settings: a small "KEY = VALUE" text file loaded once at start-up into
// process-wide variables, with compiled-in defaults for anything the file does not name.
// The whole file is written back when reading failed and whenever a client changes the
// beeper switch or the disk-check interval.
//
// File format, one setting per line (at most 1023 characters; a longer line ends reading):
//   '#' starts a comment; every blank (space) is dropped, tabs and carriage returns are not;
//   the key is everything before the first '=', the value everything after it; keys are
//   case-sensitive and may appear once. Booleans: "true", "t", "TRUE", "T" mean true.
//   Integers are read with strtol (base 10), strings are taken as they stand.
// Written form: "KEY = VALUE\n" per row in table order, TRUE/FALSE, unsigned decimal.
//
// Locking: kelCfgLock guards the file and every setting variable. It is held for a whole
// read and a whole write. Run-time changes take it around the variable, release it, then
// call WriteKelConfig. Settings used only at start-up are read without it.
#ifndef KEL_SERVICE_CONFIG_KEL_REMOTE_CONFIG_H
#define KEL_SERVICE_CONFIG_KEL_REMOTE_CONFIG_H

#include <cstdint>
#include <string>
#include <vector>

#include "sharedlib/kel_mutex.h"

// Type codes of a settings row; 3 and 4 are understood but no row uses them.
enum KelCfgArgType : int32_t {
  CFG_BOOL = 0,    // bool (one byte, 0 or 1); default is a text
  CFG_INT = 1,     // int32_t; default points to an int32_t
  CFG_LONG = 2,    // int32_t; default points to an int32_t
  CFG_FLOAT = 3,   // float; default points to a float
  CFG_DOUBLE = 4,  // double; default points to a double
  CFG_STRING = 5,  // std::string; default is a text
};

// One row of a settings table.
struct KelCfgArgInfo {
  const char* name;          // key text as it appears in the file
  int32_t type;              // one of KelCfgArgType
  void* value;               // the variable that receives the setting
  const void* defaultValue;  // see KelCfgArgType; null makes the key mandatory
};

class KelRemoteConfig {
 public:
  static constexpr int KEL_CFG_ARG_COUNT = 14;
  static constexpr const char* KEL_CFG_DEFAULT_FILE = "/var/kel.config";

  // Compiled-in defaults.
  static constexpr int32_t HOTPLUG_TIMER_INTERVAL = 100;             // ms
  static constexpr int32_t CHECKDISK_TIMER_INTERVAL = 3600000;       // ms, one hour
  static constexpr int32_t KEL_REMOTE_CONFIG_PORT = 8018;            // client TCP port
  static constexpr int32_t KEL_REMOTE_EVENT_LISTEN_PORT = 8001;      // notification TCP port
  static constexpr int32_t KEL_BROADCAST_LISTEN_PORT = 7001;         // UDP discovery port
  static constexpr int32_t KEL_MAX_CLIENT_COUNT = 10;
  static constexpr int32_t KEL_MAX_LISTEN_SOCKETS = 30;
  static constexpr int32_t KEL_EVENT_LOG_MAX_LEN = 10485760;         // bytes, 10 MiB
  static constexpr int32_t KEL_EVENT_LOG_BYTES_PER_ITEM = 200;

  // The settings, process-wide and valid (with the defaults) before any object exists.
  // All guarded by kelCfgLock; the two that clients change at run time carry GUARDED_BY,
  // the others are read without it at start-up. Ports use only their low 16 bits.
  static inline KelMutex kelCfgLock;
  static inline bool bBeepEnable GUARDED_BY(kelCfgLock) = true;
  static inline int32_t nHotplugInterval = HOTPLUG_TIMER_INTERVAL;
  static inline int32_t nCheckDiskStatusInterval GUARDED_BY(kelCfgLock) = CHECKDISK_TIMER_INTERVAL;
  static inline std::string strEventLogFile = "/var/kel_event.log";
  static inline std::string strAccountFile = "/var/kel_account";
  static inline int32_t nKelRemoteClientListenPort = KEL_REMOTE_CONFIG_PORT;
  static inline int32_t nKelRemoteEventListenPort = KEL_REMOTE_EVENT_LISTEN_PORT;
  static inline int32_t nKelRemoteBroadcastListenPort = KEL_BROADCAST_LISTEN_PORT;
  static inline int32_t nKelRemoteMaxClientCount = KEL_MAX_CLIENT_COUNT;
  static inline int32_t nKelRemoteMaxClientSockets = KEL_MAX_LISTEN_SOCKETS;
  static inline int32_t nKelRemoteEventLogMaxSize = KEL_EVENT_LOG_MAX_LEN;
  static inline int32_t nKelRemoteEventLogBytesPerItem = KEL_EVENT_LOG_BYTES_PER_ITEM;
  static inline std::string strKelInitLogFile = "/var/kel_init.log";
  static inline bool bAutoSMR = true;

  // Builds the table, applies the defaults, reads `path` (null: KEL_CFG_DEFAULT_FILE) and
  // rewrites the file when reading fails. Failures are printed, never fatal.
  explicit KelRemoteConfig(const char* path);
  KelRemoteConfig(const KelRemoteConfig&) = delete;
  KelRemoteConfig& operator=(const KelRemoteConfig&) = delete;

  // Sets every setting variable back to its compiled-in default, under kelCfgLock.
  // For tests and for a service that starts over within one process.
  static void ResetDefaults() EXCLUDES(kelCfgLock);

  // Fills the 14 rows of this object's table in file order.
  void InitCfgArg();

  // Copies every row's default into its variable. Caller holds kelCfgLock when `table`
  // names the shared variables. False (with "Invalid parameters") for a null table or a
  // negative count, false at once for a row of unknown type.
  static bool FixDefaultArg(KelCfgArgInfo* table, int count);

  // Reads the file under kelCfgLock and applies its lines. False when the file cannot be
  // opened or its lines are rejected by KelParseConfigItems.
  bool ReadKelConfig() EXCLUDES(kelCfgLock);

  // Applies `lines` to `table` in order. Bad lines and unknown keys are reported and
  // skipped; a key given twice or a row of unknown type stops at once with false. Ends
  // with CheckCfgArg. Caller holds kelCfgLock when `table` names the shared variables.
  static bool KelParseConfigItems(std::vector<std::string>& lines, KelCfgArgInfo* table,
                                  int count);

  // True when every row without a default was seen. Reports each missing key.
  static bool CheckCfgArg(KelCfgArgInfo* table, const int* seen, int count);

  // Replaces the file with the current values of all rows, under kelCfgLock. The old file
  // stays whole when writing fails. Must be called without kelCfgLock held.
  bool WriteKelConfig() EXCLUDES(kelCfgLock);

  const std::string& CfgFilePath() const { return m_strCfgFile; }
  const KelCfgArgInfo* CfgArgs() const { return m_cfgArgs; }

 private:
  // Fills `table` (KEL_CFG_ARG_COUNT rows) with the process-wide rows.
  static void FillCfgTable(KelCfgArgInfo* table);

  std::string m_strCfgFile;                      // set once in the constructor
  KelCfgArgInfo m_cfgArgs[KEL_CFG_ARG_COUNT];    // set once in the constructor
};

#endif
