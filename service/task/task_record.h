// The 16-byte record of a background task (synchronise, migrate, replace): what a client
// sends in command code 1, what the task manager keeps per task and what a task-state
// notice carries. Little-endian, laid out as the static_asserts fix it:
//
//   0 u8  task code (KelTaskCode)        8 i32 result (KelTaskResult or engine code)
//   1 u8  operation (KelTaskOp)         12 u16 progress, 0..100
//   2 u8  first index: array, or the disk to replace   14 u8 state (KelTaskState)
//   3 u8  second index: the new disk (replace)         15 u8 originator (1 client, 2 service)
//   4 u16 magic number of the first object
//   6 u16 magic number of the new disk (replace); RAID 0+1 sync: the half mask 1..3
#ifndef KEL_SERVICE_TASK_TASK_RECORD_H
#define KEL_SERVICE_TASK_TASK_RECORD_H

#include <cstddef>
#include <cstdint>

struct KelAsyncTaskData {
  uint8_t uTaskCode = 0;
  uint8_t uOp = 0;
  uint8_t uIndex1 = 0;
  uint8_t uIndex2 = 0;
  uint16_t wdMagic1 = 0;
  uint16_t wdMagic2 = 0;  // RAID 0+1 synchronisation: the half mask
  int32_t nResult = 0;
  uint16_t uPercent = 0;
  uint8_t uState = 0;
  uint8_t uOrigin = 0;
};
static_assert(sizeof(KelAsyncTaskData) == 16);
static_assert(offsetof(KelAsyncTaskData, nResult) == 8);
static_assert(offsetof(KelAsyncTaskData, uPercent) == 12);
static_assert(offsetof(KelAsyncTaskData, uState) == 14);

enum KelTaskCode : uint8_t {
  KEL_TASK_SYNC_RAID1 = 1,
  KEL_TASK_SYNC_RAID01 = 2,
  KEL_TASK_SYNC_RAID5 = 3,
  KEL_TASK_MIGRATE_ARRAY = 4,
  KEL_TASK_REPLACE_PD = 5,
  KEL_ASYNC_TASK_QUERY_ALL = 6,
};

enum KelTaskOp : uint8_t {
  KEL_TASK_OP_START = 1,
  KEL_TASK_OP_STOP = 2,
  KEL_TASK_OP_QUERY = 3,
  KEL_TASK_OP_PREPARE_REPLACE = 4,
  KEL_TASK_OP_WITHDRAW_REPLACE = 5,
};

enum KelTaskState : uint8_t {
  KEL_TASK_UNKNOWN = 0,    // the task lists could not be locked
  KEL_TASK_NEW = 1,        // new, or no such task
  KEL_TASK_STARTING = 2,   // thread started, first step not yet done
  KEL_TASK_STOPPED = 3,
  KEL_TASK_COMPLETED = 4,
  KEL_TASK_RUNNING = 5,
  KEL_TASK_BROKEN = 6,     // the step kept failing
};

enum KelTaskOrigin : uint8_t { KEL_TASK_BY_CLIENT = 1, KEL_TASK_BY_SERVICE = 2 };

enum KelTaskResult : int32_t {
  KEL_TASK_OK = 0,
  KEL_TASK_START_FAILED = 1100,
  KEL_TASK_STOP_FAILED = 1101,
  KEL_TASK_QUERY_INIT = 1102,
  KEL_TASK_LOCK_FAILED = 1103,
  KEL_TASK_START_RUNNING = 1110,  // handler refinement: the start found the task alive
  KEL_TASK_NO_SUCH = 1111,
  KEL_TASK_FINISHED = 1112,
  KEL_TASK_BROKE = 1113,
  KEL_TASK_BAD_CODE = 1114,
  KEL_TASK_DISK_BUSY = 1115,
  KEL_TASK_TOO_MANY = 1116,
  KEL_TASK_IS_STOPPED = 1117,
};

// Engine results the task loop knows.
inline constexpr int kKelStepBusy = 106;           // engine busy: repeat at once
inline constexpr int kKelStepMagicChanged = 216;   // re-read the magic numbers, repeat
inline constexpr int kKelStepDone = 500;           // the engine says the work is complete
inline constexpr int kKelSyncFinished = 304;
inline constexpr int kKelMigFinished = 503;
inline constexpr int kKelReplaceFinished = 508;
// The engine's answer for an array that needs no synchronisation or migration; a start on
// such an array is answered with it and makes no task.
inline constexpr int kKelNoWorkNeeded = 300;

// The engine result that ends a task of `code` successfully; 0 for an unknown code.
int KelTaskCompletionCode(uint8_t code);
// "synchronization", "migration", "replace", or null for an unknown code.
const char* KelTaskWorkName(uint8_t code);
inline bool KelIsWorkCode(uint8_t code) { return code >= 1 && code <= 5; }

// Slots of progress a RAID 0+1 synchronisation step reports, one per mirror pair.
inline constexpr int kKelRaid01Slots = 4;
// The progress of a RAID 0+1 synchronisation: the least of the slots whose bits `mask`
// sets (a pair is only as far as the slowest one selected), 100 once `complete`; 0 when the
// mask selects no slot.
uint16_t KelRaid01Progress(uint16_t mask, const uint16_t (&slots)[kKelRaid01Slots], bool complete);

// Whether `request` names the same task as `task`: equal codes, then bytes 2..7; RAID 0+1
// requests other than start leave the half mask out; a query also matches on the two
// indexes alone (a client may quote magic numbers from before the task changed them).
bool KelTaskMatches(const KelAsyncTaskData& task, const KelAsyncTaskData& request);

#endif
